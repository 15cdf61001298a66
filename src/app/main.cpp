#include "app/client.h"
#include "shell/signalwatcher.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("wez"));
    QApplication::setQuitOnLastWindowClosed(false);
    const Options options = Options::parse(QApplication::arguments());
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
