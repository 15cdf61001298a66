// File transfers between two clients without windows, chatting over loopback,
// or from one client to a raw socket that cuts, repeats or drops the stream:
// what arrives is compared byte for byte, what went over the peer connection
// message by message, and both chat transcripts line by line. Only the core
// is linked: the transfer needs no window.
#include "corechat.h"
#include "floodsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace testsupport;
using transfer::FileTransfer;

namespace {

const QString kTemp = FileTransfer::kTempFileName;

QByteArray randomBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    auto *rng = QRandomGenerator::global();
    for (char &c : bytes)
        c = char(rng->bounded(256));
    return bytes;
}

QByteArray hash(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Runs `action` once, from the event loop, as soon as `t` shows progress past
// 0%: the file is then in the middle of its way.
void onceUnderWay(FileTransfer &t, std::function<void()> action)
{
    auto pending = std::make_shared<std::function<void()>>(std::move(action));
    QObject::connect(&t, &FileTransfer::progressChanged, &t, [&t, pending](const QString &text) {
        if (!*pending || text == QStringLiteral("転送率：0%") || text == QStringLiteral("転送率：100%"))
            return;
        // Without a context: the action may end the transfer's client.
        QTimer::singleShot(0, std::exchange(*pending, nullptr));
    });
}

// A sender "あき" on loopback(2) and a receiver "ゆう" on loopback(3), chatting.
struct Pair {
    CoreSide a{2, QStringLiteral("あき")};
    CoreSide b{3, QStringLiteral("ゆう")};
    QStringList progressA, progressB;
    bool chatting = startChat(a, b);

    Pair()
    {
        QObject::connect(&a.transfer(), &FileTransfer::progressChanged, &a.transfer(),
                         [this](const QString &t) { progressA << t; });
        QObject::connect(&b.transfer(), &FileTransfer::progressChanged, &b.transfer(),
                         [this](const QString &t) { progressB << t; });
    }

    QString offerFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = a.filePath(name);
        writeFile(path, bytes);
        a.desk.nextOpen = path;
        return path;
    }
    // A file of zeros that takes no room on disk, big enough to be stopped on its way.
    QString offerBigFile(const QString &name, qint64 size = 64LL * 1024 * 1024)
    {
        const QString path = a.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(size)) return {};
        a.desk.nextOpen = path;
        return path;
    }
    bool senderIdle() { return !a.client || a.transfer().sendPhase() == FileTransfer::SendPhase::Idle; }
    bool receiverIdle() { return !b.client || (!b.transfer().receiving() && b.state().transferActive == 0); }
};

// A offers B `payload` over the peer connection, and `raw`, at A's address,
// connects as the sender once B is ready. Returns where B saves the file.
QString rawSenderToB(Pair &p, const QString &payload, QTcpSocket &raw)
{
    p.b.desk.nextSave = p.b.filePath(QStringLiteral("saved.bin"));
    p.a.client->link.send(QStringLiteral("con 999") + payload);
    if (!waitFor([&] { return p.a.received.contains(QStringLiteral("con 998")); }) || !raw.bind(loopback(2)))
        return {};
    raw.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    raw.connectToHost(loopback(3), transfer::kDataPort);
    return raw.waitForConnected(5000) ? p.b.desk.nextSave : QString();
}

} // namespace

class TestTransferFlow final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void endToEnd_data();
    void endToEnd();
    void splitBlocksAreKeptNotAskedAgain();
    void blocksRunTogether();
    void againAnswerResendsTheBlock();
    void senderVanishesMidFile();
    void receiverVanishesMidFile();
    void secondTransferRefusedWhileOneRuns();
    void hostileOfferNamePresetsPlainName();
    void fullDiskAbortsReception_data();
    void fullDiskAbortsReception();
    void savingReplacesOrKeepsTheData();
    void chatEndStopsTheTransferUntilTheNextChat_data();
    void chatEndStopsTheTransferUntilTheNextChat();
    void peerVanishesMidBlock_data();
    void peerVanishesMidBlock();
    void shutdownWhileATransferRuns();
    void memoryStaysFlatForABigFile();
    void chatEndsWhileTheOpenDialogIsUp();
};

