// Two wez-directory processes on two loopback addresses over one PostgreSQL
// database, with two real clients: one registers through the first server,
// the other through the second, and each sees the other's entry and chat mark
// whichever server it asks. An operator's notice reaches both, and a database
// that goes away and comes back costs the requests meanwhile, nothing more.
#include "corechat.h"
#include "pgserver.h"
#include "testsupport.h"

#include <QProcess>
#include <QSignalSpy>

#include <memory>

using namespace testsupport;

namespace {

bool greets(const QHostAddress &server)
{
    QTcpSocket s;
    s.bind(loopback(9));
    s.connectToHost(server, 1203);
    // A refused connection is an answer too: not up yet.
    waitFor([&] {
        return s.state() == QAbstractSocket::ConnectedState || s.state() == QAbstractSocket::UnconnectedState;
    });
    return s.state() == QAbstractSocket::ConnectedState && readExactly(s, "SRV 099", 2000);
}

// A client as the product runs it, with its notice listener open and its notices recorded.
struct Member final : CoreSide {
    QStringList notices;
    Member(int n, const char *name, const char *comment, const QHostAddress &server)
        : CoreSide(n, QString::fromUtf8(name))
    {
        client->core.entrance().setComment(QString::fromUtf8(comment));
        client->core.entrance().setAddressText(loopback(n).toString());
        state().serverAddress = server.toString();
        client->core.listenOn(client->core.winsock3(), ClientCore::kNoticePort);
        QObject::connect(&client->link, &PeerLink::noticeReceived, &client->link,
                         [this](const QString &text) { notices << text; });
    }
    // Registers, or lists only once registered; the entries the server sent.
    QStringList exchange()
    {
        QSignalSpy done(&client->server, &server::ServerClient::reloadUsable);
        client->server.connectToServer();
        if (!done.wait(10000)) return {QStringLiteral("<no list>")};
        return client->server.members();
    }
};

QString entry(int n, const char *nameAndComment)
{
    return loopback(n).toString() + QLatin1Char(',') + QString::fromUtf8(nameAndComment);
}

} // namespace

class TestDirectoryShared : public QObject {
    Q_OBJECT

    PgServer m_pg{30};
    QProcess m_servers[2];

    QHostAddress server(int i) const { return loopback(1 + i); }

    bool startServer(int i)
    {
        QProcess &p = m_servers[i];
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(QStringLiteral(WEZ_DIRECTORY_BIN),
                {QStringLiteral("--bind"), server(i).toString(), QStringLiteral("--database"), m_pg.url()});
        return p.waitForStarted(5000) && waitFor([&] { return greets(server(i)); }, 10000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QString why;
        if (!m_pg.start(&why)) {
            if (PgServer::mustRun()) QFAIL(qPrintable(why));
            QSKIP(qPrintable(QStringLiteral("PostgreSQL: ") + why));
        }
        // Both at once, as a fleet comes up: the schema is made once, without a quarrel.
        QVERIFY(startServer(0) && startServer(1));
    }

    void cleanupTestCase()
    {
        for (QProcess &p : m_servers) {
            p.terminate();
            p.waitForFinished(5000);
        }
    }

    void membersMarksAndNoticesAcrossServers()
    {
        Member alice(3, "アリス", "こんにちは", server(0));
        Member bob(4, "ボブ", "よろしく", server(1));
        QCOMPARE(alice.exchange(), QStringList{entry(3, "○アリス,こんにちは")});
        // Registered through the second server, listed with the first server's member.
        const QStringList both{entry(3, "○アリス,こんにちは"), entry(4, "○ボブ,よろしく")};
        QCOMPARE(bob.exchange(), both);
        QCOMPARE(alice.exchange(), both);

        // Each tells its own server that the chat began; each list shows both marks.
        QVERIFY(startChat(alice, bob));
        const QStringList chatting{entry(3, "○アリス,（チャット中）こんにちは"),
                                   entry(4, "○ボブ,（チャット中）よろしく")};
        QVERIFY(waitFor([&] { return bob.exchange() == chatting; }, 10000));
        QCOMPARE(alice.exchange(), chatting);

        // The operator's notice, sent with only the database to go by, reaches both.
        QProcess notice;
        notice.setProcessChannelMode(QProcess::ForwardedChannels);
        notice.start(QStringLiteral(WEZ_DIRECTORY_BIN),
                     {QStringLiteral("--notice"), QString::fromUtf8("保守のお知らせ"),
                      QStringLiteral("--bind"), loopback(5).toString(), QStringLiteral("--database"),
                      m_pg.url()});
        QVERIFY(notice.waitForFinished(20000));
        QCOMPARE(notice.exitCode(), 0);
        QVERIFY(waitFor([&] { return !alice.notices.isEmpty() && !bob.notices.isEmpty(); }));
        QCOMPARE(alice.notices, QStringList{QString::fromUtf8("保守のお知らせ")});
        QCOMPARE(bob.notices, alice.notices);

        // Signed off at one server, gone from the other's list.
        auto signOff = connectRaw(loopback(4), server(0), 1203);
        QVERIFY(signOff && readExactly(*signOff, "SRV 099"));
        sendRaw(*signOff, "SRV 900" + loopback(4).toString().toLatin1());
        QVERIFY(readExactly(*signOff, "SRV 540"));
        QCOMPARE(alice.exchange(), QStringList{chatting.first()});
    }

    void databaseGoneAndBack()
    {
        const QByteArray address = loopback(6).toString().toLatin1();
        m_pg.stop();
        // While it is down: greeted, then closed without a word, nothing half-written.
        for (int i = 0; i < 2; ++i) {
            auto c = connectRaw(loopback(6), server(i), 1203);
            QVERIFY(c && readExactly(*c, "SRV 099"));
            sendRaw(*c, "SRV 100");
            QVERIFY(readExactly(*c, "SRV 500"));
            sendRaw(*c, "SRV 110" + address);
            QVERIFY(closedByPeer(*c));
            QVERIFY(c->readAll().isEmpty());
        }
        QString why;
        QVERIFY2(m_pg.start(&why), qPrintable(why));
        // Back within the longest wait between attempts, on both servers, without a restart.
        for (int i = 0; i < 2; ++i) {
            Member carol(6, "キャロル", "戻りました", server(i));
            QStringList list;
            // A failed try leaves the profile counted as sent, so each try registers afresh.
            QVERIFY(waitFor(
                [&] {
                    carol.state().profileRegistered = 0;
                    return (list = carol.exchange()).contains(entry(6, "○キャロル,戻りました"));
                },
                40000));
            QVERIFY(!list.contains(QStringLiteral("<no list>")));
        }
        QCOMPARE(m_servers[0].state(), QProcess::Running);
        QCOMPARE(m_servers[1].state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestDirectoryShared)
#include "test_directory_shared.moc"
