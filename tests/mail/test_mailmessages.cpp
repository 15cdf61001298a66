// Reading and writing mail without servers: charsets, encoded words, MIME
// structure, the three lines the mail check reads, and server fields.
#include "mail/mailmime.h"
#include "mail/mailrunner.h"
#include "mail/mailserveraddress.h"
#include "mail/mailtext.h"
#include "mailsamples.h"
#include "shell/socket/cp932.h"
#include "testsupport.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>

namespace {

// Answers STAT only once the test lets it go (or the call is aborted), so the call is seen running.
class HeldService final : public MailService {
public:
    QSemaphore release;
    std::atomic<bool> aborted{false};
    std::atomic<QThread *> caller{nullptr};
    QString sendMail(const QString &, const QString &, const QString &, const QString &, const QString &,
                     const QString &, const QString &) override
    {
        return QStringLiteral("not here");
    }
    StatResult statCount(const QString &, const QString &, const QString &) override
    {
        caller = QThread::currentThread();
        release.acquire();
        return {true, 7, {}};
    }
    SaveResult saveMessages(const QString &, const QString &, const QString &, int, int) override
    {
        return {};
    }
    std::optional<QStringList> readMail(const QString &) override { return std::nullopt; }
    void abort() override
    {
        aborted = true;
        release.release();
    }
};

} // namespace

