// Two clients in one process, on their own loopback addresses, driven through
// their windows: a chat from call to log, a declined, an unanswered and an
// unreachable call, message posts, and the chat-status notices on the wire.
#include "clienthelpers.h"

#include "mail/messagepostwindow.h"
#include "shell/socket/cp932.h"
#include "shell/textcap.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

using namespace testsupport;
using namespace clienttest;

namespace {

const QString kTaro = QString::fromUtf8("太郎");
const QString kHanako = QString::fromUtf8("花子");
const QString kCouldNot =
    QString::fromUtf8("相手に接続できませんでした。\r\nしばらくしてから、再度接続してください。");

// The directory server's notice ports, as a script: what each connection sent.
struct NoticeServer {
    QTcpServer ports[2];
    QList<QPair<quint16, QByteArray>> received;

    explicit NoticeServer(const QHostAddress &address)
    {
        const quint16 numbers[2] = {1204, 1206};
        for (int i = 0; i < 2; ++i) {
            QTcpServer &server = ports[i];
            const quint16 port = numbers[i];
            QVERIFY(server.listen(address, port));
            QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server, port] {
                while (QTcpSocket *s = server.nextPendingConnection()) {
                    auto *buffer = new QByteArray;
                    QObject::connect(s, &QTcpSocket::readyRead, s, [s, buffer] { *buffer += s->readAll(); });
                    QObject::connect(s, &QTcpSocket::disconnected, s, [this, s, buffer, port] {
                        *buffer += s->readAll();
                        received.append({port, *buffer});
                        delete buffer;
                        s->deleteLater();
                    });
                }
            });
        }
    }
    bool got(quint16 port, const QByteArray &bytes) const
    {
        return received.contains(qMakePair(port, bytes));
    }
};

QString logText(const QString &dir)
{
    return cp932::decode(readFile(QDir(dir).filePath(QStringLiteral("wezchat.log"))));
}

QString logPattern(const QString &display, int times)
{
    QString one = QStringLiteral("Data:[^\r\n]+ Time:[^\r\n]+\r\n") + QRegularExpression::escape(display) +
                  QStringLiteral("\r\n");
    return QStringLiteral("^") + one.repeated(times) + QStringLiteral("$");
}

} // namespace

