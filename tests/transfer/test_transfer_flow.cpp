// File transfers over loopback: two transfer objects, or one against a raw
// socket that cuts, repeats or drops the stream; what arrives is compared
// byte for byte, and both chat displays line by line.
#include "faketransferhost.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

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

// A sender "あき" on loopback(2) and a receiver "ゆう" on loopback(3).
struct Pair {
    QTemporaryDir dirA, dirB;
    FakeTransferHost a, b;
    std::unique_ptr<FileTransfer> ta, tb;
    QStringList progressA, progressB;

    Pair()
    {
        a.bind = loopback(2), b.bind = loopback(3);
        a.partner = b.bind.toString(), b.partner = a.bind.toString();
        a.partnerHost = &b, b.partnerHost = &a;
        a.dir = dirA.path(), b.dir = dirB.path();
        a.name = QStringLiteral("あき"), b.name = QStringLiteral("ゆう");
        ta = std::make_unique<FileTransfer>(a);
        tb = std::make_unique<FileTransfer>(b);
        a.transfer = ta.get(), b.transfer = tb.get();
        QObject::connect(ta.get(), &FileTransfer::progressChanged, &a.context,
                         [this](const QString &t) { progressA << t; });
        QObject::connect(tb.get(), &FileTransfer::progressChanged, &b.context,
                         [this](const QString &t) { progressB << t; });
    }

    QString offerFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = dirA.filePath(name);
        writeFile(path, bytes);
        a.desk.nextOpen = path;
        return path;
    }
    bool senderIdle() const { return !ta || ta->sendPhase() == FileTransfer::SendPhase::Idle; }
    bool receiverIdle() const { return !tb || (!tb->receiving() && b.shared.transferActive == 0); }
};

// The receiver's end of the data connection, to see each piece arrive on its own.
QTcpSocket *receivingSocket(FileTransfer &t)
{
    for (QTcpSocket *s : t.winsock4().findChildren<QTcpSocket *>())
        if (s->state() == QAbstractSocket::ConnectedState) return s;
    return nullptr;
}

// B is offered `name` with blocks 0..lastBlock, and `raw`, at A's address,
// connects as the sender in place of A's transfer. Returns where B saves it.
QString rawSenderToB(Pair &p, const QString &name, int lastBlock, QTcpSocket &raw)
{
    p.ta.reset();
    p.b.partnerHost = nullptr;
    const QString saved = p.dirB.filePath(name);
    p.b.desk.nextSave = saved;
    p.b.receiveControl(QStringLiteral("con 999") + name + QLatin1Char('/') + QString::number(lastBlock));
    if (!waitFor([&] { return p.b.controlSent.contains(QStringLiteral("con 998")); }) ||
        !raw.bind(loopback(2)))
        return {};
    raw.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    raw.connectToHost(loopback(3), transfer::kDataPort);
    return raw.waitForConnected(5000) ? saved : QString();
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
    const QByteArray file = randomBytes(size);
    p.offerFile(QStringLiteral("写真.bin"), file);
    const QString saved = p.dirB.filePath(QStringLiteral("saved.bin"));
    p.b.desk.nextSave = saved;

    p.ta->sendFile();
    QVERIFY(waitFor([&] { return p.senderIdle() && p.receiverIdle() && QFile::exists(saved); }, 60000));

    QCOMPARE(hash(readFile(saved)), hash(file));
    QCOMPARE(QFileInfo(saved).size(), size);
    QVERIFY(!QFile::exists(p.dirB.filePath(kTemp)));
    const QString last = QString::number(transfer::lastBlockIndex(size));
    QCOMPARE(p.a.controlSent, QStringList{QStringLiteral("con 999写真.bin/") + last});
    QCOMPARE(p.b.controlSent, QStringList{QStringLiteral("con 998")});
    QCOMPARE(p.a.lines, (QStringList{QStringLiteral("あき> 写真.binを転送しました"),
                                     QStringLiteral("あき> 写真.binを転送します")}));
    QCOMPARE(p.b.lines, (QStringList{QStringLiteral("ゆう>写真.binを受信しました"),
                                     QStringLiteral("ゆう>ファイルを受信します")}));
    QCOMPARE(p.progressA.last(), QStringLiteral("転送率：100%"));
    QCOMPARE(p.progressB.last(), QStringLiteral("転送率：100%"));
    QCOMPARE(p.b.desk.savePresets, QStringList{QStringLiteral("写真.bin")});
    QVERIFY(p.a.desk.messages.isEmpty());
    QVERIFY(p.b.desk.messages.isEmpty());
    QVERIFY(p.a.commandsEnabled && p.b.commandsEnabled);
    QCOMPARE(p.a.shared.operationBusy, 0);
    QCOMPARE(p.b.shared.operationBusy, 0);
}

