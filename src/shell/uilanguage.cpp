#include "shell/uilanguage.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

const QString kTranslatorName = QStringLiteral("wez-qt-ja");

// Texts newer than Qt's Japanese catalogue: the file dialog's kinds of entry.
class MissingQtTexts final : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
        const std::pair<const char *, const char *> texts[] = {{"Folder", "フォルダ"},
                                                               {"Drive", "ドライブ"},
                                                               {"Shortcut", "ショートカット"},
                                                               {"Unknown", "不明"}};
        for (const auto &[english, japanese] : texts)
            if (qstrcmp(source, english) == 0) return QString::fromUtf8(japanese);
        return {};
    }
};

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
    QCoreApplication::installTranslator(new MissingQtTexts(translator));
    // The file dialog's sizes, dates and file types follow the default locale, not the catalogue.
    // The system's own locale (QLocale::system()) still dates the posts and logs.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    return true;
}
