#pragma once
// What a file transfer needs from the chat it runs in: the shared state, the
// desktop (file dialogs, messages), the chat display, the peer connection
// that carries the offer and the readiness, and the chat window's commands.
// The chat window implements it; tests answer it.
#include "shell/desktop.h"
#include "shell/sharedstate.h"

#include <QHostAddress>
#include <QString>

class ClientCore;
class PeerLink;

namespace transfer {

class TransferHost {
public:
    virtual ~TransferHost() = default;

    virtual SharedState &state() = 0;
    virtual Desktop &desktop() = 0;
    // A file of the program's directory (the temporary file lives there).
    virtual QString dataPath(const QString &fileName) const = 0;
    // Local address of the data connection (null: any).
    virtual QHostAddress bindAddress() const = 0;
    // The user's name as the entrance window shows it.
    virtual QString ownName() const = 0;

    // The peer control connection.
    virtual bool controlConnected() const = 0;
    virtual void sendControl(const QString &message) = 0;
    virtual QString partnerAddress() const = 0;

    // Puts a line at the top of the chat display.
    virtual void addChatLine(const QString &line) = 0;
    // Command2, Command3, menuWhiteBoard, menuFtne and menuClose together.
    virtual void setTransferCommandsEnabled(bool enabled) = 0;
    // menuFrsv ("ファイルを受信する") is checked.
    virtual bool receiveEnabled() const = 0;
    // menuAllTop is checked, and the chat window's topmost state.
    virtual bool alwaysOnTop() const = 0;
    virtual void setTopMost(bool on) = 0;
    // The chat window's small status label Label1.
    virtual QString statusText() const = 0;
    virtual void setStatusText(const QString &text) = 0;
};

// The parts every client answers the same way, from its core: shared state,
// desktop, data directory, bind address, own name and the peer link. A chat
// window derives from it and adds its own parts.
class CoreTransferHost : public TransferHost {
public:
    CoreTransferHost(ClientCore &core, PeerLink &link) : m_core(core), m_link(link) {}

    SharedState &state() override;
    Desktop &desktop() override;
    QString dataPath(const QString &fileName) const override;
    QHostAddress bindAddress() const override;
    QString ownName() const override;
    bool controlConnected() const override;
    void sendControl(const QString &message) override;
    QString partnerAddress() const override;

protected:
    ClientCore &m_core;
    PeerLink &m_link;
};

} // namespace transfer
