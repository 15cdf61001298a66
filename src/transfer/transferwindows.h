#pragma once
// The windows of the file transfer: the progress window Form8 at the chat
// window's corner, and the chat window's parts that drive the transfer or show
// its state: "ファイル転送", "ファイルを受信する", the status label, the
// commands that rest while data flows, and the topmost state during a dialog.
#include <QObject>
#include <QPointer>

class ChatBoardWindow;
class QWidget;
struct SharedState;

namespace transfer {

class FileTransfer;
class ProgressWindow;

class TransferWindows final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TransferWindows)
public:
    // `state` gets windowOpen(8) while Form8 exists.
    TransferWindows(FileTransfer &transfer, SharedState &state, QObject *parent = nullptr);
    ~TransferWindows() override;

    // A new chat window: from now on it drives and shows the transfer, and Form8 sits at its corner.
    void attach(ChatBoardWindow *chat);
    ProgressWindow *progressWindow() const { return m_window; }

Q_SIGNALS:
    // Form8 was shown for a transfer.
    void progressWindowOpened(QWidget *window);

private:
    void openWindow();
    void onFileDialog(bool shown);

    FileTransfer &m_transfer;
    SharedState &m_state;
    QPointer<ChatBoardWindow> m_chat;
    QPointer<ProgressWindow> m_window;
    bool m_chatWasOnTop = false;
};

} // namespace transfer
