#pragma once
// One file at a time between the two sides of a chat: the file commands, the
// data connection Winsock4 (port 1201), the receiving side's Timer1 and the
// clean-up routines. One per client, in the core: it hears the partner's file
// messages from the peer link, sends its own through it, writes its lines into
// the chat and keeps the few chat window settings it depends on, which the
// windows show and change. The offer, the connection and the end are driven
// by events and deadlines; the blocks themselves go to and fro on the data
// pump's thread, so neither the chat nor the transfer waits for the other.
// Progress is read from the pump once a frame.
#include "shell/socket/endpoint.h"
#include "transfer/datapump.h"
#include "transfer/transferprotocol.h"

#include <QFile>
#include <QObject>
#include <QTimer>

class ChatSession;
class ClientCore;
class PeerLink;

namespace transfer {

class FileTransfer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileTransfer)
public:
    enum class SendPhase { Idle, AwaitingReady, Connecting, StartPause, Sending, EndPause, AwaitingClose };

    inline static const QString kTempFileName = QStringLiteral("wezften.$$$");

    FileTransfer(ClientCore &core, PeerLink &link, ChatSession &chat, QObject *parent = nullptr);
    ~FileTransfer() override;

    // menuFtne: asks for a file and sends it.
    void sendFile();
    // From the peer link: the partner's "con 999" (as it came; a malformed
    // offer is ignored), "con 998", and "con 800" or "con 810".
    void offerReceived(const QString &offer);
    void readyReceived();
    void blockAnswered(bool ok);
    // The chat ends: everything stops without lines or messages; a partial file
    // is dropped, a file dialog that is still up starts nothing after, and the
    // settings below start afresh for the next chat. A finished reception whose
    // save dialog is up still saves the file when the user answers.
    void stop();

    SendPhase sendPhase() const { return m_phase; }
    bool receiving() const { return m_receiveStarted; }
    bool busy() const;
    QString progressText() const { return m_progress; }
    // The file on its way: the chosen one's name while sending, else the offered one's.
    QString fileName() const { return m_phase != SendPhase::Idle ? m_sendName : m_recvName; }
    // The data connection while it listens or connects; the pump takes it over for the blocks.
    Endpoint &winsock4() { return m_winsock4; }
    // Bytes the receiving side has read from the data connection in this reception.
    qint64 receivedBytes() const { return m_pump.bytesReceived(); }

    // "ファイルを受信する": an offer is taken only while this is on; on again
    // once the chat ends.
    bool receiveEnabled() const { return m_receiveEnabled; }
    void setReceiveEnabled(bool on);
    // Whiteboard, hang-up and file commands: off while a data connection is up.
    bool commandsEnabled() const { return m_commandsEnabled; }
    // The chat window's small status label: the size of a short read, and
    // "/Error!!" after a failed reception or save; cleared once the chat ends.
    QString statusText() const { return m_statusText; }

    // The fixed pauses and the quiet time after a short last block; the
    // benchmark sets the pauses to 0 to measure the transfer alone.
    void setPauseMs(int ms) { m_pauseMs = ms; }
    void setSettleMs(int ms) { m_limits.settleMs = ms; }

Q_SIGNALS:
    // Form8: shown, its text changed, unloaded.
    void progressOpened();
    void progressChanged(const QString &text);
    void progressClosed();
    // Both sides are back to idle (after success or abort).
    void finished();
    void receiveEnabledChanged(bool on);
    void commandsEnabledChanged(bool enabled);
    void statusTextChanged(const QString &text);
    // A file dialog of this transfer comes up (true) or went (false): a chat
    // window kept above the others steps back meanwhile, so as not to hide it.
    void fileDialogShown(bool shown);

private:
    // peerReady, blockAck or recvFileName changed; acting now saves waiting for the next tick.
    void peerStateChanged();

    // Sending side.
    void sendAbort();
    void onReady();
    void onDataConnected();
    void startBlocks();
    void finishSending();
    void sendDone();
    void closeSendFile();

    // Receiving side.
    void timer1Tick();
    void startReceive();
    void onConnectionRequest(qintptr requestId);
    void receiveAborted();
    void completeReceive();
    void receiveAbort(const QString &message);
    void closeReceiveFile(bool discard);
    bool saveReceived(const QString &target);

    void onClosed();
    void onError(int number, const QString &description);
    void onDeadline();
    void onFrame();
    void onPumpFinished(DataPump::Outcome outcome, int errorNumber);
    void resetFileTransfer();
    void setProgress(const QString &text);
    void setCommandsEnabled(bool enabled);
    void setStatusText(const QString &text);
    void addLine(const QString &line);
    QString ownName() const;
    QString partnerAddress() const;

    ClientCore &m_core;
    PeerLink &m_link;
    ChatSession &m_chat;
    Endpoint m_winsock4;
    QTimer m_timer1;
    QTimer m_deadline;
    QTimer m_pause;
    QTimer m_showProgress;
    // Reads the pump's progress while it runs.
    QTimer m_frame;
    int m_pauseMs = kPauseMs;
    DataPump::Limits m_limits;
    QString m_progress;
    bool m_progressOpen = false;
    // Counts the chats that ended: a dialog that outlived its chat starts nothing.
    quint64 m_chatsEnded = 0;
    bool m_receiveEnabled = true;
    bool m_commandsEnabled = true;
    QString m_statusText;

    SendPhase m_phase = SendPhase::Idle;
    QFile m_sendFile;
    QString m_sendName;
    qint64 m_sendFileSize = 0;
    qint64 m_sendLastBlock = -1;
    // The pump still holds the sending side's data connection.
    bool m_sendConnectionOpen = false;

    bool m_receiveStarted = false;
    bool m_receiveConnected = false;
    bool m_saving = false;
    QString m_recvName;
    qint64 m_recvLastBlock = -1;
    qint64 m_blockCount = 0;
    QFile m_recvFile;
    // Last, so it stops before the files it writes and reads go.
    DataPump m_pump;
};

} // namespace transfer
