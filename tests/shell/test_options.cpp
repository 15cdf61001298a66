// The client's command line: what it sets, what it refuses, and that --help and
// --version answer on standard output without a display.
#include "shell/options.h"
#include "shell/sharedstate.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

namespace {
Options parse(const QStringList &args)
{
    return Options::parse(QStringList{QStringLiteral("wez")} + args);
}
} // namespace

class TestOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void valuesAndDefaults()
    {
        Options o = parse({});
        QVERIFY2(o.error.isEmpty(), qPrintable(o.error));
        QVERIFY(o.message.isEmpty());
        QCOMPARE(o.dataDir, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
        QVERIFY(o.bindAddress.isNull());

        o = parse(
            {QStringLiteral("--data-dir"), QStringLiteral("/tmp/a b"), QStringLiteral("--bind=127.0.0.2")});
        QVERIFY2(o.error.isEmpty(), qPrintable(o.error));
        QCOMPARE(o.dataDir, QStringLiteral("/tmp/a b"));
        QCOMPARE(o.bindAddress, QHostAddress(QStringLiteral("127.0.0.2")));
        QCOMPARE(parse({QStringLiteral("--bind"), QStringLiteral("::1")}).bindAddress,
                 QHostAddress::LocalHostIPv6);
    }

    void mistakesAreNamed()
    {
        QCOMPARE(parse({QStringLiteral("--bind"), QStringLiteral("127.0.0.300")}).error,
                 QStringLiteral("--bind: not an IP address: 127.0.0.300"));
        QVERIFY(parse({QStringLiteral("--bind")}).error.contains(QStringLiteral("bind")));
        QVERIFY(parse({QStringLiteral("--data-dirx"), QStringLiteral("/tmp")})
                    .error.contains(QStringLiteral("data-dirx")));
        // A mistake is reported even beside --help: the user learns what was wrong.
        const Options o = parse({QStringLiteral("--nonsense"), QStringLiteral("--help")});
        QVERIFY(!o.error.isEmpty());
        QVERIFY(o.message.isEmpty());
    }

    void helpAndVersion()
    {
        for (const QString &flag : {QStringLiteral("--help"), QStringLiteral("-h")}) {
            const Options o = parse({QStringLiteral("--data-dir"), QStringLiteral("/tmp"), flag});
            QVERIFY(o.error.isEmpty());
            QVERIFY(o.message.startsWith(QStringLiteral("Usage: wez [options]")));
            for (const char *name : {"--data-dir <DIR>", "--bind <ADDRESS>", "--version", "--help"})
                QVERIFY2(o.message.contains(QLatin1String(name)), name);
            QVERIFY(!o.message.contains(QStringLiteral("--help-all")));
        }
        for (const QString &flag : {QStringLiteral("--version"), QStringLiteral("-v")})
            QCOMPARE(parse({flag}).message, Options::versionText() + QLatin1Char('\n'));
        // One release number: the one in the captions and the greeting sent to peers.
        const QString number = Options::versionText().section(u' ', 1);
        QVERIFY(!number.isEmpty());
        QCOMPARE(kVersionText, QStringLiteral("Wez ver %1 R1010").arg(number));
    }

    // The packaged program is checked this way on machines without a desktop.
    void answersWithoutADisplay()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        for (const QString &flag : {QStringLiteral("--version"), QStringLiteral("--help")}) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(WEZ_BINARY), {flag});
            QVERIFY(p.waitForFinished(30000));
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), 0);
            const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
            QCOMPARE(out, parse({flag}).message);
        }
    }
};

QTEST_GUILESS_MAIN(TestOptions)
#include "test_options.moc"