// A sender that cuts every block into three segments: the receiver keeps the
// pieces, writes each block once and never asks for one again.
void TestTransferFlow::splitBlocksAreKeptNotAskedAgain()
{
    Pair p;
    const QByteArray file = randomBytes(3 * 1024 + 100);
    QTcpSocket raw;
    const QString saved = rawSenderToB(p, QStringLiteral("split.bin"), 3, raw);
    QVERIFY(!saved.isEmpty());
    QVERIFY(waitFor([&] { return receivingSocket(*p.tb) != nullptr; }));
    QSignalSpy arrived(receivingSocket(*p.tb), &QIODevice::readyRead);
    for (int i = 0; i <= 3; ++i) {
        const QByteArray block = file.mid(i * 1024, 1024);
        const int third = int(block.size()) / 3;
        for (const QByteArray &piece : {block.left(third), block.mid(third, third), block.mid(2 * third)}) {
            sendRaw(raw, piece);
            QVERIFY(arrived.wait());
        }
        QVERIFY(readExactly(raw, "con 800"));
    }
    QVERIFY(waitFor([&] { return p.receiverIdle() && QFile::exists(saved); }));
    QCOMPARE(readFile(saved), file);
    QCOMPARE(raw.readAll(), QByteArray()); // no "con 810" anywhere
    QCOMPARE(p.b.lines.first(), QStringLiteral("ゆう>split.binを受信しました"));
}

