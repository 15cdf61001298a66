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
            if (m_winsock4.state() != Endpoint::Connected) onClosed();
        }
    });
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, &FileTransfer::onSettled);
    m_showProgress.setSingleShot(true);
    connect(&m_showProgress, &QTimer::timeout, this, [this] {
        if (m_receiveStarted) setProgress(QStringLiteral("転送率：0%"));
    });

    connect(&m_winsock4, &Endpoint::connected, this, &FileTransfer::onDataConnected);
    connect(&m_winsock4, &Endpoint::connectionRequest, this, &FileTransfer::onConnectionRequest);
    connect(&m_winsock4, &Endpoint::dataArrival, this, &FileTransfer::onReceivedData);
    // With one block in flight every pass of the event loop between a block and
    // its answer is time lost: the data connection's bytes are taken at once.
    connect(&m_winsock4, &Endpoint::dataArrivalNow, this, [this] {
        if (m_watchData) onReceivedData();
    });
    connect(&m_winsock4, &Endpoint::closed, this, &FileTransfer::onClosed);
    connect(&m_winsock4, &Endpoint::error, this, &FileTransfer::onError);
}

FileTransfer::~FileTransfer()
{
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
    m_answers.clear();
    if (!m_sendFile.open(QIODevice::ReadOnly) || m_sendFile.size() > qint64(kBlockSize) * INT32_MAX) {
        m_core.desktop().showMessage(QStringLiteral("ファイルを読み込めませんでした"));
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
    m_core.state().blockAck = ok ? 1 : -1;
    peerStateChanged();
}

void FileTransfer::peerStateChanged()
{
    SharedState &state = m_core.state();
    if (m_phase == SendPhase::AwaitingReady && state.peerReady == 1)
        onReady();
    else if (m_phase == SendPhase::Sending && state.blockAck != 0)
        onAnswer(state.blockAck);
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
    m_watchData = true;
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
    m_sendIndex = 0;
    if (m_sendLastBlock < 0) {
        setProgress(transfer::progressText(0, 0));
        finishSending();
        return;
    }
    m_phase = SendPhase::Sending;
    sendBlock(false);
}

void FileTransfer::sendBlock(bool again)
{
    if (m_winsock4.state() != Endpoint::Connected) {
        sendAbort();
        return;
    }
    if (!again) {
        const int size = blockSize(m_sendFileSize, m_sendIndex);
        m_block = m_sendFile.read(size);
        if (m_block.size() != size) {
            // The file shrank or cannot be read any more.
            m_core.desktop().showMessage(QStringLiteral("ファイルを読み込めませんでした"));
            sendAbort();
            return;
        }
    }
    m_core.state().blockAck = 0;
    m_winsock4.sendData(m_block);
    m_deadline.start(kAnswerLimitMs);
}

void FileTransfer::onAnswer(int answer)
{
    if (m_phase != SendPhase::Sending) return;
    m_core.state().blockAck = int16_t(answer);
    if (answer < 0) {
        sendBlock(true);
        return;
    }
    ++m_sendIndex;
    setProgress(transfer::progressText(m_sendIndex, m_sendLastBlock + 1));
    if (m_sendIndex > m_sendLastBlock)
        finishSending();
    else
        sendBlock(false);
}

void FileTransfer::finishSending()
{
    m_deadline.stop();
    addLine(ownName() + QStringLiteral("> ") + m_sendName + QStringLiteral("を転送しました"));
    m_phase = SendPhase::EndPause;
    m_pause.start(m_pauseMs);
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
    if (m_phase == SendPhase::Sending && state.blockAck != 0) {
        // "con 800" / "con 810" may also come over the peer connection.
        onAnswer(state.blockAck);
    } else if (m_phase == SendPhase::AwaitingReady && state.peerReady == 1) {
        onReady();
    }
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

    // Silence watchdog; it also covers the wait for the sender's connection.
    if (m_receiveStarted && state.lastRecvTime.isValid() && state.lastRecvTime.elapsed() > kSilenceLimitMs) {
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
    m_watchData = true;
    setCommandsEnabled(false);
    SharedState &state = m_core.state();
    state.transferActive = 1;
    state.receivingSide = 1;
    state.lastRecvTime.start();

    // Unbuffered, so a full disk shows at the block that did not fit.
    m_recvFile.setFileName(m_core.path(kTempFileName));
    if (!m_recvFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        receiveAbort(QStringLiteral("受信したファイルを書き込めませんでした。") + kCrLf +
                     QStringLiteral("ディスクの空きと書き込み権限を確かめてください"));
        return;
    }
    addLine(ownName() + QStringLiteral(">") + QStringLiteral("ファイルを受信します"));
    m_assembler = BlockAssembler(m_recvLastBlock);
    m_blockCount = 0;
    if (m_assembler.complete()) {
        setProgress(transfer::progressText(0, 0));
        completeReceive();
    }
}

void FileTransfer::onReceivedData()
{
    if (m_phase != SendPhase::Idle) {
        m_answers.feed(m_winsock4.getBytes());
        for (auto a = m_answers.next(); a != AnswerScanner::Answer::None; a = m_answers.next())
            onAnswer(a == AnswerScanner::Answer::Ack ? 1 : -1);
        return;
    }
    if (!m_receiveConnected || m_saving) {
        m_winsock4.getBytes();
        return;
    }
    const QByteArray bytes = m_winsock4.getBytes();
    if (bytes.size() != kBlockSize) setStatusText(QString::number(bytes.size()));
    for (const QByteArray &block : m_assembler.feed(bytes)) {
        if (!writeBlock(block)) return;
    }
    if (m_assembler.complete()) {
        m_settle.stop();
        completeReceive();
    } else if (m_assembler.holdsPartOfLastBlock()) {
        // The last block's size is unknown: it is whole once nothing more follows.
        m_settle.start(m_settleMs);
    } else {
        m_settle.stop();
    }
}

void FileTransfer::onSettled()
{
    if (!m_receiveConnected || m_saving || !m_assembler.holdsPartOfLastBlock()) return;
    if (writeBlock(m_assembler.finishLastBlock())) completeReceive();
}

bool FileTransfer::writeBlock(const QByteArray &block)
{
    SharedState &state = m_core.state();
    if (m_recvFile.write(block) != block.size()) {
        receiveAbort(QStringLiteral("受信したファイルを書き込めませんでした。") + kCrLf +
                     QStringLiteral("ディスクの空きと書き込み権限を確かめてください"));
        return false;
    }
    ++m_blockCount;
    setProgress(transfer::progressText(m_blockCount, m_recvLastBlock + 1));
    state.lastRecvTime.start();
    state.transferActive = 1;
    if (m_winsock4.state() == Endpoint::Connected) {
        m_winsock4.sendData(kBlockAck);
    }
    return true;
}

void FileTransfer::completeReceive()
{
    SharedState &state = m_core.state();
    m_saving = true;
    const bool written = m_recvFile.error() == QFileDevice::NoError;
    m_recvFile.close();
    if (!written) {
        m_saving = false;
        receiveAbort(QStringLiteral("受信したファイルを書き込めませんでした。") + kCrLf +
                     QStringLiteral("ディスクの空きと書き込み権限を確かめてください"));
        return;
    }
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
    m_settle.stop();
    if (!m_recvFile.isOpen()) return;
    m_recvFile.close();
    // Part of a file is of no use to anyone and only takes space.
    if (discard) QFile::remove(m_recvFile.fileName());
}

// --------------------------------------------------------------- both sides

void FileTransfer::onClosed()
{
    if (m_phase == SendPhase::StartPause && m_sendLastBlock < 0) {
        // An empty file is complete as soon as the receiver took the connection.
        m_pause.stop();
        startBlocks();
    }
    switch (m_phase) {
    case SendPhase::Idle:
        break;
    case SendPhase::AwaitingClose:
    case SendPhase::EndPause:
        // The receiver has everything and hung up: this side is done.
        m_pause.stop();
        closeSendFile();
        m_phase = SendPhase::Idle;
        resetFileTransfer();
        return;
    default:
        sendAbort();
        return;
    }
    if (m_receiveConnected && !m_saving) {
        // The partner left in the middle of the file.
        addLine(ownName() + QStringLiteral(">") + m_recvName + QStringLiteral("を中断しました"));
        closeReceiveFile(true);
        resetFileTransfer();
    }
}

void FileTransfer::onError(int number, const QString &description)
{
    m_core.desktop().showMessage(socketErrorText(number, description));
    if (m_phase != SendPhase::Idle && m_phase != SendPhase::AwaitingReady)
        onClosed();
    else if (m_receiveConnected && !m_saving)
        onClosed();
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
    m_deadline.stop();
    m_settle.stop();
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
    m_watchData = false;
    m_assembler = BlockAssembler();
    Q_EMIT finished();
}

void FileTransfer::stop()
{
    ++m_chatsEnded;
    m_timer1.stop();
    closeSendFile();
    closeReceiveFile(!m_saving);
    m_phase = SendPhase::Idle;
    m_pause.stop();
    if (!m_saving) resetFileTransfer();
    m_statusText.clear();
    setReceiveEnabled(true);
}

} // namespace transfer
