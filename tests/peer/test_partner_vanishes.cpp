// A partner that hangs up at every step of a chat set-up and of a message
// post, on either side of the call. Each time the client returns to listening
// on 1200, keeps no conversation window open and no question waiting, and no
// message comes back again and again.
#include "chat/chatsession.h"
#include "clienthelpers.h"

#include "shell/socket/cp932.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

using namespace testsupport;
using namespace clienttest;

namespace {

const QByteArray kHello = "con 100Wez ver 0.32 R1010";

} // namespace

class TestPartnerVanishes : public QObject {
    Q_OBJECT

    std::unique_ptr<Client> m_client;
    QTemporaryDir m_dir;
    int m_ticks = 0;
    QTimer m_pulse;

    Client &client() { return *m_client; }

    // Back to listening, nothing left open or asking.
    void settled(const char *step)
    {
        QVERIFY2(waitFor([&] { return listening(client()); }, 10000), step);
        QVERIFY2(waitFor([&] { return !windows(client()).chatWindow(); }, 5000), step);
        QVERIFY2(!client().core().state().isOpen(ChatWindow), step);
        QVERIFY2(waitFor([&] { return !client().desktop().yesNoWindow(); }, 5000), step);
    }

    // No message repeats on its own: 25 more turns of Timer1 add nothing.
    void quietAfterwards()
    {
        const QStringList before = client().desktop().shownMessages();
        const int start = m_ticks;
        QVERIFY(waitFor([&] { return m_ticks >= start + 25; }, 10000));
        QCOMPARE(client().desktop().shownMessages(), before);
    }

private Q_SLOTS:
    void init()
    {
        m_client = startClient(m_dir.path(), 2, QString::fromUtf8("太郎"));
        // Ticks at Timer1's period on the client's thread, to count its turns.
        connect(&m_pulse, &QTimer::timeout, this, [this] { ++m_ticks; });
        m_pulse.start(100);
        QVERIFY(waitFor([&] { return listening(client()); }));
    }

    void cleanup()
    {
        if (YesNoWindow *w = m_client->desktop().yesNoWindow()) w->close();
        m_client.reset();
    }

    // The partner calls us and vanishes: after connecting, after our hello,
    // during our question, once the chat is open.
    void callerVanishes()
    {
        for (int step = 0; step < 4; ++step) {
            const QByteArray name = "step " + QByteArray::number(step);
            QTcpSocket raw;
            raw.bind(loopback(3), 0);
            raw.connectToHost(loopback(2), 1200);
            QVERIFY(raw.waitForConnected(3000));
            // Taken by the client, not only queued by the system.
            QVERIFY2(waitFor([&] { return client().core().winsock1().state() == Endpoint::Connected; }),
                     name.constData());
            QByteArray got;
            if (step >= 1) QVERIFY2(readUntil(raw, got, kHello), name.constData());
            if (step == 2) {
                // The caller hangs up while asked: the question goes with it, and nothing opens.
                bool asked = false;
                onQuestion(client(), [&](YesNoWindow *) {
                    asked = true;
                    raw.abort();
                });
                sendRaw(raw, sjis("con 500花子"));
                QVERIFY2(waitFor([&] { return asked && !client().desktop().yesNoWindow(); }, 10000),
                         name.constData());
                QVERIFY2(!windows(client()).chatWindow(), name.constData());
            }
            if (step == 3) {
                onQuestion(client(), answerYes);
                sendRaw(raw, sjis("con 500花子"));
                QVERIFY2(readUntil(raw, got, "con 110"), name.constData());
                QVERIFY2(waitFor([&] { return windows(client()).chatWindow() != nullptr; }),
                         name.constData());
            }
            raw.abort();
            if (step == 3) {
                QVERIFY(waitFor([&] { return listening(client()); }, 10000));
                // The chat window stays for the user to read, and says the partner is gone.
                QVERIFY(windows(client()).chatWindow());
                QVERIFY(waitFor([&] { return display(client()).startsWith(ChatSession::kPartnerLeftLine); }));
                windows(client()).chatWindow()->close(); // as the user does after reading it
            }
            settled(name.constData());
            QVERIFY(!QTest::currentTestFailed());
        }
        quietAfterwards();
    }

    // We call the partner and it vanishes: at once, after our request, once the chat is open.
    void calleeVanishes()
    {
        QTcpServer partner;
        QVERIFY(partner.listen(loopback(3), 1200));
        setIpBox(client(), loopback(3).toString());
        for (int step = 0; step < 3; ++step) {
            const QByteArray name = "step " + QByteArray::number(step);
            QVERIFY2(waitFor([&] { return client().entranceWindow()->button(2)->isEnabled(); }),
                     name.constData());
            click(client().entranceWindow(), "Command2");
            QVERIFY2(partner.waitForNewConnection(5000), name.constData());
            std::unique_ptr<QTcpSocket> raw(partner.nextPendingConnection());
            QByteArray got;
            if (step >= 1) {
                sendRaw(*raw, kHello);
                QVERIFY2(readUntil(*raw, got, sjis("con 500太郎")), name.constData());
            }
            if (step == 2) {
                sendRaw(*raw, "con 110");
                QVERIFY2(waitFor([&] { return windows(client()).chatWindow() != nullptr; }),
                         name.constData());
            }
            raw->abort();
            settled(name.constData());
            QVERIFY(!QTest::currentTestFailed());
        }
        quietAfterwards();
    }

    // A message post whose receiver vanishes: at once, after our post, after its receipt.
    void postReceiverVanishes()
    {
        QTcpServer partner;
        QVERIFY(partner.listen(loopback(3), 1200));
        setIpBox(client(), loopback(3).toString());
        for (int step = 0; step < 3; ++step) {
            const QByteArray name = "step " + QByteArray::number(step);
            QVERIFY2(waitFor([&] { return client().entranceWindow()->button(4)->isEnabled(); }),
                     name.constData());
            click(client().entranceWindow(), "Command4");
            PostWindow *post = windows(client()).messagePostWindow();
            QVERIFY2(post, name.constData());
            child<QPlainTextEdit>(post, "Text1")
                ->setPlainText(QStringLiteral("hello ") + QString::fromLatin1(name));
            click(post, "Command1");
            QVERIFY2(partner.waitForNewConnection(5000), name.constData());
            std::unique_ptr<QTcpSocket> raw(partner.nextPendingConnection());
            QByteArray got;
            if (step >= 1) {
                sendRaw(*raw, kHello);
                QVERIFY2(readUntil(*raw, got, "hello " + name), name.constData());
            }
            if (step == 2) sendRaw(*raw, "con 020");
            if (step == 2)
                QVERIFY2(waitFor([&] { return !windows(client()).messagePostWindow(); }), name.constData());
            raw->abort();
            settled(name.constData());
            QVERIFY(!QTest::currentTestFailed());
            // The post went out at most once.
            QVERIFY2(got.count("con 010") <= 1, got.constData());
            if (PostWindow *left = windows(client()).messagePostWindow()) left->close();
        }
        quietAfterwards();
    }
};

QTEST_MAIN(TestPartnerVanishes)
#include "test_partner_vanishes.moc"
