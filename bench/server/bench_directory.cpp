// wez-directory at 1,000, 10,000 and 100,000 members, on SQLite and on
// PostgreSQL, as one process and as two over one database:
// - registrations per second, four clients at once, each registration from an
//   address of its own, spread over the servers;
// - the time to list every member, one client per server at once;
// each beside the same messages answered by as many raw directories (a thread
// per connection, no database, rawdirectory.h); and the resident memory of
// each server process beside its own at start. The bulk of each list is put
// straight into the database; the registrations measured make up the rest.
#include "pgserver.h"
#include "rawdialogue.h"
#include "rawdirectory.h"
#include "rounds.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using testsupport::loopback;

namespace {

constexpr int kClients = 4;
constexpr int kPerRound = 200; // registrations per round
const int kRoundsOverride =
    qEnvironmentVariableIsSet("WEZ_BENCH_ROUNDS") ? qEnvironmentVariableIntValue("WEZ_BENCH_ROUNDS") : 0;

quint32 ip(const QHostAddress &a)
{
    return a.toIPv4Address();
}

// A new address for every registration of the run, as separate machines would have.
quint32 nextSource()
{
    static int n = 0;
    const int c = n++;
    return (127u << 24) | (quint32(88 + c / 62500) << 16) | (quint32(c / 250 % 250) << 8) |
           quint32(1 + c % 250);
}

double residentMb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

// CPU seconds a process has used so far: unlike wall time, not stretched by the machine's other load.
double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray stat = f.readAll();
    // The fields after the command name, which may itself hold blanks.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(::sysconf(_SC_CLK_TCK));
}

// Registrations per second over `count` registrations from kClients threads, or -1.
double registrations(const std::vector<quint32> &servers, int count)
{
    std::vector<quint32> sources;
    for (int i = 0; i < count; ++i)
        sources.push_back(nextSource());
    std::atomic<int> next{0}, failed{0};
    QElapsedTimer t;
    t.start();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&] {
            for (int i; (i = next++) < count;) {
                const quint32 from = sources[size_t(i)];
                if (bench::registerRaw(from, servers[size_t(i) % servers.size()],
                                       QHostAddress(from).toString(), QStringLiteral("計測%1").arg(i),
                                       QStringLiteral("ベンチ"), false) < 1)
                    ++failed;
            }
        });
    }
    for (std::thread &c : clients)
        c.join();
    const double s = double(t.nsecsElapsed()) / 1e9;
    if (failed > 0) std::fprintf(stderr, "bench: %d of %d registrations failed\n", int(failed), count);
    return failed > 0 ? -1 : count / s;
}

// Milliseconds until one client per server has listed all `members`, or -1.
double listing(const std::vector<quint32> &servers, int members)
{
    std::atomic<int> wrong{0};
    QElapsedTimer t;
    t.start();
    std::vector<std::thread> clients;
    for (size_t i = 0; i < servers.size(); ++i) {
        clients.emplace_back([&, i] {
            const int got = bench::listRaw(ip(loopback(20 + int(i))), servers[i]);
            if (got != members) {
                std::fprintf(stderr, "bench: listed %d of %d\n", got, members);
                ++wrong;
            }
        });
    }
    for (std::thread &c : clients)
        c.join();
    return wrong > 0 ? -1 : double(t.nsecsElapsed()) / 1e6;
}

bool greets(quint32 server)
{
    return testsupport::waitFor(
        [&] {
            bench::Blocking b(ip(loopback(9)), server);
            return b.ok() && b.expect("SRV 099");
        },
        15000);
}

// Members `from` to `to` - 1 straight into the table, after the last list place.
bool fill(const QString &connection, bool postgres, int from, int to)
{
    if (to <= from) return true;
    QSqlQuery q(QSqlDatabase::database(connection));
    const QString address =
        QStringLiteral("'10.' || (i / 65536) || '.' || (i / 256 % 256) || '.' || (i % 256)");
    const QString insert =
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT %1 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
                       "INSERT INTO members (address, name, comment, host, seq, last_seen) "
                       "SELECT %3, '○m' || i, 'c' || i, %3, (SELECT COALESCE(MAX(seq), 0) FROM members) + i "
                       "- %1 + 1, %4 "
                       "FROM n")
            .arg(from)
            .arg(to - 1)
            .arg(address)
            .arg(QDateTime::currentSecsSinceEpoch());
    const bool ok = q.exec(insert) &&
                    (!postgres || q.exec(QStringLiteral("SELECT setval('members_seq', (SELECT MAX(seq) FROM "
                                                        "members))")));
    if (!ok) std::fprintf(stderr, "bench: fill: %s\n", qPrintable(q.lastError().text()));
    return ok;
}

struct Config {
    const char *engine;
    int processes;
};

int rounds(int members)
{
    return kRoundsOverride > 0 ? kRoundsOverride : (members <= 1000 ? 5 : 3);
}

