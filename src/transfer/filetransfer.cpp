#include "transfer/filetransfer.h"

#include "chat/chatsession.h"
#include "peer/peerlink.h"
#include "shell/clientcore.h"

#include <QFileInfo>
#include <QSaveFile>

#include <filesystem>

namespace transfer {

namespace {
constexpr int kTickMs = 100;
// Progress is shown at most once a frame, however fast the blocks go.
constexpr int kFrameMs = 16;

const QString kCrLf = QStringLiteral("\r\n");

QString busyText()
{
    return QStringLiteral("ファイル転送中に続けてファイルを転送することはできません");
}

QString socketErrorText(int number, const QString &description)
{
    return QStringLiteral("Code:") + QString::number(number) + QStringLiteral(" = ") + description + kCrLf +
           kCrLf + QStringLiteral("接続できませんでした。しばらくしてから接続してください");
}

QString allFilesFilter()
{
    return QStringLiteral("すべてのファイル (*)");
}

QString unreadableText()
{
    return QStringLiteral("ファイルを読み込めませんでした");
}

QString unwritableText()
{
    return QStringLiteral("受信したファイルを書き込めませんでした。") + kCrLf +
           QStringLiteral("ディスクの空きと書き込み権限を確かめてください");
}
} // namespace

FileTransfer::FileTransfer(ClientCore &core, PeerLink &link, ChatSession &chat, QObject *parent)
    : QObject(parent), m_core(core), m_link(link), m_chat(chat),
      m_winsock4(QStringLiteral("Winsock4"), core.bindAddress(), this)
{
    // Timer1 runs while a chat is open, as its window did.
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(kTickMs);
    connect(&m_timer1, &QTimer::timeout, this, &FileTransfer::timer1Tick);
    connect(&chat, &ChatSession::opened, &m_timer1, qOverload<>(&QTimer::start));
    connect(&chat, &ChatSession::finished, this, &FileTransfer::stop);
    connect(&link, &PeerLink::fileOffered, this, &FileTransfer::offerReceived);
    connect(&link, &PeerLink::fileReady, this, &FileTransfer::readyReceived);
    connect(&link, &PeerLink::blockAnswered, this, &FileTransfer::blockAnswered);

    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &FileTransfer::onDeadline);
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, [this] {
        if (m_phase == SendPhase::StartPause)
            startBlocks();
        else if (m_phase == SendPhase::EndPause) {
            // The receiver closes the data connection; its close finishes this side.
            closeSendFile();
            m_phase = SendPhase::AwaitingClose;
            if (!m_sendConnectionOpen) sendDone();
        }
    });
    m_frame.setInterval(kFrameMs);
    connect(&m_frame, &QTimer::timeout, this, &FileTransfer::onFrame);
    connect(&m_pump, &DataPump::allAnswered, this, &FileTransfer::finishSending);
    connect(&m_pump, &DataPump::finished, this, &FileTransfer::onPumpFinished);
    m_showProgress.setSingleShot(true);
    connect(&m_showProgress, &QTimer::timeout, this, [this] {
        if (m_receiveStarted) setProgress(QStringLiteral("転送率：0%"));
    });

    connect(&m_winsock4, &Endpoint::connected, this, &FileTransfer::onDataConnected);
    connect(&m_winsock4, &Endpoint::connectionRequest, this, &FileTransfer::onConnectionRequest);
    // Until the pump takes the connection over, nothing is expected on it.
    connect(&m_winsock4, &Endpoint::dataArrival, this, [this] { m_winsock4.getBytes(); });
    connect(&m_winsock4, &Endpoint::closed, this, &FileTransfer::onClosed);
    connect(&m_winsock4, &Endpoint::error, this, &FileTransfer::onError);
}

FileTransfer::~FileTransfer()
{
    m_pump.stop();
    closeReceiveFile(!m_saving);
}

bool FileTransfer::busy() const
{
    return m_core.state().transferActive == 1 || m_phase != SendPhase::Idle || m_receiveStarted || m_saving;
}

