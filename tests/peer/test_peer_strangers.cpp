// Strangers on the client's own ports, sending what an attacker sent: a flood
// of chat requests on one connection, chat and whiteboard messages nobody
// asked for, a "con 110" slipped in after a call ended, connections that never
// finish, and a stranger dialling into the whiteboard. The client must stay
// up, ask at most one question, open nothing without consent and give its
// ports back.
#include "clienthelpers.h"

#include "shell/socket/cp932.h"
#include "whiteboard/whiteboardlink.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

using namespace testsupport;
using namespace clienttest;

namespace {

const QString kTaro = QString::fromUtf8("太郎");

// Connected to the client's port 1200 and greeted with "con 100".
std::unique_ptr<QTcpSocket> strangerOn1200(Client &c, int from)
{
    auto s = connectRaw(loopback(from), c.core().bindAddress(), 1200);
    if (!s || !waitFor([&] { return s->bytesAvailable() >= 7; })) return nullptr;
    return s->readAll().startsWith("con 100") ? std::move(s) : nullptr;
}

// Everything the client was sent is read and handled.
bool handled(Client &c)
{
    return c.core().winsock1().bytesAvailable() == 0 && windows(c).link().queuedMessages() == 0;
}

} // namespace

class TestPeerStrangers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Thousands of "con 500" on one connection, each in its own segment: one
    // question, nothing nested, and the answer still applies to that caller.
    void requestFloodAsksOnce()
    {
        QTemporaryDir dir;
        auto a = startClient(dir.path(), 2, kTaro);
        QVERIFY(waitFor([&] { return listening(*a); }));
        int questions = 0;
        connect(&a->desktop(), &UiDesktop::yesNoShown, this, [&] { ++questions; });

        // However slow the machine, the flood ends before the question's time does.
        windows(*a).link().setSetupLimitMs(600000);
        auto s = strangerOn1200(*a, 9);
        QVERIFY(s);
        constexpr int kRequests = 3000;
        int sent = 0;
        QTimer sender;
        connect(&sender, &QTimer::timeout, this, [&] {
            if (sent == kRequests || s->state() != QAbstractSocket::ConnectedState) return sender.stop();
            sendRaw(*s, "con 500" + QByteArray::number(sent++));
        });
        sender.start(1);
        QVERIFY(waitFor([&] { return sent == kRequests || !sender.isActive(); }, 60000));
        QVERIFY(waitFor([&] { return handled(*a); }));
        QCOMPARE(questions, 1);
        QVERIFY(a->desktop().yesNoWindow());
        QCOMPARE(a->desktop().yesNoWindow()->text(),
                 QString::fromUtf8("「0」さんから接続要求があります。接続しますか？"));
        QCOMPARE(windows(*a).link().phase(), peer::Phase::Asking);

        answerNo(a->desktop().yesNoWindow());
        QVERIFY(closedByPeer(*s, 5000));
        QVERIFY(!a->core().state().isOpen(ChatWindow));
        QVERIFY(waitFor([&] { return listening(*a); }, 5000));
    }

    // Chat, whiteboard, transfer and plug-in messages from someone who never
    // asked for a chat: all dropped. The connection still works for a request.
    void nothingOpensWithoutConsent()
    {
        QTemporaryDir dir;
        auto a = startClient(dir.path(), 2, kTaro);
        QVERIFY(waitFor([&] { return listening(*a); }));
        a->desktop().setClipboardText(QStringLiteral("mine"));
        // A whiteboard would dial back to the stranger's 1202; nothing may arrive here.
        QTcpServer board;
        QVERIFY(board.listen(loopback(9), 1202));

        auto s = strangerOn1200(*a, 9);
        QVERIFY(s);
        const QList<QByteArray> unasked = {
            "con 110",           "con 910", "con 900" + cp932::encode(QString::fromUtf8("今日は")),
            "con 999evil.exe/3", "con 998", "con 800",
            "con 700wez_plugin", "con 120", "con 920",
            "abc defg",          "con 020", "con 100x",
        };
        // One at a time, each taken in and handled before the next.
        QSignalSpy arrivals(&a->core().winsock1(), &Endpoint::dataArrival);
        for (const QByteArray &m : unasked) {
            arrivals.clear();
            sendRaw(*s, m);
            QVERIFY2(arrivals.wait() && waitFor([&] { return handled(*a); }), m.constData());
        }
        // A real request behind them is still asked: everything before it was handled.
        QString asked;
        onQuestion(
            *a, [](YesNoWindow *) {}, &asked);
        sendRaw(*s, "con 500" + cp932::encode(QString::fromUtf8("花子")));
        QVERIFY(waitFor([&] { return !asked.isEmpty(); }));

        const SharedState &st = a->core().state();
        QVERIFY(!st.isOpen(ChatWindow));
        QVERIFY(!st.isOpen(WhiteboardWindow));
        QCOMPARE(st.whiteboardState, int16_t(0));
        QVERIFY(st.recvFileName.isEmpty());
        QCOMPARE(st.peerReady, int16_t(0));
        QCOMPARE(st.blockAck, int16_t(0));
        QCOMPARE(a->desktop().clipboardText(), QStringLiteral("mine"));
        QVERIFY(a->desktop().shownMessages().isEmpty());
        QVERIFY(!board.hasPendingConnections());
        QVERIFY(!QFile::exists(QDir(dir.path()).filePath(QStringLiteral("wezchat.log"))));
        QVERIFY(s->state() == QAbstractSocket::ConnectedState);
        // The stranger hangs up while asked: the question goes with it.
        s->abort();
        QVERIFY(waitFor([&] { return !a->desktop().yesNoWindow(); }));
        QVERIFY(!st.isOpen(ChatWindow));
    }

    // Our call ended unanswered; while our answer timer still runs, a stranger
    // calls in and says "con 110". That is no answer to our call.
    void lateAcceptFromAnotherAddressIsNoAnswer()
    {
        QTemporaryDir dir;
        auto a = startClient(dir.path(), 2, kTaro);
        QVERIFY(waitFor([&] { return listening(*a); }));
        QTcpServer callee;
        QVERIFY(callee.listen(loopback(5), 1200));
        setIpBox(*a, loopback(5).toString());
        windows(*a).link().chatCommand();
        QVERIFY(waitFor([&] { return callee.hasPendingConnections(); }));
        std::unique_ptr<QTcpSocket> partner(callee.nextPendingConnection());
        sendRaw(*partner, "con 100Wez ver 0.32 R1010");
        QVERIFY(waitFor([&] { return partner->bytesAvailable() > 0; }));
        QCOMPARE(partner->readAll(), "con 500" + cp932::encode(kTaro));
        partner->abort();
        QVERIFY(windows(*a).link().answerWaitActive());

        QVERIFY(waitFor([&] { return listening(*a); }, 10000));
        auto s = strangerOn1200(*a, 9);
        QVERIFY(s);
        QSignalSpy arrivals(&a->core().winsock1(), &Endpoint::dataArrival);
        sendRaw(*s, "con 110");
        QVERIFY(arrivals.wait() && waitFor([&] { return handled(*a); }));
        // Asked about the request behind it: the "con 110" was handled, and dropped.
        sendRaw(*s, "con 500y");
        QVERIFY(waitFor([&] { return a->desktop().yesNoWindow() != nullptr; }));
        QVERIFY(!a->core().state().isOpen(ChatWindow));
        QCOMPARE(windows(*a).link().phase(), peer::Phase::Asking);
    }

    // A caller that never finishes the set-up, or trickles a byte at a time,
    // is cut off after the limit and the port listens for the next caller.
    void silentCallersGiveThePortBack()
    {
        QTemporaryDir dir;
        auto a = startClient(dir.path(), 2, kTaro);
        PeerLink &link = windows(*a).link();
        link.setSetupLimitMs(800);
        QVERIFY(waitFor([&] { return listening(*a); }));

        auto silent = strangerOn1200(*a, 9);
        QVERIFY(silent);
        QVERIFY(closedByPeer(*silent, 10000));
        QVERIFY(waitFor([&] { return listening(*a); }, 10000));

        auto trickler = strangerOn1200(*a, 9);
        QVERIFY(trickler);
        QTimer drip;
        connect(&drip, &QTimer::timeout, this, [&] { sendRaw(*trickler, "c"); });
        drip.start(100);
        QVERIFY(closedByPeer(*trickler, 10000));
        drip.stop();
        QVERIFY(waitFor([&] { return listening(*a); }, 10000));

        // A request left unanswered: the question goes when the time is up.
        auto asker = strangerOn1200(*a, 9);
        QVERIFY(asker);
        sendRaw(*asker, "con 500x");
        QVERIFY(waitFor([&] { return a->desktop().yesNoWindow() != nullptr; }));
        QVERIFY(closedByPeer(*asker, 15000));
        QVERIFY(waitFor([&] { return !a->desktop().yesNoWindow(); }));
        QVERIFY(waitFor([&] { return listening(*a); }, 10000));
        QVERIFY(strangerOn1200(*a, 10));
        QVERIFY(a->desktop().shownMessages().isEmpty());
    }

    // A notice connection that sends nothing is closed after its few seconds;
    // the next sender's notice is shown.
    void silentNoticeSenderGivesThePortBack()
    {
        QTemporaryDir dir;
        auto a = startClient(dir.path(), 2, kTaro);
        windows(*a).link().setNoticeLimitMs(500);
        QVERIFY(waitFor([&] { return a->core().winsock3().state() == Endpoint::Listening; }));
        auto silent = connectRaw(loopback(9), loopback(2), 1205);
        QVERIFY(silent);
        QVERIFY(closedByPeer(*silent, 10000));
        QVERIFY(waitFor([&] { return a->core().winsock3().state() == Endpoint::Listening; }, 5000));
        auto sender = connectRaw(loopback(10), loopback(2), 1205);
        QVERIFY(sender);
        sendRaw(*sender, "SRM 100" + cp932::encode(QString::fromUtf8("お知らせ")));
        QVERIFY(waitFor([&] { return windows(*a).advertisementWindow() != nullptr; }));
    }

    // The board listens for the chat partner only; a stranger who dials in
    // first is turned away and the partner still gets through.
    void whiteboardTakesOnlyThePartner()
    {
        whiteboard::WhiteboardLink link(loopback(2));
        QVERIFY(link.listen(loopback(5).toString()));
        QTcpSocket stranger;
        QVERIFY(stranger.bind(loopback(9)));
        bool wasConnected = false, dropped = false;
        connect(&stranger, &QTcpSocket::connected, this, [&] { wasConnected = true; });
        connect(&stranger, &QTcpSocket::disconnected, this, [&] { dropped = true; });
        stranger.connectToHost(loopback(2), whiteboard::WhiteboardLink::kPort);
        QVERIFY(waitFor([&] { return dropped; }));
        QVERIFY(wasConnected);
        QVERIFY(!link.isConnected());
        QVERIFY(waitFor([&] { return link.endpoint().state() == Endpoint::Listening; }));
        auto partner = connectRaw(loopback(5), loopback(2), whiteboard::WhiteboardLink::kPort);
        QVERIFY(partner);
        QVERIFY(waitFor([&] { return link.isConnected(); }));
    }
};

QTEST_MAIN(TestPeerStrangers)
#include "test_peer_strangers.moc"
