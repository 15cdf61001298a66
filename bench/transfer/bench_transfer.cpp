// 50 MB from one client's transfer to another's over loopback, each client on
// its own thread and in a chat with the other, against the tightest honest
// version of the same work: a blocking stop-and-wait pair on two threads
// (1024-byte blocks read from the same file and written to a file, each
// answered with the same 7 bytes), on the same loopback in the same run. The
// rounds alternate; the figure is the median, with the spread. The protocol's
// fixed pauses are left out so the figure is the transfer itself; ours still
// includes the offer, the readiness, the connection and the save.
#include "app/coreclient.h"
#include "benchdesktop.h"
#include "rounds.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr qint64 kFileSize = 50LL * 1024 * 1024;
// Wall time and the CPU time of this process (all its threads) over one run.
struct Timing {
    double seconds = -1;
    double cpuSeconds = 0;
};

double cpuNow()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

const int kRounds =
    qEnvironmentVariableIsSet("WEZ_BENCH_ROUNDS") ? qEnvironmentVariableIntValue("WEZ_BENCH_ROUNDS") : 7;

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}

template <typename F> void runIn(QObject *context, F &&f)
{
    QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

// One client on its own thread: built, driven and deleted there.
struct BenchSide {
    BenchDesktop desk;
    QThread thread;
    QObject context;
    CoreClient *client = nullptr;

    BenchSide()
    {
        context.moveToThread(&thread);
        thread.start();
    }
    ~BenchSide()
    {
        runIn(&context, [this] { delete client; });
        thread.quit();
        thread.wait();
    }
    void build(const QString &dir, int address, QSemaphore &chatting)
    {
        QSemaphore *opened = &chatting;
        runIn(&context, [&, this] {
            client = new CoreClient(dir, testsupport::loopback(address), desk);
            // Chat notices go to an address where nobody listens.
            client->core.state().serverAddress = testsupport::loopback(9).toString();
            client->core.entrance().setName(QStringLiteral("bench"));
            client->core.listenOn(client->core.winsock1(), ClientCore::kPeerPort);
            client->transfer.setPauseMs(0);
            QObject::connect(&client->chat, &ChatSession::opened, &client->chat,
                             [opened] { opened->release(); });
        });
    }
};

Timing runOurs(const QString &source, const QString &target, const QString &dirA, const QString &dirB)
{
    // Declared first, so the clients that signal them go before them.
    QSemaphore chatting, finished;
    std::atomic<bool> done{false};
    BenchSide a, b;
    a.desk.nextOpen = source;
    b.desk.nextSave = target;
    a.build(dirA, 2, chatting);
    b.build(dirB, 3, chatting);
    runIn(&b.context, [&] {
        QObject::connect(&b.client->transfer, &transfer::FileTransfer::finished, &b.client->transfer, [&] {
            done = true;
            finished.release();
        });
    });
    runIn(&a.context, [&] {
        a.client->core.entrance().setIpText(testsupport::loopback(3).toString());
        a.client->link.chatCommand();
    });
    if (!chatting.tryAcquire(2, 20000)) return {};

    QElapsedTimer clock;
    const double cpu = cpuNow();
    clock.start();
    runIn(&a.context, [&] { a.client->transfer.sendFile(); });
    finished.tryAcquire(1, 300000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    return {done ? seconds : -1, cpuNow() - cpu};
}

// ------------------------------------------------------------------ reference

sockaddr_in socketAddress(const QHostAddress &address, quint16 port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address.toIPv4Address());
    return sa;
}

bool readFull(int fd, char *buffer, size_t n)
{
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, buffer + got, n - got);
        if (r <= 0) return false;
        got += size_t(r);
    }
    return true;
}