void FileTransfer::setProgress(const QString &text)
{
    if (!m_progressOpen) {
        m_progressOpen = true;
        m_progress = text;
        Q_EMIT progressOpened();
    } else if (text == m_progress) {
        return;
    }
    m_progress = text;
    Q_EMIT progressChanged(text);
}

void FileTransfer::setReceiveEnabled(bool on)
{
    if (m_receiveEnabled == on) return;
    m_receiveEnabled = on;
    Q_EMIT receiveEnabledChanged(on);
}

void FileTransfer::setCommandsEnabled(bool enabled)
{
    if (m_commandsEnabled == enabled) return;
    m_commandsEnabled = enabled;
    Q_EMIT commandsEnabledChanged(enabled);
}

void FileTransfer::setStatusText(const QString &text)
{
    // A reception that outlived its chat leaves no mark on the next one.
    if (!m_chat.isActive() || m_statusText == text) return;
    m_statusText = text;
    Q_EMIT statusTextChanged(text);
}

void FileTransfer::addLine(const QString &line)
{
    if (m_chat.isActive()) m_chat.addLine(line);
}

QString FileTransfer::ownName() const
{
    return m_core.entrance().name();
}

QString FileTransfer::partnerAddress() const
{
    return m_core.winsock1().remoteHostIP();
}

// ---------------------------------------------------------------- sending side

void FileTransfer::sendFile()
{
    SharedState &state = m_core.state();
    if (busy()) {
        m_core.desktop().showMessage(busyText());
        return;
    }
    state.recvFileName.clear();

    const quint64 chat = m_chatsEnded;
    Q_EMIT fileDialogShown(true);
    state.operationBusy = 1;
    const QString path = m_core.desktop().getOpenFileName(QStringLiteral("ファイル転送"), allFilesFilter());
    state.operationBusy = 0;
    if (chat != m_chatsEnded) return; // the chat ended while the dialog was up
    Q_EMIT fileDialogShown(false);
    if (path.isEmpty()) return;
    // The dialog ran events: an offer may have started a reception meanwhile.
    if (busy()) {
        m_core.desktop().showMessage(busyText());
        return;
    }

    m_sendName = QFileInfo(path).fileName();
    m_sendFile.setFileName(path);
    // Unbuffered: the pump reads its descriptor from the start.
    if (!m_sendFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ||
        m_sendFile.size() > qint64(kBlockSize) * INT32_MAX) {
        m_core.desktop().showMessage(unreadableText());
        m_phase = SendPhase::AwaitingReady; // so the abort line names this file
        sendAbort();
        return;
    }
    m_sendFileSize = m_sendFile.size();
    m_sendLastBlock = lastBlockIndex(m_sendFileSize);

    // A readiness left from an earlier offer must not start this one.
    state.peerReady = 0;
    m_link.send(offerMessage(m_sendName, m_sendLastBlock));
    m_phase = SendPhase::AwaitingReady;
    m_deadline.start(kAnswerLimitMs);
}

void FileTransfer::offerReceived(const QString &offer)
{
    const auto parsed = parseOffer(offer);
    if (!parsed) return;
    SharedState &s = m_core.state();
    s.recvFileName = parsed->name;
    s.recvLastBlock = parsed->lastBlock;
    peerStateChanged();
}

void FileTransfer::readyReceived()
{
    m_core.state().peerReady = 1;
    peerStateChanged();
}

void FileTransfer::blockAnswered(bool ok)
{
    // Also taken over the peer connection, for the block in flight.
    m_core.state().blockAck = ok ? 1 : -1;
    if (m_phase == SendPhase::Sending) m_pump.answer(ok);
}

void FileTransfer::peerStateChanged()
{
    SharedState &state = m_core.state();
    if (m_phase == SendPhase::AwaitingReady && state.peerReady == 1)
        onReady();
    else if (m_phase == SendPhase::Idle && !m_receiveStarted && !state.recvFileName.isEmpty())
        timer1Tick();
}

