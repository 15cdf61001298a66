#include "transfer/transferwindows.h"

#include "chat/chatwindow.h"
#include "transfer/filetransfer.h"
#include "transfer/progresswindow.h"

#include <QAction>

namespace transfer {

TransferWindows::TransferWindows(FileTransfer &transfer, SharedState &state, QObject *parent)
    : QObject(parent), m_transfer(transfer), m_state(state)
{
    connect(&transfer, &FileTransfer::progressOpened, this, &TransferWindows::openWindow);
    connect(&transfer, &FileTransfer::progressChanged, this, [this](const QString &text) {
        if (m_window) m_window->setText(text);
    });
    connect(&transfer, &FileTransfer::progressClosed, this, [this] { delete m_window.data(); });
    connect(&transfer, &FileTransfer::commandsEnabledChanged, this, [this](bool enabled) {
        if (m_chat) m_chat->setTransferCommandsEnabled(enabled);
    });
    connect(&transfer, &FileTransfer::statusTextChanged, this, [this](const QString &text) {
        if (m_chat) m_chat->setStatusText(text);
    });
    connect(&transfer, &FileTransfer::fileDialogShown, this, &TransferWindows::onFileDialog);
}

TransferWindows::~TransferWindows()
{
    delete m_window.data();
}

void TransferWindows::attach(ChatBoardWindow *chat)
{
    m_chat = chat;
    connect(chat->menuItem(QStringLiteral("menuFtne")), &QAction::triggered, &m_transfer,
            &FileTransfer::sendFile);
    QAction *receive = chat->menuItem(QStringLiteral("menuFrsv"));
    receive->setCheckable(true);
    receive->setChecked(m_transfer.receiveEnabled());
    connect(receive, &QAction::toggled, &m_transfer, &FileTransfer::setReceiveEnabled);
    connect(&m_transfer, &FileTransfer::receiveEnabledChanged, receive, &QAction::setChecked);
}

void TransferWindows::openWindow()
{
    // Form8 belongs to a chat window; without one there is nothing to sit beside.
    if (!m_chat) return;
    if (!m_window) m_window = new ProgressWindow(m_chat, m_state);
    m_window->setText(m_transfer.progressText());
    m_window->setFileName(m_transfer.fileName());
    m_window->show();
    Q_EMIT progressWindowOpened(m_window);
}

void TransferWindows::onFileDialog(bool shown)
{
    if (!m_chat) return;
    // A chat window kept on top would hide the dialog; it goes back on top after.
    if (shown) {
        m_chatWasOnTop = m_chat->alwaysOnTop();
        if (m_chatWasOnTop) m_chat->setTopMost(false);
    } else if (m_chatWasOnTop) {
        m_chat->setTopMost(true);
    }
}

} // namespace transfer