void TestTransferFlow::endToEnd_data()
{
    QTest::addColumn<qint64>("size");
    for (qint64 s : {0, 1, 1023, 1024, 1025, 3 * 1024})
        QTest::addRow("%lld bytes", s) << s;
    QTest::addRow("5 MB") << qint64(5 * 1024 * 1024);
}

void TestTransferFlow::endToEnd()
{
    QFETCH(qint64, size);
    Pair p;
    QVERIFY(p.chatting);
    const QByteArray file = randomBytes(size);
    p.offerFile(QStringLiteral("写真.bin"), file);
    const QString saved = p.b.filePath(QStringLiteral("saved.bin"));
    p.b.desk.nextSave = saved;
    QSignalSpy commandsA(&p.a.transfer(), &FileTransfer::commandsEnabledChanged);
    QSignalSpy commandsB(&p.b.transfer(), &FileTransfer::commandsEnabledChanged);

    p.a.transfer().sendFile();
    QVERIFY(waitFor([&] { return p.senderIdle() && p.receiverIdle() && QFile::exists(saved); }, 60000));

    QCOMPARE(hash(readFile(saved)), hash(file));
    QCOMPARE(QFileInfo(saved).size(), size);
    QVERIFY(!QFile::exists(p.b.filePath(kTemp)));
    const QString last = QString::number(transfer::lastBlockIndex(size));
    QCOMPARE(p.b.received, QStringList{QStringLiteral("con 999写真.bin/") + last});
    QCOMPARE(p.a.received, QStringList{QStringLiteral("con 998")});
    QCOMPARE(p.a.lines(), (QStringList{QStringLiteral("あき> 写真.binを転送しました"),
                                       QStringLiteral("あき> 写真.binを転送します")}));
    QCOMPARE(p.b.lines(), (QStringList{QStringLiteral("ゆう>写真.binを受信しました"),
                                       QStringLiteral("ゆう>ファイルを受信します")}));
    QCOMPARE(p.progressA.last(), QStringLiteral("転送率：100%"));
    QCOMPARE(p.progressB.last(), QStringLiteral("転送率：100%"));
    QCOMPARE(p.b.desk.savePresets, QStringList{QStringLiteral("写真.bin")});
    QVERIFY(p.a.desk.messages.isEmpty());
    QVERIFY(p.b.desk.messages.isEmpty());
    // The chat commands rested while the data flowed, on both sides.
    for (QSignalSpy *spy : {&commandsA, &commandsB}) {
        QCOMPARE(spy->size(), 2);
        QCOMPARE(spy->at(0).at(0).toBool(), false);
    }
    QVERIFY(p.a.transfer().commandsEnabled() && p.b.transfer().commandsEnabled());
    QCOMPARE(p.a.state().operationBusy, 0);
    QCOMPARE(p.b.state().operationBusy, 0);
}

// A sender that cuts every block into three segments: the receiver keeps the
// pieces, writes each block once and never asks for one again.
void TestTransferFlow::splitBlocksAreKeptNotAskedAgain()
{
    Pair p;
    QVERIFY(p.chatting);
    const QByteArray file = randomBytes(3 * 1024 + 100);
    QTcpSocket raw;
    const QString saved = rawSenderToB(p, QStringLiteral("split.bin/3"), raw);
    QVERIFY(!saved.isEmpty());
    QVERIFY(waitFor([&] { return p.b.state().transferActive == 1; })); // taken as the data connection
    qint64 sent = 0;
    for (int i = 0; i <= 3; ++i) {
        const QByteArray block = file.mid(i * 1024, 1024);
        const int third = int(block.size()) / 3;
        for (const QByteArray &piece : {block.left(third), block.mid(third, third), block.mid(2 * third)}) {
            sendRaw(raw, piece);
            sent += piece.size();
            QVERIFY(waitFor([&] { return p.b.transfer().receivedBytes() == sent; }));
        }
        QVERIFY(readExactly(raw, "con 800"));
        // The progress window catches up with the blocks written.
        const QString shown = transfer::progressText(i + 1, 4);
        QVERIFY(waitFor([&] { return p.b.transfer().progressText() == shown; }));
    }
    QVERIFY(waitFor([&] { return p.receiverIdle() && QFile::exists(saved); }));
    QCOMPARE(readFile(saved), file);
    QCOMPARE(raw.readAll(), QByteArray()); // no "con 810" anywhere
    QCOMPARE(p.b.lines().first(), QStringLiteral("ゆう>split.binを受信しました"));
}

