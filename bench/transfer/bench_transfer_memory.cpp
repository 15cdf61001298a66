// The peak resident memory of both sides of a 1 GB transfer, against the size
// of the file: sender and receiver are two client processes of their own (this
// program started again in a role), chatting over loopback, and each tells its
// peak (VmHWM) and what it held once the chat was open, before the file. The
// file is sparse (zeros that take no room on the sending disk); the receiver
// writes all of it. Three rounds by default; each round checks the saved size.
#include "app/coreclient.h"
#include "benchdesktop.h"
#include "rounds.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr qint64 kFileSize = 1024LL * 1024 * 1024;
const int kRounds =
    qEnvironmentVariableIsSet("WEZ_BENCH_ROUNDS") ? qEnvironmentVariableIntValue("WEZ_BENCH_ROUNDS") : 3;
constexpr int kRoundLimitMs = 15 * 60 * 1000;

qint64 statusKb(const QByteArray &key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

// One side, in this process: `role` is "--send" or "--receive"; arguments:
// data directory, own address, file, and for the sender the partner's address.
// Prints "peak <kB> before <kB>" once its side of the transfer is over.
int runSide(const QStringList &args)
{
    const bool sending = args.value(1) == QStringLiteral("--send");
    BenchDesktop desk;
    (sending ? desk.nextOpen : desk.nextSave) = args.value(4);
    CoreClient client(args.value(2), QHostAddress(args.value(3)), desk);
    // Chat notices go to an address where nobody listens.
    client.core.state().serverAddress = testsupport::loopback(9).toString();
    client.core.entrance().setName(QStringLiteral("bench"));
    client.core.listenOn(client.core.winsock1(), ClientCore::kPeerPort);
    client.transfer.setPauseMs(0);
    qint64 before = 0;
    QObject::connect(&client.chat, &ChatSession::opened, &client.transfer, [&] {
        before = statusKb("VmRSS:");
        if (sending) client.transfer.sendFile();
    });
    QObject::connect(&client.transfer, &transfer::FileTransfer::finished, &client.transfer, [&] {
        std::printf("peak %lld before %lld\n", statusKb("VmHWM:"), before);
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    if (sending) {
        client.core.entrance().setIpText(args.value(5));
        client.link.chatCommand();
    } else {
        std::printf("ready\n");
        std::fflush(stdout);
    }
    return QCoreApplication::exec();
}

struct SideFigures {
    qint64 peakKb = -1, beforeKb = -1;
};

SideFigures figures(QProcess &side)
{
    SideFigures f;
    if (!side.waitForFinished(kRoundLimitMs)) return f;
    for (const QByteArray &line : side.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 4 && words[0] == "peak") f = {words[1].toLongLong(), words[3].toLongLong()};
    }
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1).startsWith(QStringLiteral("--"))) return runSide(args);

    QTemporaryDir dirA, dirB;
    const QString source = dirA.filePath(QStringLiteral("big.bin"));
    const QString target = dirB.filePath(QStringLiteral("got.bin"));
    {
        QFile f(source);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(kFileSize)) return 1;
    }
    const QString addressA = testsupport::loopback(2).toString(),
                  addressB = testsupport::loopback(3).toString();
    const double mb = 1024.0;
    bench::Rounds sender, receiver, growth, size;
    for (int round = 0; round < kRounds; ++round) {
        QProcess receiving, sending;
        receiving.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sending.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        receiving.start(app.applicationFilePath(),
                        {QStringLiteral("--receive"), dirB.path(), addressB, target});
        if (!receiving.waitForReadyRead(20000) || !receiving.readLine().startsWith("ready")) return 1;
        sending.start(app.applicationFilePath(),
                      {QStringLiteral("--send"), dirA.path(), addressA, source, addressB});
        const SideFigures a = figures(sending), b = figures(receiving);
        if (a.peakKb < 0 || b.peakKb < 0 || QFileInfo(target).size() != kFileSize) {
            std::fprintf(stderr, "bench: the 1 GB transfer did not complete\n");
            return 1;
        }
        QFile::remove(target);
        sender.add(a.peakKb / 1024.0);
        receiver.add(b.peakKb / 1024.0);
        growth.add(std::max(a.peakKb - a.beforeKb, b.peakKb - b.beforeKb) / 1024.0);
        size.add(mb);
    }
    bench::report("transfer-1GB-peak-rss-sender", sender, size, "MB");
    bench::report("transfer-1GB-peak-rss-receiver", receiver, size, "MB");
    bench::report("transfer-1GB-rss-growth", growth, size, "MB");
    return 0;
}
