// The summary the mail check builds from the lines of each message, and how
// it reads the interval.
#include "mail/mailcheck.h"

#include <QTest>

namespace {

QStringList message(const QString &subject, const QString &from, const QString &body)
{
    return {QStringLiteral("Subject: ") + subject, QStringLiteral("From: ") + from,
            QStringLiteral("Body: ") + body};
}

const QString kSep(39, u'=');

} // namespace

class TestMailSummary final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void postsAndOtherMail()
    {
        mailcheck::Summary summary;
        summary.addMessage(
            message(QStringLiteral("Wez Mail form A"), QStringLiteral("a@x"), QStringLiteral("one")));
        summary.addMessage(message(QStringLiteral("Sale"), QStringLiteral("shop@x"), QStringLiteral("buy")));
        summary.addMessage(message(QString::fromUtf8("Wez Mail form 花子"), QStringLiteral("b@x"),
                                   QString::fromUtf8("二行\r\n目")));
        // "wez", a subject shorter than three characters and an empty one are no posts.
        summary.addMessage(
            message(QStringLiteral("wez Mail form C"), QStringLiteral("c@x"), QStringLiteral("no")));
        summary.addMessage(message(QStringLiteral("We"), QStringLiteral("d@x"), QStringLiteral("no")));
        summary.addMessage({});
        QCOMPARE(summary.otherCount(), int16_t(3));
        QCOMPARE(summary.text(), QStringLiteral("a@x\r\none\r\n") + kSep + QStringLiteral("\r\n") +
                                     QString::fromUtf8("b@x\r\n二行\r\n目\r\n") + kSep +
                                     QStringLiteral("\r\n") +
                                     QString::fromUtf8("その他のメールが3件あります"));
    }

    void unreadableMessagesCountAsOtherMail()
    {
        mailcheck::Summary summary;
        QCOMPARE(summary.text(), QString::fromUtf8("その他のメールが0件あります"));
        summary.addOther(2);
        summary.addMessage(message(QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")));
        QCOMPARE(summary.text(), QString::fromUtf8("その他のメールが3件あります"));
        // The count is 16-bit: it stops at the top instead of turning negative.
        summary.addOther(40000);
        QCOMPARE(summary.otherCount(), int16_t(32767));
    }

    void intervalAsMinutes()
    {
        using mailcheck::intervalMinutes;
        QCOMPARE(intervalMinutes(QStringLiteral("5")), 5);
        QCOMPARE(intervalMinutes(QStringLiteral(" 7 ")), 7);
        QCOMPARE(intervalMinutes(QStringLiteral("32767")), 32767);
        // Beyond the 16-bit minute counter, not a number, negative or empty: no automatic check.
        for (const char *text : {"32768", "99999999999", "5x", "abc", "-3", "", "0"})
            QCOMPARE(intervalMinutes(QString::fromLatin1(text)), 0);
    }
};

QTEST_GUILESS_MAIN(TestMailSummary)
#include "test_mailsummary.moc"