void FileTransfer::onReady()
{
    m_core.state().peerReady = 0;
    m_winsock4.close();
    m_winsock4.setLocalPort(0);
    m_phase = SendPhase::Connecting;
    m_deadline.start(kAnswerLimitMs);
    m_winsock4.connectToHost(partnerAddress(), kDataPort);
}

void FileTransfer::onDataConnected()
{
    if (m_phase != SendPhase::Connecting) return;
    m_deadline.stop();
    m_core.state().transferActive = 1;
    setCommandsEnabled(false);
    m_phase = SendPhase::StartPause;
    m_pause.start(m_pauseMs);
}

void FileTransfer::startBlocks()
{
    setProgress(QStringLiteral("転送率：0%"));
    addLine(ownName() + QStringLiteral("> ") + m_sendName + QStringLiteral("を転送します"));
    m_core.state().receivingSide = 0;
    QByteArray early; // nothing the receiver says before the first block is an answer to it
    const int socket = m_winsock4.takeConnection(early);
    if (socket < 0) {
        // An empty file is complete as soon as the receiver took the connection.
        if (m_sendLastBlock >= 0) {
            sendAbort();
            return;
        }
        finishSending();
        return;
    }
    m_phase = SendPhase::Sending;
    m_sendConnectionOpen = true;
    m_pump.startSending(socket, m_sendFile.handle(), m_sendFileSize, m_limits);
    m_frame.start();
}

// Every block is answered.
void FileTransfer::finishSending()
{
    m_deadline.stop();
    onFrame();
    addLine(ownName() + QStringLiteral("> ") + m_sendName + QStringLiteral("を転送しました"));
    m_phase = SendPhase::EndPause;
    m_pause.start(m_pauseMs);
}

void FileTransfer::sendDone()
{
    m_pause.stop();
    closeSendFile();
    m_phase = SendPhase::Idle;
    resetFileTransfer();
}

void FileTransfer::closeSendFile()
{
    m_core.state().blockAck = 0;
    m_sendFile.close();
}

void FileTransfer::sendAbort()
{
    addLine(ownName() + QStringLiteral("> ") + m_sendName + QStringLiteral("を中断しました"));
    closeSendFile();
    m_phase = SendPhase::Idle;
    resetFileTransfer();
}

// -------------------------------------------------------------- receiving side

void FileTransfer::timer1Tick()
{
    SharedState &state = m_core.state();
    if (m_phase == SendPhase::AwaitingReady && state.peerReady == 1) onReady();
    if (m_saving) return;

    if (!state.recvFileName.isEmpty() && !m_receiveStarted) {
        if (!m_receiveEnabled || m_phase != SendPhase::Idle || state.recvLastBlock < -1) {
            // Refused: nothing goes back, the sender gives up after its limit.
            state.recvFileName.clear();
            if (m_phase == SendPhase::Idle) state.transferActive = 0;
            return;
        }
        startReceive();
        return;
    }

    // Silence watchdog for the wait for the sender's connection; the pump keeps its own.
    if (m_receiveStarted && !m_pump.running() && state.lastRecvTime.isValid() &&
        state.lastRecvTime.elapsed() > kSilenceLimitMs) {
        addLine(ownName() + QStringLiteral(">") + m_recvName + QStringLiteral("を中断しました"));
        closeReceiveFile(true);
        resetFileTransfer();
    }
}

void FileTransfer::startReceive()
{
    SharedState &state = m_core.state();
    m_recvName = plainFileName(state.recvFileName);
    m_recvLastBlock = state.recvLastBlock;
    m_winsock4.close();
    m_winsock4.setLocalPort(kDataPort);
    if (!m_winsock4.listen()) {
        m_core.desktop().showMessage(
            socketErrorText(m_winsock4.lastErrorNumber(), m_winsock4.lastErrorDescription()));
        state.recvFileName.clear();
        return;
    }
    m_link.send(kReadyMessage);
    m_receiveStarted = true;
    m_receiveConnected = false;
    state.lastRecvTime.start();
    m_showProgress.start(m_pauseMs);
}

