#include "shell/options.h"

#include <QCommandLineParser>
#include <QStandardPaths>

Options Options::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Wez: peer-to-peer chat"));
    parser.addHelpOption();
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
    if (parser.isSet(QStringLiteral("help"))) {
        options.error = parser.helpText();
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
