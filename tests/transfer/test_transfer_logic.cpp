// The pure parts of a file transfer: block numbering, the offer, offered
// names, progress texts, the sender's answer reader and the receiver's block
// reassembly under every way TCP may cut the stream.
#include "transfer/blockassembler.h"
#include "transfer/transferprotocol.h"

#include <QRandomGenerator>
#include <QTest>

using namespace transfer;

class TestTransferLogic final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void blockNumbering_data();
    void blockNumbering();
    void offerRoundTrip();
    void offerRejectsMalformed_data();
    void offerRejectsMalformed();
    void plainNames_data();
    void plainNames();
    void progress();
    void answersSplitAndJoined();
    void reassemblyAnyCut_data();
    void reassemblyAnyCut();
    void shortLastBlockWaitsForTheCaller();
    void bytesBeyondTheFileAreDropped();
};

void TestTransferLogic::blockNumbering_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("last");
    QTest::addColumn<int>("lastSize");
    QTest::newRow("empty") << qint64(0) << qint64(-1) << 0;
    QTest::newRow("1") << qint64(1) << qint64(0) << 1;
    QTest::newRow("1023") << qint64(1023) << qint64(0) << 1023;
    QTest::newRow("1024") << qint64(1024) << qint64(0) << 1024;
    QTest::newRow("1025") << qint64(1025) << qint64(1) << 1;
    QTest::newRow("3x1024") << qint64(3072) << qint64(2) << 1024;
    QTest::newRow("3x1024+1") << qint64(3073) << qint64(3) << 1;
}

void TestTransferLogic::blockNumbering()
{
    QFETCH(qint64, size);
    QFETCH(qint64, last);
    QFETCH(int, lastSize);
    QCOMPARE(lastBlockIndex(size), last);
    QCOMPARE(blockSize(size, last), lastSize);
    qint64 total = 0;
    for (qint64 i = 0; i <= last; ++i)
        total += blockSize(size, i);
    QCOMPARE(total, size);
    QCOMPARE(blockSize(size, last + 1), 0);
}

void TestTransferLogic::offerRoundTrip()
{
    QCOMPARE(offerMessage(QStringLiteral("写真.jpg"), 4), QStringLiteral("con 999写真.jpg/4"));
    QCOMPARE(offerMessage(QStringLiteral("empty"), -1), QStringLiteral("con 999empty/-1"));
    // "}" ends a message at the partner, so it never goes out inside a name.
    QCOMPARE(offerMessage(QStringLiteral("a}b"), 0), QStringLiteral("con 999a_b/0"));

    QCOMPARE(parseOffer(QStringLiteral("写真.jpg/4")), (Offer{QStringLiteral("写真.jpg"), 4}));
    QCOMPARE(parseOffer(QStringLiteral("e/-1")), (Offer{QStringLiteral("e"), -1}));
    QCOMPARE(parseOffer(QStringLiteral("x/2147483647")), (Offer{QStringLiteral("x"), 2147483647}));
}

void TestTransferLogic::offerRejectsMalformed_data()
{
    QTest::addColumn<QString>("payload");
    QTest::newRow("no slash") << QStringLiteral("file");
    QTest::newRow("no number") << QStringLiteral("file/");
    QTest::newRow("text") << QStringLiteral("file/abc");
    QTest::newRow("below -1") << QStringLiteral("file/-2");
    QTest::newRow("too big") << QStringLiteral("file/2147483648");
    QTest::newRow("huge") << QStringLiteral("file/99999999999999999999999");
    QTest::newRow("name with slash") << QStringLiteral("../../x/0");
}

void TestTransferLogic::offerRejectsMalformed()
{
    QFETCH(QString, payload);
    QVERIFY(!parseOffer(payload).has_value());
}

void TestTransferLogic::plainNames_data()
{
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QString>("plain");
    QTest::newRow("plain") << QStringLiteral("report.txt") << QStringLiteral("report.txt");
    QTest::newRow("japanese") << QStringLiteral("写真.jpg") << QStringLiteral("写真.jpg");
    QTest::newRow("climbing") << QStringLiteral("../../x") << QStringLiteral("x");
    QTest::newRow("windows climbing") << QStringLiteral("..\\..\\x") << QStringLiteral("x");
    QTest::newRow("absolute") << QStringLiteral("/etc/passwd") << QStringLiteral("passwd");
    QTest::newRow("drive") << QStringLiteral("C:\\Windows\\evil.exe") << QStringLiteral("evil.exe");
    QTest::newRow("drive only") << QStringLiteral("C:evil") << QStringLiteral("C_evil");
    QTest::newRow("controls") << QStringLiteral("a\r\nb\x01\x7f.txt") << QStringLiteral("ab.txt");
    QTest::newRow("dots") << QStringLiteral("..") << QStringLiteral("wezfile");
    QTest::newRow("hidden") << QStringLiteral(".bashrc") << QStringLiteral("bashrc");
    QTest::newRow("empty") << QString() << QStringLiteral("wezfile");
    QTest::newRow("reserved characters") << QStringLiteral("a<b>c|d?.txt") << QStringLiteral("a_b_c_d_.txt");
    QTest::newRow("trailing dir") << QStringLiteral("dir/") << QStringLiteral("wezfile");
}

