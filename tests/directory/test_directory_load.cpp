// wez-directory under 200 clients at once: 50 connect and never speak, 10 send
// garbage, 140 register and read the whole list. Every well-behaved client
// finishes, none is dropped or left waiting for the others.
#include "floodsupport.h"

#include "directory/directoryserver.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <memory>

using namespace testsupport;

namespace {

constexpr int kClients = 200;
constexpr int kSilent = 50;
constexpr int kGarbage = 10;
constexpr int kClientLimitMs = 10000;

// One client of the dialogue as the real one speaks it: each request waits for its answer.
class Dialogue final : public QObject {
public:
    enum Kind { Member, Silent, Garbage };

    Dialogue(Kind kind, int n, QObject *parent = nullptr) : QObject(parent), m_kind(kind), m_n(n)
    {
        m_address = loopback(n).toString().toLatin1();
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { onMessage(m_socket.readAll()); });
        m_socket.bind(loopback(n), 0);
        m_clock.start();
        m_socket.connectToHost(loopback(1), 1203);
    }

    bool done() const { return m_doneMs >= 0; }
    bool ended() const { return done() || !m_failure.isEmpty(); }
    qint64 doneMs() const { return m_doneMs; }
    // Empty when the dialogue went through and our own entry was in the list.
    QByteArray fault() const
    {
        if (!m_failure.isEmpty()) return m_address + " failed at " + m_failure;
        if (!done()) return m_address + " stuck at " + QByteArray::number(m_step);
        const bool listed = std::any_of(m_list.begin(), m_list.end(), [this](const QByteArray &e) {
            return e.startsWith(m_address + ',');
        });
        return listed ? QByteArray() : m_address + " not in the list";
    }

private:
    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }
    void fail(const QByteArray &got)
    {
        if (m_failure.isEmpty()) m_failure = QByteArray::number(m_step) + ": " + got.left(80);
    }
    void onMessage(const QByteArray &m)
    {
        if (m_kind == Silent || done()) return;
        if (m_kind == Garbage) {
            if (m_step++ == 0) send(flood::noise(4096, quint32(m_n)));
            return;
        }
        // Each answer of the registration, and the request it lets us make.
        const std::pair<QByteArray, QByteArray> script[] = {
            {"SRV 099", "SRV 100"},
            {"SRV 500", "SRV 110" + m_address},
            {"SRV 510", "SRV 120" + sjis("○m") + QByteArray::number(m_n)},
            {"SRV 520", "SRV 130" + sjis("負荷試験")},
        };
        if (const int step = m_step++; step < 4) {
            m == script[step].first ? send(script[step].second) : fail(m);
        } else if (m.startsWith("SRV 530")) {
            m_list << m.mid(7);
            send("SRV 140");
        } else if (m == "SRV 540") {
            m_doneMs = m_clock.elapsed();
        } else {
            fail(m);
        }
    }

    Kind m_kind;
    int m_n;
    QByteArray m_address;
    QTcpSocket m_socket;
    QElapsedTimer m_clock;
    int m_step = 0;
    qint64 m_doneMs = -1;
    QByteArray m_failure;
    QList<QByteArray> m_list;
};

} // namespace

class TestDirectoryLoad : public QObject {
    Q_OBJECT
    TestDatabase m_db;
private Q_SLOTS:
    void initTestCase() { WEZ_REQUIRE_DATABASE(m_db); }
    void twoHundredClients()
    {
        QTemporaryDir dir;
        directory::ServerConfig config;
        config.bind = loopback(1);
        // Memory only on SQLite, as a server without a file runs.
        if (m_db.postgres()) config.database = m_db.fresh(dir);
        directory::DirectoryServer server(config);
        server.setLogSink([](const QString &) {});
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));

        QList<Dialogue *> members;
        QObject owner;
        // Kinds are interleaved so the bad ones are among the first and the last to connect.
        for (int i = 0; i < kClients; ++i) {
            const Dialogue::Kind kind =
                i % 20 == 7 ? Dialogue::Garbage : (i % 4 == 1 ? Dialogue::Silent : Dialogue::Member);
            auto *d = new Dialogue(kind, 2 + i, &owner);
            if (kind == Dialogue::Member) members << d;
        }
        const qint64 before = flood::residentKb();
        waitFor(
            [&] {
                return std::all_of(members.begin(), members.end(), [](Dialogue *d) { return d->ended(); });
            },
            kClientLimitMs + 5000);
        qint64 slowest = 0;
        for (Dialogue *d : members) {
            QVERIFY2(d->fault().isEmpty(), d->fault().constData());
            slowest = std::max(slowest, d->doneMs());
        }
        QCOMPARE(server.members().count().value_or(-1), qint64(members.size()));
        qInfo(
            "hardening: directory %d members registered and listed beside %d silent and %d garbage clients, "
            "slowest %lld ms, rss growth %lld kB",
            int(members.size()), kSilent, kGarbage, slowest, flood::residentKb() - before);
    }
};

QTEST_GUILESS_MAIN(TestDirectoryLoad)
#include "test_directory_load.moc"
