// Start-up time to the first paint of the entrance window, against a bare Qt
// Widgets program painting a window of Japanese text; idle CPU, resident
// memory and the shared libraries mapped at start of a running client,
// against a bare Qt program with the same timers. Each pair is measured side
// by side in one run; figures are medians of several rounds with their spread.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

QString spread(const std::vector<double> &v, int decimals)
{
    if (v.empty()) return QStringLiteral("-");
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    return QString::number(*lo, 'f', decimals) + QLatin1Char('-') + QString::number(*hi, 'f', decimals);
}

void report(const char *name, const char *unit, int decimals, const std::vector<double> &ours,
            const std::vector<double> &reference)
{
    const double o = median(ours), r = median(reference);
    std::printf("bench: %s %.*f %s reference %.*f %s ratio %.2f (median of %zu rounds; spread %s / %s %s)\n",
                name, decimals, o, unit, decimals, r, unit, r > 0 ? o / r : 0.0, ours.size(),
                qPrintable(spread(ours, decimals)), qPrintable(spread(reference, decimals)), unit);
    std::fflush(stdout);
}

// CPU time of every thread of a process in nanoseconds, from the scheduler's
// own accounting (clock ticks are too coarse for a fraction of a percent).
double cpuNs(qint64 pid)
{
    double ns = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (f.open(QIODevice::ReadOnly)) ns += f.readAll().split(' ').value(0).toDouble();
    }
    return ns;
}

double rssMb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &l : status.readAll().split('\n'))
            if (l.startsWith("VmRSS:")) return l.simplified().split(' ').value(1).toDouble() / 1024.0;
    return 0;
}

// Shared libraries (plug-ins included) mapped into a process.
double libraries(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    QSet<QByteArray> files;
    if (maps.open(QIODevice::ReadOnly))
        for (const QByteArray &line : maps.readAll().split('\n'))
            if (const qsizetype at = line.indexOf(" /"); at >= 0 && line.contains(".so"))
                files.insert(line.mid(at + 1));
    return files.size();
}

// Runs the event loop for `ms` (the bench links nothing beyond Widgets, so the
// bare programs it runs are bare).
void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

const QString kJapaneseText = QStringLiteral("Wez Entrance サーバに登録");

