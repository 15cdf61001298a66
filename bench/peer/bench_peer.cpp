// Chat line round trip between two clients in one process: A sends "con 900",
// B shows it and answers, the answer shows on A. The reference is a raw TCP
// ping-pong of the same bytes on the same loopback, measured in the same run.
#include "app/client.h"
#include "app/clientwindows.h"
#include "chat/chatwindow.h"
#include "peer/peerlink.h"
#include "shell/dialogs.h"
#include "shell/socket/cp932.h"
#include "testsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace testsupport;

namespace {
constexpr int kRounds = 200;

std::unique_ptr<Client> startClient(const QString &dir, int n, const QString &name)
{
    Options o;
    o.dataDir = dir;
    o.bindAddress = loopback(n);
    auto c = std::make_unique<Client>(o);
    c->desktop().setUrlOpener([](const QUrl &) {});
    c->start();
    c->core().entrance().setName(name);
    return c;
}

ClientWindows &windows(Client &c)
{
    return *c.windows();
}

void send(ChatBoardWindow *w, const QString &text)
{
    w->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(text);
    w->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
}

double chatRoundTrip()
{
    QTemporaryDir da, db;
    auto a = startClient(da.path(), 2, QStringLiteral("A"));
    auto b = startClient(db.path(), 3, QStringLiteral("B"));
    if (!waitFor([&] {
            return a->core().winsock1().state() == Endpoint::Listening &&
                   b->core().winsock1().state() == Endpoint::Listening;
        }))
        return -1;
    QObject::connect(&b->desktop(), &UiDesktop::yesNoShown, &b->desktop(), [&] {
        YesNoWindow *w = b->desktop().yesNoWindow();
        QTimer::singleShot(0, w, [w] { w->findChild<QPushButton *>(QStringLiteral("Command1"))->click(); });
    });
    a->core().entrance().setIpText(loopback(3).toString());
    a->entranceWindow()->button(2)->click();
    if (!waitFor([&] { return windows(*a).chatWindow() && windows(*b).chatWindow(); }, 10000)) return -1;

    // B answers each line as soon as it shows; A's loop wakes when the answer shows.
    QObject::connect(&windows(*b).link(), &PeerLink::messageReceived, b.get(), [&](const peer::Message &m) {
        if (m.head == QLatin1String("con 900"))
            QTimer::singleShot(0, b.get(), [&] { send(windows(*b).chatWindow(), QStringLiteral("pong")); });
    });
    QEventLoop loop;
    QObject::connect(&windows(*a).link(), &PeerLink::messageReceived, &loop, [&](const peer::Message &m) {
        if (m.head == QLatin1String("con 900")) QTimer::singleShot(0, &loop, &QEventLoop::quit);
    });
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < kRounds; ++i) {
        send(windows(*a).chatWindow(), QStringLiteral("ping"));
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const double ms = double(total.nsecsElapsed()) / 1e6 / kRounds;
    if (!windows(*a).chatWindow()->displayText().startsWith(QStringLiteral("B> pong"))) return -1;
    return ms;
}

double rawRoundTrip()
{
    QTcpServer server;
    if (!server.listen(loopback(4), 0)) return -1;
    QTcpSocket client;
    client.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    client.connectToHost(loopback(4), server.serverPort());
    if (!client.waitForConnected(3000) || !server.waitForNewConnection(3000)) return -1;
    QTcpSocket *peer = server.nextPendingConnection();
    peer->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const QByteArray ping = cp932::encode(QStringLiteral("con 900A> ping"));
    const QByteArray pong = cp932::encode(QStringLiteral("con 900B> pong"));
    QObject::connect(peer, &QTcpSocket::readyRead, peer, [&] {
        peer->readAll();
        peer->write(pong);
        peer->flush();
    });
    QEventLoop loop;
    QObject::connect(&client, &QTcpSocket::readyRead, &loop, [&] {
        client.readAll();
        loop.quit();
    });
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < kRounds; ++i) {
        client.write(ping);
        client.flush();
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return double(total.nsecsElapsed()) / 1e6 / kRounds;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const double reference = rawRoundTrip();
    const double value = chatRoundTrip();
    if (value < 0 || reference <= 0) {
        std::printf("bench: chat-roundtrip failed\n");
        return 1;
    }
    std::printf("bench: chat-roundtrip %.3f ms reference %.3f ms ratio %.2f\n", value, reference,
                value / reference);
    return 0;
}
