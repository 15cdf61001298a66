#pragma once
// The windows the peer link opens and closes: the chat window, the whiteboard,
// the message post window, the advertisement page and the About box. The file
// transfer finds the chat window here (chatWindowCreated, chatWindow()).
#include "chat/chatwindow.h"
#include "mail/messagepostwindow.h"
#include "peer/peerui.h"
#include "shell/aboutbox.h"
#include "shell/advertisementwindow.h"
#include "whiteboard/whiteboardwindow.h"

#include <QObject>
#include <QPointer>

class Client;
class PeerLink;

class PeerWindows final : public QObject, public PeerUi {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PeerWindows)
public:
    explicit PeerWindows(Client &client, QObject *parent = nullptr);
    ~PeerWindows() override;

    PeerLink &link() { return *m_link; }
    ChatBoardWindow *chatWindow() const { return m_chat; }
    PostWindow *messagePostWindow() const { return m_post; }
    AdvertisementPage *advertisementWindow() const { return m_advertisement; }
    whiteboard::WhiteboardWindow *whiteboardWindow() const { return m_whiteboard; }
    void showAbout();
    void openHomePage();

    void showChatWindow() override;
    void unloadChatWindow() override;
    bool addChatLine(const QString &line) override;
    void showWhiteboard() override;
    void closeWhiteboard() override;
    void unloadTransferWindow() override;
    void showReceivedPost(const QString &text) override;
    void openMessagePostWindow() override;
    void unloadMessagePostWindow() override;
    QString messagePostText() const override;
    void showNotice(const QString &text) override;
    void focusName() override;
    void focusIpBox() override;

Q_SIGNALS:
    void chatWindowCreated(ChatBoardWindow *window);
    void messagePostWindowCreated(PostWindow *window);

private:
    ChatBoardWindow *loadChatWindow();
    PostWindow *loadMessagePostWindow();

    Client &m_client;
    PeerLink *m_link;
    QPointer<ChatBoardWindow> m_chat;
    QPointer<PostWindow> m_post;
    QPointer<AdvertisementPage> m_advertisement;
    QPointer<whiteboard::WhiteboardWindow> m_whiteboard;
    QPointer<AboutBox> m_about;
};
