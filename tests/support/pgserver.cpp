#include "pgserver.h"

#include "testsupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QThread>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const kServerUser = "postgres";

// The newest installed server's programs, or empty.
QString binDir()
{
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
    for (const QString &v : versions) {
        const QString bin = root.filePath(v + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb"))) return bin;
    }
    return {};
}

bool asRoot()
{
    return ::geteuid() == 0;
}

} // namespace

PgServer::PgServer(int loopbackIndex) : m_bin(binDir()), m_host(testsupport::loopback(loopbackIndex))
{
    // The server user must reach its data and socket directories through this one.
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
}

PgServer::~PgServer()
{
    stop();
}

QString PgServer::unavailableReason()
{
    if (binDir().isEmpty())
        return QStringLiteral("no PostgreSQL server installed (run scripts/install-deps)");
    if (asRoot() && !::getpwnam(kServerUser))
        return QStringLiteral("running as root, and there is no postgres user to run the server as");
    if (asRoot() && !QFile::exists(QStringLiteral("/usr/bin/setpriv")))
        return QStringLiteral("running as root, and no setpriv to drop to the postgres user");
    if (!QFile::exists(QStringLiteral("/usr/bin/psql"))) return QStringLiteral("no psql");
    return {};
}

QStringList PgServer::asServerUser(const QString &tool, const QStringList &args) const
{
    if (!asRoot()) return QStringList{tool} + args;
    const passwd *pw = ::getpwnam(kServerUser);
    return QStringList{QStringLiteral("/usr/bin/setpriv"), QStringLiteral("--reuid=%1").arg(pw->pw_uid),
                       QStringLiteral("--regid=%1").arg(pw->pw_gid), QStringLiteral("--clear-groups"), tool} +
           args;
}

bool PgServer::runTool(const QString &tool, const QStringList &args, QString *why) const
{
    const QStringList command = asServerUser(tool, args);
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(command.first(), command.mid(1));
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return true;
    if (why) *why = QFileInfo(tool).fileName() + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll());
    return false;
}

bool PgServer::start(QString *why, bool durable)
{
    if (const QString reason = unavailableReason(); !reason.isEmpty()) {
        *why = reason;
        return false;
    }
    const QString pg = m_dir.filePath(QStringLiteral("pg"));
    if (!m_made) {
        QDir().mkpath(pg + QStringLiteral("/socket"));
        if (asRoot()) {
            const passwd *pw = ::getpwnam(kServerUser);
            for (const QString &d : {pg, pg + QStringLiteral("/socket")}) {
                if (::chown(QFile::encodeName(d).constData(), pw->pw_uid, pw->pw_gid) != 0) {
                    *why = QStringLiteral("cannot hand %1 to the postgres user").arg(d);
                    return false;
                }
            }
        }
        if (!runTool(m_bin + QStringLiteral("/initdb"),
                     {QStringLiteral("-D"), pg + QStringLiteral("/data"), QStringLiteral("-U"),
                      QStringLiteral("wez"), QStringLiteral("--auth=trust"), QStringLiteral("-E"),
                      QStringLiteral("UTF8"), QStringLiteral("--no-locale"), QStringLiteral("--no-sync")},
                     why))
            return false;
        QTcpServer probe;
        if (!probe.listen(m_host, 0)) {
            *why = QStringLiteral("no free port on ") + m_host.toString();
            return false;
        }
        m_port = probe.serverPort();
    }
    QStringList args{QStringLiteral("-D"), pg + QStringLiteral("/data"),
                     QStringLiteral("-p"), QString::number(m_port),
                     QStringLiteral("-k"), pg + QStringLiteral("/socket"),
                     QStringLiteral("-c"), QStringLiteral("listen_addresses=") + m_host.toString(),
                     QStringLiteral("-c"), QStringLiteral("max_connections=40")};
    if (!durable)
        args << QStringLiteral("-c") << QStringLiteral("fsync=off") << QStringLiteral("-c")
             << QStringLiteral("full_page_writes=off");
    const QStringList command = asServerUser(m_bin + QStringLiteral("/postgres"), args);
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.setStandardOutputFile(m_dir.filePath(QStringLiteral("server.log")), QIODevice::Append);
    m_server.start(command.first(), command.mid(1));
    if (!m_server.waitForStarted(5000)) {
        *why = QStringLiteral("postgres did not start: ") + m_server.errorString();
        return false;
    }
    // Ready once it answers a query, not merely once the port is open.
    const QDeadlineTimer deadline(30000);
    while (!sql(QStringLiteral("SELECT 1"), nullptr, QStringLiteral("postgres"))) {
        if (deadline.hasExpired() || m_server.state() != QProcess::Running) {
            *why = QStringLiteral("postgres did not come up: ") + log().right(2000);
            stop();
            return false;
        }
        QThread::msleep(50);
    }
    if (!m_made && !sql(QStringLiteral("CREATE DATABASE wez"), why, QStringLiteral("postgres"))) return false;
    m_made = true;
    return true;
}

void PgServer::stop()
{
    if (m_server.state() == QProcess::NotRunning) return;
    ::kill(pid_t(m_server.processId()), SIGINT); // fast shutdown, by its process id
    if (!m_server.waitForFinished(15000)) {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
}

QString PgServer::url(const QString &database) const
{
    return QStringLiteral("postgresql://wez@%1:%2/%3").arg(m_host.toString()).arg(m_port).arg(database);
}

bool PgServer::sql(const QString &statements, QString *why, const QString &database) const
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("/usr/bin/psql"),
            {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
             QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), m_host.toString(), QStringLiteral("-p"),
             QString::number(m_port), QStringLiteral("-U"), QStringLiteral("wez"), QStringLiteral("-d"),
             database, QStringLiteral("-c"), statements});
    const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok && why) *why = QString::fromLocal8Bit(p.readAll());
    return ok;
}

bool PgServer::reset(QString *why) const
{
    return sql(QStringLiteral("DROP SCHEMA public CASCADE; CREATE SCHEMA public;"), why);
}

QString PgServer::log() const
{
    return QString::fromUtf8(testsupport::readFile(m_dir.filePath(QStringLiteral("server.log"))));
}
