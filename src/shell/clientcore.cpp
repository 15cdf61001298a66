#include "shell/clientcore.h"

#include "shell/mailsettings.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace {
const QString kPersonalFile = QStringLiteral("wezpsnl.dat");
const QString kHistoryFile = QStringLiteral("weziplist.dat");
const QString kTransferTempFile = QStringLiteral("wezften.$$$");
} // namespace

ClientCore::ClientCore(const QString &dataDir, const QHostAddress &bindAddress, Desktop &desktop,
                       QObject *parent)
    : QObject(parent), m_dir(dataDir), m_bind(bindAddress), m_desktop(desktop),
      m_winsock1(QStringLiteral("Winsock1"), bindAddress, this),
      m_winsock2(QStringLiteral("Winsock2"), bindAddress, this),
      m_winsock3(QStringLiteral("Winsock3"), bindAddress, this),
      m_winsock9(QStringLiteral("Winsock9"), bindAddress, this)
{
    m_dir.mkpath(QStringLiteral("."));
    connect(&m_winsock9, &Endpoint::sendComplete, &m_winsock9, &Endpoint::close);
}

void ClientCore::resetState()
{
    m_state = SharedState{};
}

bool ClientCore::listenOn(Endpoint &endpoint, quint16 port)
{
    endpoint.setLocalPort(port);
    if (endpoint.listen()) {
        m_reportedPorts.removeAll(port);
        return true;
    }
    // Another program holds the port: say so once, not on every retry.
    if (!m_reportedPorts.contains(port)) {
        m_reportedPorts.append(port);
        m_desktop.showMessage(
            QStringLiteral("ポート%1を開けませんでした。他のプログラムが使用している可能性があります。")
                .arg(port) +
            QStringLiteral("\r\n") + QStringLiteral("このポートを使う機能は、ポートが空くまで使えません"));
        Q_EMIT listenFailed(port);
    }
    return false;
}

ClientCore::LoadResult ClientCore::loadFiles()
{
    using settingsfiles::FileRead;
    const bool personal = loadPersonal();
    const auto stopped = [personal] { return personal ? LoadResult::PlainStop : LoadResult::FirstStart; };

    // The history does not hang on the personal file: whatever became of that, the
    // addresses stay, and a history that could not be read whole is never written over.
    const FileRead history = settingsfiles::readFile(path(kHistoryFile));
    m_saveHistory = history.status == FileRead::Read || history.status == FileRead::Missing;
    if (history.status != FileRead::Read) return stopped();
    m_entrance.setIpHistory(settingsfiles::readHistory(history.bytes));

    const FileRead mail = settingsfiles::readFile(path(QString::fromLatin1(mailsettings::kFileName)));
    if (mail.status != FileRead::Read) return stopped();
    m_state.mail = mailsettings::read(mail.bytes);
    return personal ? LoadResult::Complete : LoadResult::FirstStart;
}

bool ClientCore::loadPersonal()
{
    using settingsfiles::FileRead;
    const QString file = path(kPersonalFile);
    const FileRead personal = settingsfiles::readFile(file);
    // Missing or empty: a first start, nothing to lose.
    if (personal.status == FileRead::Missing ||
        (personal.status == FileRead::Read && personal.bytes.isEmpty()))
        return false;
    if (personal.status == FileRead::Read) {
        const PersonalReadResult read = settingsfiles::readPersonal(personal.bytes);
        const PersonalSettings &v = read.values;
        // Values read before a fault are kept, as they were read.
        if (read.fieldsRead > 0) m_entrance.setName(v.name);
        if (read.fieldsRead > 1) m_entrance.setComment(v.comment);
        WindowPosition *targets[] = {&m_state.entrancePosition, &m_state.chatPosition,
                                     &m_state.whiteboardPosition, &m_state.postPosition,
                                     &m_state.memberListPosition};
        for (int i = 0; i < 5; ++i) {
            if (read.fieldsRead > 2 + 2 * i) targets[i]->left = v.positions[i].left;
            if (read.fieldsRead > 3 + 2 * i) targets[i]->top = v.positions[i].top;
        }
        if (read.fieldsRead > 12) m_state.proxyAddress = v.proxyAddress;
        if (read.fieldsRead > 13) m_state.serverAddress = v.serverAddress;
        if (read.complete()) {
            // Shown only once the whole file was read.
            if (v.proxyAddress != QLatin1String("no")) m_entrance.setAddressText(v.proxyAddress);
            return true;
        }
    }

    // Damaged (short, a value out of range, too big, not a file): the fresh file
    // written at exit must not cost the user the old one, so it goes aside first.
    const QString damaged = QStringLiteral("設定ファイル wezpsnl.dat が壊れていました。\r\n");
    if (settingsfiles::keepAside(file, file + QStringLiteral(".bad"))) {
        m_desktop.showMessage(damaged + QStringLiteral("元のファイルは wezpsnl.dat.bad として残し、"
                                                       "読み取れなかった設定には初期値を使います。"));
    } else {
        m_savePersonal = false;
        m_desktop.showMessage(damaged +
                              QStringLiteral("読み取れなかった設定には初期値を使います。"
                                             "元のファイルはそのまま残し、今回の設定は保存しません。"));
    }
    return false;
}