// Prints "shown" and the CPU milliseconds used so far at the first event-loop
// pass after the window's first paint, the mark the client prints too.
class FirstPaintMark final : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, qApp, [] {
                timespec cpu{};
                clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
                std::printf("shown %.3f\n", double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6);
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

int bareWindow()
{
    // The same kind of text as the entrance window, so both pay for the Japanese fonts.
    QLabel label(kJapaneseText);
    FirstPaintMark watcher;
    label.installEventFilter(&watcher);
    label.show();
    return QApplication::exec();
}

int bareIdle()
{
    // What an idle client must do anyway: a window, the three 100 ms status
    // timers and the animation's 200 ms frame timer.
    QLabel label(kJapaneseText);
    label.show();
    QTimer t1, t2, t3, frames;
    for (QTimer *t : {&t1, &t2, &t3})
        t->start(100);
    frames.start(200);
    return QApplication::exec();
}

struct FirstPaint {
    double ms = -1;    // from launch until the program says its window is painted; -1 when it never does
    double cpuMs = -1; // CPU time the program had used by then
};

FirstPaint launchToFirstPaint(const QString &program, const QStringList &args)
{
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    FirstPaint result;
    QByteArray out;
    while (p.waitForReadyRead(30000)) {
        out += p.readAllStandardOutput();
        if (const qsizetype at = out.indexOf("shown "); at >= 0 && out.indexOf('\n', at) > at) {
            result.ms = clock.nsecsElapsed() / 1e6;
            result.cpuMs = out.mid(at + 6, out.indexOf('\n', at) - at - 6).toDouble();
            break;
        }
    }
    p.waitForFinished(30000);
    return result;
}

QStringList clientArgs(const QString &dir, const char *bind)
{
    return {QStringLiteral("--data-dir"), dir, QStringLiteral("--bind"), QString::fromLatin1(bind)};
}

void startup(int rounds)
{
    QTemporaryDir dir;
    // Not a first start: the help text would be opened every time.
    QFile personal(dir.filePath(QStringLiteral("wezpsnl.dat")));
    personal.open(QIODevice::WriteOnly);
    personal.write(
        "bench\r\n\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\nno\r\n127.0.0.1\r\n");
    personal.close();
    qputenv("WEZ_EXIT_WHEN_SHOWN", "1");
    std::vector<double> bare, wez, bareCpu, wezCpu;
    auto run = [](const QString &program, const QStringList &args, std::vector<double> &wall,
                  std::vector<double> &cpu) {
        const FirstPaint r = launchToFirstPaint(program, args);
        if (r.ms < 0) return;
        wall.push_back(r.ms);
        cpu.push_back(r.cpuMs);
    };
    const QStringList bareArgs = {QStringLiteral("--bare-window")};
    const QStringList wezArgs = clientArgs(dir.path(), "127.0.0.250");
    for (int round = 0; round < rounds; ++round) {
        // Alternating which goes first, so neither always finds the caches warmer.
        if (round % 2) run(QCoreApplication::applicationFilePath(), bareArgs, bare, bareCpu);
        run(QStringLiteral(WEZ_BINARY), wezArgs, wez, wezCpu);
        if (round % 2 == 0) run(QCoreApplication::applicationFilePath(), bareArgs, bare, bareCpu);
    }
    qunsetenv("WEZ_EXIT_WHEN_SHOWN");
    if (wez.empty() || bare.empty()) {
        std::printf("bench: startup-to-first-paint failed\n");
        return;
    }
    report("startup-to-first-paint", "ms", 1, wez, bare);
    // The same start-ups in CPU time, which a busy machine disturbs far less than the clock.
    report("startup-cpu-to-first-paint", "ms", 1, wezCpu, bareCpu);
}

void idle(int rounds, int secondsPerRound)
{
    QTemporaryDir dir;
    QProcess wez, bare;
    wez.start(QStringLiteral(WEZ_BINARY), clientArgs(dir.path(), "127.0.0.251"));
    bare.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--bare-idle")});
    wez.waitForStarted();
    bare.waitForStarted();
    wait(3000); // past start-up
    // Nothing has used mail or sounds: what is mapped now is what start-up loaded.
    report("startup-libraries", "files", 0, {libraries(wez.processId())}, {libraries(bare.processId())});
    std::vector<double> wezCpu, bareCpu, wezRss, bareRss;
    for (int round = 0; round < rounds; ++round) {
        const double w0 = cpuNs(wez.processId()), b0 = cpuNs(bare.processId());
        QElapsedTimer clock;
        clock.start();
        wait(secondsPerRound * 1000);
        const double ns = double(clock.nsecsElapsed());
        wezCpu.push_back(100.0 * (cpuNs(wez.processId()) - w0) / ns);
        bareCpu.push_back(100.0 * (cpuNs(bare.processId()) - b0) / ns);
        wezRss.push_back(rssMb(wez.processId()));
        bareRss.push_back(rssMb(bare.processId()));
    }
    report("idle-cpu", "%", 3, wezCpu, bareCpu);
    report("idle-rss", "MB", 1, wezRss, bareRss);
    wez.terminate();
    bare.kill();
    wez.waitForFinished(15000);
    bare.waitForFinished();
}

int envInt(const char *name, int fallback)
{
    const int v = qEnvironmentVariableIntValue(name);
    return v > 0 ? v : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--bare-idle"))) return bareIdle();
    if (app.arguments().contains(QStringLiteral("--bare-window"))) return bareWindow();
    startup(envInt("WEZ_BENCH_STARTUP_ROUNDS", 11));
    const int idleSeconds = envInt("WEZ_BENCH_IDLE_SECONDS", 60);
    const int idleRounds = std::max(1, std::min(6, idleSeconds / 5));
    idle(idleRounds, std::max(1, idleSeconds / idleRounds));
    return 0;
}