class TestMailMessages final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void handMadeMessages_data()
    {
        QTest::addColumn<int>("index");
        const auto all = mailsamples::samples();
        for (int i = 0; i < all.size(); ++i)
            QTest::newRow(all.at(i).name) << i;
    }

    void handMadeMessages()
    {
        QFETCH(int, index);
        const mailsamples::Sample s = mailsamples::samples().at(index);
        const auto fields = mailmime::readMessage(s.raw);
        QVERIFY(fields);
        QCOMPARE(mailmime::mailLines(*fields), mailsamples::lines(s));
    }

    void encodedWords_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("plain") << QByteArray("Hello world") << QStringLiteral("Hello world");
        QTest::newRow("folded plain") << QByteArray("Hello\r\n world") << QStringLiteral("Hello world");
        QTest::newRow("blank between words dropped")
            << QByteArray("=?UTF-8?B?5pel?= \r\n =?UTF-8?B?5pys?=") << QString::fromUtf8("日本");
        QTest::newRow("blank around text kept")
            << QByteArray("a =?UTF-8?Q?=E6=97=A5?= b") << QString::fromUtf8("a 日 b");
        QTest::newRow("shift_jis split across words")
            << QByteArray("=?Shift_JIS?B?ig==?= =?Shift_JIS?B?v46a?=") << QString::fromUtf8("漢字");
        QTest::newRow("language tag") << QByteArray("=?UTF-8*ja?Q?=E6=97=A5?=") << QString::fromUtf8("日");
        QTest::newRow("lower-case q with underscore")
            << QByteArray("=?iso-8859-1?q?caf=E9_au_lait?=") << QString::fromUtf8("café au lait");
        QTest::newRow("unknown charset falls back")
            << QByteArray("=?x-nonsense?B?5pel?=") << QString::fromUtf8("日");
        QTest::newRow("unfinished word stays text")
            << QByteArray("=?UTF-8?B?5pel") << QStringLiteral("=?UTF-8?B?5pel");
        QTest::newRow("word with a blank is not a word")
            << QByteArray("=?UTF-8?Q?a b?=") << QStringLiteral("=?UTF-8?Q?a b?=");
        QTest::newRow("utf-8 label on shift_jis bytes")
            << QByteArray("=?UTF-8?B?k/qWe4zq?=") << QString::fromUtf8("日本語");
        QTest::newRow("raw utf-8") << QByteArray("\xe6\x97\xa5\xe6\x9c\xac") << QString::fromUtf8("日本");
        QTest::newRow("raw jis") << QByteArray("\x1b$BF|K\\\x1b(B") << QString::fromUtf8("日本");
        QTest::newRow("control characters") << QByteArray("=?UTF-8?B?YQpi?=") << QStringLiteral("a b");
    }

    void encodedWords()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, decoded);
        QCOMPARE(mailtext::decodeHeader(raw), decoded);
    }

    void jisVendorAndKana()
    {
        // NEC row 13 and the NEC-selected IBM rows exist only in code page 932.
        QCOMPARE(mailtext::decodeCharset(QByteArray("\x1b$B-!-5-6|b\x1b(B"), "iso-2022-jp"),
                 QString::fromUtf8("①ⅠⅡ髙"));
        QCOMPARE(mailtext::decodeCharset(QByteArray("\x1b(I1\x1b(Bx"), "ISO-2022-JP"),
                 QString::fromUtf8("ｱx"));
        QCOMPARE(mailtext::decodeCharset(QByteArray("a\x0e"
                                                    "1\x0f"
                                                    "b"),
                                         "iso-2022-jp"),
                 QString::fromUtf8("aｱb"));
        QCOMPARE(cp932::decode(QByteArray("\xfb\xfc\xee\xe0")), QString::fromUtf8("髙髙"));
        QCOMPARE(mailtext::decodeCharset(QByteArray("\x87\x40\x87\x55"), "x-sjis"), QString::fromUtf8("①Ⅱ"));
        // JIS X 0212 has no code page 932 form: each character becomes one "?".
        QCOMPARE(mailtext::decodeCharset(QByteArray("\x1b$(D\x22\x2f\x1b(Bz"), "iso-2022-jp-1"),
                 QStringLiteral("?z"));
    }

    void lineEnds()
    {
        QCOMPARE(mailtext::crlf(QStringLiteral("a\nb\rc\r\nd\n\re")),
                 QStringLiteral("a\r\nb\r\nc\r\nd\r\n\r\ne"));
        const QByteArray lfOnly("Subject: x\n\nline 1\nline 2\n\n");
        QCOMPARE(mailmime::readMessage(lfOnly)->body, QStringLiteral("line 1\r\nline 2"));
    }

    void composeReadsBack()
    {
        const QString subject = QString::fromUtf8("Wez Mail form 山田①");
        const QString body = QString::fromUtf8("こんにちは\n.\n..\nⅡ髙 ～\r\nend");
        const QByteArray raw =
            mailmime::composeMessage(QStringLiteral("alice@wez.test"), QStringLiteral("bob@wez.test"),
                                     subject, body, QDateTime::currentDateTime());
        // Every line ends in CR LF, or SMTP dot-stuffing would miss a lone ".".
        QVERIFY(!raw.isEmpty());
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw.at(i) == '\n') QVERIFY2(i > 0 && raw.at(i - 1) == '\r', "bare LF");
            if (raw.at(i) == '\r') QVERIFY2(i + 1 < raw.size() && raw.at(i + 1) == '\n', "bare CR");
        }
        QVERIFY(raw.contains("Subject: Wez Mail form =?"));
        QVERIFY(raw.contains("charset=utf-8"));
        for (char c : raw)
            QVERIFY2(uchar(c) < 0x80, "8-bit byte in a 7-bit message");
        const auto fields = mailmime::readMessage(raw);
        QVERIFY(fields);
        QCOMPARE(fields->subject, subject);
        QCOMPARE(fields->from, QStringLiteral("alice@wez.test"));
        QCOMPARE(fields->body, mailtext::crlf(body));

        const QByteArray ascii = mailmime::composeMessage(QStringLiteral("a@b"), QStringLiteral("c@d"),
                                                          QStringLiteral("Wez Mail form Bob"),
                                                          QStringLiteral("hi"), QDateTime::currentDateTime());
        QVERIFY(ascii.contains("Subject: Wez Mail form Bob\r\n"));
        QCOMPARE(mailmime::readMessage(ascii)->body, QStringLiteral("hi"));
    }

    void malformedInputStaysSafe()
    {
        QVERIFY(!mailmime::readMessage(QByteArray()));
        QVERIFY(!mailmime::readMessage(QByteArray(mailmime::kMaxMessageBytes + 1, 'a')));
        const QList<QByteArray> odd = {
            QByteArray("\x1b$B"),
            QByteArray("Subject: =?ISO-2022-JP?B?GyRC?=\r\n\r\n\x1b$B$"),
            QByteArray("Content-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\n--x\r\n--x--"),
            QByteArray(
                "Content-Type: text/plain; charset=\"\"\r\nContent-Transfer-Encoding: base64\r\n\r\n!!!=="),
            QByteArray("Subject: ") + QByteArray(200000, '=') + "?",
            QByteArray(1000, '\0'),
        };
        for (const QByteArray &raw : odd) {
            const auto fields = mailmime::readMessage(raw);
            if (fields) QCOMPARE(mailmime::mailLines(*fields).size(), 3);
        }
        // A header is cut at a bound instead of growing without end.
        QVERIFY(mailtext::decodeHeader(QByteArray(1 << 20, 'x')).size() <= 64 * 1024);
    }

    void serverFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QByteArray>("url"); // empty: refused
        const int smtp = int(MailProtocol::Smtp), pop3 = int(MailProtocol::Pop3);
        const struct {
            const char *row, *field;
            int protocol;
            const char *url;
        } rows[] = {
            {"bare smtp", "mail.example.jp", smtp, "smtp://mail.example.jp:25"},
            {"bare pop3", " pop.example.jp ", pop3, "pop3://pop.example.jp:110"},
            {"host:port", "127.0.0.5:2525", smtp, "smtp://127.0.0.5:2525"},
            {"465 is tls", "mail.example.jp:465", smtp, "smtps://mail.example.jp:465"},
            {"995 is tls", "pop.example.jp:995", pop3, "pop3s://pop.example.jp:995"},
            {"smtps url", "SMTPS://mail.example.jp", smtp, "smtps://mail.example.jp:465"},
            {"pop3 url with port", "pop3://p.example.jp:1110/", pop3, "pop3://p.example.jp:1110"},
            {"explicit scheme wins", "smtp://m.example.jp:465", smtp, "smtp://m.example.jp:465"},
            {"ipv6", "[::1]:2525", smtp, "smtp://[::1]:2525"},
            {"empty", "  ", smtp, ""},
            {"wrong scheme", "pop3://p.example.jp", smtp, ""},
            {"credentials", "user@p.example.jp", pop3, ""},
            {"port zero", "p.example.jp:0", pop3, ""},
            {"port text", "p.example.jp:x1", pop3, ""},
            {"command injection", "p.example.jp\r\nQUIT", pop3, ""},
        };
        for (const auto &r : rows)
            QTest::newRow(r.row) << QString::fromLatin1(r.field) << r.protocol << QByteArray(r.url);
    }

    void serverFields()
    {
        QFETCH(QString, field);
        QFETCH(int, protocol);
        QFETCH(QByteArray, url);
        const MailServerAddress a = parseMailServer(field, MailProtocol(protocol));
        QCOMPARE(a.valid, !url.isEmpty());
        QCOMPARE(a.url, url);
        // Implicit TLS exactly when the scheme says so.
        QCOMPARE(a.implicitTls, url.startsWith("smtps:") || url.startsWith("pop3s:"));
        if (!a.valid) QVERIFY(!a.error.isEmpty());
    }

    void runnerHandsResultsBack()
    {
        auto held = std::make_shared<HeldService>();
        std::optional<StatResult> result;
        QThread *doneOn = nullptr;
        {
            MailRunner runner(held);
            QVERIFY(runner.statCount({}, {}, {}, [&](StatResult r) {
                result = r;
                doneOn = QThread::currentThread();
            }));
            QVERIFY(runner.busy());
            QVERIFY(!runner.sendMail({}, {}, {}, {}, {}, {}, {}, [](QString) {}));
            // The call runs on another thread while this one's event loop goes on.
            QVERIFY(testsupport::waitFor([&] { return held->caller.load() != nullptr; }));
            QVERIFY(!result);
            held->release.release();
            QVERIFY(testsupport::waitFor([&] { return result.has_value(); }));
            QCOMPARE(result->count, 7);
            QVERIFY(held->caller.load() != QThread::currentThread());
            QCOMPARE(doneOn, QThread::currentThread());
            QVERIFY(!runner.busy());

            // A call still running when the runner goes away is told to stop.
            held->caller = nullptr;
            QVERIFY(runner.statCount({}, {}, {}, [](StatResult) {}));
            QVERIFY(testsupport::waitFor([&] { return held->caller.load() != nullptr; }));
        }
        QVERIFY(held->aborted);
    }
};

QTEST_GUILESS_MAIN(TestMailMessages)
#include "test_mailmessages.moc"
