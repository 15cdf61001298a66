// The client's directory dialogue: its reactions one by one, and whole exchanges
// through the endpoint against the real directory on loopback; member entries; server lists.
#include "directory/directoryserver.h"
#include "server/memberentry.h"
#include "server/serverdialogue.h"
#include "server/serverlink.h"
#include "server/serverlist.h"
#include "shell/socket/endpoint.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

using namespace testsupport;
using namespace server;
using Event = ServerReaction::Event;

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// One client's server socket with the dialogue on it, as the entrance window would hold them.
struct Client {
    explicit Client(int n)
        : endpoint(QStringLiteral("Winsock2"), loopback(n)), link(endpoint, flags, [this] { return fields; })
    {
        QObject::connect(&link, &ServerLink::memberEntry, &endpoint,
                         [this](const QString &e) { entries << e; });
        QObject::connect(&link, &ServerLink::listEnded, &endpoint, [this] { ++listsEnded; });
        QObject::connect(&link, &ServerLink::ownAddress, &endpoint,
                         [this](const QString &a) { address = a; });
    }
    // Opens an exchange and waits until the client itself closed it again.
    bool exchange()
    {
        const int before = listsEnded;
        const QString addressBefore = address;
        endpoint.close();
        endpoint.connectToHost(loopback(1).toString(), 1203);
        return waitFor([&] {
            return endpoint.state() == Endpoint::Closed && (listsEnded > before || address != addressBefore);
        });
    }

    DialogueFlags flags;
    DialogueFields fields;
    Endpoint endpoint;
    ServerLink link;
    QStringList entries;
    int listsEnded = 0;
    QString address;
};

} // namespace

