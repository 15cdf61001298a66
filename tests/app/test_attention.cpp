// What the user is told while looking elsewhere: the notifications of a chat
// request, a received post and a partner's line through the desktop, none
// while the window concerned is active, a flood held to one per quiet period,
// and the tray tooltip following the user's name and the peer state.
#include "corechat.h"

#include <QTest>

using namespace testsupport;

namespace {

QList<FakeDesktop::Notice> of(const CoreSide &side, const QString &title)
{
    QList<FakeDesktop::Notice> found;
    for (const FakeDesktop::Notice &n : side.desk.notices)
        if (n.title == title) found << n;
    return found;
}

const QString kIdle = QString::fromUtf8("待ち受け中");

} // namespace

class TestAttention : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requestAndLinesNotifyUnlessTheWindowIsActive()
    {
        CoreSide a(2, QString::fromUtf8("太郎")), b(3, QString::fromUtf8("花子"));
        // Every notice here falls in a quiet period of its own.
        qint64 now = 0;
        for (CoreSide *side : {&a, &b})
            side->client->attention.setClock([&now] { return now += Attention::kQuietMs; });
        QVERIFY(startChat(a, b));
        const QList<FakeDesktop::Notice> requests = of(b, Attention::kRequestTitle);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].window, 0);
        QCOMPARE(requests[0].text, QString::fromUtf8("「太郎」さんから接続要求があります。"));
        QVERIFY(a.desk.notices.isEmpty()); // the caller asked for it

        a.client->chat.sendLine(QString::fromUtf8("こんにちは"));
        QVERIFY(waitFor([&] { return b.lines().size() == 1; }));
        QCOMPARE(of(b, Attention::kLineTitle).size(), 1);
        QCOMPARE(of(b, Attention::kLineTitle)[0].window, int(ChatWindow));
        QCOMPARE(of(b, Attention::kLineTitle)[0].text, QString::fromUtf8("太郎> こんにちは"));
        // Our own lines tell us nothing; the partner's do.
        b.client->chat.sendLine(QStringLiteral("hi"));
        QVERIFY(waitFor([&] { return a.lines().size() == 2; }));
        QCOMPARE(of(b, Attention::kLineTitle).size(), 1);
        QCOMPARE(of(a, Attention::kLineTitle).size(), 1);

        // A user at the chat window sees the line there; a user elsewhere in the program does not.
        a.desk.activeWindows = {1};
        b.desk.activeWindows = {0, ChatWindow};
        b.client->chat.sendLine(QStringLiteral("again"));
        a.client->chat.sendLine(QStringLiteral("again"));
        QVERIFY(waitFor([&] { return a.lines().size() == 4 && b.lines().size() == 4; }));
        QCOMPARE(of(b, Attention::kLineTitle).size(), 1);
        QCOMPARE(of(a, Attention::kLineTitle).size(), 2);

        // A second request while the user is in the program: the question says it all.
        a.client->chat.hangUp();
        QVERIFY(waitFor([&] { return a.listening() && b.listening(); }, 10000));
        a.desk.activeWindows = {0};
        QVERIFY(startChat(b, a));
        QVERIFY(of(a, Attention::kRequestTitle).isEmpty());
    }

    void floodIsHeldToOneNoticePerQuietPeriod()
    {
        CoreSide a(4, QString::fromUtf8("太郎")), b(5, QString::fromUtf8("花子"));
        qint64 now = 1000;
        b.client->attention.setClock([&now] { return now; });
        QVERIFY(startChat(a, b));
        // One line at a time: chunks that meet on the way would read as one line.
        auto say = [&](const QString &text) {
            const qsizetype before = b.client->chat.lines().size();
            a.client->link.send(QStringLiteral("con 900") + text);
            return waitFor([&] { return b.client->chat.lines().size() == before + 1; });
        };
        QVERIFY(say(QStringLiteral("x\r\ny\tz") + QString(5000, u'w')));
        for (int i = 1; i < 50; ++i)
            QVERIFY(say(QString::number(i)));
        QList<FakeDesktop::Notice> lines = of(b, Attention::kLineTitle);
        QCOMPARE(lines.size(), 1);
        // A stranger's line becomes one short line of text.
        QVERIFY(lines[0].text.startsWith(QStringLiteral("x y z")));
        QCOMPARE(lines[0].text.size(), Attention::kMaxShownChars);
        QVERIFY(!lines[0].text.contains(u'\n') && !lines[0].text.contains(u'\r'));

        // Just before the quiet period ends: still held. After it: one notice that counts the rest.
        now += Attention::kQuietMs - 1;
        QVERIFY(say(QStringLiteral("held")));
        QCOMPARE(of(b, Attention::kLineTitle).size(), 1);
        now += 1;
        QVERIFY(say(QStringLiteral("shown")));
        lines = of(b, Attention::kLineTitle);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[1].text, QString::fromUtf8("shown（ほかに 50 件）"));

        // What the user saw at the window is not counted again.
        QVERIFY(say(QStringLiteral("held again")));
        b.desk.activeWindows = {ChatWindow};
        QVERIFY(say(QStringLiteral("seen")));
        b.desk.activeWindows.clear();
        now += Attention::kQuietMs;
        QVERIFY(say(QStringLiteral("later")));
        QCOMPARE(of(b, Attention::kLineTitle).last().text, QStringLiteral("later"));
    }

    void receivedPostNotifies()
    {
        CoreSide a(6, QString::fromUtf8("太郎")), b(7, QString::fromUtf8("花子"));
        QVERIFY(waitFor([&] { return a.listening() && b.listening(); }));
        const QString target = loopback(7).toString();
        a.client->link.startMessagePost(target, QString::fromUtf8("お元気ですか"));
        QVERIFY(waitFor([&] { return of(b, Attention::kPostTitle).size() == 1; }, 10000));
        const FakeDesktop::Notice post = of(b, Attention::kPostTitle)[0];
        QCOMPARE(post.window, int(MessagePostWindow));
        QVERIFY(post.text.startsWith(QString::fromUtf8("メッセージが届きました：Messege from 太郎 ")));
        QVERIFY(post.text.endsWith(QString::fromUtf8(" お元気ですか")));

        // The second post arrives while the user reads the first one in its window.
        QVERIFY(waitFor([&] { return a.listening() && b.listening(); }, 10000));
        b.desk.activeWindows = {MessagePostWindow};
        a.client->link.startMessagePost(target, QStringLiteral("2"));
        QVERIFY(waitFor([&] { return b.received.size() == 2; }, 10000));
        QCOMPARE(of(b, Attention::kPostTitle).size(), 1);
    }

    void toolTipNamesUserAndState()
    {
        CoreSide a(8, QString::fromUtf8("太郎")), b(10, QString());
        const QString prefix = QStringLiteral("wez Entrance - ");
        QVERIFY(waitFor(
            [&] { return b.desk.trayToolTip == prefix + QString::fromUtf8("（名前未入力）\n") + kIdle; }));
        b.client->core.entrance().setName(QString::fromUtf8("花子"));
        QCOMPARE(b.desk.trayToolTip, prefix + QString::fromUtf8("花子\n") + kIdle);
        b.client->attention.setInstanceLabel(QStringLiteral("127.0.0.10"));
        QCOMPARE(b.desk.trayToolTip, prefix + QString::fromUtf8("花子（127.0.0.10）\n") + kIdle);

        QVERIFY(startChat(a, b));
        QVERIFY(waitFor(
            [&] { return b.desk.trayToolTip.endsWith(QString::fromUtf8("\n「太郎」さんとチャット中")); }));
        // The caller learns no name: the partner's address stands for it.
        QVERIFY(waitFor([&] {
            return a.desk.trayToolTip == prefix + QString::fromUtf8("太郎\n") + loopback(10).toString() +
                                             QString::fromUtf8(" とチャット中");
        }));

        a.client->chat.hangUp();
        QVERIFY(waitFor([&] { return a.listening() && b.listening(); }, 10000));
        QVERIFY(waitFor([&] { return b.desk.trayToolTip.endsWith(u'\n' + kIdle); }));
        QVERIFY(a.desk.trayToolTip.endsWith(u'\n' + kIdle));
        // A later call of ours is not named after the earlier caller.
        QVERIFY(startChat(b, a));
        QVERIFY(waitFor([&] {
            return b.desk.trayToolTip.endsWith(loopback(8).toString() + QString::fromUtf8(" とチャット中"));
        }));
    }
};

QTEST_GUILESS_MAIN(TestAttention)
#include "test_attention.moc"
