// The personal settings, address history and mail settings files: exact bytes
// both ways, and what a damaged or hand-edited file does.
#include "shell/mailsettings.h"
#include "shell/settingsfiles.h"
#include "testsupport.h"

#include <QDir>

#include <csignal>
#include <sys/resource.h>

using namespace testsupport;

class TestSettingsFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void personalRoundTripKeepsCommasAndQuotes()
    {
        PersonalSettings s;
        s.name = QString::fromUtf8("山田,\"太郎\"");
        s.comment = QString::fromUtf8("よろしく, \"どうぞ\"");
        s.positions = {WindowPosition{1200, -30}, {0, 32767}, {-32768, 15}, {1, 2}, {3, 4}};
        s.proxyAddress = QStringLiteral("10.0.0.1");
        s.serverAddress = QStringLiteral("dir.example");
        const QByteArray bytes = settingsfiles::writePersonal(s);
        QCOMPARE(
            bytes,
            sjis("山田,\"太郎\"\r\nよろしく, \"どうぞ\"\r\n 1200\r\n-30\r\n 0\r\n 32767\r\n-32768\r\n 15\r\n"
                 " 1\r\n 2\r\n 3\r\n 4\r\n10.0.0.1\r\ndir.example\r\n"));
        const PersonalReadResult r = settingsfiles::readPersonal(bytes);
        QVERIFY(r.complete());
        QCOMPARE(r.values.name, s.name);
        QCOMPARE(r.values.comment, s.comment);
        QCOMPARE(r.values.positions[0].top, int16_t(-30));
        QCOMPARE(r.values.positions[2].left, int16_t(-32768));
        QCOMPARE(r.values.serverAddress, s.serverAddress);
    }

    void personalFaultsKeepValuesBefore()
    {
        // Too few lines: the values read are kept, the rest untouched.
        PersonalReadResult r = settingsfiles::readPersonal(sjis("名前\r\nコメント\r\n 100\r\n"));
        QCOMPARE(r.fieldsRead, 3);
        QVERIFY(!r.complete());
        QCOMPARE(r.values.positions[0].left, int16_t(100));
        // Out of range: stops at that line.
        r = settingsfiles::readPersonal("a\r\nb\r\n 1\r\n 40000\r\n 5\r\n");
        QCOMPARE(r.fieldsRead, 3);
        // Text that is not a number reads as 0; blanks and trailing text are ignored; halves round to even.
        QCOMPARE(settingsfiles::parseNumber16(QStringLiteral("abc")), std::optional<int16_t>(0));
        QCOMPARE(settingsfiles::parseNumber16(QStringLiteral("  -12px")), std::optional<int16_t>(-12));
        QCOMPARE(settingsfiles::parseNumber16(QStringLiteral("2.5")), std::optional<int16_t>(2));
        QCOMPARE(settingsfiles::parseNumber16(QStringLiteral("3.5")), std::optional<int16_t>(4));
        QCOMPARE(settingsfiles::parseNumber16(QStringLiteral("32767.4")), std::optional<int16_t>(32767));
        QCOMPARE(settingsfiles::parseNumber16(QStringLiteral("-32769")), std::nullopt);
        QCOMPARE(settingsfiles::parseNumber16(QStringLiteral("99999999999999999999")), std::nullopt);
    }

    void historySkipsBlankLines()
    {
        QCOMPARE(settingsfiles::readHistory("\r\n10.0.0.2\r\n\r\n\r\na@b.example\r\n10.0.0.3"),
                 (QStringList{"10.0.0.2", "a@b.example", "10.0.0.3"}));
        QCOMPARE(settingsfiles::writeHistory({"1", "2", "3"}), QByteArray("1\r\n2\r\n3\r\n"));
        QCOMPARE(settingsfiles::writeHistory({}), QByteArray());
    }

    void saveIsWholeOrNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.dat"));
        QVERIFY(settingsfiles::saveFile(path, "old\r\n"));
        QVERIFY(settingsfiles::saveFile(path, "new\r\n"));
        QCOMPARE(readFile(path), QByteArray("new\r\n"));
        // A write that fails half way (a file size limit, which binds root too): the old file stays.
        const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit tiny = saved;
        tiny.rlim_cur = 4;
        setrlimit(RLIMIT_FSIZE, &tiny);
        const bool written = settingsfiles::saveFile(path, "much newer\r\n");
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, oldHandler);
        QVERIFY(!written);
        QCOMPARE(readFile(path), QByteArray("new\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"f.dat"});
    }

    void mailSettingsRoundTrip()
    {
        MailSettings m;
        m.mailAddress = QStringLiteral("me@example.org");
        m.smtpServer = QStringLiteral("smtp.example.org:587");
        m.pop3Server = QStringLiteral("pop3s://pop.example.org");
        m.mailAccount = QStringLiteral("me=1");
        m.mailPassword = QStringLiteral("abc");
        m.checkInterval = QStringLiteral("5");
        const QByteArray bytes = mailsettings::write(m);
        QCOMPARE(
            bytes,
            QByteArray("[Adress]=me@example.org\r\n[SMTP]=smtp.example.org:587\r\n"
                       "[POP3]=pop3s://pop.example.org\r\n[Acount]=me=1\r\n[Password]=RST\r\n[Timer]=5\r\n"));
        QCOMPARE(mailsettings::read(bytes), m);
        // Keys in another case are ignored; a repeated key keeps the last value; lines without "=" are
        // skipped.
        const MailSettings r = mailsettings::read("[smtp]=x\r\nnothing\r\n[SMTP]=a\r\n[SMTP]=b\n[Timer]=0");
        QCOMPARE(r.smtpServer, QStringLiteral("b"));
        QCOMPARE(r.checkInterval, QStringLiteral("0"));
    }

    void passwordsReadBackExactly()
    {
        QCOMPARE(mailsettings::scramble(QStringLiteral("abc")), QByteArray("\x52\x53\x54"));
        const char *passwords[] = {"abc", "P@ss w0rd!~", "秘密のパスワード", "ｱｲｳｴｵ｡｢ｮ", "Ⅱ①髙", "tab\there",
                                   "😀é",  "〜¥\\"};
        for (const char *p : passwords) {
            const QString password = QString::fromUtf8(p);
            const QByteArray scrambled = mailsettings::scramble(password);
            QVERIFY2(!scrambled.contains('\r') && !scrambled.contains('\n'), p);
            MailSettings m;
            m.mailPassword = password;
            QCOMPARE(mailsettings::read(mailsettings::write(m)).mailPassword, password);
        }
        // Double-byte characters keep their lead byte; the trail byte moves by 15.
        QCOMPARE(mailsettings::scramble(QString::fromUtf8("あ")), QByteArray("\x82\x91"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFiles)
#include "test_settingsfiles.moc"