Timing runReference(const QString &source, const QString &target)
{
    const quint16 port = 1201;
    const sockaddr_in receiverAddress = socketAddress(testsupport::loopback(5), port);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listener, reinterpret_cast<const sockaddr *>(&receiverAddress), sizeof receiverAddress) != 0 ||
        ::listen(listener, 1) != 0) {
        std::perror("reference listen");
        return {};
    }
    const qint64 blocks = transfer::lastBlockIndex(kFileSize) + 1;

    QElapsedTimer clock;
    const double cpu = cpuNow();
    clock.start();
    std::thread receiver([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const int out = ::open(target.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char block[1024];
        for (qint64 i = 0; i < blocks; ++i) {
            const int size = transfer::blockSize(kFileSize, i);
            if (!readFull(fd, block, size) || ::write(out, block, size) != size) break;
            if (::write(fd, "con 800", 7) != 7) break;
        }
        ::close(out);
        ::close(fd);
    });

    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in senderAddress = socketAddress(testsupport::loopback(4), 0);
    ::bind(fd, reinterpret_cast<const sockaddr *>(&senderAddress), sizeof senderAddress);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&receiverAddress), sizeof receiverAddress) != 0)
        std::perror("reference connect");
    const int in = ::open(source.toLocal8Bit().constData(), O_RDONLY);
    char block[1024];
    char answer[7];
    for (qint64 i = 0; i < blocks; ++i) {
        const int size = transfer::blockSize(kFileSize, i);
        if (::read(in, block, size) != size || ::write(fd, block, size) != size || !readFull(fd, answer, 7))
            break;
    }
    ::close(in);
    receiver.join();
    const Timing timing{clock.nsecsElapsed() / 1e9, cpuNow() - cpu};
    ::close(fd);
    ::close(listener);
    return timing;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dirA, dirB;
    const QString source = dirA.filePath(QStringLiteral("bench.bin"));
    {
        QFile f(source);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        for (int i = 0; i < kFileSize / chunk.size(); ++i) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(chunk.data()),
                                                  chunk.size() / 4);
            f.write(chunk);
        }
    }
    const QByteArray expected = fileHash(source);

    struct Figures {
        bench::Rounds ours, reference, oursCpu, referenceCpu;
    };
    // Rounds of ours and of the reference alternate, so both meet the same machine.
    auto measure = [&](int rounds, Figures &f) {
        for (int run = 0; run < rounds; ++run) {
            const QString target = dirB.filePath(QStringLiteral("ours.bin"));
            const Timing t = runOurs(source, target, dirA.path(), dirB.path());
            if (t.seconds < 0 || fileHash(target) != expected) {
                std::fprintf(stderr, "bench: transfer did not deliver the file intact\n");
                return false;
            }
            f.ours.add(t.seconds);
            f.oursCpu.add(t.cpuSeconds);
            const QString refTarget = dirB.filePath(QStringLiteral("reference.bin"));
            const Timing r = runReference(source, refTarget);
            if (r.seconds < 0 || fileHash(refTarget) != expected) {
                std::fprintf(stderr, "bench: reference did not deliver the file intact\n");
                return false;
            }
            f.reference.add(r.seconds);
            f.referenceCpu.add(r.cpuSeconds);
            QFile::remove(target), QFile::remove(refTarget);
        }
        return true;
    };
    Figures spread, oneCpu;
    if (!measure(kRounds, spread)) return 1;
    bench::report("transfer-50MB", spread.ours, spread.reference, "s");
    // Steadier than the clock on a machine that is busy with other work.
    bench::report("transfer-50MB-cpu", spread.oursCpu, spread.referenceCpu, "s");

    // Between two cores, much of a block's round trip is waking the other core,
    // which varies from round to round with the machine's other work. On one
    // core (every thread started from here on inherits it) what is left is the
    // work of each side, and the two compare closely.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(std::max(0, sched_getcpu()), &one);
    if (sched_setaffinity(0, sizeof one, &one) != 0 || !measure(kRounds, oneCpu)) return 1;
    bench::report("transfer-50MB-one-core", oneCpu.ours, oneCpu.reference, "s");
    return 0;
}
