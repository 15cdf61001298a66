#include "transfer/chattransfer.h"

#include "chat/chatsession.h"
#include "chat/chatwindow.h"
#include "transfer/progresswindow.h"
#include "transfer/transfercontroller.h"

#include <QTimer>

namespace transfer {

ChatTransfer::ChatTransfer(ClientCore &core, PeerLink &link, ChatBoardWindow *chatWindow, QObject *parent)
    : QObject(parent), CoreTransferHost(core, link), m_chat(chatWindow)
{
    m_controller = new TransferController(chatWindow, *this);
    m_controller->attachMenus(chatWindow->menuItem(QStringLiteral("menuFtne")),
                              chatWindow->menuItem(QStringLiteral("menuFrsv")));
    // The controller made Form8 first (it connected before us).
    connect(&m_controller->transfer(), &FileTransfer::progressOpened, this, [this] {
        if (m_controller && m_controller->progressWindow())
            Q_EMIT progressWindowOpened(m_controller->progressWindow());
    });
    connect(chatWindow, &ChatBoardWindow::unloading, this, &ChatTransfer::onChatUnloading);
}

ChatTransfer::~ChatTransfer()
{
    // The controller stops the transfer, which still talks to this host.
    delete m_controller.data();
}

void ChatTransfer::onChatUnloading()
{
    // The window is being destroyed: nothing may reach it any more.
    m_chat = nullptr;
    if (!m_controller) return;
    FileTransfer &t = m_controller->transfer();
    t.stop();
    if (!t.inDialog()) {
        delete m_controller.data();
        deleteLater();
        return;
    }
    // A file dialog is up and its caller resumes in the transfer when it
    // returns (a finished reception still saves its file): keep the transfer
    // until then, without the window.
    m_controller->setParent(this);
    auto *wait = new QTimer(this);
    connect(wait, &QTimer::timeout, this, [this, &t] {
        if (!t.inDialog() && !t.busy()) deleteLater();
    });
    wait->start(100);
}

void ChatTransfer::addChatLine(const QString &line)
{
    if (m_chat) m_chat->session().addLine(line);
}

void ChatTransfer::setTransferCommandsEnabled(bool enabled)
{
    if (m_chat) m_chat->setTransferCommandsEnabled(enabled);
}

bool ChatTransfer::receiveEnabled() const
{
    return m_chat && m_chat->receiveEnabled();
}

bool ChatTransfer::alwaysOnTop() const
{
    return m_chat && m_chat->alwaysOnTop();
}

void ChatTransfer::setTopMost(bool on)
{
    if (m_chat) m_chat->setTopMost(on);
}

QString ChatTransfer::statusText() const
{
    return m_chat ? m_chat->statusText() : QString();
}

void ChatTransfer::setStatusText(const QString &text)
{
    if (m_chat) m_chat->setStatusText(text);
}

} // namespace transfer
