// Strangers flooding every port the client listens on: 10 MB of random bytes
// and 1,000 connections opened and closed in a row on each. The client keeps
// ticking, its memory stays bounded, each listener listens again, and a chat
// can still be set up afterwards.
#include "floodsupport.h"

#include "clienthelpers.h"
#include "corechat.h"
#include "whiteboard/whiteboardlink.h"

#include <QElapsedTimer>
#include <QTimer>

#include <limits>

using namespace testsupport;
using namespace clienttest;
using namespace flood;

namespace {

constexpr qsizetype kFloodBytes = 10 * 1024 * 1024;
constexpr int kConnections = 1000;
// Far above what a client needs for its own work, far below the flood.
// AddressSanitizer keeps freed memory in quarantine, so there only the figure is reported.
#ifdef __SANITIZE_ADDRESS__
constexpr qint64 kMaxGrowthKb = std::numeric_limits<qint64>::max();
#else
constexpr qint64 kMaxGrowthKb = 64 * 1024;
#endif

bool listensOn(Client &c, quint16 port)
{
    return (port == 1200 ? c.core().winsock1() : c.core().winsock3()).state() == Endpoint::Listening;
}

} // namespace

class TestFlood : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void controlAndNoticePorts()
    {
        QTemporaryDir dir;
        auto a = startClient(dir.path(), 2, QString::fromUtf8("太郎"));
        QVERIFY(waitFor([&] { return listensOn(*a, 1200) && listensOn(*a, 1205); }));
        // Questions the noise might raise are answered "no" at once.
        connect(&a->desktop(), &UiDesktop::yesNoShown, this, [&a] {
            if (YesNoWindow *w = a->desktop().yesNoWindow()) QTimer::singleShot(0, w, [w] { answerNo(w); });
        });
        // A timer of the client's own period on the client's thread: while it
        // ticks, so do Timer1 and Timer2, which share the thread's event loop.
        QTimer pulse;
        int ticks = 0;
        QElapsedTimer sinceTick;
        qint64 longestGapMs = 0;
        connect(&pulse, &QTimer::timeout, this, [&] {
            ++ticks;
            longestGapMs = std::max(longestGapMs, sinceTick.restart());
        });
        sinceTick.start();
        pulse.start(100);

        const QByteArray bytes = noise(kFloodBytes, 1200);
        const QHostAddress stranger = loopback(9);
        const qint64 before = residentKb();
        for (quint16 port : {quint16(1200), quint16(1205)}) {
            FloodResult flood, churn;
            {
                const int ticksBefore = ticks;
                Background sender([&] { sendAll(stranger, loopback(2), port, bytes, flood); });
                QVERIFY(waitFor([&] { return sender.done(); }, 60000));
                // The client's timers still tick once the noise has been taken.
                QVERIFY2(waitFor([&] { return ticks > ticksBefore; }, 5000),
                         "Timer1 stood still after the flood");
            }
            QVERIFY(waitFor([&] { return listensOn(*a, port); }, 10000));
            {
                Background opener([&] { openAndClose(stranger, loopback(2), port, kConnections, churn); });
                QVERIFY(waitFor([&] { return opener.done(); }, 60000));
            }
            QVERIFY(waitFor([&] { return listensOn(*a, port); }, 10000));
            const qint64 growth = residentKb() - before;
            qInfo("hardening: port %u flood %lld bytes taken, %d/%d connections taken/refused, rss growth "
                  "%lld kB, "
                  "longest pause of a 100 ms timer %lld ms",
                  port, flood.sent, churn.accepted, churn.refused, growth, longestGapMs);
            QCOMPARE(flood.accepted, 1);
            QCOMPARE(churn.accepted + churn.refused, kConnections);
            QVERIFY2(growth < kMaxGrowthKb, qPrintable(QString::number(growth)));
        }
        // What the noise put on screen is bounded per message.
        for (const QString &m : a->desktop().shownMessages())
            QVERIFY(m.size() <= PeerLink::kMaxShownPayload + 16);

        // A real partner still gets a chat.
        QTemporaryDir dirB;
        auto b = startClient(dirB.path(), 3, QString::fromUtf8("花子"));
        a->desktop().disconnect(this);
        QVERIFY(startChat(*b, *a));
    }

    void fileReceiverPort()
    {
        CoreSide side{5, QStringLiteral("あき")}, partner{6, QStringLiteral("ゆう")};
        QVERIFY(startChat(partner, side));
        transfer::FileTransfer *ft = &side.transfer();
        const int lastBlock = 9;
        ft->offerReceived(QStringLiteral("x.bin/") + QString::number(lastBlock));
        QVERIFY(waitFor([&] { return ft->winsock4().state() == Endpoint::Listening; }));

        const QByteArray bytes = noise(kFloodBytes, 1201);
        const qint64 before = residentKb();
        // Strangers: taken and turned away, the listener comes back each time.
        FloodResult churn, strangerFlood, partnerFlood;
        {
            Background opener([&] { openAndClose(loopback(7), loopback(5), 1201, kConnections, churn); });
            QVERIFY(waitFor([&] { return opener.done(); }, 60000));
        }
        QVERIFY(waitFor([&] { return ft->winsock4().state() == Endpoint::Listening; }));
        {
            Background sender([&] { sendAll(loopback(7), loopback(5), 1201, bytes, strangerFlood); });
            QVERIFY(waitFor([&] { return sender.done(); }, 60000));
        }
        QVERIFY(waitFor([&] { return ft->winsock4().state() == Endpoint::Listening; }));
        QVERIFY(ft->receiving());
        // The partner itself sends far more than it offered: only the offered blocks are kept.
        side.desk.nextSave = side.filePath(QStringLiteral("saved.bin"));
        {
            Background sender([&] { sendAll(loopback(6), loopback(5), 1201, bytes, partnerFlood); });
            QVERIFY(waitFor([&] { return sender.done(); }, 60000));
        }
        QVERIFY(waitFor([&] { return !ft->receiving() && !ft->busy(); }, 30000));
        const qint64 growth = residentKb() - before;
        qInfo(
            "hardening: port 1201 %d/%d stranger connections taken/refused, stranger flood %lld bytes taken, "
            "partner flood %lld bytes taken, rss growth %lld kB",
            churn.accepted, churn.refused, strangerFlood.sent, partnerFlood.sent, growth);
        QCOMPARE(readFile(side.desk.nextSave), bytes.left((lastBlock + 1) * 1024));
        QVERIFY(!QFile::exists(side.filePath(transfer::FileTransfer::kTempFileName)));
        QVERIFY2(growth < kMaxGrowthKb, qPrintable(QString::number(growth)));
    }

    void whiteboardPort()
    {
        const QByteArray bytes = noise(kFloodBytes, 1202);
        whiteboard::WhiteboardLink link(loopback(5));
        int segments = 0;
        connect(&link, &whiteboard::WhiteboardLink::segmentReceived, this, [&segments] { ++segments; });
        QVERIFY(link.listen());
        const qint64 before = residentKb();
        FloodResult flood;
        {
            Background sender([&] { sendAll(loopback(6), loopback(5), 1202, bytes, flood); });
            QVERIFY(waitFor([&] { return sender.done(); }, 60000));
        }
        QVERIFY(waitFor([&] { return link.endpoint().bytesAvailable() == 0; }));
        const qint64 growth = residentKb() - before;
        qInfo("hardening: port 1202 flood %lld bytes taken, %d segments drawn from noise, rss growth %lld kB",
              flood.sent, segments, growth);
        QCOMPARE(flood.sent, kFloodBytes);
        QVERIFY2(growth < kMaxGrowthKb, qPrintable(QString::number(growth)));
        // The opener takes one partner and no one after it; it listens again when reopened.
        FloodResult churn;
        {
            Background opener([&] { openAndClose(loopback(7), loopback(5), 1202, kConnections, churn); });
            QVERIFY(waitFor([&] { return opener.done(); }, 60000));
        }
        qInfo("hardening: port 1202 %d/%d connections taken/refused after the partner", churn.accepted,
              churn.refused);
        QVERIFY(link.listen());
        QCOMPARE(link.endpoint().state(), int(Endpoint::Listening));
    }
};

QTEST_MAIN(TestFlood)
#include "test_flood.moc"
