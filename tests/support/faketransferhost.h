#pragma once
// A stand-in for a chat around the file transfer: shared state, the recording
// desktop, a chat display and a peer connection handed straight to the
// partner's stand-in, which reacts to the transfer messages the way the peer
// protocol does.
#include "fakedesktop.h"
#include "transfer/filetransfer.h"
#include "transfer/transferhost.h"

#include <QDir>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class FakeTransferHost final : public transfer::TransferHost {
public:
    SharedState shared;
    FakeDesktop desk;
    QString dir;
    QHostAddress bind;
    QString name = QStringLiteral("me");
    QString partner;
    bool connected = true;
    bool frsv = true;
    bool allTop = false;
    bool commandsEnabled = true;
    QString status;
    QStringList lines;
    QStringList controlSent;
    FakeTransferHost *partnerHost = nullptr;
    QPointer<transfer::FileTransfer> transfer;
    QObject context;

    SharedState &state() override { return shared; }
    Desktop &desktop() override { return desk; }
    QString dataPath(const QString &fileName) const override { return QDir(dir).filePath(fileName); }
    QHostAddress bindAddress() const override { return bind; }
    QString ownName() const override { return name; }
    bool controlConnected() const override { return connected; }
    void sendControl(const QString &message) override
    {
        if (!connected) return;
        controlSent << message;
        if (FakeTransferHost *p = partnerHost)
            QTimer::singleShot(0, &p->context, [p, message] { p->receiveControl(message); });
    }
    QString partnerAddress() const override { return partner; }
    void addChatLine(const QString &line) override { lines.prepend(line); }
    void setTransferCommandsEnabled(bool enabled) override { commandsEnabled = enabled; }
    bool receiveEnabled() const override { return frsv; }
    bool alwaysOnTop() const override { return allTop; }
    void setTopMost(bool) override {}
    QString statusText() const override { return status; }
    void setStatusText(const QString &text) override { status = text; }

    // What the peer protocol does with the transfer messages.
    void receiveControl(const QString &message)
    {
        const QString head = message.left(7);
        if (head == QLatin1String("con 999")) {
            if (auto offer = transfer::parseOffer(message.mid(7))) {
                shared.recvFileName = offer->name;
                shared.recvLastBlock = offer->lastBlock;
            }
        } else if (head == QLatin1String("con 998")) {
            shared.peerReady = 1;
        } else if (head == QLatin1String("con 800")) {
            shared.blockAck = 1;
        } else if (head == QLatin1String("con 810")) {
            shared.blockAck = -1;
        }
        if (transfer) transfer->peerStateChanged();
    }
};
