// A whole client and its desktop: a second copy on the same data directory
// brings the first to the front and ends silently, strangers on that channel
// change nothing, and the windows' activity decides what is notified.
#include "clienthelpers.h"

#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

using namespace testsupport;
using clienttest::startClient;

namespace {

bool away(QWidget *w)
{
    return !w->isVisible() || w->isMinimized();
}

// A raw connection to the client's channel that sends `bytes`.
std::unique_ptr<QLocalSocket> stranger(const QString &path, const QByteArray &bytes)
{
    auto s = std::make_unique<QLocalSocket>();
    s->connectToServer(path);
    if (!s->waitForConnected(2000)) return nullptr;
    s->write(bytes);
    s->flush();
    return s;
}

} // namespace

class TestFront : public QObject {
    Q_OBJECT
    // The session's private runtime directory, shared with the second copy as a desktop session does.
    QTemporaryDir m_runtime;

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path())); }

    void secondCopyRaisesTheFirst()
    {
        QTemporaryDir dir;
        auto client = startClient(dir.path(), 2, QStringLiteral("sora"));
        QSignalSpy raised(&client->instanceChannel(), &InstanceChannel::raiseRequested);
        client->hideToTray();
        QVERIFY(away(client->entranceWindow()));

        // The second copy names the same directory by another path.
        QProcess second;
        second.start(QStringLiteral(WEZ_BINARY),
                     {QStringLiteral("--data-dir"), dir.path() + QStringLiteral("/./"),
                      QStringLiteral("--bind"), loopback(3).toString()});
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
        QCOMPARE(second.readAllStandardError(), QByteArray());
        QVERIFY(waitFor([&] { return raised.count() == 1; }));
        QVERIFY(!away(client->entranceWindow()));
    }

    void strangersOnTheChannelChangeNothing()
    {
        QTemporaryDir dir;
        // A socket left by a copy that died is in the way; the new copy takes its place.
        const QString path = InstanceChannel::socketPath(dir.path());
        QVERIFY(!path.isEmpty());
        QVERIFY(writeFile(path, "stale"));
        auto client = startClient(dir.path(), 4, QStringLiteral("sora"));
        InstanceChannel &channel = client->instanceChannel();
        QVERIFY(channel.isListening());
        QSignalSpy raised(&channel, &InstanceChannel::raiseRequested);

        std::vector<std::unique_ptr<QLocalSocket>> crowd;
        crowd.push_back(stranger(path, QByteArray(1 << 20, 'x')));
        crowd.push_back(stranger(path, QByteArray("wez raise 2\n")));
        crowd.push_back(stranger(path, QByteArray("wez raise 1 ") + QByteArray(1 << 16, 'y')));
        crowd.push_back(stranger(path, QByteArray("wez ")));
        for (int i = 0; i < 2 * InstanceChannel::kMaxConnections; ++i)
            crowd.push_back(stranger(path, QByteArray()));
        for (const auto &s : crowd)
            QVERIFY(s);
        QVERIFY(holdsFor([&] { return channel.openConnections() <= InstanceChannel::kMaxConnections; }, 300));
        // Silent and half-said connections run out of time; none of them raised anything.
        QVERIFY(waitFor([&] { return channel.openConnections() == 0; }));
        QCOMPARE(raised.count(), 0);

        // The line in pieces still counts, and the channel still answers.
        auto halves = stranger(path, "wez ra");
        QVERIFY(halves);
        QVERIFY(holdsFor([&] { return raised.count() == 0; }, 100));
        halves->write("ise 1\n");
        QVERIFY(waitFor([&] { return raised.count() == 1; }));
        QVERIFY(InstanceChannel::requestRaise(dir.path()));
        QVERIFY(waitFor([&] { return raised.count() == 2; }));

        client->shutdown();
        QVERIFY(!QFile::exists(path));
        QVERIFY(!InstanceChannel::requestRaise(dir.path()));
    }

    void activeWindowsDecideWhatIsNotified()
    {
        QTemporaryDir dirA, dirB;
        auto a = startClient(dirA.path(), 5, QString::fromUtf8("太郎"));
        auto b = startClient(dirB.path(), 6, QString::fromUtf8("花子"));
        QCOMPARE(b->desktop().trayToolTip(),
                 QString::fromUtf8("wez Entrance - 花子（%1）\n待ち受け中").arg(loopback(6).toString()));
        b->hideToTray();
        QVERIFY(clienttest::startChat(*a, *b));
        const QStringList first = b->desktop().notifications();
        QCOMPARE(first.size(), 1);
        QVERIFY(first[0].startsWith(QString::fromUtf8("接続要求: 「太郎」さん")));
        // The chat window opened in front; the user goes back to the tray.
        b->hideToTray();

        a->parts().chat.sendLine(QStringLiteral("one"));
        QVERIFY(waitFor([&] { return b->desktop().notifications().size() == 2; }));
        QCOMPARE(b->desktop().notifications().last(), QString::fromUtf8("チャット: 太郎> one"));

        // The user comes back to the chat window: its lines are seen there.
        QWidget *chat = clienttest::windows(*b).chatWindow();
        chat->showNormal();
        QApplication::setActiveWindow(chat);
        QVERIFY(waitFor([&] { return chat->isActiveWindow(); }));
        QVERIFY(b->desktop().isWindowActive(ChatWindow));
        a->parts().chat.sendLine(QStringLiteral("two"));
        QVERIFY(waitFor([&] { return clienttest::display(*b).startsWith(QString::fromUtf8("太郎> two")); }));
        QCOMPARE(b->desktop().notifications().size(), 2);
    }
};

QTEST_MAIN(TestFront)
#include "test_front.moc"
