// The summary the mail check builds from the lines of each message, and how
// it reads the interval.
#include "mail/mailcheck.h"

#include <QTest>

namespace {

// The three lines of a message, from UTF-8.
QStringList message(const char *subject, const char *from, const char *body)
{
    return {QString::fromUtf8("Subject: ") + QString::fromUtf8(subject),
            QString::fromUtf8("From: ") + QString::fromUtf8(from),
            QString::fromUtf8("Body: ") + QString::fromUtf8(body)};
}

const QString kSep(39, u'=');

} // namespace

class TestMailSummary final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void postsAndOtherMail()
    {
        mailcheck::Summary summary;
        // "wez", a subject shorter than three characters and an empty one are no posts.
        const char *messages[][3] = {{"Wez Mail form A", "a@x", "one"},
                                     {"Sale", "shop@x", "buy"},
                                     {"Wez Mail form 花子", "b@x", "二行\r\n目"},
                                     {"wez Mail form C", "c@x", "no"},
                                     {"We", "d@x", "no"}};
        for (const auto &m : messages)
            summary.addMessage(message(m[0], m[1], m[2]));
        summary.addMessage({});
        QCOMPARE(summary.otherCount(), int16_t(3));
        QCOMPARE(summary.text(),
                 QStringLiteral("a@x\r\none\r\n%1\r\n").arg(kSep) +
                     QString::fromUtf8("b@x\r\n二行\r\n目\r\n%1\r\nその他のメールが3件あります").arg(kSep));
    }

    void unreadableMessagesCountAsOtherMail()
    {
        mailcheck::Summary summary;
        QCOMPARE(summary.text(), QString::fromUtf8("その他のメールが0件あります"));
        summary.addOther(2);
        summary.addMessage(message("x", "y", "z"));
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