// Blocks that arrive in one read (a sender that does not wait) are still
// written once each and in order, each answered.
void TestTransferFlow::blocksRunTogether()
{
    Pair p;
    const QByteArray file = randomBytes(3 * 1024 + 5);
    QTcpSocket raw;
    const QString saved = rawSenderToB(p, QStringLiteral("joined.bin"), 3, raw);
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
    p.tb.reset();
    p.a.partnerHost = nullptr;
    QTcpServer server;
    QVERIFY(server.listen(loopback(3), transfer::kDataPort));
    const QByteArray file = randomBytes(2500);
    p.offerFile(QStringLiteral("again.bin"), file);
    p.ta->sendFile();
    QCOMPARE(p.a.controlSent, QStringList{QStringLiteral("con 999again.bin/2")});
    p.a.receiveControl(QStringLiteral("con 998"));
    QVERIFY(waitFor([&] { return server.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> raw(server.nextPendingConnection());

    QVERIFY(readExactly(*raw, file.left(1024)));
    raw->write("con 810");
    for (int at : {0, 1024, 2048}) {
        QVERIFY(readExactly(*raw, file.mid(at, 1024)));
        raw->write("con 800");
    }
    QVERIFY(waitFor([&] { return p.a.lines.first() == QStringLiteral("あき> again.binを転送しました"); }));
    QCOMPARE(p.progressA.last(), QStringLiteral("転送率：100%"));
    raw->close();
    QVERIFY(waitFor([&] { return p.senderIdle() && p.a.shared.transferActive == 0 && p.a.commandsEnabled; }));
    QCOMPARE(p.a.lines.size(), 2);
}

void TestTransferFlow::senderVanishesMidFile()
{
    Pair p;
    p.offerFile(QStringLiteral("big.bin"), randomBytes(3 * 1024 * 1024));
    p.b.desk.nextSave = p.dirB.filePath(QStringLiteral("never.bin"));
    QObject::connect(p.tb.get(), &FileTransfer::progressChanged, &p.b.context, [&](const QString &t) {
        if (t == QStringLiteral("転送率：10%") && p.ta)
            QTimer::singleShot(0, &p.b.context, [&] { p.ta.reset(); }); // the sending client is gone
    });
    p.ta->sendFile();
    QVERIFY(waitFor([&] { return !p.ta; }, 30000));
    QVERIFY(waitFor([&] { return p.receiverIdle(); }));
    QCOMPARE(p.b.lines.first(), QStringLiteral("ゆう>big.binを中断しました"));
    QVERIFY(p.b.desk.savePresets.isEmpty()); // no partial file offered
    QVERIFY(!QFile::exists(p.b.desk.nextSave));
    QVERIFY(!QFile::exists(p.dirB.filePath(kTemp)));
    QVERIFY(p.b.commandsEnabled);
}

void TestTransferFlow::receiverVanishesMidFile()
{
    Pair p;
    p.offerFile(QStringLiteral("big.bin"), randomBytes(3 * 1024 * 1024));
    QObject::connect(p.ta.get(), &FileTransfer::progressChanged, &p.a.context, [&](const QString &t) {
        if (t == QStringLiteral("転送率：10%") && p.tb)
            QTimer::singleShot(0, &p.a.context, [&] { p.tb.reset(); });
    });
    p.ta->sendFile();
    QVERIFY(waitFor([&] { return !p.tb; }, 30000));
    QVERIFY(waitFor([&] { return p.senderIdle() && p.a.shared.transferActive == 0; }));
    QCOMPARE(p.a.lines.first(), QStringLiteral("あき> big.binを中断しました"));
    QVERIFY(p.a.commandsEnabled);
    QVERIFY(!QFile::exists(p.dirB.filePath(kTemp))); // the receiver dropped its partial file

    // The chat is usable again: the next file goes through to a new receiver.
    p.tb = std::make_unique<FileTransfer>(p.b);
    p.b.transfer = p.tb.get();
    const QByteArray small = randomBytes(3000);
    p.offerFile(QStringLiteral("next.bin"), small);
    p.b.desk.nextSave = p.dirB.filePath(QStringLiteral("next.bin"));
    p.ta->sendFile();
    QVERIFY(waitFor([&] { return p.senderIdle() && p.receiverIdle() && QFile::exists(p.b.desk.nextSave); },
                    10000));
    QCOMPARE(readFile(p.b.desk.nextSave), small);
}

void TestTransferFlow::secondTransferRefusedWhileOneRuns()
{
    Pair p;
    const QByteArray file = randomBytes(200000);
    p.offerFile(QStringLiteral("one.bin"), file);
    p.b.desk.nextSave = p.dirB.filePath(QStringLiteral("one.bin"));
    p.ta->sendFile();
    p.ta->sendFile();
    QCOMPARE(p.a.desk.opens, 1);
    QCOMPARE(p.a.desk.messages,
             QStringList{QStringLiteral("ファイル転送中に続けてファイルを転送することはできません")});
    // Also once the data is flowing.
    QVERIFY(waitFor([&] { return p.a.shared.transferActive == 1; }));
    p.ta->sendFile();
    QCOMPARE(p.a.desk.opens, 1);
    QCOMPARE(p.a.desk.messages.size(), 2);
    QVERIFY(waitFor([&] { return p.senderIdle() && p.receiverIdle() && QFile::exists(p.b.desk.nextSave); },
                    20000));
    QCOMPARE(readFile(p.b.desk.nextSave), file);
}

// The offered name reaches the save dialog and the chat display only as a
// plain name; cancelling the dialog leaves the data in the temporary file.
void TestTransferFlow::hostileOfferNamePresetsPlainName()
{
    Pair p;
    p.ta.reset();
    p.b.partnerHost = nullptr;
    p.b.desk.nextSave.clear();
    p.b.receiveControl(QStringLiteral("con 999..\\..\\C:\\evil\r\n\x01.txt/0"));
    QVERIFY(waitFor([&] { return p.b.controlSent.contains(QStringLiteral("con 998")); }));
    QTcpSocket raw;
    QVERIFY(raw.bind(loopback(2)));
    raw.connectToHost(loopback(3), transfer::kDataPort);
    QVERIFY(raw.waitForConnected(5000));
    raw.write("X");
    QVERIFY(readExactly(raw, "con 800"));
    QVERIFY(waitFor([&] { return p.receiverIdle() && !p.b.desk.savePresets.isEmpty(); }));
    QCOMPARE(p.b.desk.savePresets, QStringList{QStringLiteral("evil.txt")});
    QCOMPARE(p.b.lines.first(), QStringLiteral("ゆう>evil.txtを受信しました"));
    QCOMPARE(readFile(p.dirB.filePath(kTemp)), QByteArray("X"));
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
    const QString temp = p.dirB.filePath(kTemp);
    // Writes to /dev/full fail as on a full disk; a directory in the way stands
    // for a data directory we may not write (also when the tests run as root).
    QVERIFY(fullDisk ? QFile::link(QStringLiteral("/dev/full"), temp) : QDir(p.dirB.path()).mkdir(kTemp));
    const QString saved = p.dirB.filePath(QStringLiteral("full.bin"));
    writeFile(saved, "older file, kept");
    p.b.desk.nextSave = saved;
    p.offerFile(QStringLiteral("full.bin"), randomBytes(5000));
    p.ta->sendFile();
    QVERIFY(waitFor([&] { return !p.b.desk.messages.isEmpty(); }, 10000));
    QVERIFY(p.b.desk.messages.first().startsWith(QStringLiteral("受信したファイルを書き込めませんでした。")));
    QVERIFY(waitFor([&] { return p.senderIdle() && p.receiverIdle(); }, 10000));
    QCOMPARE(p.b.lines.first(), QStringLiteral("ゆう>full.binを中断しました"));
    QCOMPARE(p.a.lines.first(), QStringLiteral("あき> full.binを中断しました"));
    QVERIFY(p.b.status.endsWith(QStringLiteral("/Error!!")));
    QVERIFY(p.b.desk.savePresets.isEmpty());
    QCOMPARE(readFile(saved), QByteArray("older file, kept"));
    QVERIFY(p.a.commandsEnabled && p.b.commandsEnabled);
}

void TestTransferFlow::savingReplacesOrKeepsTheData()
{
    Pair p;
    // The user confirmed overwriting in the dialog: the file is replaced.
    const QByteArray first = randomBytes(4000);
    const QString existing = p.dirB.filePath(QStringLiteral("exists.bin"));
    writeFile(existing, "old contents");
    p.offerFile(QStringLiteral("a.bin"), first);
    p.b.desk.nextSave = existing;
    p.ta->sendFile();
    QVERIFY(
        waitFor([&] { return p.senderIdle() && p.receiverIdle() && readFile(existing) == first; }, 10000));
    QVERIFY(p.b.desk.messages.isEmpty());

    // A path that cannot take the file: the user is told and the data waits in the temporary file.
    const QByteArray second = randomBytes(3000);
    p.offerFile(QStringLiteral("b.bin"), second);
    p.b.desk.nextSave = p.dirB.filePath(QStringLiteral("no/such/dir/b.bin"));
    p.ta->sendFile();
    QVERIFY(
        waitFor([&] { return p.senderIdle() && p.receiverIdle() && !p.b.desk.messages.isEmpty(); }, 10000));
    QVERIFY(p.b.desk.messages.first().startsWith(QStringLiteral("ファイルを保存できませんでした。")));
    QVERIFY(p.b.status.endsWith(QStringLiteral("/Error!!")));
    QCOMPARE(readFile(p.dirB.filePath(kTemp)), second);
    QCOMPARE(p.a.lines.first(), QStringLiteral("あき> b.binを転送しました"));
}

QTEST_GUILESS_MAIN(TestTransferFlow)
#include "test_transfer_flow.moc"
