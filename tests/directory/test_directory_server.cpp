// wez-directory in-process on loopback, driven by raw clients speaking exact bytes.
#include "directory/directoryserver.h"
#include "directory/noticesender.h"
#include "directory/requestparser.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <vector>

using namespace testsupport;
using directory::DirectoryServer;

namespace {

// One raw connection from its own loopback address; each read is one server message.
class RawClient {
public:
    explicit RawClient(const QHostAddress &local, quint16 port = 1203,
                       const QHostAddress &server = loopback(1))
    {
        m_socket.bind(local, 0);
        m_socket.connectToHost(server, port);
    }
    bool connected()
    {
        return waitFor([&] { return m_socket.state() == QAbstractSocket::ConnectedState; });
    }
    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }
    // The next message, or "<none>" when nothing came within the deadline.
    QByteArray next(int ms = 5000)
    {
        // Woken by the data itself: a thousand round trips must not each sleep a poll interval.
        QSignalSpy ready(&m_socket, &QIODevice::readyRead);
        if (m_socket.bytesAvailable() == 0 && !ready.wait(ms) && m_socket.bytesAvailable() == 0)
            return QByteArrayLiteral("<none>");
        return m_socket.readAll();
    }
    QByteArray ask(const QByteArray &bytes)
    {
        send(bytes);
        return next();
    }
    bool greeted() { return next() == "SRV 099"; }
    bool closedByServer(int ms = 5000)
    {
        return waitFor([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
};

QByteArray addr(int n)
{
    return loopback(n).toString().toLatin1();
}

} // namespace

class TestDirectoryServer : public QObject {
    Q_OBJECT

    TestDatabase m_db;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_database; // this test's, kept across restarts of the server
    std::unique_ptr<DirectoryServer> m_server;

    DirectoryServer &startServer(directory::ServerConfig config = {})
    {
        m_server.reset();
        config.bind = loopback(1);
        if (config.database.isEmpty()) config.database = m_database;
        m_server = std::make_unique<DirectoryServer>(config);
        m_server->setLogSink({});
        QString error;
        if (!m_server->start(&error)) qFatal("server did not start: %s", qPrintable(error));
        return *m_server;
    }

    // The entries that answer `request` up to "SRV 540", each asked for with "SRV 140".
    static QList<QByteArray> readList(RawClient &c, const QByteArray &request)
    {
        QList<QByteArray> list;
        for (QByteArray m = c.ask(request); m != "SRV 540"; m = c.ask("SRV 140")) {
            if (!m.startsWith("SRV 530")) return {m};
            list << m.mid(7);
        }
        return list;
    }

    // A full registration from `local`; returns the list the server sent back.
    static QList<QByteArray> registerMember(int local, const QByteArray &address, const char *name,
                                            const char *comment)
    {
        RawClient c(loopback(local));
        if (!c.greeted() || c.ask("SRV 100") != "SRV 500" || c.ask("SRV 110" + address) != "SRV 510" ||
            c.ask("SRV 120" + sjis(name)) != "SRV 520")
            return {QByteArrayLiteral("<dialogue broke>")};
        return readList(c, "SRV 130" + sjis(comment));
    }

    static QList<QByteArray> listOnly(int local)
    {
        RawClient c(loopback(local));
        return c.greeted() ? readList(c, "SRV 135") : QList<QByteArray>{"<no greeting>"};
    }

    // The answer to a single request after the greeting.
    static QByteArray askOnce(int local, const QByteArray &request)
    {
        RawClient c(loopback(local));
        return c.greeted() ? c.ask(request) : QByteArrayLiteral("<no greeting>");
    }

    // Opens a dialogue from `local`, runs `steps` (each answered as given), sends `last`;
    // true when the server then hung up without a word.
    static bool cutOffAfter(int local, const QList<QPair<QByteArray, QByteArray>> &steps,
                            const QByteArray &last)
    {
        RawClient c(loopback(local));
        if (!c.greeted()) return false;
        for (const auto &[request, answer] : steps) {
            if (c.ask(request) != answer) return false;
        }
        c.send(last);
        return c.closedByServer() && c.socket().readAll().isEmpty();
    }

    // A status notice the way clients send it: connect, send, close.
    void notice(int local, quint16 port, const QByteArray &bytes)
    {
        RawClient c(loopback(local), port);
        QVERIFY(c.connected());
        c.send(bytes);
        c.socket().disconnectFromHost();
        QVERIFY(c.closedByServer());
    }

private Q_SLOTS:
    void initTestCase() { WEZ_REQUIRE_DATABASE(m_db); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_database = m_db.fresh(*m_dir);
    }
    void cleanup()
    {
        m_server.reset();
        m_dir.reset();
    }

    void parser()
    {
        using directory::parseRequest;
        using directory::Request;
        using directory::RequestCode;
        Request r = parseRequest(sjis("SRV 120○名前"));
        QCOMPARE(r.status, Request::Complete);
        QCOMPARE(r.code, RequestCode::Name);
        QCOMPARE(r.payload, QString::fromUtf8("○名前"));
        QCOMPARE(parseRequest("CCK 200").code, RequestCode::ChatEnded);
        QCOMPARE(parseRequest("SRV 999x").code, RequestCode::Unknown);
        // Still arriving: a head cut short.
        QCOMPARE(parseRequest("SRV 1").status, Request::Incomplete);
        QCOMPARE(parseRequest("").status, Request::Incomplete);
        // "ア" in half-width is a single byte from the lead range's neighbour: complete.
        QCOMPARE(parseRequest("SRV 130\xB1").status, Request::Complete);
        QCOMPARE(parseRequest("srv 100").status, Request::Invalid);
        QCOMPARE(parseRequest("SRV 1x0").status, Request::Invalid);
        QCOMPARE(parseRequest("SRV 130" + QByteArray(directory::maxRequestBytes, 'x')).status,
                 Request::Invalid);
    }

    void registrationListAndReplacement()
    {
        startServer();
        // The idle caption a client shows before it learnt its address becomes the connection's address.
        QList<QByteArray> list = registerMember(2, sjis("Click! -->"), "○太郎", "こんにちは, よろしく,ね");
        QCOMPARE(list, QList<QByteArray>{addr(2) + sjis(",○太郎,こんにちは, よろしく,ね")});

        // A comma in a name would split the entry at every client: it is kept as a full-width one.
        list = registerMember(3, addr(3), "○花,子", "");
        QCOMPARE(list, (QList<QByteArray>{addr(2) + sjis(",○太郎,こんにちは, よろしく,ね"),
                                          addr(3) + sjis(",○花，子,")}));

        // Registering again replaces the entry in its place.
        list = registerMember(2, addr(2), "○太郎", "留守");
        QCOMPARE(list, (QList<QByteArray>{addr(2) + sjis(",○太郎,留守"), addr(3) + sjis(",○花，子,")}));

        // A proxy address is listed as announced, and others list without registering.
        list = registerMember(4, "10.1.2.3", "○x", "y");
        QCOMPARE(list.last(), QByteArray("10.1.2.3,\x81\x9bx,y"));
        QCOMPARE(listOnly(5), list);
    }

    void ownAddressAndSignOff()
    {
        startServer();
        registerMember(2, addr(2), "○a", "1");
        registerMember(3, addr(3), "○b", "2");
        QCOMPARE(askOnce(3, "SRV 700"), "SRV 710" + addr(3));
        QCOMPARE(askOnce(2, "SRV 900" + addr(2)), QByteArray("SRV 540"));
        QCOMPARE(listOnly(6), QList<QByteArray>{addr(3) + ",\x81\x9b" + "b,2"});
        // A sign-off that announces no usable address removes the connection's own entry.
        QCOMPARE(askOnce(3, sjis("SRV 900Click! -->")), QByteArray("SRV 540"));
        QCOMPARE(listOnly(6), QList<QByteArray>{});
    }

    void chatMarks()
    {
        DirectoryServer &server = startServer();
        registerMember(2, addr(2), "○a", "free");
        QSignalSpy status(&server, &DirectoryServer::chatStatusChanged);
        notice(2, 1204, "CCK 100");
        QVERIFY(waitFor([&] { return status.count() == 1; }));
        QCOMPARE(listOnly(3), QList<QByteArray>{addr(2) + sjis(",○a,（チャット中）free")});
        notice(2, 1206, "CCK 200");
        QVERIFY(waitFor([&] { return status.count() == 2; }));
        QCOMPARE(listOnly(3), QList<QByteArray>{addr(2) + sjis(",○a,free")});
        // A chat begun before registering still shows once the member registers.
        notice(4, 1206, "CCK 100");
        QVERIFY(waitFor([&] { return status.count() == 3; }));
        QCOMPARE(registerMember(4, addr(4), "○c", "x").last(), addr(4) + sjis(",○c,（チャット中）x"));
        // Garbage on a status port changes nothing.
        notice(4, 1206, "CCK 20");
        notice(4, 1206, "HELLO, WORLD");
        notice(4, 1204, "");
        QVERIFY(waitFor([&] { return server.connectionCount() == 0; }));
        QCOMPARE(status.count(), 3);
        QVERIFY(listOnly(3).last().contains(sjis("（チャット中）")));
    }

    void restartKeepsMembersAndSilentOnesExpire()
    {
        startServer();
        registerMember(2, addr(2), "○一", "a");
        registerMember(3, addr(3), "○二", "b");
        registerMember(2, addr(2), "○一", "c");
        const QList<QByteArray> before = listOnly(4);
        startServer();
        QCOMPARE(listOnly(4), before);
        // After that, new members still go to the end.
        QCOMPARE(registerMember(5, addr(5), "○三", "d").last(), addr(5) + sjis(",○三,d"));

        directory::ServerConfig config;
        config.expireAfterSecs = 1;
        startServer(config);
        QVERIFY(waitFor([&] { return m_server->members().count() == 0; }, 10000));
        startServer();
        QCOMPARE(listOnly(4), QList<QByteArray>{});
    }

    void thousandMembers()
    {
        DirectoryServer &server = startServer();
        for (int i = 0; i < 1000; ++i) {
            const QString address = QStringLiteral("10.0.%1.%2").arg(i / 256).arg(i % 256);
            server.storeMember(address, QStringLiteral("○m%1").arg(i), QStringLiteral("c"), address);
        }
        const QList<QByteArray> list = listOnly(2);
        QCOMPARE(list.size(), 1000);
        QCOMPARE(list.first(), QByteArray("10.0.0.0,\x81\x9bm0,c"));
        QCOMPARE(list.last(), QByteArray("10.0.3.231,\x81\x9bm999,c"));
    }

    void badClientsHarmNobody()
    {
        directory::ServerConfig config;
        config.idleTimeoutMs = 2000;
        DirectoryServer &server = startServer(config);
        registerMember(2, addr(2), "○a", "1");

        // A silent connection does not hold up anyone else.
        RawClient silent(loopback(7));
        QVERIFY(silent.greeted());
        QCOMPARE(registerMember(3, addr(3), "○b", "2").size(), 2);

        // Garbage, a message out of turn and an oversized comment are each dropped.
        QVERIFY(cutOffAfter(8, {}, "GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
        QVERIFY(cutOffAfter(8, {}, "SRV 140"));
        QVERIFY(cutOffAfter(
            9, {{"SRV 100", "SRV 500"}, {"SRV 110" + addr(9), "SRV 510"}, {"SRV 120x", "SRV 520"}},
            "SRV 130" + QByteArray(200000, 'x')));
        QCOMPARE(listOnly(4),
                 (QList<QByteArray>{addr(2) + ",\x81\x9b" + "a,1", addr(3) + ",\x81\x9b" + "b,2"}));

        // A name whose double-byte character arrives in two pieces is answered once, whole:
        // the first piece alone gets no answer.
        RawClient split(loopback(10));
        QVERIFY(split.greeted());
        QCOMPARE(split.ask("SRV 100"), QByteArray("SRV 500"));
        QCOMPARE(split.ask("SRV 110" + addr(10)), QByteArray("SRV 510"));
        const QByteArray name = "SRV 120" + sjis("○名");
        split.send(name.chopped(1));
        QVERIFY(holdsFor([&] { return split.socket().bytesAvailable() == 0; }, 100));
        split.send(name.right(1));
        QCOMPARE(split.next(), QByteArray("SRV 520"));
        QCOMPARE(split.ask("SRV 130z").left(7), QByteArray("SRV 530"));
        QCOMPARE(server.members().find(loopback(10).toString()).value_or(directory::Member()).name,
                 QString::fromUtf8("○名"));

        // The silent one is let go at its idle limit.
        QVERIFY(silent.closedByServer());
    }

    void connectionLimit()
    {
        directory::ServerConfig config;
        config.maxConnections = 2;
        startServer(config);
        RawClient a(loopback(2)), b(loopback(3));
        QVERIFY(a.greeted() && b.greeted());
        RawClient c(loopback(4));
        QVERIFY(c.closedByServer());
        QCOMPARE(c.socket().bytesAvailable(), 0);
        a.socket().disconnectFromHost();
        QVERIFY(waitFor([&] { return m_server->connectionCount() == 1; }));
        QVERIFY(RawClient(loopback(4)).greeted());

        // One address holding its share open does not lock out another.
        config.maxConnections = 100;
        config.maxPerHost = 2;
        startServer(config);
        RawClient d(loopback(2)), e(loopback(2));
        QVERIFY(d.greeted() && e.greeted());
        RawClient f(loopback(2));
        QVERIFY(f.closedByServer());
        QVERIFY(RawClient(loopback(3)).greeted());
    }

    // What a stranger with raw sockets tried on a live directory.

    void strangerCannotRewriteOthersEntries()
    {
        startServer();
        registerMember(2, addr(2), "○a", "1");
        registerMember(4, "10.1.2.3", "○p", "proxy");
        const QList<QByteArray> before = listOnly(9);
        for (const QByteArray &victim : {addr(2), QByteArray("10.1.2.3")}) {
            QVERIFY(cutOffAfter(6, {}, "SRV 900" + victim));
            QVERIFY(cutOffAfter(6, {{"SRV 100", "SRV 500"}}, "SRV 110" + victim));
        }
        QCOMPARE(listOnly(9), before);
        // Whoever announced a proxy address may still take it off.
        QCOMPARE(askOnce(4, "SRV 90010.1.2.3"), QByteArray("SRV 540"));
        // An entry put up for someone else's address is theirs to take back, and then no longer the
        // stranger's to remove.
        registerMember(6, addr(3), "○squat", "x");
        QCOMPARE(registerMember(3, addr(3), "○b", "2").last(), addr(3) + sjis(",○b,2"));
        QVERIFY(cutOffAfter(6, {}, "SRV 900" + addr(3)));
        QCOMPARE(listOnly(9), (QList<QByteArray>{before.first(), addr(3) + sjis(",○b,2")}));
    }

    void registrationFloodFromOneAddress()
    {
        directory::ServerConfig config;
        config.maxMembersPerHost = 3;
        startServer(config);
        registerMember(2, addr(2), "○a", "1");
        // A made-up address with every registration: each is answered, only the latest few stay.
        constexpr int flood = 1000;
        for (int i = 0; i < flood; ++i) {
            RawClient c(loopback(7));
            const QByteArray fake =
                "10.7." + QByteArray::number(i / 250) + '.' + QByteArray::number(1 + i % 250);
            QVERIFY(c.greeted() && c.ask("SRV 100") == "SRV 500" && c.ask("SRV 110" + fake) == "SRV 510" &&
                    c.ask("SRV 120x") == "SRV 520" && c.ask("SRV 130y").startsWith("SRV 530"));
        }
        const QList<QByteArray> list = registerMember(3, addr(3), "○b", "2");
        QCOMPARE(list.size(), 1 + 3 + 1);
        QCOMPARE(list.first(), addr(2) + sjis(",○a,1"));
        QCOMPARE(list[3], QByteArray("10.7.3.250,x,y"));
        // The database holds just what was listed; a lower limit trims what an older run let in.
        startServer(config);
        QCOMPARE(listOnly(4), list);
        config.maxMembersPerHost = 1;
        startServer(config);
        QCOMPARE(listOnly(4), (QList<QByteArray>{list[0], list[3], list[4]}));
    }

    void trickleOfRequestsDoesNotHoldAConnection()
    {
        directory::ServerConfig config;
        config.idleTimeoutMs = 1000;
        config.exchangeLimitMs = 2000;
        startServer(config);
        // An address question well inside the silence limit, for as long as we are let stay.
        RawClient trickle(loopback(5));
        QVERIFY(trickle.greeted());
        QTimer pace;
        connect(&pace, &QTimer::timeout, this, [&] {
            trickle.socket().readAll();
            trickle.send("SRV 700");
        });
        pace.start(config.idleTimeoutMs / 4);
        QVERIFY(trickle.closedByServer(5 * config.exchangeLimitMs));
    }

    void fewAddressesCannotTakeEveryConnection()
    {
        directory::ServerConfig config;
        config.maxConnections = 20;
        config.maxPerHost = 5;
        DirectoryServer &server = startServer(config);
        // Four addresses opening their full share would together fill the server.
        std::vector<std::unique_ptr<RawClient>> crowd;
        for (int i = 0; i < 4 * config.maxPerHost; ++i)
            crowd.push_back(std::make_unique<RawClient>(loopback(10 + i / config.maxPerHost)));
        QVERIFY(waitFor([&] {
            return std::all_of(crowd.begin(), crowd.end(), [](auto &c) {
                return c->socket().bytesAvailable() > 0 ||
                       c->socket().state() == QAbstractSocket::UnconnectedState;
            });
        }));
        int greeted = 0;
        for (auto &c : crowd) {
            if (c->socket().state() == QAbstractSocket::UnconnectedState)
                QCOMPARE(c->socket().readAll(), QByteArray()); // turned away at once, unanswered
            else
                ++greeted;
        }
        QCOMPARE(server.connectionCount(), greeted);
        QVERIFY2(greeted < config.maxConnections, qPrintable(QString::number(greeted)));
        QCOMPARE(registerMember(2, addr(2), "○a", "1"), QList<QByteArray>{addr(2) + sjis(",○a,1")});
    }

    void notices()
    {
        QTcpServer listener;
        QVERIFY(listener.listen(loopback(5), 1205));
        QByteArray got;
        connect(&listener, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *s = listener.nextPendingConnection();
            connect(s, &QIODevice::readyRead, this, [&got, s] { got += s->readAll(); });
        });
        directory::NoticeSender sender({loopback(5).toString(), loopback(6).toString()},
                                       QString::fromUtf8("メンテナンスのお知らせ"));
        sender.setBindAddress(loopback(1));
        sender.setTimeoutMs(3000);
        QSignalSpy finished(&sender, &directory::NoticeSender::finished);
        sender.start();
        QVERIFY(waitFor([&] { return finished.count() == 1; }));
        QVERIFY(waitFor([&] { return got.size() >= 7; }));
        QCOMPARE(got, sjis("SRM 100メンテナンスのお知らせ"));
        QCOMPARE(sender.delivered(), 1);
        QCOMPARE(sender.failed(), QStringList{loopback(6).toString()});
    }
};

QTEST_GUILESS_MAIN(TestDirectoryServer)
#include "test_directory_server.moc"
