#pragma once
// What the peer link asks of the windows. The client's windows implement it;
// tests may answer it themselves.
#include <QString>

class PeerUi {
public:
    virtual ~PeerUi() = default;

    // Form3: loads it if needed and shows it.
    virtual void showChatWindow() = 0;
    // Runs the chat window's closing steps and unloads it; nothing when it is not loaded.
    virtual void unloadChatWindow() = 0;
    // Puts a line at the top of the chat display; false when no chat window is loaded.
    virtual bool addChatLine(const QString &line) = 0;
    // Form4, opened by the partner.
    virtual void showWhiteboard() = 0;
    // Form4 closed without asking and without a handshake.
    virtual void closeWhiteboard() = 0;
    // Form8.
    virtual void unloadTransferWindow() = 0;
    // Form5: a received post, newest first, button "OK", text locked.
    virtual void showReceivedPost(const QString &text) = 0;
    virtual void openMessagePostWindow() = 0;
    virtual void unloadMessagePostWindow() = 0;
    // The text of the post being written.
    virtual QString messagePostText() const = 0;
    // Form7: a notice, newest first.
    virtual void showNotice(const QString &text) = 0;
    virtual void focusName() = 0;
    virtual void focusIpBox() = 0;
};
