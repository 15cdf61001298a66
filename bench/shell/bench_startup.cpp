// Start-up time to the entrance window on screen, against a bare Qt window;
// idle CPU and memory of a running client, against a bare Qt program with the
// same 100 ms timers, both measured side by side in one run.
#include "app/client.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

void report(const char *name, double value, const char *unit, double reference)
{
    std::printf("bench: %s %.3f %s reference %.3f %s ratio %.2f\n", name, value, unit, reference, unit,
                reference > 0 ? value / reference : 0.0);
    std::fflush(stdout);
}

// CPU seconds and resident kilobytes of a process, from /proc.
std::pair<double, double> usage(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    double cpu = 0, rss = 0;
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 13) cpu = (f.at(11).toDouble() + f.at(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &l : status.readAll().split('\n'))
            if (l.startsWith("VmRSS:")) rss = l.simplified().split(' ').value(1).toDouble();
    return {cpu, rss};
}

int bareIdle()
{
    // What an idle client must do anyway: a window and three 100 ms timers.
    QLabel label(QStringLiteral("Wez"));
    label.show();
    QTimer t1, t2, t3;
    for (QTimer *t : {&t1, &t2, &t3})
        t->start(100);
    return QApplication::exec();
}

// Milliseconds from launching `program` until it prints its first line.
double launchToFirstLine(const QString &program, const QStringList &args)
{
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    p.waitForReadyRead(30000);
    const double ms = clock.nsecsElapsed() / 1e6;
    p.waitForFinished(30000);
    return ms;
}

int bareWindow()
{
    // The same kind of text as the entrance window, so both pay for the Japanese fonts.
    QLabel label(QStringLiteral("Wez Entrance サーバに登録"));
    label.show();
    QTimer::singleShot(0, &label, [] {
        std::printf("shown\n");
        std::fflush(stdout);
        QApplication::quit();
    });
    return QApplication::exec();
}

void startup()
{
    QTemporaryDir dir;
    // Not a first start: the help text would be opened every time.
    QFile personal(dir.filePath(QStringLiteral("wezpsnl.dat")));
    personal.open(QIODevice::WriteOnly);
    personal.write(
        "bench\r\n\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\nno\r\n127.0.0.1\r\n");
    personal.close();
    qputenv("WEZ_EXIT_WHEN_SHOWN", "1");
    QList<double> bare, wez;
    for (int round = 0; round < 7; ++round) {
        bare << launchToFirstLine(QCoreApplication::applicationFilePath(), {QStringLiteral("--bare-window")});
        wez << launchToFirstLine(QStringLiteral(WEZ_BINARY),
                                 {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--bind"),
                                  QStringLiteral("127.0.0.250")});
    }
    qunsetenv("WEZ_EXIT_WHEN_SHOWN");
    report("startup-to-window", median(wez), "ms", median(bare));
}

void idle(int seconds)
{
    QTemporaryDir dir;
    QProcess wez, bare;
    wez.start(QStringLiteral(WEZ_BINARY), {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--bind"),
                                           QStringLiteral("127.0.0.251")});
    bare.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--bare-idle")});
    wez.waitForStarted();
    bare.waitForStarted();
    QTest::qWait(3000); // past start-up
    const auto w0 = usage(wez.processId()), b0 = usage(bare.processId());
    QTest::qWait(seconds * 1000);
    const auto w1 = usage(wez.processId()), b1 = usage(bare.processId());
    report("idle-cpu", 100.0 * (w1.first - w0.first) / seconds, "%", 100.0 * (b1.first - b0.first) / seconds);
    report("idle-rss", w1.second / 1024.0, "MB", b1.second / 1024.0);
    wez.terminate();
    bare.kill();
    wez.waitForFinished(15000);
    bare.waitForFinished();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--bare-idle"))) return bareIdle();
    if (app.arguments().contains(QStringLiteral("--bare-window"))) return bareWindow();
    const int seconds = qEnvironmentVariableIntValue("WEZ_BENCH_IDLE_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("WEZ_BENCH_IDLE_SECONDS")
                            : 60;
    startup();
    idle(seconds);
    return 0;
}
