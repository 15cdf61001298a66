#include "peer/peerwindows.h"

#include "chat/chatwindow.h"
#include "mail/messagepostwindow.h"
#include "peer/peerlink.h"
#include "shell/aboutbox.h"
#include "shell/advertisementwindow.h"
#include "shell/client.h"
#include "whiteboard/whiteboardwindow.h"

PeerWindows::PeerWindows(Client &client, QObject *parent)
    : QObject(parent), m_client(client), m_link(new PeerLink(client.core(), *this, this))
{
}

PeerWindows::~PeerWindows()
{
    delete m_whiteboard.data();
    delete m_chat.data();
    delete m_post.data();
    delete m_advertisement.data();
    delete m_about.data();
}

ChatBoardWindow *PeerWindows::loadChatWindow()
{
    if (m_chat) return m_chat;
    ChatBoardWindow::Hooks hooks;
    hooks.showWhiteboard = [this] { showWhiteboard(); };
    hooks.closeWhiteboard = [this] { closeWhiteboard(); };
    hooks.transferWindow = [this]() -> QWidget * {
        return m_client.core().state().isOpen(TransferWindow) ? m_client.window(TransferWindow) : nullptr;
    };
    hooks.forceQuit = [this] { m_client.shutdown(); };
    m_chat = new ChatBoardWindow(m_client.core(), *m_link, std::move(hooks));
    m_client.registerWindow(WindowNumber::ChatWindow, m_chat);
    Q_EMIT chatWindowCreated(m_chat);
    return m_chat;
}

void PeerWindows::showChatWindow()
{
    ChatBoardWindow *w = loadChatWindow();
    w->show();
    w->raise();
    w->activateWindow();
}

void PeerWindows::unloadChatWindow()
{
    if (m_chat) m_chat->unload();
}

bool PeerWindows::addChatLine(const QString &line)
{
    if (!m_chat) return false;
    m_chat->addLine(line);
    return true;
}

void PeerWindows::showWhiteboard()
{
    if (!m_whiteboard) {
        m_whiteboard = new whiteboard::WhiteboardWindow(m_link->whiteboardHost());
        m_client.registerWindow(WindowNumber::WhiteboardWindow, m_whiteboard);
    }
    m_whiteboard->show();
    m_whiteboard->raise();
}

void PeerWindows::closeWhiteboard()
{
    if (m_whiteboard) m_whiteboard->closeByPartner();
}

void PeerWindows::unloadTransferWindow()
{
    if (QWidget *w = m_client.window(TransferWindow)) w->close();
}

PostWindow *PeerWindows::loadMessagePostWindow()
{
    if (m_post) return m_post;
    m_post = new PostWindow(m_client.core(), *m_link);
    // A closed post window is on its way out; the next post gets a new one.
    connect(m_post, &PostWindow::closing, this, [this, w = m_post.data()] {
        if (m_post == w) m_post = nullptr;
    });
    m_client.registerWindow(WindowNumber::MessagePostWindow, m_post);
    Q_EMIT messagePostWindowCreated(m_post);
    return m_post;
}

void PeerWindows::showReceivedPost(const QString &text)
{
    loadMessagePostWindow()->showReceived(text);
}

void PeerWindows::openMessagePostWindow()
{
    PostWindow *w = loadMessagePostWindow();
    w->show();
    w->raise();
}

void PeerWindows::unloadMessagePostWindow()
{
    if (m_post) m_post->close();
}

QString PeerWindows::messagePostText() const
{
    return m_post ? m_post->text() : QString();
}

void PeerWindows::showNotice(const QString &text)
{
    if (!m_advertisement) {
        m_advertisement = new AdvertisementPage(m_client.core().state());
        m_client.registerWindow(WindowNumber::AdvertisementWindow, m_advertisement);
    }
    m_advertisement->addNotice(text);
    m_advertisement->show();
}

void PeerWindows::focusName()
{
    m_client.entranceWindow()->focusName();
}

void PeerWindows::focusIpBox()
{
    m_client.entranceWindow()->focusIpBox();
}

void PeerWindows::showAbout()
{
    if (!m_about) m_about = new AboutBox(m_client.desktop());
    m_about->show();
    m_about->raise();
}

void PeerWindows::openHomePage()
{
    m_client.desktop().openUrl(QUrl(AboutBox::kHomePage));
}
