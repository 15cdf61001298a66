#include "testsupport.h"

#include "shell/socket/cp932.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
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

QByteArray sjis(const char *utf8)
{
    return cp932::encode(QString::fromUtf8(utf8));
}

} // namespace testsupport
