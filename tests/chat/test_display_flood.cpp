// A partner that keeps to the protocol and still tries to fill the client's
// memory: hundreds of 60 KiB chat lines, dozens of 60 KiB posts (one per
// connection, as the client takes them). The chat
// display and the post window keep about a million characters, newest first
// and whole to the last line, and their logs get no more than that.
#include "floodsupport.h"

#include "clienthelpers.h"
#include "mail/messagepostwindow.h"
#include "shell/socket/cp932.h"
#include "shell/textcap.h"

#include <QTcpSocket>

using namespace testsupport;
using namespace clienttest;
using namespace flood;
using textcap::kMaxKeptChars;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr int kChatLines = 300; // even cut to the line cap, more than the display keeps
constexpr int kPosts = 24;      // 1.4 million characters: more than the window keeps

// Numbered first, so each can be told apart.
QString bigLine(int i)
{
    return QStringLiteral("%1:").arg(i, 3, 10, QLatin1Char('0')) +
           QString(60 * 1024 - 4, QChar(u'a' + i % 26));
}

// As a sender writes it: the "Messege from" line and 60 lines of 1 KiB.
QString bigPost(int i)
{
    return QStringLiteral("Messege from Mallory%1 2024/01/02 3:04:05").arg(i) +
           (kCrLf + QString(1022, QChar(u'a' + i % 26))).repeated(60);
}

// Items last, last - 1, ... in a row, until there is more than a box keeps.
QString newestFirst(const std::function<QString(int)> &item, int last)
{
    QString text;
    for (int i = last; i >= 0 && text.size() <= kMaxKeptChars; --i)
        text += item(i) + kCrLf;
    return text;
}

// A partner at its own address that speaks the peer protocol by hand.
struct RawPartner {
    QTcpSocket socket;
    QByteArray received;

    RawPartner()
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] { received += socket.readAll(); });
        socket.bind(loopback(9));
        socket.connectToHost(loopback(2), 1200);
    }
    void send(const QString &message) { socket.write(cp932::encode(message)); }
    bool got(const QByteArray &head, qsizetype times = 1)
    {
        return waitFor([&] { return received.count(head) >= times; }, 20000);
    }
};

} // namespace

class TestDisplayFlood : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void chatLinesStayWithinTheCap()
    {
        QTemporaryDir dir;
        auto a = startClient(dir.path(), 2, QString::fromUtf8("太郎"));
        QVERIFY(waitFor([&] { return listening(*a); }));
        onQuestion(*a, answerYes);
        RawPartner mallory;
        QVERIFY(mallory.got("con 100"));
        mallory.send(QStringLiteral("con 500Mallory"));
        QVERIFY(mallory.got("con 110"));

        resetPeakResident();
        const qint64 before = residentKb();
        for (int i = 0; i < kChatLines; ++i) {
            mallory.send(QStringLiteral("con 900") + bigLine(i));
            QVERIFY(waitFor([&] { return display(*a).startsWith(bigLine(i).left(4)); }, 20000));
        }
        const qint64 peak = peakResidentKb();
        const QString shown = display(*a);
        const auto *box = child<QPlainTextEdit>(windows(*a).chatWindow(), "Text1");
        QVERIFY(box->document()->characterCount() <= kMaxKeptChars + 1);
        // Mallory ends the chat; the log gets what the display kept.
        mallory.send(QStringLiteral("con 120"));
        QVERIFY(waitFor([&] { return !windows(*a).chatWindow(); }, 20000));
        const QByteArray log = readFile(QDir(dir.path()).filePath(QStringLiteral("wezchat.log")));
        qInfo(
            "flood: %d chat lines of 60 KiB: rss %lld kB before, peak %lld kB; display kept %lld characters, "
            "chat log %lld bytes",
            kChatLines, before, peak, shown.size(), log.size());

        // Newest first, each line whole up to the line cap, the last one too;
        // only what did not fit is gone, the oldest first.
        QVERIFY2(shown.size() <= kMaxKeptChars, qPrintable(QString::number(shown.size())));
        QVERIFY(shown.size() > kMaxKeptChars - textcap::kMaxChatLineChars - 2);
        QVERIFY(shown.endsWith(kCrLf));
        QVERIFY(newestFirst([](int i) { return textcap::clip(bigLine(i), textcap::kMaxChatLineChars); },
                            kChatLines - 1)
                    .startsWith(shown));
        QVERIFY(log.endsWith(cp932::encode(kCrLf + shown + kCrLf)));
        QVERIFY(log.size() < kMaxKeptChars + 64);
    }

    void postsStayWithinTheCap()
    {
        QTemporaryDir dir;
        auto a = startClient(dir.path(), 2, QString::fromUtf8("太郎"));
        QVERIFY(waitFor([&] { return listening(*a); }));
        resetPeakResident();
        const qint64 before = residentKb();
        for (int i = 0; i < kPosts; ++i) {
            RawPartner mallory;
            QVERIFY(mallory.got("con 100"));
            mallory.send(QStringLiteral("con 010") + bigPost(i));
            QVERIFY(mallory.got("con 020"));
            // A second post on the same connection is not taken.
            mallory.send(QStringLiteral("con 010") + bigPost(i + 1000));
            mallory.socket.waitForBytesWritten(1000);
            mallory.socket.disconnectFromHost();
            QVERIFY(waitFor([&] { return a->core().winsock1().state() != Endpoint::Connected; }));
            // The watchdog's twenty ticks, at once: the port listens for the next sender.
            for (int t = 0; t <= PeerLink::kMaxTicks; ++t)
                windows(*a).link().timer1Tick();
            QVERIFY(waitFor([&] { return listening(*a); }));
        }
        const qint64 peak = peakResidentKb();
        PostWindow *post = windows(*a).messagePostWindow();
        const QString shown = post->text();
        click(post, "Command1");
        const QByteArray log = readFile(QDir(dir.path()).filePath(QStringLiteral("wezmes.log")));
        qInfo(
            "flood: %d posts of 60 KiB: rss %lld kB before, peak %lld kB; post window kept %lld characters, "
            "message log %lld bytes",
            kPosts, before, peak, shown.size(), log.size());

        // The newest posts whole, then the next one down to the last line that fit.
        QVERIFY2(shown.size() <= kMaxKeptChars, qPrintable(QString::number(shown.size())));
        QVERIFY(shown.size() > kMaxKeptChars - 1100);
        const QString all = newestFirst(bigPost, kPosts - 1);
        QVERIFY(all.startsWith(shown));
        QCOMPARE(all.mid(shown.size(), 2), kCrLf);
        QCOMPARE(log, cp932::encode(shown + kCrLf));
    }
};

QTEST_MAIN(TestDisplayFlood)
#include "test_display_flood.moc"
