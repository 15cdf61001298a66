// The data pump alone, over a socket pair with the test as the partner: blocks
// sent again on "con 810" and on an answer from the peer connection, blocks
// put back together from any cut, the short last block, every way a run ends
// (partner gone mid-block, silence, a file that cannot be read or written),
// and stop or destruction ending a waiting run at once without a signal.
#include "transfer/datapump.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

using transfer::DataPump;
using Outcome = DataPump::Outcome;

namespace {

// The test's end of a socket pair; the pump gets the other.
struct Partner {
    int fd = -1;
    int pumpFd = -1;
    Partner()
    {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0) fd = pair[0], pumpFd = pair[1];
    }
    ~Partner() { close(); }
    void close()
    {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    bool write(const QByteArray &bytes) const
    {
        return ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
    }
    // Exactly `n` bytes, or what came before the pump hung up or 5 s passed.
    QByteArray read(qsizetype n) const
    {
        QByteArray got;
        while (got.size() < n) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) break;
            char buffer[4096];
            const ssize_t r = ::read(fd, buffer, std::min<size_t>(sizeof buffer, size_t(n - got.size())));
            if (r <= 0) break;
            got.append(buffer, r);
        }
        return got;
    }
    // The pump closed its end (what it sent before is passed over).
    bool hungUp() const
    {
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            char buffer[4096];
            if (::poll(&p, 1, 5000) != 1) return false;
            const ssize_t r = ::read(fd, buffer, sizeof buffer);
            if (r <= 0) return r == 0;
        }
    }
};

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

DataPump::Limits limits(int waitMs = 20000, int settleMs = 150)
{
    return {waitMs, settleMs};
}

// The outcome of the run `spy` watches, once it ended.
Outcome outcomeOf(QSignalSpy &spy)
{
    if (spy.isEmpty() && !spy.wait(10000)) return Outcome(-1);
    return spy.first().first().value<Outcome>();
}

} // namespace

class TestTransferPump final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<Outcome>(); }
    void sendsAgainAndTakesAnswersFromEitherConnection();
    void receivesAnyCut_data();
    void receivesAnyCut();
    void runsEndOnTheirOwn_data();
    void runsEndOnTheirOwn();
    void stopAndDestructionEndAWaitingRun();
};

void TestTransferPump::sendsAgainAndTakesAnswersFromEitherConnection()
{
    QTemporaryDir dir;
    const QByteArray file = randomBytes(2500);
    QFile source(dir.filePath(QStringLiteral("s.bin")));
    QVERIFY(source.open(QIODevice::ReadWrite | QIODevice::Unbuffered) && source.write(file) == file.size());
    QVERIFY(source.seek(0));
    Partner partner;
    DataPump pump;
    QSignalSpy answered(&pump, &DataPump::allAnswered);
    QSignalSpy finished(&pump, &DataPump::finished);
    QVERIFY(pump.startSending(partner.pumpFd, source.handle(), file.size(), limits()));

    QCOMPARE(partner.read(1024), file.left(1024));
    QVERIFY(partner.write("con 810"));
    QCOMPARE(partner.read(1024), file.left(1024));
    QVERIFY(partner.write("con 8") && partner.write("00")); // an answer cut in two
    QCOMPARE(partner.read(1024), file.mid(1024, 1024));
    pump.answer(true); // as "con 800" over the peer connection
    QCOMPARE(partner.read(452), file.mid(2048));
    QVERIFY(partner.write("xx")); // noise before an answer is skipped
    QVERIFY(partner.write("con 800"));
    QVERIFY(answered.wait());
    QCOMPARE(pump.blocksDone(), 3);
    QVERIFY(finished.isEmpty()); // the receiver hangs up, not the sender
    partner.close();
    QCOMPARE(outcomeOf(finished), Outcome::Done);
    QVERIFY(!pump.running());
}

void TestTransferPump::receivesAnyCut_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("cut");
    QTest::addColumn<bool>("partnerCloses");
    QTest::newRow("whole blocks, one at a time") << qint64(3 * 1024) << 1024 << false;
    QTest::newRow("short last block settles") << qint64(3 * 1024 + 5) << 700 << false;
    QTest::newRow("blocks run together") << qint64(10 * 1024 + 1) << 5000 << false;
    QTest::newRow("short last block, partner hangs up") << qint64(2 * 1024 + 9) << 333 << true;
}

