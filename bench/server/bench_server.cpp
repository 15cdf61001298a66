// Register + member list through a client's windows, offscreen: from the
// press of the register button until the list window shows every member and
// has painted. Reference: a blocking client (no event loop, no widgets)
// sending the same requests to the same wez-directory process from the same
// address and reading each answer, for the same number of members. Rounds of
// the figure and of its reference alternate; the list holds 100, 1,000 and
// 10,000 members in turn.
#include "clienthelpers.h"
#include "rawdialogue.h"
#include "rounds.h"
#include "server/memberlistwindow.h"
#include "server/serverclient.h"
#include "server/serverwindows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace testsupport;
using namespace clienttest;

namespace {
const int kRounds =
    qEnvironmentVariableIsSet("WEZ_BENCH_ROUNDS") ? qEnvironmentVariableIntValue("WEZ_BENCH_ROUNDS") : 5;
const QString kName = QStringLiteral("ベンチ");
const QString kComment = QStringLiteral("計測中です");

using bench::registerRaw;

quint32 ip(const QHostAddress &a)
{
    return a.toIPv4Address();
}

// Other members, each from its own loopback address as separate machines would be.
bool addMembers(int from, int to, quint32 server)
{
    for (int i = from; i < to; ++i) {
        const quint32 host = (127u << 24) | (77u << 16) | (quint32(i / 250) << 8) | quint32(1 + i % 250);
        const QString address = QHostAddress(host).toString();
        if (registerRaw(host, server, address, QStringLiteral("m%1").arg(i), QStringLiteral("c%1").arg(i),
                        false) < 0)
            return false;
    }
    return true;
}

// Milliseconds from the register button to the painted list of `members`, or -1.
double registerThroughWindows(Client &c, int members)
{
    server::ServerWindows &sw = *c.serverWindows();
    c.core().state().profileRegistered = 0;
    QEventLoop loop;
    QObject::connect(&sw.serverClient(), &server::ServerClient::reloadUsable, &loop, &QEventLoop::quit);
    QElapsedTimer t;
    t.start();
    c.entranceWindow()->button(1)->click();
    loop.exec();
    server::MemberListWindow *w = sw.memberList();
    if (!w) return -1;
    w->repaint();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    const bool whole = w->listView()->model()->rowCount() == members;
    if (!whole) std::fprintf(stderr, "rows %d of %d\n", w->listView()->model()->rowCount(), members);
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return whole ? ms : -1;
}

double registerRawTimed(const QHostAddress &client, const QHostAddress &server, int members)
{
    QElapsedTimer t;
    t.start();
    const int listed = registerRaw(ip(client), ip(server), client.toString(), kName, kComment, true);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (listed != members) std::fprintf(stderr, "raw %d of %d\n", listed, members);
    return listed == members ? ms : -1;
}

bool serverUp(const QHostAddress &server)
{
    return waitFor(
        [&] {
            bench::Blocking b(ip(loopback(3)), ip(server));
            return b.ok() && b.expect("SRV 099");
        },
        10000);
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    const QHostAddress server = loopback(1), client = loopback(2);
    // A database of its own: the members of one run only.
    QTemporaryDir store;
    QProcess directory;
    directory.setStandardErrorFile(QProcess::nullDevice());
    directory.setStandardOutputFile(QProcess::nullDevice());
    directory.start(QStringLiteral(WEZ_DIRECTORY_BIN),
                    {QStringLiteral("--bind"), server.toString(), QStringLiteral("--database"),
                     store.filePath(QStringLiteral("members.sqlite"))});
    if (!directory.waitForStarted(5000) || !serverUp(server) || directory.state() != QProcess::Running) {
        std::fprintf(stderr, "bench: wez-directory did not start\n");
        return 1;
    }

    QTemporaryDir dir;
    auto c = startClient(dir.path(), 2, kName);
    c->core().entrance().setComment(kComment);
    c->core().entrance().setAddressText(client.toString());
    c->core().state().serverAddress = server.toString();

    int status = 0;
    int others = 0;
    // An argument names the one list size to measure, for a profiler.
    const int only = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 0;
    for (const int members : {100, 1000, 10000}) {
        if (only && members != only) continue;
        // The client itself is one of the members.
        if (!addMembers(others, members - 1, ip(server))) {
            std::fprintf(stderr, "bench: could not fill the directory\n");
            status = 1;
            break;
        }
        others = members - 1;
        bench::Rounds windows, raw;
        for (int r = 0; r < kRounds; ++r) {
            raw.add(registerRawTimed(client, server, members));
            windows.add(registerThroughWindows(*c, members));
        }
        if (raw.min() < 0 || windows.min() < 0) {
            std::fprintf(stderr, "bench: register-list-%d did not list every member\n", members);
            status = 1;
            continue;
        }
        bench::report(qPrintable(QStringLiteral("register-list-%1").arg(members)), windows, raw, "ms");
    }
    c.reset();
    directory.terminate();
    directory.waitForFinished(5000);
    return status;
}
