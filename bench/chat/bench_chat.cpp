// Chat through real clients' chat windows, offscreen, in one thread:
//  chat-roundtrip: A's window sends a line, B's window answers it the moment it
//    arrives, until the answer is back at A; each round ends with both
//    displays showing what came and painted. Reference: two QTcpSockets in one
//    thread exchanging the same bytes over loopback.
//  chat-line-history-10000: one line put on a display that holds 10,000
//    lines, shown and painted. Reference: the same with 100 lines.
// Rounds of the figure and of its reference alternate.
#include "app/client.h"
#include "app/clientwindows.h"
#include "app/coreclient.h"
#include "chat/chatsession.h"
#include "chat/chatwindow.h"
#include "clienthelpers.h"
#include "rounds.h"
#include "shell/socket/cp932.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

using namespace testsupport;
using namespace clienttest;

namespace {
const int kRounds =
    qEnvironmentVariableIsSet("WEZ_BENCH_ROUNDS") ? qEnvironmentVariableIntValue("WEZ_BENCH_ROUNDS") : 9;
constexpr int kTrips = 200;
constexpr int kLinesPerRound = 50;

void send(ChatBoardWindow *w, const QString &text)
{
    w->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(text);
    w->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
}

// What the next frame would do for `w`, now: the waiting lines shown and the display painted.
void showAndPaint(ChatBoardWindow *w)
{
    w->showPendingLines();
    w->paintNow();
}

// CPU time of the whole process: both ends of a round trip run here, so
// this counts the work of a round trip whatever else the machine runs.
double cpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

class RawPingPong {
public:
    bool start()
    {
        if (!m_server.listen(loopback(4), 0)) return false;
        m_client.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_client.connectToHost(loopback(4), m_server.serverPort());
        if (!m_client.waitForConnected(3000) || !m_server.waitForNewConnection(3000)) return false;
        m_peer = m_server.nextPendingConnection();
        m_peer->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(m_peer, &QTcpSocket::readyRead, m_peer, [this] {
            m_peer->readAll();
            m_peer->write(m_pong);
        });
        QObject::connect(&m_client, &QTcpSocket::readyRead, &m_loop, [this] {
            m_client.readAll();
            m_loop.quit();
        });
        return true;
    }
    // Microseconds a round trip; `cpu` gets the CPU time of one.
    double round(double &cpu)
    {
        QElapsedTimer t;
        const double cpu0 = cpuUs();
        t.start();
        for (int i = 0; i < kTrips; ++i) {
            m_client.write(m_ping);
            m_loop.exec();
        }
        cpu = (cpuUs() - cpu0) / kTrips;
        return double(t.nsecsElapsed()) / 1e3 / kTrips;
    }

private:
    QTcpServer m_server;
    QTcpSocket m_client;
    QTcpSocket *m_peer = nullptr;
    QEventLoop m_loop;
    const QByteArray m_ping = cp932::encode(QStringLiteral("con 900A> ping"));
    const QByteArray m_pong = cp932::encode(QStringLiteral("con 900B> pong"));
};

bool roundTrips()
{
    QTemporaryDir da, db;
    auto a = startClient(da.path(), 2, QStringLiteral("A"));
    auto b = startClient(db.path(), 3, QStringLiteral("B"));
    if (!waitFor([&] { return listening(*a) && listening(*b); })) return false;
    onQuestion(*b, answerYes);
    a->core().entrance().setIpText(loopback(3).toString());
    a->entranceWindow()->button(2)->click();
    if (!waitFor([&] { return windows(*a).chatWindow() && windows(*b).chatWindow(); }, 10000)) return false;
    ChatBoardWindow *wa = windows(*a).chatWindow();
    ChatBoardWindow *wb = windows(*b).chatWindow();

    // B types its answer once the line is through B's hands, as a user would after it showed.
    QObject::connect(&windows(*b).link(), &PeerLink::messageReceived, b.get(), [&](const peer::Message &m) {
        if (m.head == QLatin1String("con 900"))
            QMetaObject::invokeMethod(
                b.get(), [&] { send(wb, QStringLiteral("pong")); }, Qt::QueuedConnection);
    });
    QEventLoop loop;
    QObject::connect(&windows(*a).link(), &PeerLink::messageReceived, &loop, [&](const peer::Message &m) {
        if (m.head == QLatin1String("con 900")) loop.quit();
    });
    RawPingPong raw;
    if (!raw.start()) return false;
    bench::Rounds chat, reference, chatCpu, referenceCpu;
    for (int r = 0; r < kRounds; ++r) {
        double cpu = 0;
        reference.add(raw.round(cpu));
        referenceCpu.add(cpu);
        const int before = int(a->parts().chat.lines().size());
        QElapsedTimer t;
        const double cpu0 = cpuUs();
        t.start();
        for (int i = 0; i < kTrips; ++i) {
            send(wa, QStringLiteral("ping"));
            loop.exec();
        }
        showAndPaint(wa);
        showAndPaint(wb);
        chat.add(double(t.nsecsElapsed()) / 1e3 / kTrips);
        chatCpu.add((cpuUs() - cpu0) / kTrips);
        if (a->parts().chat.lines().size() != before + 2 * kTrips ||
            !wa->displayText().startsWith(QStringLiteral("B> pong\r\nA> ping\r\n")))
            return false;
    }
    bench::report("chat-roundtrip", chat, reference, "us");
    bench::report("chat-roundtrip-cpu", chatCpu, referenceCpu, "us");
    return true;
}

// Microseconds for one line, on a fresh chat that holds `history` lines.
double lineWithHistory(Client &c, int history)
{
    Q_EMIT c.parts().link.chatAccepted();
    ChatBoardWindow *w = windows(c).chatWindow();
    ChatSession &session = c.parts().chat;
    for (int i = 0; i < history; ++i)
        session.addLine(QStringLiteral("B> line %1 of what was said before, a few words long").arg(i));
    showAndPaint(w);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kLinesPerRound; ++i) {
        session.addLine(QStringLiteral("A> a new line %1, as long as the others are").arg(i));
        showAndPaint(w);
    }
    const double us = double(t.nsecsElapsed()) / 1e3 / kLinesPerRound;
    const bool whole =
        session.lines().size() == history + kLinesPerRound &&
        w->displayText().startsWith(QStringLiteral("A> a new line %1").arg(kLinesPerRound - 1));
    session.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return whole ? us : -1;
}

bool history()
{
    QTemporaryDir dir;
    auto c = startClient(dir.path(), 5, QStringLiteral("A"));
    bench::Rounds big, small;
    for (int r = 0; r < kRounds; ++r) {
        const double s = lineWithHistory(*c, 100);
        const double b = lineWithHistory(*c, 10000);
        if (s < 0 || b < 0) return false;
        small.add(s);
        big.add(b);
    }
    bench::report("chat-line-history-10000", big, small, "us");
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // An argument runs one part alone ("roundtrip" or "history"), for a profiler.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only != QLatin1String("history") && !roundTrips()) {
        std::fprintf(stderr, "bench: chat-roundtrip failed\n");
        return 1;
    }
    if (only != QLatin1String("roundtrip") && !history()) {
        std::fprintf(stderr, "bench: chat-line-history failed\n");
        return 1;
    }
    return 0;
}