class TestServerDialogue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void greetingChoosesThePurpose()
    {
        const DialogueFields fields{QStringLiteral("10.0.0.5"), u("太郎"), u("よろしく")};
        // Leaving wins over everything, and the flags stay as they were.
        DialogueFlags f{1, 1, 1, 0};
        ServerReaction r = ServerDialogue::react(u("SRV 099"), f, fields);
        QCOMPARE(*r.send, QStringLiteral("SRV 90010.0.0.5"));
        QCOMPARE(f.ipRequestActive, 1);
        // An address question is answered once, even with the profile current.
        f = {0, 1, 1, 0};
        QCOMPARE(*ServerDialogue::react(u("SRV 099"), f, fields).send, QStringLiteral("SRV 700"));
        QCOMPARE(f.ipRequestActive, 0);
        QCOMPARE(*ServerDialogue::react(u("SRV 099"), f, fields).send, QStringLiteral("SRV 135"));
        // Text after the greeting's code changes nothing; a registration marks the profile sent.
        f = {};
        r = ServerDialogue::react(u("SRV 099ようこそ"), f, fields);
        QCOMPARE(*r.send, QStringLiteral("SRV 100"));
        QCOMPARE(f.profileRegistered, 1);
        QCOMPARE(r.event, Event::None);
        QVERIFY(!r.close);
    }

    void registrationAnswers()
    {
        DialogueFlags f{0, 0, 1, 0};
        const DialogueFields fields{QStringLiteral("Click! -->"), u("太郎"), u("a,b,c")};
        QCOMPARE(*ServerDialogue::react(u("SRV 500"), f, fields).send, u("SRV 110Click! -->"));
        QCOMPARE(*ServerDialogue::react(u("SRV 510xx"), f, fields).send, u("SRV 120○太郎"));
        QCOMPARE(*ServerDialogue::react(u("SRV 520"), f, fields).send, u("SRV 130a,b,c"));

        ServerReaction r = ServerDialogue::react(u("SRV 53010.0.0.1,○花子,x,y"), f, fields);
        QCOMPARE(r.event, Event::MemberEntry);
        QCOMPARE(r.text, u("10.0.0.1,○花子,x,y"));
        QCOMPARE(*r.send, QStringLiteral("SRV 140"));
        QVERIFY(!r.close);

        r = ServerDialogue::react(u("SRV 540"), f, fields);
        QCOMPARE(r.event, Event::ListEnded);
        QVERIFY(r.close && !r.send);
        QCOMPARE(f.quietClose, 1);

        // An address answer in the middle of a registration still ends the exchange.
        f.quietClose = 0;
        r = ServerDialogue::react(u("SRV 71010.0.0.9"), f, fields);
        QCOMPARE(r.event, Event::OwnAddress);
        QCOMPARE(r.text, QStringLiteral("10.0.0.9"));
        QVERIFY(r.close && !r.send);
        QCOMPARE(f.quietClose, 0);
    }

    void otherMessagesAreShown()
    {
        DialogueFlags f{0, 1, 0, 0};
        const DialogueFlags before = f;
        const struct {
            const char *in, *shown;
        } cases[] = {{"SRV 999満員です", "SRV 999/満員です"},
                     {"SRV", "SRV/"},
                     {"", "/"},
                     {"srv 099", "srv 099/"},
                     {"SRV 09", "SRV 09/"}};
        for (const auto &c : cases) {
            const ServerReaction r = ServerDialogue::react(u(c.in), f, {});
            QCOMPARE(r.event, Event::UnknownMessage);
            QCOMPARE(r.text, u(c.shown));
            QVERIFY(!r.send && !r.close);
        }
        QCOMPARE(f.ipRequestActive, before.ipRequestActive);
        QCOMPARE(f.profileRegistered, before.profileRegistered);
    }

    void memberEntries()
    {
        const struct {
            const char *entry, *address, *display;
        } cases[] = {
            {"10.0.0.1,○太郎,こんにちは", "10.0.0.1", "○太郎 / こんにちは"},
            {"10.0.0.1,○太郎,a,b,,c", "10.0.0.1", "○太郎 / a,b,,c"},
            {"10.0.0.1,○太郎", "10.0.0.1", "○太郎 / "},
            {"10.0.0.1,,", "10.0.0.1", " / "},
            {"no comma at all", "", "no comma at all / "},
            {",○名,c", "", "○名 / c"},
            {"", "", " / "},
        };
        for (const auto &c : cases) {
            const MemberEntry e = MemberEntry::split(u(c.entry));
            QCOMPARE(e.address, u(c.address));
            QCOMPARE(e.display(), u(c.display));
        }
    }

    void serverListFile()
    {
        const QByteArray file = sjis("127.0.0.1/ローカルサーバ\r\n"
                                     "dir.example.net/東京/本館, 10.0.0.7/予備 \r\n"
                                     "\r\n"
                                     "no-slash-here\n"
                                     "  \"10.0.0.8/引用, カンマ入り\" trailing,10.0.0.9/\r"
                                     "127.0.0.1/もう一つ");
        const QList<ServerListItem> items = ServerList::parse(file);
        QStringList seen;
        for (const ServerListItem &i : items)
            seen << i.address + QLatin1Char('|') + i.description;
        QCOMPARE(seen, (QStringList{u("127.0.0.1|ローカルサーバ"), u("dir.example.net|東京/本館"),
                                    u("10.0.0.7|予備"), u("10.0.0.8|引用, カンマ入り"), u("10.0.0.9|"),
                                    u("127.0.0.1|もう一つ")}));
        QCOMPARE(items.at(1).item, u("dir.example.net/東京/本館"));
        QCOMPARE(ServerList::describe(items, QStringLiteral("127.0.0.1")), u("もう一つ"));
        QCOMPARE(ServerList::describe(items, QStringLiteral("10.0.0.99")), QString());

        QTemporaryDir dir;
        QVERIFY(ServerList::readFile(dir.filePath(QStringLiteral("wezserv.dat"))).isEmpty());
        QVERIFY(writeFile(dir.filePath(QStringLiteral("wezserv.dat")), file));
        QCOMPARE(ServerList::readFile(dir.filePath(QStringLiteral("wezserv.dat"))).size(), 6);
    }

    void againstTheRealDirectory()
    {
        QTemporaryDir dir;
        directory::ServerConfig config;
        config.bind = loopback(1);
        config.database = dir.filePath(QStringLiteral("members.sqlite"));
        directory::DirectoryServer server(config);
        server.setLogSink({});
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        QSignalSpy stored(&server, &directory::DirectoryServer::memberStored);

        Client a(2), b(3);
        a.fields = {QStringLiteral("Click! -->"), u("太郎"), u("こんにちは, 元気?")};
        b.fields = {loopback(3).toString(), u("花子"), u("")};
        const QString entryA = loopback(2).toString() + u(",○太郎,こんにちは, 元気?");
        const QString entryB = loopback(3).toString() + u(",○花子,");

        QVERIFY(a.exchange());
        QCOMPARE(a.entries, QStringList{entryA});
        QCOMPARE(a.flags.profileRegistered, 1);
        QCOMPARE(a.flags.quietClose, 1);
        QVERIFY(b.exchange());
        QCOMPARE(b.entries, (QStringList{entryA, entryB}));
        QCOMPARE(stored.count(), 2);

        // With the profile current the next exchange only lists.
        a.entries.clear();
        QVERIFY(a.exchange());
        QCOMPARE(a.entries, (QStringList{entryA, entryB}));
        QCOMPARE(stored.count(), 2);

        // An edited name registers again from the start.
        a.fields.name = u("太郎2");
        a.flags.profileRegistered = 0;
        a.entries.clear();
        QVERIFY(a.exchange());
        QCOMPARE(stored.count(), 3);
        QCOMPARE(a.entries.first(), loopback(2).toString() + u(",○太郎2,こんにちは, 元気?"));

        // The own address as the server sees it.
        a.flags.ipRequestActive = 1;
        QVERIFY(a.exchange());
        QCOMPARE(a.address, loopback(2).toString());
        QCOMPARE(a.flags.ipRequestActive, 0);

        // Signing off ends within the exchange and takes the member off the list.
        b.flags.signingOff = 1;
        QVERIFY(b.exchange());
        a.entries.clear();
        QVERIFY(a.exchange());
        QCOMPARE(a.entries, QStringList{loopback(2).toString() + u(",○太郎2,こんにちは, 元気?")});
    }
};

QTEST_GUILESS_MAIN(TestServerDialogue)
#include "test_server_dialogue.moc"
