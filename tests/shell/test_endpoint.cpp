// The socket endpoint on loopback: states, events, exact bytes, decoding.
#include "shell/socket/cp932.h"
#include "shell/socket/endpoint.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

using namespace testsupport;

class TestEndpoint : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void codePage932()
    {
        QCOMPARE(cp932::encode(QString::fromUtf8("あい~\\")), QByteArray("\x82\xA0\x82\xA2~\\"));
        // Look-alikes go out as Windows sends them; what the code page lacks becomes "?".
        QCOMPARE(cp932::encode(QString::fromUtf8("〜‖−¢£¬")),
                 QByteArray("\x81\x60\x81\x61\x81\x7C\x81\x91\x81\x92\x81\xCA"));
        QCOMPARE(cp932::encode(QString::fromUtf8("a😀b€")), QByteArray("a?b?"));
        QCOMPARE(cp932::encode(QString::fromUtf8("①Ⅱ髙")), QByteArray("\x87\x40\x87\x55\xFB\xFC"));
        QCOMPARE(cp932::unrepresentable(QString::fromUtf8("a😀b€")), (QList<qsizetype>{1, 4}));
        QVERIFY(cp932::representable(QString::fromUtf8("こんにちは、世界！")));
        QCOMPARE(cp932::decode(QByteArray("\x82\xA0\x87\x40")), QString::fromUtf8("あ①"));
        // Every single byte below 0x80 stands for itself both ways, control bytes included.
        QByteArray ascii;
        for (int b = 0; b < 0x80; ++b)
            ascii += char(b);
        QCOMPARE(cp932::decode(ascii), QString::fromLatin1(ascii));
        QCOMPARE(cp932::encode(QString::fromLatin1(ascii)), ascii);
        // An unconvertible character does not spoil the conversions after it.
        QCOMPARE(cp932::encode(QString::fromUtf8("😀")), QByteArray("?"));
        QCOMPARE(cp932::encode(QString::fromUtf8("あ")), QByteArray("\x82\xA0"));
    }

    void connectSendReceiveClose()
    {
        const QHostAddress a = loopback(2), b = loopback(3);
        Endpoint listener(QStringLiteral("Winsock1"), a);
        listener.setLocalPort(1200);
        QVERIFY(listener.listen());
        QCOMPARE(listener.state(), int(Endpoint::Listening));

        Endpoint caller(QStringLiteral("Winsock1"), b);
        QList<int> callerStates;
        connect(&caller, &Endpoint::stateChanged, this, [&](int s) { callerStates << s; });
        connect(&listener, &Endpoint::connectionRequest, this, [&](qintptr id) {
            listener.close();
            QCOMPARE(listener.state(), 0);
            listener.accept(id);
        });
        QSignalSpy connectedSpy(&caller, &Endpoint::connected);
        caller.connectToHost(a.toString(), 1200);
        QVERIFY(waitFor([&] { return caller.state() == Endpoint::Connected && listener.state() == 7; }));
        QCOMPARE(connectedSpy.count(), 1);
        QVERIFY(callerStates.contains(Endpoint::Connecting));
        QCOMPARE(callerStates.last(), int(Endpoint::Connected));
        QCOMPARE(listener.remoteHostIP(), b.toString());

        // Exact bytes for a Japanese string, and a double-byte character split across two reads.
        QSignalSpy arrival(&listener, &Endpoint::dataArrival);
        QSignalSpy sent(&caller, &Endpoint::sendComplete);
        caller.sendData(QString::fromUtf8("con 900名前> こんにちは"));
        QVERIFY(waitFor([&] { return listener.bytesAvailable() == 7 + 4 + 2 + 10; }));
        QCOMPARE(listener.getBytes(), sjis("con 900名前> こんにちは"));
        QVERIFY(waitFor([&] { return sent.count() >= 1; }));
        arrival.clear();
        caller.sendData(QByteArray("x\x82"));
        QVERIFY(waitFor([&] { return arrival.count() >= 1; }));
        QString first = listener.getData();
        caller.sendData(QByteArray("\xA0y"));
        QVERIFY(waitFor([&] { return listener.bytesAvailable() > 0; }));
        QCOMPARE(first + listener.getData(), QString::fromUtf8("xあy"));

        // A partner's close leaves state 8 until Close.
        QSignalSpy closedSpy(&listener, &Endpoint::closed);
        caller.close();
        QCOMPARE(caller.state(), 0);
        QVERIFY(waitFor([&] { return closedSpy.count() == 1; }));
        // It stays there: nothing closes it behind the owner's back.
        QVERIFY(holdsFor([&] { return listener.state() == Endpoint::PeerClosing; }, 50));
        listener.close();
        QCOMPARE(listener.state(), 0);
        // The port can be listened on again at once.
        QVERIFY(listener.listen());
    }

    void unreadDataIsBoundedAndNothingIsLost()
    {
        Endpoint listener(QStringLiteral("Winsock5"), loopback(8));
        listener.setLocalPort(1202);
        QVERIFY(listener.listen());
        connect(&listener, &Endpoint::connectionRequest, this, [&](qintptr id) { listener.accept(id); });
        auto sender = connectRaw(loopback(9), loopback(8), 1202);
        QVERIFY(sender);
        QVERIFY(waitFor([&] { return listener.state() == Endpoint::Connected; }));
        QByteArray sent(3 * 1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < sent.size(); ++i)
            sent[i] = char((i * 7919) >> 3);
        sender->write(sent);
        // Nobody reads: the endpoint takes in up to its limit and no further.
        constexpr qint64 kLimit = 1024 * 1024;
        QVERIFY(waitFor([&] { return listener.bytesAvailable() >= kLimit; }));
        QVERIFY(holdsFor([&] { return listener.bytesAvailable() == kLimit; }, 100));
        // Reading again brings in the rest, every byte once and in order.
        QByteArray got;
        QVERIFY(waitFor(
            [&] {
                got += listener.getBytes();
                return got.size() >= sent.size();
            },
            20000));
        QCOMPARE(got.size(), sent.size());
        QVERIFY(got == sent);
    }

    // A handler told at once that takes the bytes leaves the queued data event silent.
    void dataNewsAtOnce()
    {
        Endpoint listener(QStringLiteral("Winsock4"), loopback(10));
        listener.setLocalPort(1201);
        QVERIFY(listener.listen());
        connect(&listener, &Endpoint::connectionRequest, this, [&](qintptr id) { listener.accept(id); });
        QTcpSocket raw;
        raw.bind(loopback(11));
        raw.connectToHost(loopback(10), 1201);
        QVERIFY(raw.waitForConnected(2000));
        QVERIFY(waitFor([&] { return listener.state() == Endpoint::Connected; }));
        QSignalSpy queued(&listener, &Endpoint::dataArrival);
        QByteArray taken;
        connect(&listener, &Endpoint::dataArrivalNow, this, [&](qint64 total) {
            QCOMPARE(total, listener.bytesAvailable());
            taken += listener.getBytes();
        });
        raw.write("con 800");
        QVERIFY(waitFor([&] { return taken == "con 800"; }));
        QCoreApplication::sendPostedEvents(&listener);
        QCOMPARE(queued.count(), 0);
    }

    void refusedConnectGivesError()
    {
        Endpoint caller(QStringLiteral("Winsock1"), loopback(3));
        QSignalSpy errors(&caller, &Endpoint::error);
        caller.connectToHost(loopback(4).toString(), 1200);
        QVERIFY(waitFor([&] { return errors.count() == 1; }));
        QCOMPARE(caller.state(), int(Endpoint::Error));
        QCOMPARE(errors.first().at(0).toInt(), 10061);
        QCOMPARE(errors.first().at(1).toString(), QString::fromUtf8("接続が相手側から拒否されました"));
        caller.close();
        QCOMPARE(caller.state(), 0);
    }

    void busyPortFailsToListen()
    {
        QTcpServer holder;
        QVERIFY(holder.listen(loopback(5), 1205));
        Endpoint e(QStringLiteral("Winsock3"), loopback(5));
        e.setLocalPort(1205);
        QVERIFY(!e.listen());
        QCOMPARE(e.state(), 0);
        QCOMPARE(e.lastErrorNumber(), 10048);
    }

    void unacceptedRequestIsTurnedAway()
    {
        Endpoint listener(QStringLiteral("Winsock3"), loopback(6));
        listener.setLocalPort(1205);
        QVERIFY(listener.listen());
        QTcpSocket raw;
        raw.bind(loopback(7));
        raw.connectToHost(loopback(6), 1205);
        QVERIFY(raw.waitForConnected(2000));
        QVERIFY(closedByPeer(raw));
        QCOMPARE(listener.state(), int(Endpoint::Listening));
    }
};

QTEST_GUILESS_MAIN(TestEndpoint)
#include "test_endpoint.moc"
