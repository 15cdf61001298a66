// 50 MB from one client's transfer to another's over loopback, each client on
// its own thread and in a chat with the other, against a minimal blocking
// stop-and-wait pair (1024-byte blocks, 7-byte answers) on the same loopback in
// the same run. The protocol's fixed pauses are left out so the figure is the
// transfer itself.
#include "app/coreclient.h"
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
// The machine is shared: the best of several runs is the least disturbed one.
constexpr int kRuns = 5;

// Says yes to the call and names the files; anything else it is told goes to stderr.
class BenchDesktop final : public Desktop {
public:
    QString nextOpen, nextSave;
    void showMessage(const QString &text) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    int askYesNo(const QString &) override { return 1; }
    void playSound(const QString &) override {}
    void openUrl(const QUrl &) override {}
    QString clipboardText() override { return {}; }
    void setClipboardText(const QString &) override {}
    void clearClipboard() override {}
    QString getSaveFileName(const QString &, const QString &, const QString &) override { return nextSave; }
    QString getOpenFileName(const QString &, const QString &) override { return nextOpen; }
};

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

double runOurs(const QString &source, const QString &target, const QString &dirA, const QString &dirB)
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
    if (!chatting.tryAcquire(2, 20000)) return -1;

    QElapsedTimer clock;
    clock.start();
    runIn(&a.context, [&] { a.client->transfer.sendFile(); });
    finished.tryAcquire(1, 300000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    return done ? seconds : -1;
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

double runReference(const QString &source, const QString &target)
{
    const quint16 port = 1201;
    const sockaddr_in receiverAddress = socketAddress(testsupport::loopback(5), port);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listener, reinterpret_cast<const sockaddr *>(&receiverAddress), sizeof receiverAddress) != 0 ||
        ::listen(listener, 1) != 0) {
        std::perror("reference listen");
        return -1;
    }
    const qint64 blocks = transfer::lastBlockIndex(kFileSize) + 1;

    QElapsedTimer clock;
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
    const double seconds = clock.nsecsElapsed() / 1e9;
    ::close(fd);
    ::close(listener);
    return seconds;
}

double best(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
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

    std::vector<double> ours, reference;
    for (int run = 0; run < kRuns; ++run) {
        const QString target = dirB.filePath(QStringLiteral("ours.bin"));
        const double t = runOurs(source, target, dirA.path(), dirB.path());
        if (t < 0 || fileHash(target) != expected) {
            std::fprintf(stderr, "bench: transfer did not deliver the file intact\n");
            return 1;
        }
        ours.push_back(t);
        const QString refTarget = dirB.filePath(QStringLiteral("reference.bin"));
        const double r = runReference(source, refTarget);
        if (r < 0 || fileHash(refTarget) != expected) {
            std::fprintf(stderr, "bench: reference did not deliver the file intact\n");
            return 1;
        }
        reference.push_back(r);
        QFile::remove(target), QFile::remove(refTarget);
    }
    const double o = best(ours), r = best(reference);
    const double mb = double(kFileSize) / (1024 * 1024);
    std::printf("bench: transfer-50MB %.2f s reference %.2f s ratio %.2f\n", o, r, o / r);
    std::printf("bench: transfer-50MB-throughput %.1f MB/s reference %.1f MB/s ratio %.2f\n", mb / o, mb / r,
                r / o);
    return 0;
}
