// Addresses the user types: the proxy window's four boxes as keys and pastes
// fill them, the check of a new directory server, and its entry in the server
// list file (exact bytes, duplicates, refusals that leave the file alone).
#include "server/addressentry.h"
#include "server/serverlist.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>

using namespace testsupport;
using namespace server;

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

using Boxes = std::array<QString, 4>;

QString joined(const Boxes &b)
{
    return b[0] + QLatin1Char('|') + b[1] + QLatin1Char('|') + b[2] + QLatin1Char('|') + b[3];
}

} // namespace

class TestAddressEntry : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pointsSpreadOverTheBoxes()
    {
        const struct {
            Boxes before;
            int index;
            const char *edited;
            const char *after; // boxes joined by "|", or "-" when the edit is refused
            int focus;
            bool select;
        } cases[] = {
            // A typed point moves on and leaves the next box's text selected, to be typed over.
            {{"192", "", "", ""}, 0, "192.", "192|||", 1, true},
            {{"192", "168", "1", "10"}, 0, "192.", "192|168|1|10", 1, true},
            // A point typed inside a number splits it.
            {{"1", "", "", ""}, 0, "1.92", "1|92||", 1, false},
            // A whole address fills all four boxes, whichever box it was pasted into.
            {{"", "", "9", ""}, 2, "192.168.1.10", "192|168|1|10", 3, false},
            {{"", "", "", ""}, 0, " 10.0.0.1 ", "10|0|0|1", 3, false},
            {{"", "", "", ""}, 1, "172．16．0．1", "172|16|0|1", 3, false},
            // Fewer parts go from the box on; those past the last box are dropped.
            {{"1", "", "", ""}, 1, "2.3", "1|2|3|", 2, false},
            {{"", "", "", "7"}, 3, "8.9", "|||8", 3, false},
            // A point at the last box stays there.
            {{"1", "2", "3", "4"}, 3, "4.", "1|2|3|4", 3, false},
            // Not an address: more than three digits in a part, letters, too many parts.
            {{"", "", "", ""}, 0, "1234.5", "-", 0, false},
            {{"", "", "", ""}, 0, "10.a.0.1", "-", 0, false},
        };
        for (const auto &c : cases) {
            const std::optional<DottedBoxes> r = spreadDotted(c.before, c.index, u(c.edited));
            if (QByteArray(c.after) == "-") {
                QVERIFY2(!r, c.edited);
                continue;
            }
            QVERIFY2(r, c.edited);
            QCOMPARE(joined(r->boxes), u(c.after));
            QCOMPARE(r->focus, c.focus);
            QCOMPARE(r->select, c.select);
        }
        QVERIFY(!spreadDotted({}, 4, QStringLiteral("1.2")));
    }

    void serverAddressesAreChecked()
    {
        for (const char *good : {"wez.example.jp", " dir-2.example.net ", "localhost", "192.168.1.10",
                                 "0.0.0.0", "255.255.255.255", "example.jp.", "1.2.3.example"}) {
            const CheckedServerAddress c = checkServerAddress(u(good));
            QVERIFY2(c.refusal.isEmpty(), good);
            QCOMPARE(c.address, u(good).trimmed());
        }
        const struct {
            const char *typed;
            const QString &refusal;
        } bad[] = {
            {"", kAddressEmpty},
            {"   ", kAddressEmpty},
            {"192.168.1.300", kAddressBadIpv4},
            {"192.168.1", kAddressBadIpv4},
            {"1.2.3.4.5", kAddressBadIpv4},
            {"1..2.3", kAddressBadIpv4},
            {"http://wez.example.jp", kAddressBadCharacter},
            {"wez.example.jp/東京", kAddressBadCharacter},
            {"サーバ.jp", kAddressBadCharacter},
            {"a b.jp", kAddressBadCharacter},
            {"host,name", kAddressBadCharacter},
            {"::1", kAddressBadCharacter},
            {"-wez.example.jp", kAddressBadForm},
            {"wez-.example.jp", kAddressBadForm},
            {"wez..example.jp", kAddressBadForm},
            {".example.jp", kAddressBadForm},
        };
        for (const auto &b : bad)
            QCOMPARE(checkServerAddress(u(b.typed)).refusal, b.refusal);
        QCOMPARE(checkServerAddress(QString(64, QLatin1Char('a')) + QStringLiteral(".jp")).refusal,
                 kAddressBadForm);
        QCOMPARE(checkServerAddress(QStringLiteral("a.").repeated(127)).refusal, kAddressTooLong);
    }

    void addedServersKeepTheFilesFormat()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wezserv.dat"));
        // The shipped list, whose last line has no line end.
        const QByteArray shipped = sjis("127.0.0.1/ローカル\r\n\"10.0.0.8/引用, カンマ\"");
        QVERIFY(writeFile(path, shipped));

        ServerListAddition r = ServerList::add(path, u(" wez.example.jp "), u(" 東京の本館 "));
        QVERIFY2(r.refusal.isEmpty(), qPrintable(r.refusal));
        QByteArray expected = shipped + sjis("\r\nwez.example.jp/東京の本館\r\n");
        QCOMPARE(readFile(path), expected);
        QCOMPARE(r.items.size(), 3);
        QCOMPARE(r.index, 2);
        QCOMPARE(r.items.at(2).address, u("wez.example.jp"));
        QCOMPARE(r.items.at(2).description, u("東京の本館"));

        // No description: the address stands for itself. A comma puts the item in quotes.
        r = ServerList::add(path, u("192.168.1.10"), QString());
        QVERIFY(r.refusal.isEmpty());
        r = ServerList::add(path, u("dir.example.net"), u("大阪, 予備/二号"));
        QVERIFY(r.refusal.isEmpty());
        expected += sjis("192.168.1.10/192.168.1.10\r\n\"dir.example.net/大阪, 予備/二号\"\r\n");
        QCOMPARE(readFile(path), expected);
        const QList<ServerListItem> read = ServerList::readFile(path);
        QCOMPARE(read.size(), 5);
        QCOMPARE(read.at(4).address, u("dir.example.net"));
        QCOMPARE(read.at(4).description, u("大阪, 予備/二号"));
        QCOMPARE(r.index, 4);

        // Refusals leave the file as it was: a listed server (names without case), a bad
        // address, a description the file cannot hold.
        r = ServerList::add(path, u("WEZ.Example.JP"), u("また"));
        QCOMPARE(r.refusal, ServerList::kDuplicate);
        QCOMPARE(r.index, 2);
        QCOMPARE(ServerList::add(path, u("127.0.0.1"), QString()).index, 0);
        QCOMPARE(ServerList::add(path, u("10.0.0.256"), QString()).refusal, kAddressBadIpv4);
        for (const char *description : {"引用符\"入り", "改行\r\n入り", "絵文字😀"})
            QCOMPARE(ServerList::add(path, u("new.example.jp"), u(description)).refusal,
                     ServerList::kBadDescription);
        QCOMPARE(readFile(path), expected);
    }

    void aFileThatCannotTakeTheServerStaysAsItWas()
    {
        QTemporaryDir dir;
        // None yet: the new server is the whole list.
        const QString path = dir.filePath(QStringLiteral("wezserv.dat"));
        QVERIFY(ServerList::add(path, u("10.1.2.3"), u("社内")).refusal.isEmpty());
        QCOMPARE(readFile(path), sjis("10.1.2.3/社内\r\n"));

        // Bigger than the list is ever read: adding would drop what lies past the bound.
        const QString big = dir.filePath(QStringLiteral("big.dat"));
        const QByteArray bytes = QByteArray("1.1.1.1/a\r\n").repeated(ServerList::maxFileBytes / 11 + 1);
        QVERIFY(writeFile(big, bytes));
        QCOMPARE(ServerList::add(big, u("10.1.2.3"), QString()).refusal, ServerList::kListTooBig);
        QCOMPARE(readFile(big), bytes);

        // Something that is no file stands there.
        const QString folder = dir.filePath(QStringLiteral("folder.dat"));
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(ServerList::add(folder, u("10.1.2.3"), QString()).refusal, ServerList::kNotSaved);
        QVERIFY(QFileInfo(folder).isDir());
    }
};

QTEST_GUILESS_MAIN(TestAddressEntry)
#include "test_address_entry.moc"