void TestTransferPump::receivesAnyCut()
{
    QFETCH(qint64, size);
    QFETCH(int, cut);
    QFETCH(bool, partnerCloses);
    QTemporaryDir dir;
    QFile target(dir.filePath(QStringLiteral("t.bin")));
    QVERIFY(target.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray file = randomBytes(size);
    const qint64 blocks = transfer::lastBlockIndex(size) + 1;
    Partner partner;
    DataPump pump;
    QSignalSpy finished(&pump, &DataPump::finished);
    // The first bytes came before the pump took the connection over.
    QVERIFY(pump.startReceiving(partner.pumpFd, target.handle(), blocks - 1, file.left(100), limits()));
    for (qsizetype at = 100; at < file.size(); at += cut)
        QVERIFY(partner.write(file.mid(at, cut)));
    if (partnerCloses) ::shutdown(partner.fd, SHUT_WR);
    QCOMPARE(partner.read(7 * blocks), QByteArray("con 800").repeated(blocks));
    QCOMPARE(outcomeOf(finished), Outcome::Done);
    QVERIFY(partner.hungUp());
    QCOMPARE(pump.blocksDone(), blocks);
    QCOMPARE(pump.bytesReceived(), size - 100);
    target.close();
    QFile written(target.fileName());
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), file);
}

void TestTransferPump::runsEndOnTheirOwn_data()
{
    QTest::addColumn<bool>("sending");
    QTest::addColumn<QByteArray>("partnerSends");
    QTest::addColumn<bool>("partnerCloses");
    QTest::addColumn<QString>("file");
    QTest::addColumn<Outcome>("outcome");
    const QString ok = QStringLiteral("ok");
    QTest::newRow("receiver: sender gone mid-block")
        << false << QByteArray(500, 'x') << true << ok << Outcome::PeerClosed;
    QTest::newRow("sender: receiver gone with a block in flight")
        << true << QByteArray() << true << ok << Outcome::PeerClosed;
    QTest::newRow("receiver: silence") << false << QByteArray(1024, 'x') << false << ok << Outcome::TimedOut;
    QTest::newRow("sender: no answer") << true << QByteArray("con 80") << false << ok << Outcome::TimedOut;
    QTest::newRow("receiver: disk full")
        << false << QByteArray(1024, 'x') << false << QStringLiteral("/dev/full") << Outcome::FileError;
    QTest::newRow("sender: file shorter than offered")
        << true << QByteArray("con 800") << false << QStringLiteral("short") << Outcome::FileError;
}

// With short limits: how each run ends, whatever the time it took.
void TestTransferPump::runsEndOnTheirOwn()
{
    QFETCH(bool, sending);
    QFETCH(QByteArray, partnerSends);
    QFETCH(bool, partnerCloses);
    QFETCH(QString, file);
    QFETCH(Outcome, outcome);
    if (file.startsWith(u'/') && !QFile::exists(file)) QSKIP("no /dev/full here");
    QTemporaryDir dir;
    QFile data(file.startsWith(u'/') ? file : dir.filePath(file));
    QVERIFY(data.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    if (sending) {
        data.write(randomBytes(file == QStringLiteral("short") ? 1500 : 4096));
        data.seek(0);
    }
    Partner partner;
    DataPump pump;
    QSignalSpy finished(&pump, &DataPump::finished);
    const DataPump::Limits shortLimits = limits(300, 100);
    QVERIFY(sending ? pump.startSending(partner.pumpFd, data.handle(), 4096, shortLimits)
                    : pump.startReceiving(partner.pumpFd, data.handle(), 3, {}, shortLimits));
    if (sending) QCOMPARE(partner.read(1024).size(), 1024);
    if (!partnerSends.isEmpty()) QVERIFY(partner.write(partnerSends));
    if (partnerCloses) partner.close();
    QCOMPARE(outcomeOf(finished), outcome);
    QCOMPARE(finished.size(), 1);
    QVERIFY(!pump.running());
    if (!partnerCloses) QVERIFY(partner.hungUp());
}

// A run waiting within its limit ends at once on stop() or with the pump,
// without a signal, and its connection is closed.
void TestTransferPump::stopAndDestructionEndAWaitingRun()
{
    QTemporaryDir dir;
    QFile target(dir.filePath(QStringLiteral("t.bin")));
    QVERIFY(target.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    for (const bool destroy : {false, true}) {
        Partner partner;
        auto pump = std::make_unique<DataPump>();
        QSignalSpy finished(pump.get(), &DataPump::finished);
        // A limit far beyond the test's own: only the wake-up can end the wait in time.
        QVERIFY(pump->startReceiving(partner.pumpFd, target.handle(), 9, {}, limits(3600 * 1000)));
        QVERIFY(partner.write(QByteArray(1500, 'x'))); // one block and part of the next
        QCOMPARE(partner.read(7), QByteArray("con 800"));
        if (destroy) {
            pump.reset();
        } else {
            pump->stop();
            QVERIFY(!pump->running());
        }
        QVERIFY(partner.hungUp());
        QCoreApplication::processEvents();
        QVERIFY(finished.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestTransferPump)
#include "test_transfer_pump.moc"
