// Clients posting by mail and checking their mailboxes against real servers on
// loopback (dovecot for POP3, an SMTP server delivering into its Maildirs),
// driven through their windows and menus.
#include "clienthelpers.h"
#include "mail/curlmailservice.h"
#include "mail/mailcheck.h"
#include "mail/mailpost.h"
#include "mail/messagepostwindow.h"
#include "mail/ondemandmailservice.h"
#include "mailservers.h"
#include "shell/socket/cp932.h"

#include <QAction>
#include <QSignalSpy>
#include <QTcpServer>

using namespace testsupport;
using namespace clienttest;

namespace {

const QString kSep = QString(39, QLatin1Char('='));
const QString kTaro = QString::fromUtf8("太郎");

QString others(int n)
{
    return QString::fromUtf8("その他のメールが") + QString::number(n) + QString::fromUtf8("件あります");
}

MailCheck *mailCheck(Client &c)
{
    return &c.parts().mailCheck;
}

PostWindow *post(Client &c)
{
    return windows(c).messagePostWindow();
}

// The post window in its writing state, as the entrance window's post command opens it.
PostWindow *writePost(Client &c, const QString &destination, const QString &text)
{
    c.core().entrance().setIpText(destination);
    QTest::mouseClick(c.entranceWindow()->button(4), Qt::LeftButton);
    PostWindow *w = post(c);
    if (w) w->setText(text);
    return w;
}

} // namespace

