#include "app/client.h"
#include "shell/signalwatcher.h"
#include "shell/version.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    // --help and --version answer before the windowing system is opened, so they work without a
    // display. Anything else (Qt's own -platform and the like included) is read after it.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    if (const Options early = Options::parse(raw); !early.message.isEmpty()) {
        std::fputs(qPrintable(early.message), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("wez"));
    QApplication::setApplicationVersion(QStringLiteral(WEZ_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(WEZ_APP_ID));
    QApplication::setQuitOnLastWindowClosed(false);
    const Options options = Options::parse(QApplication::arguments());
    if (!options.message.isEmpty()) {
        std::fputs(qPrintable(options.message), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(options.error));
        return 2;
    }
    Client client(options);
    // Watch for SIGTERM before the start-up: one that arrives meanwhile runs the shutdown afterwards.
    SignalWatcher signals;
    QObject::connect(&signals, &SignalWatcher::terminationRequested, &client, &Client::shutdown);
    if (client.start() == Client::StartResult::AlreadyRunning) return 0;
    QObject::connect(&client, &Client::finished, &app, &QApplication::quit, Qt::QueuedConnection);
    return app.exec();
}
