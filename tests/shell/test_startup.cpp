// Start-up and shutdown of a whole client: the files it reads, the windows it
// shows, the files it leaves behind, and the shared dialogs.
#include "clienthelpers.h"
#include "mail/mailsettingswindow.h"
#include "shell/entrancewindow.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTcpServer>
#include <QTimer>

using namespace testsupport;
using clienttest::child;
using clienttest::click;
using clienttest::shownWindows;

namespace {

std::unique_ptr<Client> makeClient(const QString &dir, int address, QList<QUrl> *opened = nullptr)
{
    Options o;
    o.dataDir = dir;
    o.bindAddress = loopback(address);
    auto client = std::make_unique<Client>(o);
    client->desktop().setUrlOpener([opened](const QUrl &u) {
        if (opened) opened->append(u);
    });
    return client;
}

const QByteArray kPersonal =
    sjis("山田 太郎\r\nこんにちは, \"みなさん\"\r\n-150\r\n 300\r\n 1\r\n 2\r\n 3\r\n 4\r\n"
         " 5\r\n 6\r\n 7\r\n 8\r\n10.1.1.1\r\n127.0.0.1\r\n");

const QByteArray kHistory = "10.0.0.2\r\nfriend@example.org\r\n10.0.0.3\r\n";

// Sets up whatever stands where the personal file belongs.
using Prepare = std::function<void(const QString &personalPath)>;
enum Outcome { Quiet, KeptAside, LeftInPlace };

// A file's size and digest, or a directory's entries: "unchanged" then means the same for both.
QByteArray fingerprint(const QString &path)
{
    if (QFileInfo(path).isDir())
        return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(u'/').toUtf8();
    QFile f(path);
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!f.open(QIODevice::ReadOnly) || !hash.addData(&f)) return {};
    return QByteArray::number(f.size()) + hash.result();
}

} // namespace

Q_DECLARE_METATYPE(Prepare)

