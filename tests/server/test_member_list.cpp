// The directory subsystem in running clients: two clients register with the
// real wez-directory on loopback through their windows, list, reload, look up
// their own address, post, chat and sign off; a server that never answers;
// the server selector (choosing and adding a server) and the proxy window.
#include "clienthelpers.h"

#include "directory/directoryserver.h"
#include "server/addressentry.h"
#include "server/memberlistwindow.h"
#include "server/proxywindow.h"
#include "server/serverclient.h"
#include "server/serverselectorwindow.h"
#include "server/serverwindows.h"
#include "shell/socket/cp932.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QScreen>
#include <QSignalSpy>
#include <QTcpServer>

using namespace testsupport;
using namespace clienttest;
using MemberList = server::MemberListWindow;
using server::ServerClient;
using server::ServerWindows;

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

ServerWindows &serverWindows(Client &c)
{
    return *c.serverWindows();
}

MemberList *memberList(Client &c)
{
    return serverWindows(c).memberList();
}

QStringList lines(Client &c)
{
    MemberList *w = memberList(c);
    return w ? w->displayLines() : QStringList{QStringLiteral("<no member list>")};
}

std::unique_ptr<Client> startAt(const QString &dir, int address, const QString &name, const QString &comment,
                                const QHostAddress &server)
{
    auto c = startClient(dir, address, name);
    c->core().entrance().setComment(comment);
    c->core().state().serverAddress = server.toString();
    return c;
}

QModelIndex selectRow(Client &c, int row)
{
    auto *list = child<QListView>(memberList(c), "List2");
    const QModelIndex index = list->model()->index(row, 0);
    list->setCurrentIndex(index);
    return index;
}

// Selects the member whose entry begins with `address` in c's list.
bool selectMember(Client &c, const QString &address)
{
    const QStringList entries = memberList(c)->entries();
    for (int i = 0; i < entries.size(); ++i) {
        if (entries[i].startsWith(address + QLatin1Char(','))) {
            selectRow(c, i);
            return true;
        }
    }
    return false;
}

int countShown(Client &c, const QString &text)
{
    return int(c.desktop().shownMessages().count(text));
}

} // namespace

class TestMemberList : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dbDir;
    std::unique_ptr<directory::DirectoryServer> m_server;