void FileTransfer::onConnectionRequest(qintptr requestId)
{
    if (!m_receiveStarted || m_receiveConnected) return; // not ours to take; the endpoint turns it away
    m_winsock4.accept(requestId);
    const QString partner = partnerAddress();
    if (!partner.isEmpty() && m_winsock4.remoteHostIP() != partner) {
        // Only the chat partner may deliver the file: back to listening.
        m_winsock4.close();
        m_winsock4.listen();
        return;
    }
    m_receiveConnected = true;
    setCommandsEnabled(false);
    SharedState &state = m_core.state();
    state.transferActive = 1;
    state.receivingSide = 1;
    state.lastRecvTime.start();

    // Written unbuffered through its descriptor, so a full disk shows at the block that did not fit.
    m_recvFile.setFileName(m_core.path(kTempFileName));
    if (!m_recvFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        receiveAbort(unwritableText());
        return;
    }
    addLine(ownName() + QStringLiteral(">") + QStringLiteral("ファイルを受信します"));
    m_blockCount = 0;
    if (m_recvLastBlock < 0) {
        setProgress(transfer::progressText(0, 0));
        completeReceive();
        return;
    }
    QByteArray received;
    const int socket = m_winsock4.takeConnection(received);
    if (socket < 0) {
        receiveAborted(); // the sender already left
        return;
    }
    m_pump.startReceiving(socket, m_recvFile.handle(), m_recvLastBlock, received, m_limits);
    m_frame.start();
}

// The partner left in the middle of the file, or went silent.
void FileTransfer::receiveAborted()
{
    addLine(ownName() + QStringLiteral(">") + m_recvName + QStringLiteral("を中断しました"));
    closeReceiveFile(true);
    resetFileTransfer();
}

void FileTransfer::completeReceive()
{
    SharedState &state = m_core.state();
    m_saving = true;
    m_frame.stop();
    m_recvFile.close();
    // The sender is done once the last answer is out; it need not wait for our dialog.
    m_winsock4.close();
    addLine(ownName() + QStringLiteral(">") + m_recvName + QStringLiteral("を受信しました"));

    Q_EMIT fileDialogShown(true);
    state.operationBusy = 1;
    const QString target =
        m_core.desktop().getSaveFileName(QStringLiteral("ファイルの保存"), m_recvName, allFilesFilter());
    state.operationBusy = 0;
    Q_EMIT fileDialogShown(false);
    // Not kept: the data must not sit in the program's folder until exit.
    if (target.isEmpty()) QFile::remove(m_core.path(kTempFileName));
    if (!target.isEmpty() && !saveReceived(target)) {
        setStatusText(m_statusText + QStringLiteral("/") + QStringLiteral("Error!!"));
        m_core.desktop().showMessage(QStringLiteral("ファイルを保存できませんでした。") + kCrLf +
                                     QStringLiteral("受信したデータは「") + m_core.path(kTempFileName) +
                                     QStringLiteral("」に残っています"));
    }
    m_saving = false;
    resetFileTransfer();
}

bool FileTransfer::saveReceived(const QString &target)
{
    const QString temp = m_core.path(kTempFileName);
    if (QFileInfo(target).absoluteFilePath() == QFileInfo(temp).absoluteFilePath()) return true;
    // The dialog already asked before overwriting, so an existing file is replaced at once.
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(temp.toStdString()),
                            std::filesystem::path(target.toStdString()), ec);
    if (!ec) return true;
    if (ec != std::errc::cross_device_link) return false;
    // Another file system: copy whole or not at all, then drop the temporary file.
    QFile in(temp);
    QSaveFile out(target);
    // Unbuffered, so a short write shows at the chunk that did not fit.
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            return false;
        }
    }
    if (out.size() != in.size() || !out.commit()) return false;
    in.close();
    QFile::remove(temp);
    return true;
}