class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstStartOpensHelp()
    {
        QTemporaryDir dir;
        QList<QUrl> opened;
        auto client = makeClient(dir.path(), 2, &opened);
        QCOMPARE(client->start(), Client::StartResult::Started);
        QCOMPARE(client->loadResult(), ClientCore::LoadResult::FirstStart);
        QVERIFY(client->entranceWindow()->isVisible());
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.first().toLocalFile(), dir.filePath(QStringLiteral("wez.txt")));
        QVERIFY(readFile(dir.filePath(QStringLiteral("wez.txt"))).size() > 100);
        QCOMPARE(client->entranceWindow()->windowTitle(), QStringLiteral("Wez Entrance"));
        QCOMPARE(client->desktop().shownMessages(), QStringList());
    }

    void restoresSettingsAndHistory()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("wezpsnl.dat")), kPersonal);
        writeFile(dir.filePath(QStringLiteral("weziplist.dat")),
                  "10.0.0.2\r\n\r\n\r\nfriend@example.org\r\n");
        writeFile(dir.filePath(QStringLiteral("wezmail.ini")),
                  "[Adress]=me@example.org\r\n[Password]=RST\r\n");
        QList<QUrl> opened;
        auto client = makeClient(dir.path(), 2, &opened);
        QCOMPARE(client->start(), Client::StartResult::Started);
        QCOMPARE(client->loadResult(), ClientCore::LoadResult::Complete);
        QVERIFY(opened.isEmpty());
        EntranceWindow *w = client->entranceWindow();
        QCOMPARE(child<QLineEdit>(w, "Text1")->text(), QString::fromUtf8("山田 太郎"));
        QCOMPARE(child<QLineEdit>(w, "Text2")->text(), QString::fromUtf8("こんにちは, \"みなさん\""));
        QCOMPARE(child<QLabel>(w, "Label5")->text(), QStringLiteral("10.1.1.1"));
        auto *combo = child<QComboBox>(w, "Combo1");
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(1), QStringLiteral("friend@example.org"));
        QCOMPARE(combo->currentText(), QString::fromUtf8("ＩＰボックス"));
        const SharedState &s = client->core().state();
        QCOMPARE(s.entrancePosition.left, int16_t(-150));
        QCOMPARE(s.memberListPosition.top, int16_t(8));
        QCOMPARE(s.proxyAddress, QStringLiteral("10.1.1.1"));
        QCOMPARE(s.mail.mailPassword, QStringLiteral("abc"));
    }

    void shortPersonalFileTakesFirstStartPath()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("wezpsnl.dat")), sjis("花子\r\nやあ\r\n 15\r\n"));
        writeFile(dir.filePath(QStringLiteral("weziplist.dat")), "10.0.0.2\r\n");
        QList<QUrl> opened;
        auto client = makeClient(dir.path(), 2, &opened);
        client->start();
        QCOMPARE(client->loadResult(), ClientCore::LoadResult::FirstStart);
        QCOMPARE(client->core().entrance().name(), QString::fromUtf8("花子"));
        QCOMPARE(client->core().state().entrancePosition.left, int16_t(15));
        QCOMPARE(client->core().entrance().ipHistory(), QStringList{"10.0.0.2"});
        QCOMPARE(opened.size(), 1);
    }

    void damagedFileCostsNoHistory_data()
    {
        QTest::addColumn<Prepare>("prepare");
        QTest::addColumn<QByteArray>("history");
        QTest::addColumn<int>("outcome");
        auto bytes = [](const QByteArray &b) { return Prepare([b](const QString &p) { writeFile(p, b); }); };
        const QByteArray thirteen = kPersonal.left(kPersonal.indexOf("127.0.0.1"));
        QByteArray outOfRange = kPersonal;
        outOfRange.replace("\r\n 1\r\n", "\r\n 99999\r\n");
        QTest::newRow("13 lines, older .bad replaced") << Prepare([=](const QString &p) {
            writeFile(p, thirteen);
            writeFile(p + ".bad", "older damage");
        }) << kHistory << int(KeptAside);
        QTest::newRow("position 99999") << bytes(outOfRange) << kHistory << int(KeptAside);
        QTest::newRow("100 MB") << Prepare([](const QString &p) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("garbage") && f.resize(100 << 20));
        }) << kHistory << int(KeptAside);
        QTest::newRow("directory") << Prepare([](const QString &p) {
            QDir().mkpath(p);
            writeFile(p + "/note.txt", "x");
        }) << kHistory << int(KeptAside);
        QTest::newRow(".bad cannot be replaced") << Prepare([=](const QString &p) {
            writeFile(p, thirteen);
            QDir().mkpath(p + ".bad/kept");
        }) << kHistory << int(LeftInPlace);
        QTest::newRow("history over 4 MiB")
            << bytes(kPersonal) << QByteArray("10.0.0.9\r\n").repeated(500000) << int(Quiet);
        QTest::newRow("no personal file") << Prepare([](const QString &) {}) << kHistory << int(Quiet);
        QTest::newRow("empty personal file") << bytes({}) << kHistory << int(Quiet);
    }

    void damagedFileCostsNoHistory()
    {
        QFETCH(Prepare, prepare);
        QFETCH(QByteArray, history);
        QFETCH(int, outcome);
        QTemporaryDir dir;
        const QString personal = dir.filePath("wezpsnl.dat"), bad = personal + ".bad",
                      list = dir.filePath("weziplist.dat");
        prepare(personal);
        writeFile(list, history);
        const QByteArray before = fingerprint(personal), badBefore = fingerprint(bad);
        auto client = makeClient(dir.path(), 2);
        QCOMPARE(client->start(), Client::StartResult::Started);
        if (history == kHistory) QCOMPARE(client->core().entrance().ipHistory().size(), 3);
        // A file that breaks off shows none of its proxy (line 13) in the address display.
        if (outcome != Quiet) QVERIFY(client->core().entrance().addressText() != QStringLiteral("10.1.1.1"));
        client->shutdown();
        QCOMPARE(readFile(list), history);
        const QStringList shown = client->desktop().shownMessages();
        if (outcome == Quiet) {
            QCOMPARE(shown, QStringList());
            QCOMPARE(fingerprint(bad), badBefore);
            return;
        }
        const char *text =
            outcome == KeptAside
                ? "元のファイルは wezpsnl.dat.bad として残し、読み取れなかった設定には初期値を使います。"
                : "読み取れなかった設定には初期値を使います。"
                  "元のファイルはそのまま残し、今回の設定は保存しません。";
        QCOMPARE(shown, QStringList{QString::fromUtf8("設定ファイル wezpsnl.dat が壊れていました。\r\n") +
                                    QString::fromUtf8(text)});
        // Kept aside: the old bytes under .bad and a fresh file in place. Left in place: both as they were.
        QCOMPARE(fingerprint(outcome == KeptAside ? bad : personal), before);
        if (outcome == KeptAside)
            QVERIFY(settingsfiles::readPersonal(readFile(personal)).complete());
        else
            QCOMPARE(fingerprint(bad), badBefore);
    }

    void shutdownWritesBothFilesExactly()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("wezpsnl.dat")), kPersonal);
        writeFile(dir.filePath(QStringLiteral("weziplist.dat")), "10.0.0.2\r\n");
        writeFile(dir.filePath(QStringLiteral("a.tmp")), "x");
        writeFile(dir.filePath(QStringLiteral("wezften.$$$")), "x");
        writeFile(dir.filePath(QStringLiteral("keep.txt")), "x");
        auto client = makeClient(dir.path(), 2);
        client->start();
        EntranceState &e = client->core().entrance();
        e.setIpHistory({"10.0.0.2", "10.0.0.3", "b@example.org"});
        e.setIpText(QStringLiteral("typed but not listed"));
        client->core().state().chatPosition = {-45, 90};
        QSignalSpy finished(client.get(), &Client::finished);
        click(client->entranceWindow(), "Command3");
        QCOMPARE(finished.count(), 1);

        const QByteArray personal = readFile(dir.filePath(QStringLiteral("wezpsnl.dat")));
        const SharedState &s = client->core().state();
        QByteArray expected = sjis("山田 太郎\r\nこんにちは, \"みなさん\"\r\n");
        auto number = [](int v) {
            return (v < 0 ? QByteArray::number(v) : " " + QByteArray::number(v)) + "\r\n";
        };
        expected += number(s.entrancePosition.left) + number(s.entrancePosition.top);
        expected += "-45\r\n 90\r\n";
        expected += " 3\r\n 4\r\n 5\r\n 6\r\n 7\r\n 8\r\n10.1.1.1\r\n127.0.0.1\r\n";
        QCOMPARE(personal, expected);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("weziplist.dat"))),
                 QByteArray("10.0.0.2\r\n10.0.0.3\r\nb@example.org\r\n"));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("a.tmp"))));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("wezften.$$$"))));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("keep.txt"))));
    }

    void registeredUserWithoutServerStillSaves()
    {
        QTemporaryDir dir;
        auto client = makeClient(dir.path(), 2);
        client->start();
        client->core().entrance().setName(QStringLiteral("sora"));
        client->core().state().serverAddress = loopback(9).toString(); // nobody listens there
        client->core().state().serverRegistered = 1;
        client->shutdown();
        QCOMPARE(client->desktop().shownMessages(),
                 QStringList{QString::fromUtf8("サーバが応答しませんでしたので、そのまま終了します")});
        QVERIFY(readFile(dir.filePath(QStringLiteral("wezpsnl.dat"))).startsWith("sora\r\n"));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("weziplist.dat"))));
    }

    void busyPortIsReportedOnce()
    {
        QTcpServer holder;
        QVERIFY(holder.listen(loopback(4), 1200));
        QTemporaryDir dir;
        auto client = makeClient(dir.path(), 4);
        client->start();
        QVERIFY(client->desktop().messageWindow());
        QVERIFY(client->desktop().messageWindow()->text().contains(QStringLiteral("1200")));
        QCOMPARE(client->core().winsock3().state(), int(Endpoint::Listening));
        const QString portMessage = client->desktop().messageWindow()->text();
        // The watchdog's retries (every 2.1 s) neither replace the message with a failed
        // call that was never made nor keep the exit button grey.
        QVERIFY(waitFor([&] { return client->entranceWindow()->button(3)->isEnabled(); }));
        QVERIFY(holdsFor([&] { return client->desktop().messageWindow()->text() == portMessage; }, 2500));
        QCOMPARE(client->desktop().shownMessages().size(), 1);
        client->desktop().messageWindow()->close();
        QVERIFY(!client->core().listenOn(client->core().winsock1(), 1200));
        QVERIFY(!client->desktop().messageWindow());
    }

    void messageAndYesNoWindows()
    {
        UiDesktop desktop;
        desktop.showMessage(QStringLiteral("first"));
        desktop.showMessage(QStringLiteral("second"));
        QCOMPARE(shownWindows("Form10").size(), 1);
        QCOMPARE(desktop.messageWindow()->text(), QStringLiteral("second"));
        QCOMPARE(desktop.messageWindow()->windowTitle(), QStringLiteral("Wez ver 0.32 R1010"));

        auto answer = [&](void (*how)(YesNoWindow *)) {
            QTimer::singleShot(0, &desktop, [&desktop, how] { how(desktop.yesNoWindow()); });
            return desktop.askYesNo(QStringLiteral("続けますか？"));
        };
        QCOMPARE(answer(clienttest::answerYes), 1);
        QCOMPARE(answer(clienttest::answerNo), -1);
        QTRY_VERIFY_WITH_TIMEOUT(!desktop.yesNoWindow(), 5000);
        // The keys and the close box: test_dialogs.
    }

    void mailSettingsWindowStores()
    {
        QTemporaryDir dir;
        auto client = makeClient(dir.path(), 2);
        client->start();
        // While another command holds the user's attention the window waits, then opens.
        client->core().state().operationBusy = 1;
        client->entranceWindow()->menuItem(QStringLiteral("menuMail"))->trigger();
        QVERIFY(holdsFor([] { return shownWindows("Form9").isEmpty(); }, 300));
        client->core().state().operationBusy = 0;
        QVERIFY(waitFor([] { return !shownWindows("Form9").isEmpty(); }));
        QWidget *form9 = shownWindows("Form9").value(0);
        QTest::keyClicks(child<QLineEdit>(form9, "Text4"), QStringLiteral("user=1"));
        auto *password = child<QLineEdit>(form9, "Text5");
        QTest::keyClicks(password, QStringLiteral("abc"));
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QCOMPARE(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password),
                 int('*'));
        QTest::keyClicks(child<QLineEdit>(form9, "Text6"), QStringLiteral("1x2"));
        QCOMPARE(child<QLineEdit>(form9, "Text6")->text(), QStringLiteral("12"));
        child<QLineEdit>(form9, "Text6")->clear();
        click(form9, "Command1");
        QVERIFY(!form9->isVisible());
        QCOMPARE(client->core().state().mail.checkInterval, QStringLiteral("0"));
        QCOMPARE(
            readFile(dir.filePath(QStringLiteral("wezmail.ini"))),
            QByteArray(
                "[Adress]=\r\n[SMTP]=\r\n[POP3]=\r\n[Acount]=user=1\r\n[Password]=RST\r\n[Timer]=0\r\n"));
    }

    void trayHidesAndRestoresExactlyTheOpenWindows()
    {
        QTemporaryDir dir;
        auto client = makeClient(dir.path(), 2);
        client->start();
        QWidget chat, whiteboard, notices, closedPost;
        for (auto [n, w] : {std::pair{ChatWindow, &chat},
                            {WhiteboardWindow, &whiteboard},
                            {AdvertisementWindow, &notices},
                            {MessagePostWindow, &closedPost}}) {
            client->registry().add(n, w);
            w->show();
        }
        SharedState &s = client->core().state();
        s.setOpen(ChatWindow, true);
        s.setOpen(WhiteboardWindow, true);
        s.setOpen(AdvertisementWindow, true);
        closedPost.hide(); // registered once, closed since
        click(client->entranceWindow(), "Command5");
        // Without a tray the windows are minimised, so the user is never locked out.
        auto away = [](QWidget *w) { return !w->isVisible() || w->isMinimized(); };
        QVERIFY(away(client->entranceWindow()));
        QVERIFY(away(&chat) && away(&whiteboard));
        QVERIFY(!away(&notices)); // the advertisement page stays
        client->restoreFromTray();
        QVERIFY(!away(client->entranceWindow()) && !away(&chat) && !away(&whiteboard));
        QVERIFY(!closedPost.isVisible());
    }

    void terminationSignalRunsShutdown()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("wezpsnl.dat")), kPersonal);
        const QStringList args{QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--bind"),
                               loopback(5).toString()};
        QProcess wez;
        wez.start(QStringLiteral(WEZ_BINARY), args);
        QVERIFY(wez.waitForStarted());
        QVERIFY(waitFor([&] { return QFile::exists(dir.filePath(QStringLiteral("wez.lock"))); }, 10000));
        // A second copy on the same directory ends at once, silently, with status 0.
        QProcess second;
        second.start(QStringLiteral(WEZ_BINARY), args);
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
        QVERIFY(wez.state() == QProcess::Running);
        QFile::remove(dir.filePath(QStringLiteral("weziplist.dat")));
        wez.terminate();
        QVERIFY(wez.waitForFinished(10000));
        QCOMPARE(wez.exitStatus(), QProcess::NormalExit);
        QCOMPARE(wez.exitCode(), 0);
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("weziplist.dat"))));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
