// The client's directory dialogue, its reactions one by one (whole exchanges
// with the real directory run in test_member_list); member entries; server lists.
#include "server/memberentry.h"
#include "server/serverdialogue.h"
#include "server/serverlist.h"
#include "testsupport.h"

#include <QTemporaryDir>

using namespace testsupport;
using namespace server;
using Event = ServerReaction::Event;

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class TestServerDialogue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void greetingChoosesThePurpose()
    {
        const DialogueFields fields{QStringLiteral("10.0.0.5"), u("太郎"), u("よろしく")};
        const auto all = [](const DialogueFlags &f) {
            return QList<int>{f.signingOff, f.ipRequestActive, f.profileRegistered, f.quietClose};
        };
        const struct {
            DialogueFlags before;
            const char *send;
            DialogueFlags after;
        } cases[] = {
            // Leaving wins over everything, and the flags stay as they were.
            {{1, 1, 1, 0}, "SRV 90010.0.0.5", {1, 1, 1, 0}},
            // An address question is answered once, even with the profile current.
            {{0, 1, 1, 0}, "SRV 700", {0, 0, 1, 0}},
            {{0, 0, 1, 0}, "SRV 135", {0, 0, 1, 0}},
            // A registration marks the profile sent.
            {{0, 0, 0, 0}, "SRV 100", {0, 0, 1, 0}},
        };
        for (auto c : cases) {
            const ServerReaction r = ServerDialogue::react(u("SRV 099"), c.before, fields);
            QCOMPARE(*r.send, QString::fromLatin1(c.send));
            QCOMPARE(all(c.before), all(c.after));
            QVERIFY(r.event == Event::None && !r.close);
        }
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
};

QTEST_GUILESS_MAIN(TestServerDialogue)
#include "test_server_dialogue.moc"
