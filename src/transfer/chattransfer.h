#pragma once
// The file transfer of one chat window: the chat's side of the transfer host
// (display, commands, check items, status label) over the window, and the
// controller that puts "ファイル転送" and "ファイルを受信する" to work.
#include "transfer/transferhost.h"

#include <QObject>
#include <QPointer>

class ChatBoardWindow;
class ClientCore;

namespace transfer {

class TransferController;

class ChatTransfer final : public QObject, public CoreTransferHost {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatTransfer)
public:
    // Lives until the chat window unloads, or, when the save dialog of a
    // finished reception is up then, until that reception is through.
    ChatTransfer(ClientCore &core, PeerLink &link, ChatBoardWindow *chatWindow, QObject *parent = nullptr);
    ~ChatTransfer() override;

    TransferController *controller() const { return m_controller; }

    void addChatLine(const QString &line) override;
    void setTransferCommandsEnabled(bool enabled) override;
    bool receiveEnabled() const override;
    bool alwaysOnTop() const override;
    void setTopMost(bool on) override;
    QString statusText() const override;
    void setStatusText(const QString &text) override;

Q_SIGNALS:
    // Form8 was created for a transfer.
    void progressWindowOpened(QWidget *window);

private:
    void onChatUnloading();

    QPointer<ChatBoardWindow> m_chat;
    QPointer<TransferController> m_controller;
};

} // namespace transfer