void FileTransfer::receiveAbort(const QString &message)
{
    setStatusText(m_statusText + QStringLiteral("/") + QStringLiteral("Error!!"));
    addLine(ownName() + QStringLiteral(">") + m_recvName + QStringLiteral("を中断しました"));
    closeReceiveFile(true);
    resetFileTransfer();
    m_core.desktop().showMessage(message);
}

void FileTransfer::closeReceiveFile(bool discard)
{
    if (!m_recvFile.isOpen()) return;
    m_recvFile.close();
    // Part of a file is of no use to anyone and only takes space.
    if (discard) QFile::remove(m_recvFile.fileName());
}

// --------------------------------------------------------------- both sides

// The data connection closed before the pump took it over.
void FileTransfer::onClosed()
{
    if (m_phase == SendPhase::StartPause && m_sendLastBlock < 0) {
        // An empty file is complete as soon as the receiver took the connection.
        m_pause.stop();
        startBlocks();
    } else if (m_phase == SendPhase::Connecting || m_phase == SendPhase::StartPause) {
        sendAbort();
    } else if (m_receiveConnected && !m_saving && !m_pump.running()) {
        receiveAborted();
    }
}

void FileTransfer::onError(int number, const QString &description)
{
    m_core.desktop().showMessage(socketErrorText(number, description));
    onClosed();
}

void FileTransfer::onFrame()
{
    const qint64 done = m_pump.blocksDone();
    if (m_phase != SendPhase::Idle) {
        setProgress(transfer::progressText(done, m_sendLastBlock + 1));
        return;
    }
    if (!m_receiveConnected) return;
    if (done != m_blockCount) {
        m_blockCount = done;
        setProgress(transfer::progressText(done, m_recvLastBlock + 1));
        m_core.state().lastRecvTime.start();
    }
    // The size of a read that did not bring one block, as the status label always told.
    if (const qint64 odd = m_pump.lastOddRead(); odd >= 0) setStatusText(QString::number(odd));
}

void FileTransfer::onPumpFinished(DataPump::Outcome outcome, int errorNumber)
{
    m_frame.stop();
    onFrame();
    if (outcome == DataPump::Outcome::SocketError)
        m_core.desktop().showMessage(socketErrorText(errorNumber, Endpoint::errorDescription(errorNumber)));
    if (m_phase != SendPhase::Idle) {
        m_sendConnectionOpen = false;
        if (outcome != DataPump::Outcome::Done) {
            if (outcome == DataPump::Outcome::FileError) m_core.desktop().showMessage(unreadableText());
            sendAbort();
        } else if (m_phase == SendPhase::AwaitingClose) {
            sendDone();
        }
        return;
    }
    if (!m_receiveConnected || m_saving) return;
    if (outcome == DataPump::Outcome::Done)
        completeReceive();
    else if (outcome == DataPump::Outcome::FileError)
        receiveAbort(unwritableText());
    else
        receiveAborted();
}

void FileTransfer::onDeadline()
{
    // No "con 998", no data connection or no answer to a block in time.
    if (m_phase == SendPhase::AwaitingReady || m_phase == SendPhase::Connecting ||
        m_phase == SendPhase::Sending)
        sendAbort();
}

void FileTransfer::resetFileTransfer()
{
    SharedState &state = m_core.state();
    m_pump.stop();
    m_frame.stop();
    m_sendConnectionOpen = false;
    m_deadline.stop();
    m_showProgress.stop();
    m_winsock4.close();
    state.transferActive = 0;
    if (m_progressOpen) {
        m_progressOpen = false;
        Q_EMIT progressClosed();
    }
    setCommandsEnabled(true);
    state.recvFileName.clear();
    m_receiveStarted = false;
    m_receiveConnected = false;
    Q_EMIT finished();
}

void FileTransfer::stop()
{
    ++m_chatsEnded;
    m_timer1.stop();
    m_pump.stop();
    closeSendFile();
    closeReceiveFile(!m_saving);
    m_phase = SendPhase::Idle;
    m_pause.stop();
    if (!m_saving) resetFileTransfer();
    m_statusText.clear();
    setReceiveEnabled(true);
}

} // namespace transfer
