// wez-directory: the directory server the clients register with.
#include "directory/directoryserver.h"
#include "directory/noticesender.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <algorithm>
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

    QCommandLineParser cli;
    cli.setApplicationDescription(
        QStringLiteral("Directory server for Wez clients (ports 1203, 1204, 1206)."));
    cli.addHelpOption();
    const QCommandLineOption bind(QStringLiteral("bind"),
                                  QStringLiteral("Local address to listen on (default: all)."),
                                  QStringLiteral("ADDRESS"));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QStringLiteral("Member database, SQLite (default: members.sqlite in the user's data directory)."),
        QStringLiteral("FILE"));
    const QCommandLineOption idle(QStringLiteral("idle-timeout"),
                                  QStringLiteral("Drop a connection silent this long (default 30)."),
                                  QStringLiteral("SECONDS"), QStringLiteral("30"));
    const QCommandLineOption exchange(
        QStringLiteral("exchange-limit"),
        QStringLiteral("Drop a connection this long after it came, however busy (default 60)."),
        QStringLiteral("SECONDS"), QStringLiteral("60"));
    const QCommandLineOption expire(QStringLiteral("expire-after"),
                                    QStringLiteral("Drop members not heard from this long (default 86400)."),
                                    QStringLiteral("SECONDS"), QStringLiteral("86400"));
    const QCommandLineOption maxConn(QStringLiteral("max-connections"),
                                     QStringLiteral("Connections served at once (default 1000)."),
                                     QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption perHost(
        QStringLiteral("max-per-host"),
        QStringLiteral("Connections served at once from one address (default 20; at most 2 once half "
                       "of --max-connections are open)."),
        QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption membersPerHost(
        QStringLiteral("max-members-per-host"),
        QStringLiteral("Entries one address may keep listed; a new one replaces its least recently "
                       "heard from (default 4)."),
        QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption notice(QStringLiteral("notice"),
                                    QStringLiteral("Send TEXT as a notice to every member, then exit."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption noticeTo(QStringLiteral("notice-to"),
                                      QStringLiteral("With --notice: send to HOST instead (repeatable)."),
                                      QStringLiteral("HOST"));
    const QCommandLineOption noticePort(
        QStringLiteral("notice-port"),
        QStringLiteral("With --notice: the clients' notice port (default 1205)."), QStringLiteral("PORT"),
        QStringLiteral("1205"));
    cli.addOptions({bind, database, idle, exchange, expire, maxConn, perHost, membersPerHost, notice,
                    noticeTo, noticePort});
    cli.process(app);

    directory::ServerConfig config;
    if (cli.isSet(bind) && !config.bind.setAddress(cli.value(bind))) {
        fail(QStringLiteral("not an address: %1").arg(cli.value(bind)));
        return 2;
    }
    if (cli.isSet(database)) {
        config.database = cli.value(database);
    } else {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir().mkpath(dir);
        config.database = dir + QStringLiteral("/members.sqlite");
    }
    bool ok[6] = {};
    const auto milliseconds = [](int secs) { return secs > 0 && secs <= 86400 ? secs * 1000 : 0; };
    config.idleTimeoutMs = milliseconds(cli.value(idle).toInt(&ok[0]));
    config.exchangeLimitMs = milliseconds(cli.value(exchange).toInt(&ok[1]));
    config.expireAfterSecs = cli.value(expire).toLongLong(&ok[2]);
    config.maxConnections = cli.value(maxConn).toInt(&ok[3]);
    config.maxPerHost = cli.value(perHost).toInt(&ok[4]);
    config.maxMembersPerHost = cli.value(membersPerHost).toInt(&ok[5]);
    if (!std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }) || config.idleTimeoutMs <= 0 ||
        config.exchangeLimitMs <= 0 || config.expireAfterSecs <= 0 ||
        config.expireAfterSecs > 10LL * 365 * 86400 || config.maxConnections <= 0 || config.maxPerHost <= 0 ||
        config.maxMembersPerHost <= 0) {
        fail(QStringLiteral(
            "--idle-timeout and --exchange-limit (up to 86400), --expire-after, "
            "--max-connections, --max-per-host and --max-members-per-host take positive numbers"));
        return 2;
    }

    if (cli.isSet(notice)) {
        QStringList hosts = cli.values(noticeTo);
        if (hosts.isEmpty()) {
            directory::MemberStore store;
            QString why;
            if (!store.open(config.database, &why)) {
                fail(QStringLiteral("cannot open the member database %1: %2").arg(config.database, why));
                return 1;
            }
            for (const directory::Member &m : store.members())
                hosts << m.address;
            hosts.removeDuplicates();
        }
        const quint16 port = quint16(cli.value(noticePort).toUInt());
        directory::NoticeSender sender(hosts, cli.value(notice));
        if (cli.isSet(bind)) sender.setBindAddress(config.bind);
        sender.setPort(port == 0 ? 1205 : port);
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