void TestTransferLogic::plainNames()
{
    QFETCH(QString, offered);
    QFETCH(QString, plain);
    QCOMPARE(plainFileName(offered), plain);
}

void TestTransferLogic::progress()
{
    QCOMPARE(progressText(0, 3), QStringLiteral("転送率：0%"));
    QCOMPARE(progressText(1, 3), QStringLiteral("転送率：33%"));
    QCOMPARE(progressText(3, 3), QStringLiteral("転送率：100%"));
    QCOMPARE(progressText(0, 0), QStringLiteral("転送率：100%"));
    const QString longName = QString(300, QLatin1Char('a')) + QStringLiteral(".txt");
    const QString cut = plainFileName(longName);
    QVERIFY(cut.size() <= 200);
    QVERIFY(cut.endsWith(QLatin1String(".txt")));
}

void TestTransferLogic::answersSplitAndJoined()
{
    using A = AnswerScanner::Answer;
    AnswerScanner s;
    s.feed("con 8");
    QCOMPARE(s.next(), A::None);
    s.feed("00con 810co");
    QCOMPARE(s.next(), A::Ack);
    QCOMPARE(s.next(), A::Again);
    QCOMPARE(s.next(), A::None);
    s.feed("n 800");
    QCOMPARE(s.next(), A::Ack);
    // Noise before an answer is skipped, not taken for one.
    s.feed("xxcon 900con 800");
    QCOMPARE(s.next(), A::Ack);
    QCOMPARE(s.next(), A::None);
}

void TestTransferLogic::reassemblyAnyCut_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("maxCut");
    for (int size : {1, 1023, 1024, 1025, 3072, 10000}) {
        QTest::addRow("%d bytes, reads up to 1", size) << size << 1;
        QTest::addRow("%d bytes, reads up to 700", size) << size << 700;
        QTest::addRow("%d bytes, reads up to 5000 (blocks run together)", size) << size << 5000;
    }
}

void TestTransferLogic::reassemblyAnyCut()
{
    QFETCH(int, size);
    QFETCH(int, maxCut);
    QByteArray file(size, Qt::Uninitialized);
    auto *rng = QRandomGenerator::global();
    for (char &c : file)
        c = char(rng->bounded(256));

    BlockAssembler assembler(lastBlockIndex(size));
    QByteArray out;
    qint64 blocks = 0;
    for (int at = 0; at < size;) {
        const int n = std::min(size - at, 1 + int(rng->bounded(maxCut)));
        for (const QByteArray &b : assembler.feed(file.mid(at, n))) {
            QCOMPARE(b.size(), kBlockSize); // only whole blocks come out of feed
            out += b;
            ++blocks;
        }
        at += n;
    }
    if (!assembler.complete()) {
        QVERIFY(assembler.holdsPartOfLastBlock());
        out += assembler.finishLastBlock();
        ++blocks;
    }
    QVERIFY(assembler.complete());
    QCOMPARE(blocks, lastBlockIndex(size) + 1);
    QCOMPARE(out, file);
}

void TestTransferLogic::shortLastBlockWaitsForTheCaller()
{
    BlockAssembler a(1);
    QCOMPARE(a.feed(QByteArray(500, 'a')).size(), 0);
    // Not the last block yet: nothing may end the file early.
    QVERIFY(!a.holdsPartOfLastBlock());
    QCOMPARE(a.finishLastBlock(), QByteArray());
    QVERIFY(!a.complete());
    QCOMPARE(a.feed(QByteArray(524 + 10, 'b')).size(), 1);
    QVERIFY(a.holdsPartOfLastBlock());
    QCOMPARE(a.finishLastBlock(), QByteArray(10, 'b'));
    QVERIFY(a.complete());
    QCOMPARE(a.blocksDone(), 2);

    BlockAssembler empty(-1);
    QVERIFY(empty.complete());
}

void TestTransferLogic::bytesBeyondTheFileAreDropped()
{
    BlockAssembler a(0);
    const auto blocks = a.feed(QByteArray(1500, 'z'));
    QCOMPARE(blocks.size(), 1);
    QCOMPARE(blocks.first().size(), 1024);
    QVERIFY(a.complete());
    QCOMPARE(a.excessBytes(), 476);
    QCOMPARE(a.feed("more").size(), 0);
    QCOMPARE(a.excessBytes(), 480);
}

QTEST_GUILESS_MAIN(TestTransferLogic)
#include "test_transfer_logic.moc"