bool ClientCore::saveFiles()
{
    PersonalSettings s;
    s.name = m_entrance.name();
    s.comment = m_entrance.comment();
    s.positions = {m_state.entrancePosition, m_state.chatPosition, m_state.whiteboardPosition,
                   m_state.postPosition, m_state.memberListPosition};
    s.proxyAddress = m_state.proxyAddress;
    s.serverAddress = m_state.serverAddress;
    const bool personal =
        !m_savePersonal || settingsfiles::saveFile(path(kPersonalFile), settingsfiles::writePersonal(s));
    const bool history =
        !m_saveHistory ||
        settingsfiles::saveFile(path(kHistoryFile), settingsfiles::writeHistory(m_entrance.ipHistory()));
    return personal && history;
}

void ClientCore::deleteTemporaryFiles()
{
    const QStringList tmp = m_dir.entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden);
    for (const QString &name : tmp)
        QFile::remove(path(name));
    QFile::remove(path(kTransferTempFile));
}

void ClientCore::notifyServerChat(int kind, const QString &port)
{
    const QString text = kind == 1   ? QStringLiteral("CCK 100")
                         : kind == 2 ? QStringLiteral("CCK 200")
                                     : QString();
    if (text.isEmpty()) return;
    bool ok = false;
    const quint16 portNumber = port.toUShort(&ok);
    if (!ok) return;
    // One short connection per notice: sent once connected, closed when sent
    // (send-complete) or on error, given up after the server wait. A newer
    // notice takes the connection over, and the older one's watchers go with it.
    delete m_noticeGuard.data();
    m_winsock9.close();
    m_winsock9.setLocalPort(0);
    auto *guard = new QObject(this);
    m_noticeGuard = guard;
    connect(&m_winsock9, &Endpoint::connected, guard, [this, text, guard] {
        m_winsock9.sendData(text);
        guard->deleteLater();
    });
    connect(&m_winsock9, &Endpoint::error, guard, [this, guard] {
        m_winsock9.close();
        guard->deleteLater();
    });
    QTimer::singleShot(kServerWaitMs, guard, [this, guard] {
        if (m_winsock9.state() != Endpoint::Connected) m_winsock9.close();
        guard->deleteLater();
    });
    m_winsock9.connectToHost(m_state.serverAddress, portNumber);
}

void ClientCore::playSound(const QString &fileName)
{
    const QString local = path(fileName);
    m_desktop.playSound(QFile::exists(local) ? local : QStringLiteral(":/wez/") + fileName);
}

QString ClientCore::shippedFile(const QString &fileName)
{
    const QString local = path(fileName);
    if (!QFile::exists(local)) {
        QFile::copy(QStringLiteral(":/wez/") + fileName, local);
        QFile::setPermissions(local,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return local;
}

bool ClientCore::waitServerSignOff()
{
    m_state.signingOff = 1;
    m_winsock2.close();
    m_winsock2.setLocalPort(0);
    if (m_signOffDialogue) m_signOffDialogue();
    m_winsock2.connectToHost(m_state.serverAddress, kServerPort);

    // The dialogue closes Winsock2 once the server has taken the sign-off. A
    // server that refuses or never answers is given the whole wait, then the
    // user is told and the exit goes on.
    QEventLoop loop;
    QTimer::singleShot(kServerWaitMs, &loop, &QEventLoop::quit);
    const auto conn = connect(&m_winsock2, &Endpoint::stateChanged, &loop, [&](int s) {
        if (s == Endpoint::Closed) loop.quit();
    });
    if (m_winsock2.state() != Endpoint::Closed) loop.exec();
    disconnect(conn);
    const bool done = m_winsock2.state() == Endpoint::Closed;
    if (!done) {
        m_winsock2.close();
        m_desktop.showMessage(QStringLiteral("サーバが応答しませんでしたので、そのまま終了します"));
    }
    return done;
}
