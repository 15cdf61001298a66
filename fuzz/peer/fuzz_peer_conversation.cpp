// The peer link's reactions driven by whoever is on the other end of port 1200:
// each input is one real loopback connection, ours (we called) or accepted (a
// caller dialled in), then a sequence of steps: a received chunk, the user's
// yes or no to a pending question, or a pass of the event loop.
//
// Checked after every step: no question is asked while one is open and none
// is asked by waiting; a chat opens only on the user's yes (accepted) or on
// "con 110" after our own request (ours); nothing of a chat (lines, boards,
// files, plug-in data, messages) reaches the user outside an open chat; at
// most one post per connection; the unread queue stays within its bound.
#include "peer/peerlink.h"
#include "shell/clientcore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <tuple>

namespace {

[[noreturn]] void violated(const char *what)
{
    std::fprintf(stderr, "invariant violated: %s\n", what);
    std::abort();
}

struct FuzzDesktop final : Desktop {
    std::function<void(int)> pending;
    int shownOutsideChat = 0;
    bool *chatOpen = nullptr;

    void showMessage(const QString &) override
    {
        if (!*chatOpen) ++shownOutsideChat;
    }
    int askYesNo(const QString &) override { violated("a question that waits"); }
    void askYesNoLater(const QString &, QObject *, std::function<void(int)> answered) override
    {
        if (pending) violated("a second question while one is open");
        pending = std::move(answered);
    }
    void withdrawQuestion() override
    {
        if (auto answered = std::exchange(pending, nullptr)) answered(-1);
    }
    void playSound(const QString &) override {}
    void openUrl(const QUrl &) override {}
    QString clipboardText() override { return {}; }
    void setClipboardText(const QString &) override
    {
        if (!*chatOpen) violated("plug-in data outside a chat");
    }
    void clearClipboard() override {}
    QString getSaveFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString getOpenFileName(const QString &, const QString &) override { return {}; }
};

// Watches what the link tells the rest of the client, as the windows would.
struct FuzzUi {
    bool chatOpen = false;
    bool chatAllowed = false; // set by the harness when consent was given
    int posts = 0;

    void watch(PeerLink &link)
    {
        QObject::connect(&link, &PeerLink::chatAccepted, [this] {
            if (!chatAllowed) violated("a chat opened without consent");
            chatOpen = true;
        });
        QObject::connect(&link, &PeerLink::partnerLeftChat, [this] { chatOpen = false; });
        QObject::connect(&link, &PeerLink::conversationFailed, [this] { chatOpen = false; });
        auto insideChat = [this](const char *what) {
            return [this, what] {
                if (!chatOpen) violated(what);
            };
        };
        QObject::connect(&link, &PeerLink::whiteboardOpenedByPartner,
                         insideChat("a whiteboard outside a chat"));
        QObject::connect(&link, &PeerLink::chatLineReceived, insideChat("a chat line outside a chat"));
        QObject::connect(&link, &PeerLink::fileOffered, insideChat("a file offer outside a chat"));
        QObject::connect(&link, &PeerLink::pluginDataReceived, insideChat("plug-in data outside a chat"));
        QObject::connect(&link, &PeerLink::postReceived, [this] {
            if (++posts > 1) violated("a second post on one connection");
        });
    }
};

struct Harness {
    QTemporaryDir dir;
    FuzzDesktop desktop;
    FuzzUi ui;
    // Addresses of their own, away from the ones the tests use.
    QHostAddress self{QStringLiteral("127.0.0.201")};
    QHostAddress partner{QStringLiteral("127.0.0.202")};
    ClientCore core{dir.path(), self, desktop};
    PeerLink link{core};
    QTcpServer partnerServer;

    Harness()
    {
        desktop.chatOpen = &ui.chatOpen;
        ui.watch(link);
        core.entrance().setName(QStringLiteral("fuzz"));
        // The link's own timers would only add noise between steps.
        link.timer1().stop();
        link.timer2().stop();
        if (!partnerServer.listen(partner, ClientCore::kPeerPort))
            violated("the partner's port 1200 cannot be taken");
    }
};

Harness *harness;

bool runUntil(const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 2000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    harness = new Harness;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) return 0;
    Harness &h = *harness;
    Endpoint &w1 = h.core.winsock1();
    w1.close();
    h.core.resetState();
    h.desktop.withdrawQuestion();
    h.desktop.shownOutsideChat = 0;
    h.ui = FuzzUi{};

    const bool ours = data[0] & 1;
    std::unique_ptr<QTcpSocket> far;
    if (ours) {
        h.core.entrance().setIpText(h.partner.toString());
        h.link.chatCommand();
        if (!runUntil([&] { return h.partnerServer.hasPendingConnections() && h.link.connected(); }))
            return 0;
        far.reset(h.partnerServer.nextPendingConnection());
    } else {
        if (!h.core.listenOn(w1, ClientCore::kPeerPort)) violated("port 1200 cannot be taken");
        far = std::make_unique<QTcpSocket>();
        far->bind(h.partner);
        far->connectToHost(h.self, ClientCore::kPeerPort);
        if (!runUntil([&] { return h.link.phase() == peer::Phase::Accepted; })) return 0;
    }

    // Consent as this harness sees it: ours needs "con 100" and then "con 110".
    bool helloSeen = false;
    size_t at = 1;
    const SharedState &st = h.core.state();
    while (at < size) {
        const uint8_t op = data[at++];
        const bool openBefore = h.ui.chatOpen;
        const auto transferBefore =
            std::make_tuple(st.recvFileName, st.recvLastBlock, st.peerReady, st.blockAck);
        switch (op % 4) {
        case 0:
        case 1: {
            const size_t length = std::min<size_t>(op / 4, size - at);
            const QByteArray chunk(reinterpret_cast<const char *>(data + at), qsizetype(length));
            at += length;
            if (ours && chunk.startsWith("con 100")) helloSeen = true;
            h.ui.chatAllowed = h.ui.chatOpen || (ours && helloSeen && chunk.startsWith("con 110"));
            h.link.receiveChunk(chunk);
            break;
        }
        case 2:
            if (auto answered = std::exchange(h.desktop.pending, nullptr)) {
                h.ui.chatAllowed = !ours && (op & 4);
                answered((op & 4) ? 1 : -1);
            }
            break;
        case 3:
            h.ui.chatAllowed = h.ui.chatOpen;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            break;
        }
        if (!openBefore &&
            transferBefore != std::make_tuple(st.recvFileName, st.recvLastBlock, st.peerReady, st.blockAck))
            violated("transfer state changed outside a chat");
        if (h.desktop.shownOutsideChat > 0) violated("a stranger's message shown outside a chat");
        if (h.link.queuedMessages() > peer::Receiver::kMaxQueuedChars)
            violated("the unread queue outgrew its bound");
    }
    far->abort();
    return 0;
}
