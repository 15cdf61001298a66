// The client's mail service loads the mail module (libcurl, GMime) on its
// first call, not before, and fails with a reason when there is none.
#include "mail/ondemandmailservice.h"
#include "mailsamples.h"
#include "shell/modulelibrary.h"
#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

namespace {

bool mapped(const char *library)
{
    return readFile(QStringLiteral("/proc/self/maps")).contains(library);
}

OnDemandMailService::Loader from(const QString &dir)
{
    return [dir](QString *error) {
        const modulelibrary::Resolved r =
            modulelibrary::resolve(QStringLiteral("wezmail"), "wezCreateMailService", {dir});
        if (error) *error = r.error;
        return reinterpret_cast<OnDemandMailService::Factory>(r.function);
    };
}

} // namespace

class TestMailModule final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loadsOnFirstCall()
    {
        QTemporaryDir dir;
        OnDemandMailService service({dir.path(), loopback(1).toString()},
                                    from(QStringLiteral(WEZ_MODULE_BUILD_DIR)));
        QVERIFY(!mapped("libgmime") && !mapped("libcurl"));

        // A message read through the module is read with GMime.
        const mailsamples::Sample sample = mailsamples::samples().constFirst();
        const QString file = dir.filePath(QStringLiteral("m.eml"));
        QVERIFY(writeFile(file, sample.raw));
        QCOMPARE(service.readMail(file), std::optional<QStringList>(mailsamples::lines(sample)));
        QVERIFY(mapped("libgmime") && mapped("libcurl"));

        // A server that is not there: libcurl's own failure, not a missing library.
        const QString error = service.sendMail(QStringLiteral("127.0.0.1:1"), QStringLiteral("a@b.test"),
                                               QStringLiteral("c@d.test"), QStringLiteral("s"),
                                               QStringLiteral("b"), QString(), QString());
        QCOMPARE(error, QString::fromUtf8("メールサーバに接続できません"));
    }

    void withoutModuleEveryCallFailsWithTheReason_data()
    {
        QTest::addColumn<QByteArray>("file"); // what lies where the module should be
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("not a library") << QByteArray("garbage, not an ELF file");
    }

    void withoutModuleEveryCallFailsWithTheReason()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        if (!file.isEmpty()) QVERIFY(writeFile(dir.filePath(QStringLiteral("libwezmail.so")), file));
        OnDemandMailService service({dir.path(), {}}, from(dir.path()));
        const QString error = service.sendMail(QStringLiteral("localhost"), QStringLiteral("a@b.test"),
                                               QStringLiteral("c@d.test"), QStringLiteral("s"),
                                               QStringLiteral("b"), QString(), QString());
        QVERIFY2(error.startsWith(QString::fromUtf8("メール機能を使えません: ")), qPrintable(error));
        QVERIFY(error.contains(QStringLiteral("libwezmail.so")));
        const StatResult stat =
            service.statCount(QStringLiteral("localhost"), QStringLiteral("a"), QString());
        QVERIFY(!stat.ok);
        QCOMPARE(stat.error, error);
        const SaveResult saved =
            service.saveMessages(QStringLiteral("localhost"), QStringLiteral("a"), QString(), 1, 1);
        QVERIFY(!saved.ok);
        QCOMPARE(saved.error, error);
        QVERIFY(!service.readMail(dir.filePath(QStringLiteral("libwezmail.so"))));
        service.abort();
    }

    void abortBeforeTheFirstCallReachesTheLoadedService()
    {
        QTemporaryDir dir;
        OnDemandMailService service({dir.path(), {}}, from(QStringLiteral(WEZ_MODULE_BUILD_DIR)));
        service.abort();
        const StatResult stat =
            service.statCount(QStringLiteral("127.0.0.1:1"), QStringLiteral("a"), QString());
        QVERIFY(!stat.ok);
        QVERIFY2(!stat.error.startsWith(QString::fromUtf8("メール機能を使えません")), qPrintable(stat.error));
    }
};

QTEST_GUILESS_MAIN(TestMailModule)
#include "test_mailmodule.moc"