// One engine and number of processes through every list size; false when something failed.
bool measure(const Config &config, const QString &database,
             std::vector<std::unique_ptr<bench::RawDirectory>> &raw)
{
    const bool postgres = QString::fromLatin1(config.engine) == QLatin1String("postgresql");
    std::vector<std::unique_ptr<QProcess>> servers;
    std::vector<quint32> addresses, rawAddresses;
    std::vector<double> startRss;
    for (int i = 0; i < config.processes; ++i) {
        auto p = std::make_unique<QProcess>();
        p->setStandardErrorFile(QProcess::nullDevice());
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start(QStringLiteral(WEZ_DIRECTORY_BIN), {QStringLiteral("--bind"), loopback(1 + i).toString(),
                                                     QStringLiteral("--database"), database});
        if (!p->waitForStarted(5000) || !greets(ip(loopback(1 + i)))) {
            std::fprintf(stderr, "bench: wez-directory did not start on %s\n", config.engine);
            return false;
        }
        startRss.push_back(residentMb(p->processId()));
        servers.push_back(std::move(p));
        addresses.push_back(ip(loopback(1 + i)));
        rawAddresses.push_back(ip(loopback(11 + i)));
    }
    const QString connection = QStringLiteral("fill");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(
            postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), connection);
        if (postgres) {
            const QUrl url(database);
            db.setHostName(url.host());
            db.setPort(url.port());
            db.setUserName(url.userName());
            db.setDatabaseName(url.path().mid(1));
        } else {
            db.setDatabaseName(database);
        }
        if (!db.open()) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(db.lastError().text()));
            return false;
        }
    }
    const auto serverCpu = [&] {
        double sum = 0;
        for (auto &p : servers)
            sum += cpuSeconds(p->processId());
        return sum;
    };
    bool ok = true;
    int have = 0;
    double cpuPerMemberAt1000 = 0; // the servers' CPU per listed member, at the smallest list
    const QString tag = QStringLiteral("%1-%2proc").arg(QLatin1String(config.engine)).arg(config.processes);
    for (const int members : {1000, 10000, 100000}) {
        const int n = rounds(members);
        if (!fill(connection, postgres, have, members - n * kPerRound)) {
            ok = false;
            break;
        }
        for (auto &r : raw)
            r->setListSize(members);
        bench::Rounds reg, regRaw, list, listRef;
        for (int r = 0; r < n; ++r) {
            regRaw.add(registrations(rawAddresses, kPerRound));
            reg.add(registrations(addresses, kPerRound));
        }
        have = members;
        double cpu = 0;
        for (int r = 0; r < n; ++r) {
            listRef.add(listing(rawAddresses, members));
            const double before = serverCpu();
            list.add(listing(addresses, members));
            cpu += serverCpu() - before;
        }
        // In microseconds per member listed, over every round and server.
        const double cpuPerMember = cpu * 1e6 / (double(n) * members * config.processes);
        if (members == 1000) cpuPerMemberAt1000 = cpuPerMember;
        if (reg.min() < 0 || regRaw.min() < 0 || list.min() < 0 || listRef.min() < 0) {
            ok = false;
            continue;
        }
        bench::report(qPrintable(QStringLiteral("directory-register-%1-%2").arg(tag).arg(members)), reg,
                      regRaw, "reg/s");
        bench::report(qPrintable(QStringLiteral("directory-list-%1-%2").arg(tag).arg(members)), list, listRef,
                      "ms");
        // Whether a member costs the servers more in a longer list: against the same at 1,000.
        bench::Rounds perMember, perMemberAt1000;
        perMember.add(cpuPerMember);
        perMemberAt1000.add(cpuPerMemberAt1000);
        bench::report(qPrintable(QStringLiteral("directory-list-cpu-%1-%2").arg(tag).arg(members)), perMember,
                      perMemberAt1000, "us/member");
        for (size_t i = 0; i < servers.size(); ++i) {
            bench::Rounds rss, atStart;
            rss.add(residentMb(servers[i]->processId()));
            atStart.add(startRss[i]);
            bench::report(
                qPrintable(QStringLiteral("directory-rss-%1-%2-server%3").arg(tag).arg(members).arg(i + 1)),
                rss, atStart, "MB");
        }
    }
    QSqlDatabase::removeDatabase(connection);
    for (auto &p : servers) {
        p->terminate();
        p->waitForFinished(10000);
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::unique_ptr<bench::RawDirectory>> raw;
    for (int i = 0; i < 2; ++i) {
        raw.push_back(std::make_unique<bench::RawDirectory>(ip(loopback(11 + i)),
                                                            QStringLiteral("10.1.134.160,○m100000,c100000")));
        if (!raw.back()->ok()) {
            std::fprintf(stderr, "bench: the raw directory could not listen\n");
            return 1;
        }
    }
    int status = 0;
    // As a real installation runs: with fsync.
    PgServer pg(30);
    QString why;
    const bool pgUp = pg.start(&why, true);
    if (!pgUp) {
        std::fprintf(stderr, "bench: no PostgreSQL, its figures are missing: %s\n", qPrintable(why));
        status = 1;
    }
    for (const Config &config :
         {Config{"sqlite", 1}, Config{"sqlite", 2}, Config{"postgresql", 1}, Config{"postgresql", 2}}) {
        QTemporaryDir dir;
        QString database = dir.filePath(QStringLiteral("members.sqlite"));
        if (QString::fromLatin1(config.engine) == QLatin1String("postgresql")) {
            if (!pgUp) continue;
            if (!pg.reset(&why)) {
                std::fprintf(stderr, "bench: %s\n", qPrintable(why));
                status = 1;
                continue;
            }
            database = pg.url();
        }
        if (!measure(config, database, raw)) status = 1;
    }
    return status;
}
