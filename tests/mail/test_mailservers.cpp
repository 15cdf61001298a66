// The mail layer against real servers on loopback: dovecot (POP3) and an
// SMTP server delivering into the Maildirs dovecot serves.
#include "mail/curlmailservice.h"
#include "mail/mailrunner.h"
#include "mailsamples.h"
#include "mailservers.h"
#include "testsupport.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using testsupport::waitFor;

class TestMailServers final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (const QString why = MailServers::unavailableReason(); !why.isEmpty()) QSKIP(qPrintable(why));
        m_servers = std::make_unique<MailServers>();
        QString why;
        QVERIFY2(m_servers->start({"bob", "carol", "dave", "erin"}, &why), qPrintable(why));
    }

    void saveKeepsServerMailAndDoesNotRefetch()
    {
        auto mail = service();
        const QString user = QStringLiteral("carol");
        const QString password = QStringLiteral("pw-carol");
        QVERIFY(m_servers->deliver(user, "From: x@wez.test\r\nSubject: one\r\n\r\nfirst\r\n"));
        QVERIFY(m_servers->deliver(user, "From: y@wez.test\r\nSubject: two\r\n\r\nsecond\r\n"));

        const SaveResult first = mail->saveMessages(m_servers->pop3Server(), user, password, 1, 2);
        QVERIFY2(first.ok, qPrintable(first.error));
        QCOMPARE(first.files.size(), 2);
        QCOMPARE(mail->readMail(first.files.at(1))->at(0), QStringLiteral("Subject: two"));
        QCOMPARE(m_servers->storedCount(user), 2);
        const StatResult stat = mail->statCount(m_servers->pop3Server(), user, password);
        QVERIFY2(stat.ok, qPrintable(stat.error));
        QCOMPARE(stat.count, 2);

        // A saved file is kept as it is: mark it, save again, the mark stays.
        QByteArray marked = testsupport::readFile(first.files.at(0));
        marked.replace("Subject: one", "Subject: kept");
        QVERIFY(testsupport::writeFile(first.files.at(0), marked));
        QVERIFY(m_servers->deliver(user, "From: z@wez.test\r\nSubject: three\r\n\r\nthird\r\n"));
        // Asking for more than the box holds saves what is there.
        const SaveResult again = mail->saveMessages(m_servers->pop3Server(), user, password, 1, 9);
        QVERIFY2(again.ok, qPrintable(again.error));
        QCOMPARE(again.files.size(), 3);
        QCOMPARE(again.files.mid(0, 2), first.files);
        QCOMPARE(mail->readMail(again.files.at(0))->at(0), QStringLiteral("Subject: kept"));
        QCOMPARE(mail->readMail(again.files.at(2))->at(0), QStringLiteral("Subject: three"));
        QCOMPARE(m_servers->storedCount(user), 3);
    }

    void handMadeMessagesThroughPop3()
    {
        auto mail = service();
        const auto samples = mailsamples::samples();
        for (const auto &s : samples)
            QVERIFY(m_servers->deliver(QStringLiteral("dave"), s.raw));
        const SaveResult saved = mail->saveMessages(m_servers->pop3Server(), QStringLiteral("dave"),
                                                    QStringLiteral("pw-dave"), 1, int(samples.size()));
        QVERIFY2(saved.ok, qPrintable(saved.error));
        QCOMPARE(saved.files.size(), samples.size());
        for (int i = 0; i < samples.size(); ++i) {
            const auto lines = mail->readMail(saved.files.at(i));
            QVERIFY2(lines, samples.at(i).name);
            QCOMPARE(*lines, mailsamples::lines(samples.at(i)));
        }
    }

    void smuggledRecipientNeverReachesTheServer()
    {
        auto mail = service();
        // An address that would smuggle SMTP commands is refused before anything is sent.
        const int bob = m_servers->storedCount(QStringLiteral("bob"));
        const int carol = m_servers->storedCount(QStringLiteral("carol"));
        QVERIFY(!mail->sendMail(
                         m_servers->smtpServer(), QStringLiteral("bob@wez.test>\r\nRCPT TO:<carol@wez.test"),
                         QStringLiteral("alice@wez.test"), QStringLiteral("s"), QStringLiteral("b"), {}, {})
                     .isEmpty());
        QCOMPARE(m_servers->storedCount(QStringLiteral("bob")), bob);
        QCOMPARE(m_servers->storedCount(QStringLiteral("carol")), carol);
    }

    void smtpLoginUsesPop3Account()
    {
        auto mail = service();
        const QString server = m_servers->loginSmtpServer();
        const auto send = [&](const QString &account, const QString &password) {
            return mail->sendMail(server, QStringLiteral("dave@wez.test"), QStringLiteral("carol@wez.test"),
                                  QStringLiteral("Wez Mail form C"), QStringLiteral("signed in"), account,
                                  password);
        };
        const int before = m_servers->storedCount(QStringLiteral("dave"));
        QVERIFY(send({}, {}).contains(QStringLiteral("530")));
        QVERIFY(send(QStringLiteral("carol"), QStringLiteral("wrong")).contains(QStringLiteral("535")));
        QCOMPARE(m_servers->storedCount(QStringLiteral("dave")), before);
        QCOMPARE(send(QStringLiteral("carol"), QStringLiteral("pw-carol")), QString());
        QCOMPARE(m_servers->storedCount(QStringLiteral("dave")), before + 1);
    }

    void wrongPasswordFailsQuickly()
    {
        auto mail = service();
        const StatResult stat =
            mail->statCount(m_servers->pop3Server(), QStringLiteral("bob"), QStringLiteral("wrong"));
        QVERIFY(!stat.ok);
        // In the user's language, with the server's own reply kept.
        QVERIFY2(stat.error.startsWith(QString::fromUtf8("ログインできません")) &&
                     stat.error.contains(QString::fromUtf8("（サーバの応答: -ERR")),
                 qPrintable(stat.error));
        const SaveResult saved =
            mail->saveMessages(m_servers->pop3Server(), QStringLiteral("bob"), QStringLiteral("wrong"), 1, 1);
        QVERIFY(!saved.ok);
        QVERIFY(saved.files.isEmpty());
        // The right password still works afterwards.
        QVERIFY(mail->statCount(m_servers->pop3Server(), QStringLiteral("bob"), QStringLiteral("pw-bob")).ok);
    }

    void silentServerTimesOutWithoutFreezing()
    {
        // Accepts connections and never greets: only the time limit ends the call.
        QTcpServer silent;
        QVERIFY(silent.listen(testsupport::loopback(26), 0));
        const QString where =
            QStringLiteral("%1:%2").arg(silent.serverAddress().toString()).arg(silent.serverPort());

        MailRunner runner(std::shared_ptr<MailService>(service(1500)));
        std::optional<StatResult> result;
        QVERIFY(runner.statCount(where, QStringLiteral("bob"), QStringLiteral("pw-bob"),
                                 [&](StatResult r) { result = r; }));
        QVERIFY(waitFor([&] { return result.has_value(); }, 30000));
        QVERIFY(!result->ok);
        QVERIFY2(result->error.startsWith(QString::fromUtf8("メールサーバの応答がタイムアウトしました")),
                 qPrintable(result->error));
        QVERIFY(!runner.busy());

        // Free again: the next call runs.
        std::optional<QString> sent;
        QVERIFY(runner.sendMail(m_servers->smtpServer(), QStringLiteral("erin@wez.test"),
                                QStringLiteral("bob@wez.test"), QStringLiteral("Wez Mail form B"),
                                QStringLiteral("via the runner"), {}, {}, [&](QString e) { sent = e; }));
        QVERIFY(waitFor([&] { return sent.has_value(); }, 30000));
        QCOMPARE(*sent, QString());
        QCOMPARE(m_servers->storedCount(QStringLiteral("erin")), 1);
    }

    void stoppedServerFailsQuickly()
    {
        const QString pop3 = m_servers->pop3Server();
        const QString smtp = m_servers->smtpServer();
        m_servers->stop();
        // A refused connection is the answer itself: it must not wait for the time limit.
        auto mail = service();
        const auto refused = [](const QString &error) {
            return error == QString::fromUtf8("メールサーバに接続できません");
        };
        const StatResult stat = mail->statCount(pop3, QStringLiteral("bob"), QStringLiteral("pw-bob"));
        QVERIFY(!stat.ok);
        QVERIFY2(refused(stat.error), qPrintable(stat.error));
        const SaveResult saved =
            mail->saveMessages(pop3, QStringLiteral("bob"), QStringLiteral("pw-bob"), 1, 1);
        QVERIFY(!saved.ok);
        QVERIFY2(refused(saved.error), qPrintable(saved.error));
        const QString sent =
            mail->sendMail(smtp, QStringLiteral("bob@wez.test"), QStringLiteral("alice@wez.test"),
                           QStringLiteral("s"), QStringLiteral("b"), {}, {});
        QVERIFY2(refused(sent), qPrintable(sent));
    }

private:
    std::unique_ptr<CurlMailService> service(int transferMs = 20000)
    {
        MailOptions options;
        options.dataDir = m_data.path();
        options.connectTimeoutMs = 5000;
        options.transferTimeoutMs = transferMs;
        return std::make_unique<CurlMailService>(options);
    }

    std::unique_ptr<MailServers> m_servers;
    QTemporaryDir m_data;
};

QTEST_GUILESS_MAIN(TestMailServers)
#include "test_mailservers.moc"
