#include "testsupport.h"

#include "shell/socket/cp932.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

namespace testsupport {

QHostAddress loopback(int n)
{
    const quint32 pid = quint32(QCoreApplication::applicationPid());
    const quint32 a = 1 + (pid >> 8) % 250;
    const quint32 b = pid & 0xff;
    return QHostAddress((127u << 24) | (a << 16) | (b << 8) | quint32(n & 0xff));
}

bool waitFor(const std::function<bool()> &condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(10);
    }
    return true;
}

bool holdsFor(const std::function<bool()> &condition, int ms)
{
    return !waitFor([&] { return !condition(); }, ms);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

QStringList openFiles(const QString &suffix)
{
    QStringList found;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (target.endsWith(suffix)) found << target;
    }
    return found;
}

QByteArray sjis(const char *utf8)
{
    return cp932::encode(QString::fromUtf8(utf8));
}

std::unique_ptr<QTcpSocket> connectRaw(const QHostAddress &from, const QHostAddress &to, quint16 port)
{
    auto s = std::make_unique<QTcpSocket>();
    if (!s->bind(from)) return nullptr;
    s->connectToHost(to, port);
    if (!waitFor([&] { return s->state() == QAbstractSocket::ConnectedState; })) return nullptr;
    return s;
}

void sendRaw(QTcpSocket &s, const QByteArray &bytes)
{
    s.write(bytes);
    s.flush();
}

bool readUntil(QTcpSocket &s, QByteArray &got, const QByteArray &part, int ms)
{
    return waitFor(
        [&] {
            got += s.readAll();
            return got.contains(part);
        },
        ms);
}

bool readExactly(QTcpSocket &s, const QByteArray &expected, int ms)
{
    QByteArray got;
    waitFor(
        [&] {
            got += s.read(expected.size() - got.size());
            return got.size() == expected.size();
        },
        ms);
    return got == expected;
}

bool closedByPeer(QTcpSocket &s, int ms)
{
    return waitFor([&] { return s.state() == QAbstractSocket::UnconnectedState; }, ms);
}

} // namespace testsupport
