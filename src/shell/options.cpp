#include "shell/options.h"

#include "shell/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStandardPaths>

Options Options::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Wez: peer-to-peer chat"));
    // Qt's own --help-all would list options only the windowing system reads, after start-up.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    parser.addVersionOption();
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                     QStringLiteral("Directory of settings, logs and received files."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption bind(QStringLiteral("bind"),
                                  QStringLiteral("Local address of every listener and connection."),
                                  QStringLiteral("ADDRESS"));
    parser.addOption(dataDir);
    parser.addOption(bind);

    Options options;
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (parser.isSet(help)) {
        // The usage line names the program as the user calls it from the menu or the path, not by
        // argv[0] (or a placeholder, when read before the application object exists).
        QString text = parser.helpText();
        const QString exe = QCoreApplication::instance() ? QCoreApplication::arguments().constFirst()
                                                         : QStringLiteral("<executable_name>");
        const qsizetype at = text.indexOf(exe);
        if (at >= 0 && at < text.indexOf(u'\n')) text.replace(at, exe.size(), QStringLiteral("wez"));
        options.message = text;
        return options;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        options.message = versionText() + QLatin1Char('\n');
        return options;
    }
    options.dataDir = parser.isSet(dataDir)
                          ? parser.value(dataDir)
                          : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (parser.isSet(bind)) {
        options.bindAddress = QHostAddress(parser.value(bind));
        if (options.bindAddress.isNull())
            options.error = QStringLiteral("--bind: not an IP address: ") + parser.value(bind);
    }
    return options;
}

QString Options::versionText()
{
    return QStringLiteral("wez " WEZ_VERSION);
}
