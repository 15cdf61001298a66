#pragma once
// The windows of a conversation, opened and closed as the core asks: the chat
// window (with its file transfer), the whiteboard, the message post window,
// the advertisement page and the About box.
#include "chat/chatwindow.h"
#include "mail/messagepostwindow.h"
#include "shell/aboutbox.h"
#include "shell/advertisementwindow.h"
#include "transfer/progresswindow.h"
#include "transfer/transferwindows.h"
#include "whiteboard/whiteboardwindow.h"

#include <QObject>
#include <QPointer>

#include <functional>

class CoreClient;
class EntranceWindow;
class PeerLink;
class UiDesktop;
class WindowRegistry;

class ClientWindows final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ClientWindows)
public:
    ClientWindows(CoreClient &parts, UiDesktop &desktop, EntranceWindow &entrance, WindowRegistry &registry,
                  QObject *parent = nullptr);
    ~ClientWindows() override;

    PeerLink &link();
    ChatBoardWindow *chatWindow() const { return m_chat; }
    transfer::TransferWindows *transferWindows() const { return m_transferWindows; }
    PostWindow *messagePostWindow() const { return m_post; }
    AdvertisementPage *advertisementWindow() const { return m_advertisement; }
    whiteboard::WhiteboardWindow *whiteboardWindow() const { return m_whiteboard; }
    void showAbout();
    void openHomePage();

    void showChatWindow();
    void showWhiteboard();
    // Form5: a received post, newest first, button "OK", text locked.
    void showReceivedPost(const QString &text);
    void openMessagePostWindow();
    void unloadMessagePostWindow();
    // Form7: a notice, newest first.
    void showNotice(const QString &text);

Q_SIGNALS:
    void messagePostWindowCreated(PostWindow *window);

private:
    PostWindow *loadMessagePostWindow();

    CoreClient &m_parts;
    UiDesktop &m_desktop;
    QPointer<EntranceWindow> m_entrance;
    WindowRegistry &m_registry;
    QPointer<ChatBoardWindow> m_chat;
    transfer::TransferWindows *m_transferWindows = nullptr;
    QPointer<PostWindow> m_post;
    QPointer<AdvertisementPage> m_advertisement;
    QPointer<whiteboard::WhiteboardWindow> m_whiteboard;
    QPointer<AboutBox> m_about;
};
