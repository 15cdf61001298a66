// The client against a raw socket: exact bytes of the control messages both
// ways, chunks that hold odd things, the file-transfer and plug-in messages,
// notices on 1205, and a megabyte of noise on both ports.
#include "peertesthelpers.h"

#include "shell/advertisementwindow.h"
#include "shell/socket/cp932.h"

#include <QApplication>
#include <QClipboard>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

using namespace testsupport;
using namespace peertest;

namespace {

bool readExactly(QTcpSocket &s, QByteArray &into, const QByteArray &expected, int ms = 5000)
{
    waitFor(
        [&] {
            into += s.readAll();
            return into.size() >= expected.size();
        },
        ms);
    return into == expected;
}

void sendChunk(QTcpSocket &s, const QByteArray &bytes)
{
    s.write(bytes);
    s.flush();
    s.waitForBytesWritten(1000);
}

} // namespace

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
        QByteArray got;
        QVERIFY(readExactly(raw, got, "con 100Wez ver 0.32 R1010"));

        QString asked;
        onQuestion(*c, answerYes, &asked);
        sendChunk(raw, sjis("con 500花子"));
        got.clear();
        QVERIFY(readExactly(raw, got, "con 110"));
        QCOMPARE(asked, QString::fromUtf8("「花子」さんから接続要求があります。接続しますか？"));
        QVERIFY(waitFor([&] { return windows(*c).chatWindow() != nullptr; }));

        // A line with a "}" and a double-byte character cut between two reads.
        const QByteArray line = sjis("con 900花子> 表示}テスト");
        const qsizetype cut = line.indexOf(char(0x95)) + 1;
        sendChunk(raw, line.left(cut));
        QTest::qWait(200);
        sendChunk(raw, line.mid(cut));
        QVERIFY(waitFor([&] { return display(*c) == QString::fromUtf8("花子> 表示}テスト\r\n"); }));

        // Two messages in one chunk are one message.
        sendChunk(raw, "con 900aacon 900bb");
        QVERIFY(waitFor([&] { return display(*c).startsWith(QStringLiteral("aacon 900bb\r\n")); }));

        // Unknown and short heads are shown, not dropped.
        sendChunk(raw, "xyz 123hello");
        QVERIFY(
            waitFor([&] { return c->desktop().shownMessages().contains(QStringLiteral("xyz 123/hello")); }));
        sendChunk(raw, "abc");
        QVERIFY(waitFor([&] { return c->desktop().shownMessages().contains(QStringLiteral("abc/")); }));

        // File-transfer messages land in the shared state; malformed offers are
        // ignored. The offer is taken at once: the chat is ready to receive.
        SharedState &s = c->core().state();
        sendChunk(raw, sjis("con 999写真.jpg/41"));
        got.clear();
        QVERIFY(readExactly(raw, got, "con 998"));
        QCOMPARE(s.recvLastBlock, 41);
        QCOMPARE(s.recvFileName, QString::fromUtf8("写真.jpg"));
        sendChunk(raw, "con 999noslash");
        QTest::qWait(200); // its own chunk: nothing to observe for an ignored offer
        sendChunk(raw, "con 810");
        QVERIFY(waitFor([&] { return s.blockAck == -1; }));
        sendChunk(raw, "con 999big.bin/4294967296");
        QTest::qWait(200);
        sendChunk(raw, "con 800");
        QVERIFY(waitFor([&] { return s.blockAck == 1; }));
        sendChunk(raw, "con 998");
        QVERIFY(waitFor([&] { return s.peerReady == 1; }));
        QCOMPARE(s.recvFileName, QString::fromUtf8("写真.jpg"));
        QCOMPARE(s.recvLastBlock, 41);

        // Plug-in data comes in through "con 700" and goes out through the clipboard.
        sendChunk(raw, sjis("con 700データ"));
        QVERIFY(waitFor([] {
            return QApplication::clipboard()->text() == QString::fromUtf8("wez_plugin_rcve_linkデータ");
        }));
        QApplication::clipboard()->setText(QString::fromUtf8("wez_plugin_send_link送る"));
        got.clear();
        QVERIFY(readExactly(raw, got, sjis("con 700送る")));
        QVERIFY(waitFor([] { return QApplication::clipboard()->text().isEmpty(); }));
        QApplication::clipboard()->setText(QStringLiteral("unrelated"));

        // The own line goes out exactly as shown.
        ChatBoardWindow *chat = windows(*c).chatWindow();
        child<QLineEdit>(chat, "Text2")->setText(QString::fromUtf8("こんにちは"));
        click(chat, "Command1");
        got.clear();
        QVERIFY(readExactly(raw, got, sjis("con 900太郎> こんにちは")));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("unrelated"));

        // The partner ends: "con 120" is answered by "con 120" (the window's closing) and "con 525".
        sendChunk(raw, "con 120");
        got.clear();
        QVERIFY(waitFor([&] {
            got += raw.readAll();
            return got.contains("con 525");
        }));
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
        sendChunk(*raw, "con 100Wez ver 0.32 R1010");
        QByteArray got;
        QVERIFY(readExactly(*raw, got, sjis("con 500太郎")));
        sendChunk(*raw, "con 110");
        QVERIFY(waitFor([&] { return windows(*c).chatWindow() && windows(*c).chatWindow()->isVisible(); }));
        QVERIFY(!c->core().state().quietClose);
        raw->close();
        // A partner that vanishes mid-chat: the watchdog reports it and closes the window.
        QVERIFY(waitFor([&] { return !windows(*c).chatWindow() && listening(*c); }, 10000));
    }

    void noiseOnBothPorts()
    {
        QTemporaryDir dir;
        auto c = startClient(dir.path(), 2, QString::fromUtf8("太郎"));
        QVERIFY(waitFor([&] { return listening(*c); }));
        QByteArray noise(1024 * 1024, Qt::Uninitialized);
        QRandomGenerator rng(1200);
        for (auto &b : noise)
            b = char(rng.bounded(256));
        for (quint16 port : {quint16(1200), quint16(1205)}) {
            QTcpSocket raw;
            raw.connectToHost(loopback(2), port);
            QVERIFY(raw.waitForConnected(3000));
            for (qsizetype at = 0; at < noise.size(); at += 65536) {
                raw.write(noise.mid(at, 65536));
                raw.waitForBytesWritten(2000);
                QTest::qWait(5);
            }
            raw.disconnectFromHost();
            if (raw.state() != QAbstractSocket::UnconnectedState) raw.waitForDisconnected(3000);
        }
        // Whatever questions the noise raised are answered "no".
        if (YesNoWindow *w = c->desktop().yesNoWindow()) w->close();
        QVERIFY(waitFor([&] { return listening(*c) && c->core().winsock3().state() == Endpoint::Listening; },
                        10000));
        QTcpSocket again;
        again.connectToHost(loopback(2), 1200);
        QVERIFY(again.waitForConnected(3000));
        QByteArray got;
        QVERIFY(readExactly(again, got, "con 100Wez ver 0.32 R1010"));
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
            sendChunk(raw, sjis(text));
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
        notice("SRM 100転送中");
        QTest::qWait(300);
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
