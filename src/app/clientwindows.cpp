#include "app/clientwindows.h"

#include "app/coreclient.h"
#include "shell/entrancewindow.h"
#include "shell/uidesktop.h"
#include "shell/windowplacement.h"
#include "shell/windowregistry.h"

ClientWindows::ClientWindows(CoreClient &parts, UiDesktop &desktop, EntranceWindow &entrance,
                             WindowRegistry &registry, QObject *parent)
    : QObject(parent), m_parts(parts), m_desktop(desktop), m_entrance(&entrance), m_registry(registry)
{
    PeerLink &link = parts.link;
    connect(&parts.chat, &ChatSession::opened, this, &ClientWindows::showChatWindow);
    connect(&parts.board, &whiteboard::WhiteboardSession::showRequested, this,
            &ClientWindows::showWhiteboard);
    connect(&link, &PeerLink::conversationFailed, this, [this] {
        if (m_parts.core.state().isOpen(TransferWindow))
            if (QWidget *w = m_registry.window(TransferWindow)) w->close();
    });
    connect(&link, &PeerLink::postReceived, this, &ClientWindows::showReceivedPost);
    connect(&link, &PeerLink::postDelivered, this, &ClientWindows::unloadMessagePostWindow);
    connect(&link, &PeerLink::postWindowRequested, this, &ClientWindows::openMessagePostWindow);
    connect(&link, &PeerLink::postWindowDismissed, this, &ClientWindows::unloadMessagePostWindow);
    connect(&link, &PeerLink::noticeReceived, this, &ClientWindows::showNotice);
    connect(&link, &PeerLink::nameMissing, this, [this] {
        if (m_entrance) m_entrance->focusName();
    });
    connect(&link, &PeerLink::addressMissing, this, [this] {
        if (m_entrance) m_entrance->focusIpBox();
    });
    m_transferWindows = new transfer::TransferWindows(parts.transfer, parts.core.state(), this);
    connect(m_transferWindows, &transfer::TransferWindows::progressWindowOpened, this,
            [this](QWidget *form8) { m_registry.add(WindowNumber::TransferWindow, form8); });
}

ClientWindows::~ClientWindows()
{
    delete m_whiteboard.data();
    delete m_chat.data();
    delete m_post.data();
    delete m_advertisement.data();
    delete m_about.data();
}

PeerLink &ClientWindows::link()
{
    return m_parts.link;
}

void ClientWindows::showChatWindow()
{
    if (!m_chat) {
        ClientCore &core = m_parts.core;
        m_chat = new ChatBoardWindow(core, m_parts.chat, [this]() -> QWidget * {
            return m_parts.core.state().isOpen(TransferWindow) ? m_registry.window(TransferWindow) : nullptr;
        });
        m_registry.add(WindowNumber::ChatWindow, m_chat);
        m_transferWindows->attach(m_chat);
    }
    m_chat->show();
    m_chat->raise();
    m_chat->activateWindow();
}

void ClientWindows::showWhiteboard()
{
    if (!m_whiteboard) {
        m_whiteboard = new whiteboard::WhiteboardWindow(m_parts.board, m_desktop);
        m_registry.add(WindowNumber::WhiteboardWindow, m_whiteboard);
        // Back where it was last closed, as the chat window does.
        m_whiteboard->adjustSize();
        placement::moveTo(m_whiteboard, m_parts.core.state().whiteboardPosition);
    }
    m_whiteboard->show();
    m_whiteboard->raise();
}

PostWindow *ClientWindows::loadMessagePostWindow()
{
    if (m_post) return m_post;
    m_post = new PostWindow(m_parts.core, m_parts.link);
    // A closed post window is on its way out; the next post gets a new one.
    connect(m_post, &PostWindow::closing, this, [this, w = m_post.data()] {
        if (m_post == w) m_post = nullptr;
    });
    m_registry.add(WindowNumber::MessagePostWindow, m_post);
    Q_EMIT messagePostWindowCreated(m_post);
    return m_post;
}

void ClientWindows::showReceivedPost(const QString &text)
{
    loadMessagePostWindow()->showReceived(text);
}

void ClientWindows::openMessagePostWindow()
{
    PostWindow *w = loadMessagePostWindow();
    w->show();
    w->raise();
}

void ClientWindows::unloadMessagePostWindow()
{
    if (m_post) m_post->close();
}

void ClientWindows::showNotice(const QString &text)
{
    if (!m_advertisement) {
        m_advertisement = new AdvertisementPage(m_parts.core.state());
        m_registry.add(WindowNumber::AdvertisementWindow, m_advertisement);
    }
    m_advertisement->addNotice(text);
    m_advertisement->show();
}

void ClientWindows::showAbout()
{
    if (!m_about) m_about = new AboutBox(m_desktop);
    m_about->show();
    m_about->raise();
}

void ClientWindows::openHomePage()
{
    m_desktop.openUrl(QUrl(AboutBox::kHomePage));
}
