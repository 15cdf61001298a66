// The client against a raw socket: exact bytes of the control messages both
// ways, chunks that hold odd things, the file-transfer and plug-in messages,
// and notices on 1205.
#include "clienthelpers.h"

#include "shell/advertisementwindow.h"
#include "shell/socket/cp932.h"

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

using namespace testsupport;
using namespace clienttest;

class TestPeerWire : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void acceptorSide()
    {
        QTemporaryDir dir;
        auto c = startClient(dir.path(), 2, QString::fromUtf8("太郎"));
        QVERIFY(waitFor([&] { return listening(*c); }));
        QTcpSocket raw;
        raw.connectToHost(loopback(2), 1200);
        QVERIFY(raw.waitForConnected(3000));
        QVERIFY(readExactly(raw, "con 100Wez ver 0.32 R1010"));

        QString asked;
        onQuestion(*c, answerYes, &asked);
        sendRaw(raw, sjis("con 500花子"));
        QVERIFY(readExactly(raw, "con 110"));
        QCOMPARE(asked, QString::fromUtf8("「花子」さんから接続要求があります。接続しますか？"));
        QVERIFY(waitFor([&] { return windows(*c).chatWindow() != nullptr; }));

        // A line with a "}" and a double-byte character cut between two reads.
        QSignalSpy arrivals(&c->core().winsock1(), &Endpoint::dataArrival);
        const QByteArray line = sjis("con 900花子> 表示}テスト");
        const qsizetype cut = line.indexOf(char(0x95)) + 1;
        sendRaw(raw, line.left(cut));
        QVERIFY(arrivals.wait()); // taken in on its own
        sendRaw(raw, line.mid(cut));
        QVERIFY(waitFor([&] { return display(*c) == QString::fromUtf8("花子> 表示}テスト\r\n"); }));

        // Two messages in one chunk are one message.
        sendRaw(raw, "con 900aacon 900bb");
        QVERIFY(waitFor([&] { return display(*c).startsWith(QStringLiteral("aacon 900bb\r\n")); }));

        // Unknown and short heads are shown, not dropped.
        sendRaw(raw, "xyz 123hello");
        QVERIFY(
            waitFor([&] { return c->desktop().shownMessages().contains(QStringLiteral("xyz 123/hello")); }));
        sendRaw(raw, "abc");
        QVERIFY(waitFor([&] { return c->desktop().shownMessages().contains(QStringLiteral("abc/")); }));

        // File-transfer messages land in the shared state; malformed offers are
        // ignored. The offer is taken at once: the chat is ready to receive.
        SharedState &s = c->core().state();
        sendRaw(raw, sjis("con 999写真.jpg/41"));
        QVERIFY(readExactly(raw, "con 998"));
        QCOMPARE(s.recvLastBlock, 41);
        QCOMPARE(s.recvFileName, QString::fromUtf8("写真.jpg"));
        // Each malformed offer its own chunk, taken in before the next is sent.
        arrivals.clear();
        sendRaw(raw, "con 999noslash");
        QVERIFY(arrivals.wait());
        sendRaw(raw, "con 810");
        QVERIFY(waitFor([&] { return s.blockAck == -1; }));
        arrivals.clear();
        sendRaw(raw, "con 999big.bin/4294967296");
        QVERIFY(arrivals.wait());
        sendRaw(raw, "con 800");
        QVERIFY(waitFor([&] { return s.blockAck == 1; }));
        sendRaw(raw, "con 998");
        QVERIFY(waitFor([&] { return s.peerReady == 1; }));
        QCOMPARE(s.recvFileName, QString::fromUtf8("写真.jpg"));
        QCOMPARE(s.recvLastBlock, 41);

        // Plug-in data comes in through "con 700" and goes out through the clipboard.
        sendRaw(raw, sjis("con 700データ"));
        QVERIFY(waitFor([] {
            return QApplication::clipboard()->text() == QString::fromUtf8("wez_plugin_rcve_linkデータ");
        }));
        QApplication::clipboard()->setText(QString::fromUtf8("wez_plugin_send_link送る"));
        QVERIFY(readExactly(raw, sjis("con 700送る")));
        QVERIFY(waitFor([] { return QApplication::clipboard()->text().isEmpty(); }));
        QApplication::clipboard()->setText(QStringLiteral("unrelated"));

        // The own line goes out exactly as shown.
        ChatBoardWindow *chat = windows(*c).chatWindow();
        child<QLineEdit>(chat, "Text2")->setText(QString::fromUtf8("こんにちは"));
        click(chat, "Command1");
        QVERIFY(readExactly(raw, sjis("con 900太郎> こんにちは")));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("unrelated"));

        // The partner ends: "con 120" is answered by "con 120" (the window's closing) and "con 525".
        sendRaw(raw, "con 120");
        QByteArray got;
        QVERIFY(readUntil(raw, got, "con 525"));
        QVERIFY(got.startsWith("con 120"));
        QVERIFY(!windows(*c).chatWindow() || waitFor([&] { return !windows(*c).chatWindow(); }));
        raw.close();
        QVERIFY(waitFor([&] { return listening(*c); }, 10000));
    }

    void initiatorSide()
    {
        QTemporaryDir dir;
        auto c = startClient(dir.path(), 2, QString::fromUtf8("太郎"));
        QTcpServer partner;
        QVERIFY(partner.listen(loopback(3), 1200));
        setIpBox(*c, loopback(3).toString());
        QVERIFY(waitFor([&] { return listening(*c); }));
        click(c->entranceWindow(), "Command2");
        QVERIFY(partner.waitForNewConnection(5000));
        std::unique_ptr<QTcpSocket> raw(partner.nextPendingConnection());
        sendRaw(*raw, "con 100Wez ver 0.32 R1010");
        QVERIFY(readExactly(*raw, sjis("con 500太郎")));
        sendRaw(*raw, "con 110");
        QVERIFY(waitFor([&] { return windows(*c).chatWindow() && windows(*c).chatWindow()->isVisible(); }));
        QVERIFY(!c->core().state().quietClose);
        raw->close();
        // A partner that vanishes mid-chat: the watchdog reports it and closes the window.
        QVERIFY(waitFor([&] { return !windows(*c).chatWindow() && listening(*c); }, 10000));
    }

    void noticesNewestFirstAndRefusedDuringTransfer()
    {
        QTemporaryDir dir;
        auto c = startClient(dir.path(), 2, QString::fromUtf8("太郎"));
        QVERIFY(waitFor([&] { return c->core().winsock3().state() == Endpoint::Listening; }));
        auto notice = [&](const char *text) {
            QTcpSocket raw;
            raw.connectToHost(loopback(2), 1205);
            if (!raw.waitForConnected(3000)) return false;
            sendRaw(raw, sjis(text));
            raw.waitForBytesWritten(1000);
            raw.disconnectFromHost();
            return true;
        };
        auto page = [&] { return windows(*c).advertisementWindow(); };
        QVERIFY(notice("SRM 100お知らせ1"));
        QVERIFY(waitFor([&] { return page() && page()->text() == QString::fromUtf8("お知らせ1"); }));
        QVERIFY(page()->isVisible());
        QCOMPARE(c->core().state().windowOpen[7], int16_t(1));
        QVERIFY(c->desktop().playedSounds().join(QLatin1Char(' ')).contains(QStringLiteral("messegeR.wav")));
        // The listener takes the next sender once the first one closed.
        QVERIFY(waitFor(
            [&] { return notice("SRM 100お知らせ2") && page()->text().count(QStringLiteral("\r\n")) == 1; },
            10000));
        QCOMPARE(page()->text(), QString::fromUtf8("お知らせ2\r\nお知らせ1"));
        QCOMPARE(child<QPlainTextEdit>(page(), "Text1")->toPlainText(),
                 QString::fromUtf8("お知らせ2\nお知らせ1"));
        QVERIFY(notice("XYZ 100ignored"));

        // During a file transfer a notice is turned away, and the listener stays open.
        QVERIFY(waitFor([&] { return c->core().winsock3().state() == Endpoint::Listening; }, 10000));
        c->core().state().transferActive = 1;
        QTcpSocket turnedAway;
        bool reached = false;
        connect(&turnedAway, &QTcpSocket::connected, this, [&] {
            reached = true;
            sendRaw(turnedAway, sjis("SRM 100転送中"));
        });
        QVERIFY(turnedAway.bind(loopback(9)));
        turnedAway.connectToHost(loopback(2), 1205);
        QVERIFY(waitFor([&] { return reached && turnedAway.state() == QAbstractSocket::UnconnectedState; }));
        QCOMPARE(c->core().winsock3().state(), int(Endpoint::Listening));
        c->core().state().transferActive = 0;
        QVERIFY(waitFor(
            [&] {
                return notice("SRM 100転送後") && page()->text().startsWith(QString::fromUtf8("転送後\r\n"));
            },
            10000));
        QVERIFY(!page()->text().contains(QString::fromUtf8("転送中")));
        QVERIFY(!page()->text().contains(QStringLiteral("ignored")));
    }
};

QTEST_MAIN(TestPeerWire)
#include "test_peer_wire.moc"
