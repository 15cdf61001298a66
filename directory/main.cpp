// wez-directory: the directory server the clients register with.
#include "directory/directoryserver.h"
#include "directory/noticesender.h"
#include "directory/options.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

// SIGTERM and SIGINT end the event loop, so the database is closed properly.
void stopOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
        app.quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

void fail(const QString &text)
{
    std::fprintf(stderr, "wez-directory: %s\n", text.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("wez-directory"));

    const directory::Options options = directory::Options::parse(QCoreApplication::arguments());
    if (!options.help.isEmpty()) {
        std::fputs(qPrintable(options.help), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        fail(options.error);
        return 2;
    }
    directory::ServerConfig config = options.config;
    if (config.database.isEmpty()) {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir().mkpath(dir);
        config.database = dir + QStringLiteral("/members.sqlite");
    }

    if (options.notice) {
        QStringList hosts = options.noticeTo;
        if (hosts.isEmpty()) {
            directory::MemberStore store;
            QString why;
            if (!store.open(config.database, &why)) {
                fail(QStringLiteral("cannot open the member database %1: %2").arg(config.database, why));
                return 1;
            }
            // Every member of the database, whichever server registered it.
            const std::optional<QStringList> members = store.addresses();
            if (!members) {
                fail(QStringLiteral("cannot read the members: %1").arg(store.takeError()));
                return 1;
            }
            hosts = *members;
        }
        directory::NoticeSender sender(hosts, *options.notice);
        if (options.bindGiven) sender.setBindAddress(config.bind);
        sender.setPort(options.noticePort);
        QObject::connect(&sender, &directory::NoticeSender::finished, &app, [&] {
            std::fprintf(stderr, "wez-directory: notice delivered to %d of %lld\n", sender.delivered(),
                         static_cast<long long>(hosts.size()));
            for (const QString &h : sender.failed())
                std::fprintf(stderr, "wez-directory: notice not delivered to %s: %s\n",
                             h.toLocal8Bit().constData(), sender.reason(h).toLocal8Bit().constData());
            app.exit(sender.failed().isEmpty() ? 0 : 1);
        });
        sender.start();
        return app.exec();
    }

    // Before the database is loaded, so an early stop is a clean one too.
    stopOnSignals(app);
    directory::DirectoryServer server(config);
    QString error;
    if (!server.start(&error)) {
        fail(error);
        return 1;
    }
    const int rc = app.exec();
    server.log(QStringLiteral("stopping"));
    return rc;
}
