#include "shell/uilanguage.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

const QString kTranslatorName = QStringLiteral("wez-qt-ja");

} // namespace

QString uilanguage::qtCatalogueDirectory()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool uilanguage::installQtJapanese()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) return false;
    // Two clients in one process share the application and its catalogue.
    if (app->findChild<QTranslator *>(kTranslatorName, Qt::FindDirectChildrenOnly)) return true;
    auto *translator = new QTranslator(app);
    translator->setObjectName(kTranslatorName);
    // qtbase holds every text of the widgets we use; the whole qt_ja set would
    // also load catalogues for modules the client never shows.
    if (!translator->load(QStringLiteral("qtbase_ja"), qtCatalogueDirectory()) ||
        !QCoreApplication::installTranslator(translator)) {
        qWarning().noquote() << "wez: Qt's Japanese texts not found in" << qtCatalogueDirectory();
        delete translator;
        return false;
    }
    return true;
}
