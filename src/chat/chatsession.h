#pragma once
// One chat with the partner, without its window: the transcript (newest line
// first), sending lines and feelings, opening the whiteboard, the plug-in
// link through the clipboard, and the hang-up with its closing steps and the
// chat log. It lives as long as the client; the chat window shows it.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class ClientCore;
class PeerLink;
namespace whiteboard {
class WhiteboardSession;
}

class ChatSession final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatSession)
public:
    static constexpr int kWhiteboardCloseWaitMs = 20000;
    // After 接続を切る the partner's goodbye is awaited this long; then the chat is over anyway.
    static constexpr int kHangUpWaitMs = 10000;
    inline static const QString kPartnerLeftLine = QStringLiteral("（相手との接続が切れました）");

    ChatSession(ClientCore &core, PeerLink &link, whiteboard::WhiteboardSession &board,
                QObject *parent = nullptr);

    // A chat is open and has not been hung up.
    bool isOpen() const;
    // From the chat's start until it finished: its window is loaded.
    bool isActive() const { return m_active; }
    // Lines, each ended by CR LF, newest first, at most textcap::kMaxKeptChars.
    QString transcript() const;
    // The same lines one by one, each with its CR LF.
    const QStringList &lines() const { return m_lines; }
    // Puts a line on top of the transcript, cut to the line cap.
    void addLine(const QString &line);

    // The own line for `text`, sent when connected and put on the transcript; empty when `text` is empty.
    QString sendLine(const QString &text);
    // Sends feeling `index` when connected and puts its notice on the transcript.
    void sendFeeling(int index);
    // The whiteboard button: false while a file transfer runs. Otherwise the
    // partner is told and the board opens.
    bool startWhiteboard();
    // The plug-in text on the clipboard goes to the partner; the clipboard is cleared.
    void pluginTick();

    // 接続を切る: the closing steps: the whiteboard handshake (ends when the
    // partner answers, the connection closes or after 20 seconds), "con 120",
    // the chat log. Never inside itself.
    void hangUp();
    // The window closes, the partner left or the connection failed: the
    // closing steps run once more (unless they are running) and the chat is over.
    void close();
    // The user's 接続を切る and the user's close of the chat window: a board
    // with drawing no file holds is asked about first. False: the user kept
    // the board, and the chat goes on.
    bool hangUpByUser();
    bool closeByUser();
    // The user ends the program at once: the connections drop without closing steps.
    void forceQuit();
    // A shorter wait for the partner's goodbye, for tests.
    void setHangUpWaitMs(int ms) { m_hangUpWait.setInterval(ms); }

Q_SIGNALS:
    // A chat began: the window shows an empty transcript.
    void opened();
    void lineAdded(const QString &line);
    // The closing steps begin: the commands go grey.
    void hangingUp();
    // The chat is over (the partner left or the connection failed): the window goes.
    void finished();
    // forceQuit(): the program ends.
    void quitRequested();

private:
    void open();
    // The board is open with drawing the user wants to keep.
    bool boardKept();

    ClientCore &m_core;
    PeerLink &m_link;
    whiteboard::WhiteboardSession &m_board;
    // A line costs its own length: no copy of the history per line.
    QStringList m_lines;
    qsizetype m_size = 0;
    QTimer m_hangUpWait;
    bool m_active = false;
    bool m_hangingUp = false;
};