// Blocks that arrive in one read (a sender that does not wait) are still
// written once each and in order, each answered.
void TestTransferFlow::blocksRunTogether()
{
    Pair p;
    QVERIFY(p.chatting);
    const QByteArray file = randomBytes(3 * 1024 + 5);
    QTcpSocket raw;
    const QString saved = rawSenderToB(p, QStringLiteral("joined.bin/3"), raw);
    QVERIFY(!saved.isEmpty());
    raw.write(file);
    QVERIFY(readExactly(raw, QByteArray("con 800").repeated(4)));
    QVERIFY(waitFor([&] { return p.receiverIdle() && QFile::exists(saved); }));
    QCOMPARE(readFile(saved), file);
}

// A receiver that answers "con 810" once gets that block again, then the rest.
void TestTransferFlow::againAnswerResendsTheBlock()
{
    Pair p;
    QVERIFY(p.chatting);
    p.b.transfer().setReceiveEnabled(false); // B's own transfer stays out of it
    QTcpServer server;
    QVERIFY(server.listen(loopback(3), transfer::kDataPort));
    const QByteArray file = randomBytes(2500);
    p.offerFile(QStringLiteral("again.bin"), file);
    p.a.transfer().sendFile();
    QVERIFY(waitFor([&] { return !p.b.received.isEmpty(); }));
    QCOMPARE(p.b.received, QStringList{QStringLiteral("con 999again.bin/2")});
    p.b.client->link.send(QStringLiteral("con 998"));
    QVERIFY(waitFor([&] { return server.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> raw(server.nextPendingConnection());

    QVERIFY(readExactly(*raw, file.left(1024)));
    raw->write("con 810");
    for (int at : {0, 1024, 2048}) {
        QVERIFY(readExactly(*raw, file.mid(at, 1024)));
        // The progress shown is that of the blocks answered.
        const QString shown = transfer::progressText(at / 1024, 3);
        QVERIFY(waitFor([&] { return p.a.transfer().progressText() == shown; }));
        raw->write("con 800");
    }
    QVERIFY(waitFor([&] { return p.a.lines().value(0) == QStringLiteral("あき> again.binを転送しました"); }));
    QCOMPARE(p.progressA.last(), QStringLiteral("転送率：100%"));
    raw->close();
    QVERIFY(waitFor([&] {
        return p.senderIdle() && p.a.state().transferActive == 0 && p.a.transfer().commandsEnabled();
    }));
    QCOMPARE(p.a.lines().size(), 2);
}

void TestTransferFlow::senderVanishesMidFile()
{
    Pair p;
    QVERIFY(p.chatting);
    QVERIFY(!p.offerBigFile(QStringLiteral("big.bin")).isEmpty());
    p.b.desk.nextSave = p.b.filePath(QStringLiteral("never.bin"));
    onceUnderWay(p.b.transfer(), [&] { p.a.client.reset(); }); // the sending client is gone
    p.a.transfer().sendFile();
    QVERIFY(waitFor([&] { return !p.a.client; }, 30000));
    QVERIFY(waitFor([&] { return p.receiverIdle(); }));
    QVERIFY(p.b.lines().contains(QStringLiteral("ゆう>big.binを中断しました")));
    QVERIFY(p.b.desk.savePresets.isEmpty()); // no partial file offered
    QVERIFY(!QFile::exists(p.b.desk.nextSave));
    QVERIFY(!QFile::exists(p.b.filePath(kTemp)));
    QVERIFY(p.b.transfer().commandsEnabled());
}

void TestTransferFlow::receiverVanishesMidFile()
{
    Pair p;
    QVERIFY(p.chatting);
    QVERIFY(!p.offerBigFile(QStringLiteral("big.bin")).isEmpty());
    onceUnderWay(p.a.transfer(), [&] { p.b.client.reset(); });
    p.a.transfer().sendFile();
    QVERIFY(waitFor([&] { return !p.b.client; }, 30000));
    QVERIFY(waitFor([&] { return p.senderIdle() && p.a.state().transferActive == 0; }));
    QVERIFY(p.a.lines().contains(QStringLiteral("あき> big.binを中断しました")));
    QVERIFY(p.a.transfer().commandsEnabled());
    QVERIFY(!QFile::exists(p.b.filePath(kTemp))); // the receiver dropped its partial file

    // The same sender sends the next file to the partner, started anew, in a new call.
    p.b.start();
    QVERIFY(waitFor([&] { return p.a.listening(); }, 10000));
    QVERIFY(startChat(p.a, p.b));
    const QByteArray small = randomBytes(3000);
    p.offerFile(QStringLiteral("next.bin"), small);
    p.b.desk.nextSave = p.b.filePath(QStringLiteral("next.bin"));
    p.a.transfer().sendFile();
    QVERIFY(waitFor([&] { return p.senderIdle() && p.receiverIdle() && QFile::exists(p.b.desk.nextSave); },
                    10000));
    QCOMPARE(readFile(p.b.desk.nextSave), small);
}

void TestTransferFlow::secondTransferRefusedWhileOneRuns()
{
    Pair p;
    QVERIFY(p.chatting);
    const QByteArray file = randomBytes(200000);
    p.offerFile(QStringLiteral("one.bin"), file);
    p.b.desk.nextSave = p.b.filePath(QStringLiteral("one.bin"));
    p.a.transfer().sendFile();
    p.a.transfer().sendFile();
    QCOMPARE(p.a.desk.opens, 1);
    QCOMPARE(p.a.desk.messages,
             QStringList{QStringLiteral("ファイル転送中に続けてファイルを転送することはできません")});
    // Also once the data is flowing.
    QVERIFY(waitFor([&] { return p.a.state().transferActive == 1; }));
    p.a.transfer().sendFile();
    QCOMPARE(p.a.desk.opens, 1);
    QCOMPARE(p.a.desk.messages.size(), 2);
    QVERIFY(waitFor([&] { return p.senderIdle() && p.receiverIdle() && QFile::exists(p.b.desk.nextSave); },
                    20000));
    QCOMPARE(readFile(p.b.desk.nextSave), file);
}

// The offered name reaches the save dialog and the chat display only as a
// plain name; cancelling the dialog drops the data at once.
void TestTransferFlow::hostileOfferNamePresetsPlainName()
{
    Pair p;
    QVERIFY(p.chatting);
    QTcpSocket raw;
    QVERIFY(!rawSenderToB(p, QStringLiteral("..\\..\\C:\\evil\r\n\x01.txt/0"), raw).isEmpty());
    p.b.desk.nextSave.clear();
    raw.write("X");
    QVERIFY(readExactly(raw, "con 800"));
    QVERIFY(waitFor([&] { return p.receiverIdle() && !p.b.desk.savePresets.isEmpty(); }));
    QCOMPARE(p.b.desk.savePresets, QStringList{QStringLiteral("evil.txt")});
    QCOMPARE(p.b.lines().first(), QStringLiteral("ゆう>evil.txtを受信しました"));
    QVERIFY(!QFile::exists(p.b.filePath(kTemp)));
}

void TestTransferFlow::fullDiskAbortsReception_data()
{
    QTest::addColumn<bool>("fullDisk");
    QTest::newRow("disk full") << true;
    QTest::newRow("temporary file cannot be created") << false;
}

void TestTransferFlow::fullDiskAbortsReception()
{
    QFETCH(bool, fullDisk);
    if (fullDisk && !QFile::exists(QStringLiteral("/dev/full"))) QSKIP("no /dev/full here");
    Pair p;
    QVERIFY(p.chatting);
    const QString temp = p.b.filePath(kTemp);
    // Writes to /dev/full fail as on a full disk; a directory in the way stands
    // for a data directory we may not write (also when the tests run as root).
    QVERIFY(fullDisk ? QFile::link(QStringLiteral("/dev/full"), temp) : QDir(p.b.dir.path()).mkdir(kTemp));
    const QString saved = p.b.filePath(QStringLiteral("full.bin"));
    writeFile(saved, "older file, kept");
    p.b.desk.nextSave = saved;
    p.offerFile(QStringLiteral("full.bin"), randomBytes(5000));
    p.a.transfer().sendFile();
    QVERIFY(waitFor([&] { return !p.b.desk.messages.isEmpty(); }, 10000));
    QVERIFY(p.b.desk.messages.first().startsWith(QStringLiteral("受信したファイルを書き込めませんでした。")));
    QVERIFY(waitFor([&] { return p.senderIdle() && p.receiverIdle(); }, 10000));
    QCOMPARE(p.b.lines().first(), QStringLiteral("ゆう>full.binを中断しました"));
    QCOMPARE(p.a.lines().first(), QStringLiteral("あき> full.binを中断しました"));
    QVERIFY(p.b.transfer().statusText().endsWith(QStringLiteral("/Error!!")));
    QVERIFY(p.b.desk.savePresets.isEmpty());
    QCOMPARE(readFile(saved), QByteArray("older file, kept"));
    QVERIFY(p.a.transfer().commandsEnabled() && p.b.transfer().commandsEnabled());
}

void TestTransferFlow::savingReplacesOrKeepsTheData()
{
    Pair p;
    QVERIFY(p.chatting);
    // The user confirmed overwriting in the dialog: the file is replaced.
    const QByteArray first = randomBytes(4000);
    const QString existing = p.b.filePath(QStringLiteral("exists.bin"));
    writeFile(existing, "old contents");
    p.offerFile(QStringLiteral("a.bin"), first);
    p.b.desk.nextSave = existing;
    p.a.transfer().sendFile();
    QVERIFY(
        waitFor([&] { return p.senderIdle() && p.receiverIdle() && readFile(existing) == first; }, 10000));
    QVERIFY(p.b.desk.messages.isEmpty());

    // A path that cannot take the file: the user is told and the data waits in the temporary file.
    const QByteArray second = randomBytes(3000);
    p.offerFile(QStringLiteral("b.bin"), second);
    p.b.desk.nextSave = p.b.filePath(QStringLiteral("no/such/dir/b.bin"));
    p.a.transfer().sendFile();
    QVERIFY(
        waitFor([&] { return p.senderIdle() && p.receiverIdle() && !p.b.desk.messages.isEmpty(); }, 10000));
    QVERIFY(p.b.desk.messages.first().startsWith(QStringLiteral("ファイルを保存できませんでした。")));
    QVERIFY(p.b.transfer().statusText().endsWith(QStringLiteral("/Error!!")));
    QCOMPARE(readFile(p.b.filePath(kTemp)), second);
    QCOMPARE(p.a.lines().first(), QStringLiteral("あき> b.binを転送しました"));
}

void TestTransferFlow::chatEndStopsTheTransferUntilTheNextChat_data()
{
    QTest::addColumn<bool>("senderHangsUp");
    QTest::newRow("receiver hangs up") << false;
    QTest::newRow("sender hangs up") << true;
}

// Either side hangs up in the middle of a file: both stop, the one that hung
// up without a word, the partial file goes, no file stays open, and the next
// chat starts afresh (receiving on again, an empty status) and carries a file.
void TestTransferFlow::chatEndStopsTheTransferUntilTheNextChat()
{
    QFETCH(bool, senderHangsUp);
    Pair p;
    QVERIFY(p.chatting);
    CoreSide &leaver = senderHangsUp ? p.a : p.b;
    QVERIFY(!p.offerBigFile(QStringLiteral("big.bin")).isEmpty());
    p.b.desk.nextSave = p.b.filePath(QStringLiteral("never.bin"));
    onceUnderWay(leaver.transfer(), [&] {
        leaver.transfer().setReceiveEnabled(false); // the next chat starts with it on again
        leaver.client->chat.close();
    });
    p.a.transfer().sendFile();
    QVERIFY(waitFor([&] { return !p.a.client->chat.isActive() && !p.b.client->chat.isActive(); }, 30000));
    QVERIFY(waitFor([&] { return p.senderIdle() && p.receiverIdle() && !p.a.transfer().busy(); }));
    QVERIFY(!QFile::exists(p.b.filePath(kTemp)));
    QVERIFY(!QFile::exists(p.b.desk.nextSave));
    QVERIFY(openFiles(QStringLiteral("/big.bin")).isEmpty());
    QVERIFY(openFiles(QStringLiteral("/") + kTemp).isEmpty());
    // The side that hung up stopped without a line (the other may see its data connection drop first).
    QCOMPARE(leaver.lines().value(0), senderHangsUp ? QStringLiteral("あき> big.binを転送します")
                                                    : QStringLiteral("ゆう>ファイルを受信します"));
    QVERIFY(leaver.transfer().receiveEnabled());
    QVERIFY(p.b.transfer().statusText().isEmpty());

    QVERIFY(waitFor([&] { return p.a.listening() && p.b.listening(); }, 10000));
    QVERIFY(startChat(p.b, p.a));
    const QByteArray small = randomBytes(1500);
    p.offerFile(QStringLiteral("next.bin"), small);
    p.a.transfer().sendFile();
    QVERIFY(waitFor([&] { return QFile::exists(p.b.desk.nextSave); }, 10000));
    QCOMPARE(readFile(p.b.desk.nextSave), small);
}

void TestTransferFlow::peerVanishesMidBlock_data()
{
    QTest::addColumn<bool>("senderVanishes");
    QTest::newRow("sender") << true;
    QTest::newRow("receiver") << false;
}

// The partner's side of the data connection goes away with a block half
// through: the side left behind shows its abort line and is ready again.
void TestTransferFlow::peerVanishesMidBlock()
{
    QFETCH(bool, senderVanishes);
    Pair p;
    QVERIFY(p.chatting);
    const QByteArray file = randomBytes(5 * 1024);
    if (senderVanishes) {
        QTcpSocket raw;
        QVERIFY(!rawSenderToB(p, QStringLiteral("cut.bin/4"), raw).isEmpty());
        sendRaw(raw, file.left(1024));
        QVERIFY(readExactly(raw, "con 800"));
        sendRaw(raw, file.mid(1024, 500));
        QVERIFY(waitFor([&] { return p.b.transfer().receivedBytes() == 1524; }));
        raw.abort();
        QVERIFY(waitFor([&] { return p.receiverIdle(); }));
        QCOMPARE(p.b.lines().value(0), QStringLiteral("ゆう>cut.binを中断しました"));
        QVERIFY(!QFile::exists(p.b.filePath(kTemp)));
        QVERIFY(p.b.desk.savePresets.isEmpty());
        QVERIFY(p.b.transfer().commandsEnabled());
        return;
    }
    p.b.transfer().setReceiveEnabled(false); // B's own transfer stays out of it
    QTcpServer server;
    QVERIFY(server.listen(loopback(3), transfer::kDataPort));
    p.offerFile(QStringLiteral("cut.bin"), file);
    p.a.transfer().sendFile();
    QVERIFY(waitFor([&] { return !p.b.received.isEmpty(); }));
    p.b.client->link.send(QStringLiteral("con 998"));
    QVERIFY(waitFor([&] { return server.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> raw(server.nextPendingConnection());
    QVERIFY(readExactly(*raw, file.left(1024)));
    raw->write("con 800");
    QVERIFY(readExactly(*raw, file.mid(1024, 500)));
    raw->abort();
    QVERIFY(waitFor([&] { return p.senderIdle() && p.a.state().transferActive == 0; }));
    QCOMPARE(p.a.lines().value(0), QStringLiteral("あき> cut.binを中断しました"));
    QVERIFY(p.a.transfer().commandsEnabled());
    QVERIFY(openFiles(QStringLiteral("/cut.bin")).isEmpty());
}

// Both clients end while a file is on its way: the data threads are joined,
// nothing stays open and the partial file goes.
void TestTransferFlow::shutdownWhileATransferRuns()
{
    Pair p;
    QVERIFY(p.chatting);
    const int threadsBefore = threadCount();
    QVERIFY(!p.offerBigFile(QStringLiteral("big.bin")).isEmpty());
    p.b.desk.nextSave = p.b.filePath(QStringLiteral("never.bin"));
    onceUnderWay(p.b.transfer(), [&] {
        p.a.client.reset();
        p.b.client.reset();
    });
    p.a.transfer().sendFile();
    QVERIFY(waitFor([&] { return !p.a.client && !p.b.client; }, 30000));
    QVERIFY(openFiles(QStringLiteral("/big.bin")).isEmpty());
    QVERIFY(openFiles(QStringLiteral("/") + kTemp).isEmpty());
    QVERIFY(!QFile::exists(p.b.filePath(kTemp)));
    QVERIFY(!QFile::exists(p.b.desk.nextSave));
    QVERIFY(threadCount() <= threadsBefore);
}

// A file many times the size of what either side may hold passes through
// with the resident memory of the process (both sides) nearly flat.
void TestTransferFlow::memoryStaysFlatForABigFile()
{
    constexpr qint64 kSize = 48LL * 1024 * 1024;
    constexpr qint64 kMaxGrowthKb = 12 * 1024;
    Pair p;
    QVERIFY(p.chatting);
    QVERIFY(!p.offerBigFile(QStringLiteral("big.bin"), kSize).isEmpty());
    const QString saved = p.b.filePath(QStringLiteral("big.bin"));
    p.b.desk.nextSave = saved;
    flood::resetPeakResident();
    const qint64 before = flood::residentKb();
    if (flood::peakResidentKb() > before + 1024) QSKIP("the peak resident memory cannot be reset here");
    p.a.transfer().sendFile();
    QVERIFY(waitFor([&] { return p.senderIdle() && p.receiverIdle() && QFile::exists(saved); }, 90000));
    const qint64 growth = flood::peakResidentKb() - before;
    qInfo("peak resident memory grew by %lld kB for a %lld MB file", growth, kSize >> 20);
    QCOMPARE(QFileInfo(saved).size(), kSize);
    QVERIFY2(growth < kMaxGrowthKb, qPrintable(QString::number(growth)));
}

// The chat ends while the user picks a file: the choice starts nothing.
void TestTransferFlow::chatEndsWhileTheOpenDialogIsUp()
{
    Pair p;
    QVERIFY(p.chatting);
    p.offerFile(QStringLiteral("late.bin"), randomBytes(10));
    QObject::connect(&p.a.transfer(), &FileTransfer::fileDialogShown, &p.a.transfer(), [&](bool shown) {
        if (shown) p.a.client->chat.close();
    });
    p.a.transfer().sendFile();
    QCOMPARE(p.a.desk.opens, 1);
    QVERIFY(p.senderIdle());
    QVERIFY(!p.a.transfer().busy());
    QCOMPARE(p.a.state().operationBusy, 0);
    QVERIFY(waitFor([&] { return !p.b.client->chat.isActive(); }));
    QVERIFY(p.b.state().recvFileName.isEmpty());
}

QTEST_GUILESS_MAIN(TestTransferFlow)
#include "test_transfer_flow.moc"
