#pragma once
// One file at a time between the two sides of a chat: the chat window's file
// commands, its data connection Winsock4 (port 1201), the receiving side's
// Timer1 and the clean-up routines. Both sides are driven by events and
// deadlines, so the chat stays usable while a file travels.
#include "shell/socket/endpoint.h"
#include "transfer/blockassembler.h"
#include "transfer/transferprotocol.h"

#include <QFile>
#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace transfer {

class TransferHost;

class FileTransfer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileTransfer)
public:
    enum class SendPhase { Idle, AwaitingReady, Connecting, StartPause, Sending, EndPause, AwaitingClose };

    inline static const QString kTempFileName = QStringLiteral("wezften.$$$");

    explicit FileTransfer(TransferHost &host, QObject *parent = nullptr);
    ~FileTransfer() override;

    // menuFtne: asks for a file and sends it.
    void sendFile();
    // The peer protocol changed peerReady, blockAck or recvFileName; acting now
    // saves waiting for the next tick.
    void peerStateChanged();
    // The partner's "con 999" (as it came; a malformed offer is ignored),
    // "con 998", and "con 800" or "con 810".
    void offerReceived(const QString &offer);
    void readyReceived();
    void blockAnswered(bool ok);
    // The chat ends: everything stops without lines or messages; a partial file
    // is dropped. For good: a file dialog that is still up starts nothing after.
    void stop();
    // A file dialog of this transfer is up (its caller resumes when it returns).
    bool inDialog() const { return m_dialogs > 0; }

    SendPhase sendPhase() const { return m_phase; }
    bool receiving() const { return m_receiveStarted; }
    bool busy() const;
    QString progressText() const { return m_progress; }
    Endpoint &winsock4() { return m_winsock4; }

    // The fixed pauses and the quiet time after a short last block; the
    // benchmark sets the pauses to 0 to measure the transfer alone.
    void setPauseMs(int ms) { m_pauseMs = ms; }
    void setSettleMs(int ms) { m_settleMs = ms; }

Q_SIGNALS:
    // Form8: shown, its text changed, unloaded.
    void progressOpened();
    void progressChanged(const QString &text);
    void progressClosed();
    // Both sides are back to idle (after success or abort).
    void finished();

private:
    // Sending side.
    void sendAbort();
    void onReady();
    void onDataConnected();
    void startBlocks();
    void sendBlock(bool again);
    void onAnswer(int answer);
    void finishSending();
    void closeSendFile();

    // Receiving side.
    void timer1Tick();
    void startReceive();
    void onConnectionRequest(qintptr requestId);
    void onReceivedData();
    void onSettled();
    bool writeBlock(const QByteArray &block);
    void completeReceive();
    void receiveAbort(const QString &message);
    void closeReceiveFile(bool discard);
    bool saveReceived(const QString &target);

    void onClosed();
    void onError(int number, const QString &description);
    void onDeadline();
    void resetFileTransfer();
    void setProgress(const QString &text);
    QTcpSocket *dataSocket() const;
    void watchDataSocket();
    void flushData();

    TransferHost &m_host;
    Endpoint m_winsock4;
    QTimer m_timer1;
    QTimer m_deadline;
    QTimer m_pause;
    QTimer m_settle;
    QTimer m_showProgress;
    int m_pauseMs = kPauseMs;
    int m_settleMs = 150;
    QString m_progress;
    bool m_progressOpen = false;
    int m_dialogs = 0;
    bool m_stopped = false;

    SendPhase m_phase = SendPhase::Idle;
    QFile m_sendFile;
    QString m_sendName;
    qint64 m_sendFileSize = 0;
    qint64 m_sendLastBlock = -1;
    qint64 m_sendIndex = 0;
    QByteArray m_block;
    AnswerScanner m_answers;

    bool m_receiveStarted = false;
    bool m_receiveConnected = false;
    bool m_saving = false;
    QString m_recvName;
    qint64 m_recvLastBlock = -1;
    BlockAssembler m_assembler;
    qint64 m_blockCount = 0;
    QFile m_recvFile;
};

} // namespace transfer