class TestMailE2e final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (const QString why = MailServers::unavailableReason(); !why.isEmpty()) QSKIP(qPrintable(why));
        // The clients use the linked implementation in place of the module (test_mailmodule loads that).
        OnDemandMailService::linkIn(
            [](const MailOptions &o) -> MailService * { return new CurlMailService(o); });
        m_servers = std::make_unique<MailServers>();
        QString why;
        QVERIFY2(m_servers->start({"alice", "bob", "carol", "dave", "erin"}, &why), qPrintable(why));
    }

    void postByMailArrivesInTheOtherCheck()
    {
        QTemporaryDir dirA, dirB;
        auto a = startClient(dirA.path(), 2, kTaro);
        auto b = startClient(dirB.path(), 3, QString::fromUtf8("花子"));
        setMail(*a, "alice", "0");
        setMail(*b, "bob", "0");
        QVERIFY(m_servers->deliver(QStringLiteral("bob"), "From: shop@example.jp\r\nTo: bob@wez.test\r\n"
                                                          "Subject: Sale\r\n\r\nCheap today.\r\n"));

        // A lone "." would end the message on the way unless it is stuffed and unstuffed again.
        PostWindow *w =
            writePost(*a, QStringLiteral("bob@wez.test"), QString::fromUtf8("こんにちは Ⅱ髙\r\n.\r\n二行目"));
        QVERIFY(w);
        click(w, "Command1");
        QVERIFY(waitFor([&] { return !post(*a); }, 20000));
        QCOMPARE(m_servers->storedCount(QStringLiteral("bob")), 2);
        QCOMPARE(a->desktop().shownMessages(), QStringList());

        QVERIFY(menuCheck(*b));
        PostWindow *shown = post(*b);
        QVERIFY(shown && shown->isVisible() && shown->isShowingReceived());
        QVERIFY(shown->textBox()->isReadOnly());
        const QString summary = QString::fromUtf8("alice@wez.test\r\nこんにちは Ⅱ髙\r\n.\r\n二行目\r\n") +
                                kSep + QStringLiteral("\r\n") + others(1);
        QCOMPARE(shown->text(), summary);
        // The menu check borrowed the interval only for itself.
        QCOMPARE(b->core().state().mail.checkInterval, QStringLiteral("0"));
        QCOMPARE(b->core().state().minuteCount, int16_t(0));

        click(shown, "Command1");
        QVERIFY(waitFor([&] { return !post(*b); }));
        QCOMPARE(readFile(QDir(dirB.path()).filePath(QStringLiteral("wezmes.log"))),
                 cp932::encode(summary + QStringLiteral("\r\n")));
        // Other mail programs still find all of it on the server.
        QCOMPARE(m_servers->storedCount(QStringLiteral("bob")), 2);
    }

    void emptyMailboxLowerCaseAndTheFifthTick()
    {
        QTemporaryDir dir;
        auto c = startClient(dir.path(), 4, kTaro);
        setMail(*c, "carol", "0");
        QVERIFY(menuCheck(*c));
        QCOMPARE(post(*c)->text(), others(0));

        QVERIFY(m_servers->deliver(QStringLiteral("carol"),
                                   "From: x@example.jp\r\nSubject: wez Mail form X\r\n\r\nhi\r\n"));
        c->core().state().mail.checkInterval = QStringLiteral("5");
        MailCheck *check = mailCheck(*c);
        QSignalSpy finished(check, &MailCheck::checkFinished);
        for (int i = 1; i <= 4; ++i) {
            check->tick();
            QVERIFY(!check->running());
            QCOMPARE(c->core().state().minuteCount, int16_t(i));
        }
        check->tick();
        QVERIFY(check->running());
        QVERIFY(waitFor([&] { return finished.size() == 1; }, 20000));
        QCOMPARE(finished.first().first().toBool(), true);
        // The open "OK" window is reused and its text replaced, not added to.
        QCOMPARE(post(*c)->text(), others(1));

        // A post from a peer arrives on top of the summary; the next summary
        // takes the old one's place and the unacknowledged post stays.
        const QString peerPost = QString::fromUtf8("Messege from 花子 2024/01/02 03:04:05\r\nやあ");
        windows(*c).showReceivedPost(peerPost);
        QCOMPARE(post(*c)->text(), peerPost + QStringLiteral("\r\n") + others(1));
        QVERIFY(
            m_servers->deliver(QStringLiteral("carol"), "From: y@example.jp\r\nSubject: Hi\r\n\r\nyo\r\n"));
        QVERIFY(menuCheck(*c));
        QCOMPARE(post(*c)->text(), peerPost + QStringLiteral("\r\n") + others(2));
        QCOMPARE(c->core().state().minuteCount, int16_t(0));
    }

    void nothingWhileAPostIsWritten()
    {
        QTemporaryDir dir;
        auto c = startClient(dir.path(), 5, kTaro);
        setMail(*c, "dave", "1");
        PostWindow *w = writePost(*c, QStringLiteral("10.0.0.1"), QStringLiteral("draft"));
        QVERIFY(w && !w->isShowingReceived());
        MailCheck *check = mailCheck(*c);
        c->entranceWindow()->menuItem(QStringLiteral("menuMailck"))->trigger();
        check->tick();
        QVERIFY(!check->running());
        QCOMPARE(w->text(), QStringLiteral("draft"));
        w->close();
        QVERIFY(waitFor([&] { return !post(*c); }));
        QVERIFY(menuCheck(*c));
        QCOMPARE(post(*c)->text(), others(0));
        click(post(*c), "Command1");
        QVERIFY(waitFor([&] { return !post(*c); }));

        // A post begun while the mailbox is read keeps its text; the check comes again later.
        QSignalSpy finished(check, &MailCheck::checkFinished);
        c->core().state().minuteCount = 0;
        check->tick();
        QVERIFY(check->running());
        windows(*c).openMessagePostWindow();
        post(*c)->setText(QStringLiteral("second draft"));
        QVERIFY(waitFor([&] { return finished.size() == 1; }, 20000));
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(post(*c)->text(), QStringLiteral("second draft"));
        QVERIFY(!post(*c)->isShowingReceived());
        QCOMPARE(c->core().state().minuteCount, int16_t(1));
    }

    void failuresShowNothingAndTryAgain()
    {
        QTemporaryDir dir;
        auto c = startClient(dir.path(), 6, kTaro);
        setMail(*c, "erin", "1");
        c->core().state().mail.mailPassword = QStringLiteral("wrong");
        MailCheck *check = mailCheck(*c);
        QSignalSpy finished(check, &MailCheck::checkFinished);
        check->tick();
        // The check runs beside the window, which goes on with its events.
        QVERIFY(check->running());
        bool eventRan = false;
        QTimer::singleShot(0, this, [&] { eventRan = true; });
        // A menu check meanwhile is refused without touching the count.
        c->entranceWindow()->menuItem(QStringLiteral("menuMailck"))->trigger();
        QCOMPARE(c->core().state().minuteCount, int16_t(1));
        QVERIFY(waitFor([&] { return finished.size() == 1; }, 20000));
        QVERIFY(eventRan);
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY(!post(*c));
        QCOMPARE(c->desktop().shownMessages(), QStringList());
        QCOMPARE(c->core().state().minuteCount, int16_t(1));

        // A stopped server: the next tick simply tries again, and fails as quietly.
        QTcpServer probe;
        QVERIFY(probe.listen(loopback(7)));
        const quint16 port = probe.serverPort();
        probe.close();
        setMail(*c, "erin", "1");
        c->core().state().mail.pop3Server = loopback(7).toString() + QLatin1Char(':') + QString::number(port);
        check->tick();
        QVERIFY(check->running());
        QVERIFY(waitFor([&] { return finished.size() == 2; }, 20000));
        QCOMPARE(finished.last().first().toBool(), false);
        QVERIFY(!post(*c));
        QCOMPARE(c->core().state().minuteCount, int16_t(2));
    }

    void postFailuresKeepTheText()
    {
        QTemporaryDir dir;
        auto a = startClient(dir.path(), 8, kTaro);
        setMail(*a, "alice", "0");

        // The server refuses the recipient: its reply is shown, the text stays for another try.
        PostWindow *w = writePost(*a, QStringLiteral("refused@wez.test"), QStringLiteral("keep me"));
        QVERIFY(w);
        click(w, "Command1");
        QVERIFY(waitFor([&] { return !a->desktop().shownMessages().isEmpty(); }, 20000));
        const QString error = a->desktop().shownMessages().last();
        QVERIFY2(
            error.startsWith(QString::fromUtf8("Code:メールサーバに断られました（サーバの応答: 550 5.1.1 "
                                               "<refused@wez.test>: Recipient address rejected")),
            qPrintable(error));
        QCOMPARE(post(*a), w);
        QCOMPARE(w->text(), QStringLiteral("keep me"));
        QVERIFY(w->button()->isEnabled());

        // Incomplete sending settings; an at sign at the very end still means mail.
        a->core().state().mail.smtpServer.clear();
        a->core().entrance().setIpText(QStringLiteral("hanako@"));
        QVERIFY(shownWindows("Form9").isEmpty());
        click(w, "Command1");
        QCOMPARE(a->desktop().shownMessages().last(), MailPost::kIncompleteSettings);
        QVERIFY(waitFor([] { return !shownWindows("Form9").isEmpty(); }));
        QCOMPARE(post(*a), w);
        QVERIFY(w->isVisible());
        QCOMPARE(w->text(), QStringLiteral("keep me"));
    }

private:
    void setMail(Client &c, const char *user, const char *interval)
    {
        const QString name = QString::fromLatin1(user);
        c.core().state().mail = {
            name + QStringLiteral("@wez.test"), m_servers->smtpServer(),      m_servers->pop3Server(), name,
            QStringLiteral("pw-") + name,       QString::fromLatin1(interval)};
    }

    // The menu check; true when it ended with its summary on screen.
    static bool menuCheck(Client &c)
    {
        QSignalSpy finished(mailCheck(c), &MailCheck::checkFinished);
        c.entranceWindow()->menuItem(QStringLiteral("menuMailck"))->trigger();
        return waitFor([&] { return finished.size() == 1; }, 20000) && finished.first().first().toBool();
    }

    std::unique_ptr<MailServers> m_servers;
};

QTEST_MAIN(TestMailE2e)
#include "test_mail_e2e.moc"
