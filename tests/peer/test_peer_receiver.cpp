// The receiver of the control connection without a socket: head and payload,
// one chunk one message, characters split between reads, file offers.
#include "peer/peerreceiver.h"
#include "shell/plaintext.h"
#include "testsupport.h"

using namespace testsupport;
using peer::Head;

class TestPeerReceiver : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void splitsHeadAndPayloadByPosition()
    {
        peer::Message m = peer::splitMessage(QString::fromUtf8("con 900太郎> こんにちは"));
        QCOMPARE(m.head, QStringLiteral("con 900"));
        QCOMPARE(m.payload, QString::fromUtf8("太郎> こんにちは"));
        QCOMPARE(m.kind, Head::Line);
        // Shorter than a head: the whole text is the head, nothing matches.
        m = peer::splitMessage(QStringLiteral("con 9"));
        QCOMPARE(m.head, QStringLiteral("con 9"));
        QVERIFY(m.payload.isEmpty());
        QCOMPARE(m.kind, Head::Unknown);
        QCOMPARE(peer::splitMessage(QStringLiteral("con 525")).kind, Head::End);
        QCOMPARE(peer::splitMessage(QStringLiteral("CON 525")).kind, Head::Unknown);
        QCOMPARE(peer::splitMessage(QStringLiteral("con 120con 525")).payload, QStringLiteral("con 525"));
    }

    void eachChunkIsOneMessageWhateverItHolds()
    {
        peer::Receiver r;
        QVERIFY(r.feed(sjis("con 900花子> a}b}c")));
        QVERIFY(r.feed(sjis("con 100Wez ver 0.32 R1010")));
        auto first = r.next();
        QVERIFY(first);
        QCOMPARE(first->payload, QString::fromUtf8("花子> a}b}c"));
        QCOMPARE(r.next()->kind, Head::Hello);
        QVERIFY(!r.next());
    }

    void doubleByteCharacterSplitBetweenReadsArrivesWhole()
    {
        const QByteArray bytes = sjis("con 900表示");
        // "表" is 0x95 0x5C: the trail byte is a backslash, a classic trap.
        const qsizetype cut = bytes.indexOf(char(0x95)) + 1;
        QVERIFY(peer::endsInsideCharacter(bytes.left(cut)));
        QVERIFY(!peer::endsInsideCharacter(bytes));
        peer::Receiver r;
        r.feed(bytes.left(cut));
        QVERIFY(r.isEmpty());
        r.feed(bytes.mid(cut));
        QCOMPARE(r.next()->payload, QString::fromUtf8("表示"));
        // Nothing a dropped connection left, whole or half, leaks into the next one.
        r.feed(sjis("con 900left"));
        r.feed(bytes.left(cut));
        r.clear();
        r.feed(sjis("con 525"));
        QCOMPARE(r.next()->head, QStringLiteral("con 525"));
    }

    void queueIsBounded()
    {
        peer::Receiver r;
        const QByteArray big(peer::Receiver::kMaxQueuedChars / 2 + 1, 'x');
        QVERIFY(r.feed(big));
        QVERIFY(!r.feed(big));
        QCOMPARE(r.size(), 1);
        QVERIFY(r.next());
        QVERIFY(r.feed(big));
    }
};

QTEST_GUILESS_MAIN(TestPeerReceiver)
#include "test_peer_receiver.moc"