class TestPeerE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void chatFromCallToLog()
    {
        NoticeServer notices(loopback(4));
        QTemporaryDir dirA, dirB;
        auto a = startClient(dirA.path(), 2, kTaro);
        auto b = startClient(dirB.path(), 3, kHanako);
        a->core().state().serverAddress = loopback(4).toString();
        b->core().state().serverAddress = loopback(4).toString();
        QVERIFY(waitFor([&] { return listening(*a) && listening(*b); }));

        QString asked;
        onQuestion(*b, answerYes, &asked);
        setIpBox(*a, loopback(3).toString());
        click(a->entranceWindow(), "Command2");
        QVERIFY(waitFor([&] { return windows(*a).chatWindow() && windows(*b).chatWindow(); }));
        QCOMPARE(asked, QString::fromUtf8("「太郎」さんから接続要求があります。接続しますか？"));
        QVERIFY(b->desktop().playedSounds().join(QLatin1Char(' ')).contains(QStringLiteral("connectok.wav")));
        QVERIFY(windows(*a).chatWindow()->isVisible());
        QVERIFY(!a->entranceWindow()->button(2)->isEnabled() ||
                waitFor([&] { return !a->entranceWindow()->button(2)->isEnabled(); }));

        // Lines both ways, a "}" among them, newest first on both sides.
        ChatBoardWindow *chatA = windows(*a).chatWindow();
        ChatBoardWindow *chatB = windows(*b).chatWindow();
        child<QLineEdit>(chatA, "Text2")->setText(QString::fromUtf8("こんにちは}です"));
        click(chatA, "Command1");
        QVERIFY(child<QLineEdit>(chatA, "Text2")->text().isEmpty());
        QVERIFY(waitFor([&] { return !display(*b).isEmpty(); }));
        auto *inputB = child<QLineEdit>(chatB, "Text2");
        inputB->setText(QString::fromUtf8("はい"));
        QTest::keyClick(inputB, Qt::Key_Return);
        QVERIFY(waitFor([&] { return display(*a).count(QStringLiteral("\r\n")) == 2; }));
        const QString conversation = QString::fromUtf8("花子> はい\r\n太郎> こんにちは}です\r\n");
        QCOMPARE(display(*a), conversation);
        QCOMPARE(display(*b), conversation);
        // An empty input line sends nothing.
        click(chatB, "Command1");

        // A feeling: index 9 goes out without the caption's "！！".
        chatB->feelingAction(9)->trigger();
        QVERIFY(waitFor([&] { return display(*a).count(QStringLiteral("\r\n")) == 3; }));
        QVERIFY(display(*a).startsWith(
            QString::fromUtf8("花子さんは、今「だ～～～っい嫌い」って感じです。\r\n")));
        QVERIFY(display(*b).startsWith(QString::fromUtf8("自分の気持ち(だ～～～っい嫌い)を伝えました\r\n")));
        const QString finalA = display(*a);
        const QString finalB = display(*b);

        // "接続を切る" ends it on both sides; both listen again.
        click(chatA, "Command3");
        QVERIFY(waitFor([&] { return !windows(*a).chatWindow() && !windows(*b).chatWindow(); }, 10000));
        QVERIFY(waitFor([&] { return listening(*a) && listening(*b); }, 10000));
        QVERIFY(a->entranceWindow()->button(2)->isEnabled() ||
                waitFor([&] { return a->entranceWindow()->button(2)->isEnabled(); }));
        // The one who ended it logged the conversation twice.
        QVERIFY2(QRegularExpression(logPattern(finalA, 2)).match(logText(dirA.path())).hasMatch(),
                 qPrintable(logText(dirA.path())));
        QVERIFY2(QRegularExpression(logPattern(finalB, 1)).match(logText(dirB.path())).hasMatch(),
                 qPrintable(logText(dirB.path())));
        QVERIFY(a->desktop().shownMessages().filter(kCouldNot).isEmpty());

        // The status notices: the caller's start on 1204, the other's on 1206, the end on 1206.
        QVERIFY(waitFor([&] {
            return notices.got(1204, "CCK 100") && notices.got(1206, "CCK 100") &&
                   notices.got(1206, "CCK 200");
        }));
        for (const auto &[port, bytes] : notices.received)
            QVERIFY2(bytes == "CCK 100" || bytes == "CCK 200" || bytes.isEmpty(), bytes.constData());
    }

    void declinedCall()
    {
        QTemporaryDir dirA, dirB;
        auto a = startClient(dirA.path(), 2, kTaro);
        auto b = startClient(dirB.path(), 3, kHanako);
        QVERIFY(waitFor([&] { return listening(*a) && listening(*b); }));
        onQuestion(*b, answerNo);
        setIpBox(*a, loopback(3).toString());
        click(a->entranceWindow(), "Command2");
        QVERIFY(waitFor([&] { return a->desktop().shownMessages().contains(kCouldNot); }, 10000));
        QVERIFY(!windows(*a).chatWindow());
        QVERIFY(!windows(*b).chatWindow());
        QVERIFY(waitFor([&] { return listening(*a) && listening(*b); }, 10000));
    }

    void unansweredCall()
    {
        QTemporaryDir dirA, dirB;
        auto a = startClient(dirA.path(), 2, kTaro);
        auto b = startClient(dirB.path(), 3, kHanako);
        QVERIFY(waitFor([&] { return listening(*a) && listening(*b); }));
        const QString unanswered = QString::fromUtf8("相手がパソコンの前にいない可能性があります\r\n"
                                                     "しばらくしてから、接続しなおしてください");
        bool closedWhileAsking = false;
        // Nobody answers; once the caller gave up, the question is closed.
        onQuestion(*b, [&](YesNoWindow *w) {
            auto *poll = new QTimer(w);
            QObject::connect(poll, &QTimer::timeout, w, [&, w] {
                if (b->core().winsock1().state() == Endpoint::Connected) return;
                closedWhileAsking = a->desktop().shownMessages().contains(unanswered);
                w->close();
            });
            poll->start(100);
        });
        setIpBox(*a, loopback(3).toString());
        click(a->entranceWindow(), "Command2");
        QVERIFY(waitFor([&] { return closedWhileAsking; }, 40000));
        QVERIFY(
            b->desktop().playedSounds().join(QLatin1Char(' ')).contains(QStringLiteral("connectend.wav")));
        QVERIFY(!windows(*b).chatWindow());
        QVERIFY(waitFor([&] { return listening(*a) && listening(*b); }, 10000));
        // The user was told why; the watchdog's vaguer text does not follow.
        QCOMPARE(a->desktop().shownMessages(), QStringList{unanswered});
    }

    void callToNobody()
    {
        QTemporaryDir dirA;
        auto a = startClient(dirA.path(), 2, kTaro);
        QVERIFY(waitFor([&] { return listening(*a); }));
        // Address prompts first.
        click(a->entranceWindow(), "Command2");
        QCOMPARE(a->desktop().shownMessages().last(),
                 QString::fromUtf8("ＩＰボックスに、相手のＩＰを指定してください"));
        setIpBox(*a, loopback(3).toString());
        click(a->entranceWindow(), "Command2");
        // Refused: the socket's own error says so, and the watchdog's vaguer text does not follow.
        QVERIFY(waitFor([&] { return a->desktop().shownMessages().size() == 2; }, 10000));
        QCOMPARE(a->desktop().shownMessages().last(),
                 QString::fromUtf8("Code:10061 = 接続が相手側から拒否されました\r\n\r\n"
                                   "接続できませんでした。しばらくしてから接続してください"));
        QVERIFY(waitFor([&] { return listening(*a); }));
        QCOMPARE(a->desktop().shownMessages().size(), 2);
        QCOMPARE(a->core().entrance().ipHistory(), QStringList{loopback(3).toString()});
    }

    void messagePostsStackAndLog()
    {
        QTemporaryDir dirA, dirB;
        auto a = startClient(dirA.path(), 2, kTaro);
        auto b = startClient(dirB.path(), 3, kHanako);
        QVERIFY(waitFor([&] { return listening(*a) && listening(*b); }));
        setIpBox(*a, loopback(3).toString());
        const QStringList posts{QString::fromUtf8("お元気ですか？}\n二行目"), QString::fromUtf8("二通目")};
        for (const QString &text : posts) {
            QVERIFY(waitFor([&] { return a->entranceWindow()->button(4)->isEnabled(); }));
            click(a->entranceWindow(), "Command4");
            PostWindow *post = windows(*a).messagePostWindow();
            QVERIFY(post && post->isVisible());
            QCOMPARE(a->core().entrance().postTarget(), loopback(3).toString());
            child<QPlainTextEdit>(post, "Text1")->setPlainText(text);
            click(post, "Command1");
            QVERIFY(waitFor([&] { return !windows(*a).messagePostWindow(); }, 10000));
            QVERIFY(waitFor([&] { return listening(*a); }, 10000));
        }
        PostWindow *shown = windows(*b).messagePostWindow();
        QVERIFY(shown && shown->isVisible());
        QCOMPARE(child<QPushButton>(shown, "Command1")->text(), QStringLiteral("OK"));
        QVERIFY(child<QPlainTextEdit>(shown, "Text1")->isReadOnly());
        QCOMPARE(b->desktop().playedSounds().filter(QStringLiteral("MessegeR.wav")).size(), 2);
        const QString text = shown->text();
        const QRegularExpression form(QStringLiteral("^Messege from ") + kTaro +
                                      QStringLiteral(" [^\r\n]+ [^\r\n]+\r\n二通目\r\nMessege from ") +
                                      kTaro +
                                      QStringLiteral(" [^\r\n]+ [^\r\n]+\r\nお元気ですか？}\r\n二行目$"));
        QVERIFY2(form.match(text).hasMatch(), qPrintable(text));
        click(shown, "Command1");
        QCOMPARE(readFile(dirB.filePath(QStringLiteral("wezmes.log"))),
                 cp932::encode(text + QStringLiteral("\r\n")));
        QVERIFY2(b->desktop().shownMessages().isEmpty(),
                 qPrintable(b->desktop().shownMessages().join(QLatin1Char('|'))));
    }

    void aNewerChatNoticeTakesTheConnection()
    {
        NoticeServer notices(loopback(4));
        QTemporaryDir dirA;
        auto a = startClient(dirA.path(), 2, kTaro);
        a->core().state().serverAddress = loopback(4).toString();
        // The second notice starts before the first one's connection is up: one notice per connection.
        a->core().notifyServerChat(1, QStringLiteral("1206"));
        a->core().notifyServerChat(2, QStringLiteral("1206"));
        QVERIFY(waitFor([&] { return notices.got(1206, "CCK 200"); }, 15000));
        // The first connection may have been reached and dropped empty; nothing else came.
        QVERIFY(holdsFor(
            [&] {
                for (const auto &[port, bytes] : notices.received)
                    if (!bytes.isEmpty() && bytes != "CCK 200") return false;
                return notices.received.count(qMakePair(quint16(1206), QByteArray("CCK 200"))) == 1;
            },
            300));
    }

    void postSizesAreBounded()
    {
        QTemporaryDir dirA;
        auto a = startClient(dirA.path(), 2, kTaro);
        // A draft stays within what a receiver shows, each line break counted as CR LF.
        windows(*a).openMessagePostWindow();
        PostWindow *post = windows(*a).messagePostWindow();
        child<QPlainTextEdit>(post, "Text1")->setPlainText(QStringLiteral("ab\n").repeated(30000));
        QVERIFY(post->text().size() <= textcap::kMaxPostBodyChars);
        QVERIFY(post->text().size() > textcap::kMaxPostBodyChars - 4);
        // A received post longer than that is shown cut, on top of the draft.
        const QString big = QStringLiteral("Messege from x\r\n") + QString(70000, QLatin1Char('y'));
        windows(*a).showReceivedPost(big);
        QVERIFY(post->text().startsWith(textcap::clip(big, textcap::kMaxPostChars) +
                                        QStringLiteral("\r\nab\r\n")));
        // Hidden in the tray the window is still loaded: the next post goes on top, the first stays.
        post->hide();
        windows(*a).showReceivedPost(QStringLiteral("Messege from y\r\nsecond"));
        QVERIFY(post->text().startsWith(QStringLiteral("Messege from y\r\nsecond\r\n") +
                                        textcap::clip(big, textcap::kMaxPostChars)));
    }

    void postToMailAddressSaysSo()
    {
        QTemporaryDir dirA;
        auto a = startClient(dirA.path(), 2, kTaro);
        QVERIFY(waitFor([&] { return listening(*a); }));
        setIpBox(*a, QStringLiteral("hanako@example.org"));
        click(a->entranceWindow(), "Command4");
        PostWindow *post = windows(*a).messagePostWindow();
        child<QPlainTextEdit>(post, "Text1")->setPlainText(QStringLiteral("hi"));
        click(post, "Command1");
        QVERIFY(a->desktop().shownMessages().last().contains(QString::fromUtf8("メール")));
        QCOMPARE(a->core().state().messagePostMode, int16_t(0));
        QCOMPARE(a->core().winsock1().state(), int(Endpoint::Listening));
    }
};

QTEST_MAIN(TestPeerE2e)
#include "test_peer_e2e.moc"