private Q_SLOTS:
    void init()
    {
        m_dbDir = std::make_unique<QTemporaryDir>();
        directory::ServerConfig config;
        config.bind = loopback(1);
        config.database = m_dbDir->filePath(QStringLiteral("members.sqlite"));
        m_server = std::make_unique<directory::DirectoryServer>(config);
        m_server->setLogSink({});
        QString error;
        QVERIFY2(m_server->start(&error), qPrintable(error));
    }
    void cleanup() { m_server.reset(); }

    void twoClientsRegisterListChatAndSignOff()
    {
        QTemporaryDir dirA, dirB;
        auto a = startAt(dirA.path(), 2, u("太郎"), u("こんにちは, 元気?"), loopback(1));
        auto b = startAt(dirB.path(), 3, u("花子"), u("よろしく,どうぞ"), loopback(1));
        const QString addrA = loopback(2).toString(), addrB = loopback(3).toString();
        const QString lineA = u("○太郎 / こんにちは, 元気?"), lineB = u("○花子 / よろしく,どうぞ");
        QSignalSpy stored(m_server.get(), &directory::DirectoryServer::memberStored);
        QSignalSpy removed(m_server.get(), &directory::DirectoryServer::memberRemoved);

        // Registering opens the member list, which shows us; the register button waits meanwhile.
        click(a->entranceWindow(), "Command1");
        QVERIFY(memberList(*a));
        QVERIFY(!a->entranceWindow()->button(1)->isEnabled());
        // Never placed before: it opens in the middle of the screen, with the legend of its marks.
        const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
        // (Before its first showing the window's frame is not known: a few pixels either way.)
        QVERIFY((memberList(*a)->frameGeometry().center() - middle).manhattanLength() < 40);
        QCOMPARE(child<QLabel>(memberList(*a), "Legend")->text(), MemberList::kLegend);
        QVERIFY(waitFor([&] { return lines(*a) == QStringList{lineA}; }));
        // The end of the list ("SRV 540") may come in a later read than the last entry.
        QVERIFY(waitFor([&] { return a->core().state().quietClose == 1; }));

        click(b->entranceWindow(), "Command1");
        QVERIFY(waitFor([&] { return lines(*b) == QStringList{lineA, lineB}; }));
        QCOMPARE(stored.count(), 2);

        // Reload asks for the list alone: nobody is stored again.
        click(memberList(*a), "Command4");
        QVERIFY(waitFor([&] { return lines(*a) == QStringList{lineA, lineB}; }));
        QCOMPARE(stored.count(), 2);

        // An edited name is registered again by the next opening of the list,
        // which comes up where the last one was closed.
        QTest::keyClicks(child<QLineEdit>(a->entranceWindow(), "Text1"), QStringLiteral("2"));
        memberList(*a)->move(150, 120);
        click(memberList(*a), "Command2");
        QCOMPARE(a->core().state().memberListPosition.left, 150 * 15);
        QCOMPARE(a->core().state().memberListPosition.top, 120 * 15);
        QVERIFY(waitFor([&] { return !serverWindows(*a).memberList(); }));
        click(a->entranceWindow(), "Command1");
        QCOMPARE(memberList(*a)->pos(), QPoint(150, 120));
        QVERIFY(waitFor([&] { return stored.count() == 3 && lines(*a).size() == 2; }));
        QCOMPARE(lines(*a).first(), u("○太郎2 / こんにちは, 元気?"));

        // Our own address as the server sees it, after the lookup animation.
        auto *label5 = child<QLabel>(a->entranceWindow(), "Label5");
        click(a->entranceWindow(), "Command6");
        QVERIFY(waitFor([&] { return label5->text() == addrA; }));
        QVERIFY(a->entranceWindow()->button(6)->isEnabled());
        QVERIFY(a->entranceWindow()->button(1)->isEnabled());

        // Message post to a member: the target is the member's address.
        QVERIFY(selectMember(*a, addrB));
        QVERIFY(waitFor([&] { return child<QPushButton>(memberList(*a), "Command3")->isEnabled(); }));
        click(memberList(*a), "Command3");
        QCOMPARE(a->core().entrance().postTarget(), addrB);
        QVERIFY(a->core().state().isOpen(MessagePostWindow));

        // A double-click on a member chats with it: the call reaches the other
        // client and closes the post window.
        QString asked;
        onQuestion(*b, answerYes, &asked);
        QVERIFY(selectMember(*a, addrB));
        auto *listA = child<QListView>(memberList(*a), "List2");
        const QRect row = listA->visualRect(listA->currentIndex());
        QVERIFY(row.isValid());
        // As a mouse does it: a click, then the second press that makes it double.
        QTest::mouseClick(listA->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(listA->viewport(), Qt::LeftButton, {}, row.center());
        QVERIFY(!a->core().state().isOpen(MessagePostWindow));
        QVERIFY(waitFor(
            [&] { return a->core().state().isOpen(ChatWindow) && b->core().state().isOpen(ChatWindow); }));
        QCOMPARE(asked, u("「太郎2」さんから接続要求があります。接続しますか？"));
        // While the peer socket is busy, chat and post from the list wait.
        QVERIFY(waitFor([&] { return !child<QPushButton>(memberList(*a), "Command1")->isEnabled(); }));

        // Both are marked as chatting in the next list.
        QVERIFY(waitFor([&] {
            const auto mb = m_server->members().find(addrB);
            const auto ma = m_server->members().find(addrA);
            return ma && mb && ma->chatting && mb->chatting;
        }));
        click(memberList(*b), "Command4");
        QVERIFY(waitFor([&] { return lines(*b).size() == 2; }));
        QCOMPARE(lines(*b).last(), u("○花子 / （チャット中）よろしく,どうぞ"));

        // Closing the chat window greys the list's reload until the peer socket listens again.
        auto *reloadA = child<QPushButton>(memberList(*a), "Command4");
        QVERIFY(waitFor([&] { return reloadA->isEnabled(); }));
        windows(*a).chatWindow()->close();
        QVERIFY(!reloadA->isEnabled());
        QVERIFY(waitFor([&] { return listening(*a) && reloadA->isEnabled(); }, 8000));

        // Exit signs off: the member is gone from the server and from the others' lists.
        b->shutdown();
        QVERIFY(removed.count() == 1 || removed.wait(5000));
        QCOMPARE(removed.first().first().toString(), addrB);
        QVERIFY(!countShown(*b, u("サーバが応答しませんでしたので、そのまま終了します")));
        QVERIFY(waitFor([&] { return listening(*a); }, 8000));
        click(memberList(*a), "Command4");
        QVERIFY(waitFor([&] { return lines(*a).size() == 1; }));
        QVERIFY(lines(*a).first().startsWith(u("○太郎2 / ")));
        QVERIFY(waitFor([&] { return child<QPushButton>(memberList(*a), "Command4")->isEnabled(); }));
    }

    void scriptedServer()
    {
        // A server driven by hand, one message at a time.
        QTcpServer script;
        QVERIFY(script.listen(loopback(12), 1203));
        QTemporaryDir dir;
        auto c = startAt(dir.path(), 13, u("八郎"), u("やあ"), loopback(12));
        click(c->entranceWindow(), "Command1");
        QVERIFY(script.waitForNewConnection(5000));
        std::unique_ptr<QTcpSocket> s(script.nextPendingConnection());

        // Text after the greeting's code changes nothing.
        sendRaw(*s, sjis("SRV 099ようこそ"));
        QVERIFY(readExactly(*s, "SRV 100"));
        sendRaw(*s, sjis("SRV 5301.2.3.4,○甲,a,b"));
        QVERIFY(readExactly(*s, "SRV 140"));
        sendRaw(*s, "SRV 530nocomma");
        QVERIFY(readExactly(*s, "SRV 140"));
        QVERIFY(waitFor([&] { return lines(*c) == QStringList{u("○甲 / a,b"), u("nocomma / ")}; }));

        // Unknown messages are shown and otherwise ignored.
        sendRaw(*s, sjis("SRV 999言葉"));
        QVERIFY(waitFor([&] { return countShown(*c, u("SRV 999/言葉")) == 1; }));

        // A line without an address: chat and post do nothing.
        QVERIFY(waitFor([&] { return child<QPushButton>(memberList(*c), "Command1")->isEnabled(); }));
        selectRow(*c, 1);
        click(memberList(*c), "Command1");
        click(memberList(*c), "Command3");
        QCOMPARE(c->core().winsock1().state(), int(Endpoint::Listening));
        QVERIFY(!c->core().state().isOpen(MessagePostWindow));
        QCOMPARE(c->core().entrance().postTarget(), QString());

        // Entries after the window closed are answered but never bring it back.
        click(memberList(*c), "Command2");
        QVERIFY(waitFor([&] { return !serverWindows(*c).memberList(); }));
        sendRaw(*s, sjis("SRV 5305.6.7.8,○乙,c"));
        QVERIFY(readExactly(*s, "SRV 140"));
        QVERIFY(!serverWindows(*c).memberList());
        QVERIFY(!c->core().state().isOpen(WindowNumber::MemberListWindow));

        // An address in the middle of the list ends the exchange.
        sendRaw(*s, "SRV 71010.9.8.7");
        QVERIFY(waitFor([&] { return c->core().entrance().addressText() == QStringLiteral("10.9.8.7"); }));
        QVERIFY(closedByPeer(*s));
    }

    void longListComesInBatchesAndReloadEmptiesIt()
    {
        QTcpServer script;
        QVERIFY(script.listen(loopback(14), 1203));
        QTemporaryDir dir;
        auto c = startAt(dir.path(), 15, u("九郎"), u("ども"), loopback(14));
        click(c->entranceWindow(), "Command1");
        QVERIFY(script.waitForNewConnection(5000));
        std::unique_ptr<QTcpSocket> s(script.nextPendingConnection());
        auto *list = child<QListView>(memberList(*c), "List2");
        QSignalSpy batches(list->model(), &QAbstractItemModel::rowsInserted);
        sendRaw(*s, "SRV 099");
        QVERIFY(readExactly(*s, "SRV 100"));
        // The server answers each request at once: the whole list in one go, as a busy server sends it.
        QStringList raw, shown;
        constexpr int kCount = 1500;
        for (int i = 0; i < kCount; ++i) {
            raw << QStringLiteral("10.0.%1.%2,○n%3,c%3").arg(i / 250).arg(i % 250).arg(i);
            shown << u("○n%1 / c%1").arg(i);
        }
        int sent = 0;
        connect(s.get(), &QTcpSocket::readyRead, this, [&] {
            s->readAll();
            if (sent < kCount)
                sendRaw(*s, cp932::encode(QStringLiteral("SRV 530") + raw.at(sent++)));
            else
                sendRaw(*s, "SRV 540");
        });
        sendRaw(*s, cp932::encode(QStringLiteral("SRV 530") + raw.at(sent++)));
        QVERIFY(
            waitFor([&] { return lines(*c).size() == kCount && c->core().state().quietClose == 1; }, 20000));
        QCOMPARE(lines(*c), shown);
        QCOMPARE(memberList(*c)->entries(), raw);
        // Rows go in by the frame, not one by one.
        QVERIFY2(batches.count() < kCount / 4, qPrintable(QString::number(batches.count())));

        // Reload empties the list at once; the next exchange fills it anew.
        QVERIFY(waitFor([&] { return child<QPushButton>(memberList(*c), "Command4")->isEnabled(); }));
        selectRow(*c, 3);
        click(memberList(*c), "Command4");
        QCOMPARE(lines(*c), QStringList{});
        QCOMPARE(list->selectionModel()->selectedIndexes().size(), 0);
    }

    void silentServerGivesUpOnce()
    {
        // Accepts and never says a word.
        QTcpServer silent;
        QVERIFY(silent.listen(loopback(5), 1203));
        QList<QTcpSocket *> held;
        connect(&silent, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *s = silent.nextPendingConnection())
                held << s;
        });
        QTemporaryDir dirC, dirD;
        auto c = startAt(dirC.path(), 6, u("三郎"), QString(), loopback(5));
        auto d = startAt(dirD.path(), 7, u("四郎"), QString(), loopback(5));
        QStringList frames;
        connect(&d->core().entrance(), &EntranceState::changed, this, [&] {
            const QString t = d->core().entrance().addressText();
            if (t.startsWith(QStringLiteral("Connect")) && !frames.contains(t)) frames << t;
        });

        // Registration and the address lookup both wait their limit, side by side.
        click(c->entranceWindow(), "Command1");
        click(d->entranceWindow(), "Command6");
        QVERIFY(!d->entranceWindow()->button(6)->isEnabled());
        QVERIFY(waitFor([&] { return countShown(*c, ServerClient::kRegisterFailed) > 0; }, 15000));
        QVERIFY(waitFor([&] { return countShown(*d, ServerClient::kAddressFailed) > 0; }, 5000));
        QVERIFY(c->entranceWindow()->button(1)->isEnabled());
        QVERIFY(child<QPushButton>(memberList(*c), "Command4")->isEnabled());
        QCOMPARE(memberList(*c)->displayLines(), QStringList{});
        QCOMPARE(d->core().entrance().addressText(), ServerClient::kAddressIdleText);
        QCOMPARE(d->core().state().ipRequestActive, 0);
        QVERIFY(d->entranceWindow()->button(6)->isEnabled());
        QVERIFY(d->entranceWindow()->button(1)->isEnabled());
        // The connection came up, so the animation stopped at its first frame or a later one.
        QVERIFY(!frames.isEmpty());
        QCOMPARE(frames.first(), QStringLiteral("Connect"));
        QCOMPARE(c->core().winsock2().state(), int(Endpoint::Closed));
        // Told once, not again a few turns of the status timers later.
        QVERIFY(holdsFor(
            [&] {
                return c->desktop().shownMessages() == QStringList{ServerClient::kRegisterFailed} &&
                       countShown(*d, ServerClient::kAddressFailed) == 1;
            },
            300));
        qDeleteAll(held);
    }

    void refusedServerEndsAtOnce()
    {
        // Nobody listens at loopback(8): the error is shown and the buttons come back without waiting out the
        // limit.
        QTemporaryDir dir;
        auto c = startAt(dir.path(), 9, u("五郎"), QString(), loopback(8));
        click(c->entranceWindow(), "Command1");
        QVERIFY(waitFor([&] { return c->entranceWindow()->button(1)->isEnabled(); }));
        QVERIFY(c->desktop().shownMessages().last().startsWith(QStringLiteral("Code:10061 = ")));
        QCOMPARE(countShown(*c, ServerClient::kRegisterFailed), 0);
        // The own-address lookup, too, ends at once, with the lookup's own message.
        click(c->entranceWindow(), "Command6");
        QVERIFY(waitFor([&] { return c->entranceWindow()->button(6)->isEnabled(); }));
        QCOMPARE(c->desktop().shownMessages().last(), ServerClient::kAddressFailed);
        QCOMPARE(c->core().entrance().addressText(), ServerClient::kAddressIdleText);
    }

    void serverSelectorSignsOffTheOldServer()
    {
        QTemporaryDir dir;
        const QString here = loopback(1).toString(), there = loopback(9).toString();
        QVERIFY(
            writeFile(QDir(dir.path()).filePath(QStringLiteral("wezserv.dat")),
                      cp932::encode(here + u("/ここ/テスト\r\n名無し\r\n\"") + there + u("/向こう\"\r\n"))));
        auto e = startAt(dir.path(), 10, u("六郎"), QString(), loopback(1));
        QSignalSpy removed(m_server.get(), &directory::DirectoryServer::memberRemoved);
        click(e->entranceWindow(), "Command1");
        QVERIFY(waitFor([&] { return lines(*e).size() == 1; }));

        e->entranceWindow()->menuItem(QStringLiteral("menuSCng"))->trigger();
        auto *selector = serverWindows(*e).serverSelector();
        QVERIFY(selector);
        QCOMPARE(child<QLabel>(selector, "Label1")->text(), u("ここ/テスト"));
        auto *descriptions = child<QListWidget>(selector, "List2");
        QCOMPARE(descriptions->count(), 2);
        QCOMPARE(descriptions->item(1)->text(), u("向こう"));

        // Confirmed without a selection: nothing happens.
        QString asked;
        onQuestion(*e, answerYes, &asked);
        click(selector, "Command1");
        QVERIFY(waitFor([&] { return !asked.isEmpty(); }));
        QCOMPARE(asked.remove(QLatin1Char('\r')),
                 QString(server::ServerSelectorWindow::kConfirmText).remove(QLatin1Char('\r')));
        QCOMPARE(e->core().state().serverAddress, here);

        // Chosen: we leave the server we registered with, the choice is saved, the client ends.
        QSignalSpy finished(e.get(), &Client::finished);
        descriptions->setCurrentRow(1);
        onQuestion(*e, answerYes);
        click(selector, "Command1");
        QVERIFY(finished.count() == 1 || finished.wait(12000));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.first().first().toString(), loopback(10).toString());
        const QStringList personal =
            cp932::decode(readFile(QDir(dir.path()).filePath(QStringLiteral("wezpsnl.dat"))))
                .split(u("\r\n"));
        QVERIFY(personal.size() >= 14);
        QCOMPARE(personal[13], there);
    }

    void proxyBoxesTakeTypedAndPastedAddresses()
    {
        QTemporaryDir dir;
        auto c = startAt(dir.path(), 11, u("七郎"), QString(), loopback(1));
        c->entranceWindow()->menuItem(QStringLiteral("menuProxy"))->trigger();
        auto *proxy = serverWindows(*c).proxyWindow();
        QVERIFY(proxy);
        QVERIFY(QTest::qWaitForWindowActive(proxy));
        const QList<QLineEdit *> boxes = proxy->findChildren<QLineEdit *>(QStringLiteral("Text1"));
        QCOMPARE(boxes.size(), 4);
        auto texts = [&] {
            QStringList t;
            for (QLineEdit *b : boxes)
                t << b->text();
            return t.join(QLatin1Char('|'));
        };
        // Keys go where the focus is, as the user's keyboard sends them.
        auto type = [&](const QString &keys) {
            for (const QChar k : keys)
                QTest::keyClick(QApplication::focusWidget(), k.toLatin1());
        };
        boxes[0]->setFocus();
        type(QStringLiteral("1a9x"));
        QCOMPARE(boxes[0]->text(), QStringLiteral("19"));
        QTest::keyClick(boxes[0], Qt::Key_Backspace);
        type(QStringLiteral("2345"));
        QCOMPARE(boxes[0]->text(), QStringLiteral("123"));

        // A point moves on to the next box; typing over a box replaces what it held.
        boxes[0]->clear();
        boxes[0]->setFocus();
        type(QStringLiteral("192.168.1.10"));
        QCOMPARE(texts(), QStringLiteral("192|168|1|10"));
        QCOMPARE(QApplication::focusWidget(), boxes[3]);
        boxes[0]->setFocus();
        boxes[0]->selectAll();
        type(QStringLiteral("10.0.0.1"));
        QCOMPARE(texts(), QStringLiteral("10|0|0|1"));
        // Backspace in an empty box goes back into the one before.
        boxes[3]->clear();
        boxes[3]->setFocus();
        QTest::keyClick(boxes[3], Qt::Key_Backspace);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QCOMPARE(texts(), QStringLiteral("10|0||"));

        // A whole address pasted into any box fills all four.
        QApplication::clipboard()->setText(QStringLiteral(" 172.16.254.3\n"));
        boxes[2]->setFocus();
        QTest::keyClick(boxes[2], Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(texts(), QStringLiteral("172|16|254|3"));
        // What is no address is not pasted.
        QApplication::clipboard()->setText(QStringLiteral("proxy.example.jp"));
        QTest::keyClick(boxes[1], Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(texts(), QStringLiteral("172|16|254|3"));

        // Values above 255 go through as typed.
        for (QLineEdit *b : boxes)
            b->clear();
        boxes[0]->setFocus();
        type(QStringLiteral("123.456.0.999"));
        click(proxy, "Command1");
        QCOMPARE(c->core().state().proxyAddress, QStringLiteral("123.456.0.999"));
        QCOMPARE(child<QLabel>(c->entranceWindow(), "Label5")->text(), QStringLiteral("123.456.0.999"));

        // One box left empty clears the stored address; the display keeps what it showed.
        QVERIFY(waitFor([&] { return !serverWindows(*c).proxyWindow(); }));
        c->entranceWindow()->menuItem(QStringLiteral("menuProxy"))->trigger();
        proxy = serverWindows(*c).proxyWindow();
        QTest::keyClicks(proxy->findChildren<QLineEdit *>(QStringLiteral("Text1"))[0], QStringLiteral("10"));
        click(proxy, "Command1");
        QCOMPARE(c->core().state().proxyAddress, QStringLiteral("no"));
        QCOMPARE(c->core().entrance().addressText(), QStringLiteral("123.456.0.999"));
    }

    void serverSelectorAddsATypedServer()
    {
        QTemporaryDir dir;
        const QString list = QDir(dir.path()).filePath(QStringLiteral("wezserv.dat"));
        const QByteArray before = cp932::encode(u("127.0.0.1/ここ\r\n"));
        QVERIFY(writeFile(list, before));
        auto c = startAt(dir.path(), 12, u("八郎"), QString(), loopback(1));
        c->entranceWindow()->menuItem(QStringLiteral("menuSCng"))->trigger();
        auto *selector = serverWindows(*c).serverSelector();
        QVERIFY(selector);
        auto *address = child<QLineEdit>(selector, "Text1");
        auto *description = child<QLineEdit>(selector, "Text2");
        auto *outcome = child<QLabel>(selector, "Label4");
        auto *descriptions = child<QListWidget>(selector, "List2");
        QVERIFY(address && description && outcome);

        // A bad address is refused with its reason; Enter in the box never asks to change server.
        QString asked;
        onQuestion(*c, answerYes, &asked);
        QTest::keyClicks(address, QStringLiteral("192.168.1.300"));
        QTest::keyClick(address, Qt::Key_Return);
        QCOMPARE(outcome->text(), server::kAddressBadIpv4);
        QCOMPARE(readFile(list), before);
        QCOMPARE(descriptions->count(), 1);

        address->setText(QStringLiteral("wez.example.jp"));
        description->setText(u("東京"));
        click(selector, "Command3");
        QCOMPARE(outcome->text(), server::ServerSelectorWindow::kAddedText);
        QCOMPARE(readFile(list), before + cp932::encode(u("wez.example.jp/東京\r\n")));
        QCOMPARE(descriptions->count(), 2);
        QCOMPARE(descriptions->currentRow(), 1);
        QVERIFY(address->text().isEmpty());

        // The same server again: refused, and the entry already there is the one selected.
        descriptions->setCurrentRow(0);
        address->setText(QStringLiteral("WEZ.EXAMPLE.JP"));
        QTest::keyClick(address, Qt::Key_Enter);
        QCOMPARE(outcome->text(), server::ServerList::kDuplicate);
        QCOMPARE(descriptions->currentRow(), 1);
        QCOMPARE(descriptions->count(), 2);
        QVERIFY(asked.isEmpty());

        // Chosen like any listed server: the choice is saved and the client ends.
        QSignalSpy finished(c.get(), &Client::finished);
        click(selector, "Command1");
        QVERIFY(finished.count() == 1 || finished.wait(12000));
        QVERIFY(!asked.isEmpty());
        const QStringList personal =
            cp932::decode(readFile(QDir(dir.path()).filePath(QStringLiteral("wezpsnl.dat"))))
                .split(u("\r\n"));
        QVERIFY(personal.size() >= 14);
        QCOMPARE(personal[13], QStringLiteral("wez.example.jp"));
    }
};

QTEST_MAIN(TestMemberList)
#include "test_member_list.moc"
