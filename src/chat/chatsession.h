#pragma once
// What the chat window does apart from showing it: sending lines and
// feelings, opening the whiteboard, the closing steps with the chat log, and
// the plug-in link through the clipboard.
#include <QObject>
#include <QString>

#include <functional>

class ClientCore;
class PeerLink;

class ChatSession final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatSession)
public:
    static constexpr int kWhiteboardCloseWaitMs = 20000;

    ChatSession(ClientCore &core, PeerLink &link, QObject *parent = nullptr);

    // The own line for `text`, sent when connected; empty when `text` is empty.
    QString sendLine(const QString &text);
    // Sends feeling `index` when connected; returns the own display's notice.
    QString sendFeeling(int index);
    // The whiteboard button: false while a file transfer runs. Otherwise the
    // partner is told and whiteboardState is 1; the caller shows the board.
    bool startWhiteboard();
    // Closing steps 4 to 9: the whiteboard handshake (ends when the partner
    // answers, the connection closes or after 20 seconds), "con 120", the
    // chat log. `closeWhiteboard` unloads the board without a handshake.
    void closingSteps(const QString &display, const std::function<void()> &closeWhiteboard);
    // The plug-in text on the clipboard goes to the partner; the clipboard is cleared.
    void pluginTick();

private:
    ClientCore &m_core;
    PeerLink &m_link;
};
