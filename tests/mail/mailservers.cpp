#include "mailservers.h"

#include "testsupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Our SMTP handler: refuses unknown users (and any "refused..." address) and
// stores every accepted message into the recipient's Maildir before 250, so a
// test can fetch a message as soon as the send call returns.
constexpr const char *kHandler = R"PY(
import os, time, itertools

class MaildirHandler:
    _counter = itertools.count()

    def __init__(self, homes):
        self.homes = homes

    def maildir(self, address):
        return os.path.join(self.homes, address.split('@')[0], 'Maildir')

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        local = address.split('@')[0]
        if local.startswith('refused') or not os.path.isdir(self.maildir(address)):
            return '550 5.1.1 <%s>: Recipient address rejected: User unknown' % address
        envelope.rcpt_tos.append(address)
        return '250 2.1.5 OK'

    async def handle_DATA(self, server, session, envelope):
        data = envelope.original_content or envelope.content
        data = data.replace(b'\r\n', b'\n')
        for rcpt in envelope.rcpt_tos:
            name = '%d.P%dQ%d.wez' % (time.time(), os.getpid(), next(self._counter))
            box = self.maildir(rcpt)
            with open(os.path.join(box, 'tmp', name), 'wb') as f:
                f.write(data)
                f.flush()
                os.fsync(f.fileno())
            os.rename(os.path.join(box, 'tmp', name), os.path.join(box, 'new', name))
        return '250 2.0.0 Message accepted for delivery'


# python3 -m wezsink HOST PORT HOMES [USERS]: with USERS, a login (PLAIN or LOGIN)
# against the POP3 users is required.
if __name__ == '__main__':
    import asyncio, sys
    from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

    host, port, homes, users_file = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]

    def check(server, session, envelope, mechanism, auth_data):
        users = {}
        with open(users_file[0]) as f:
            for line in f:
                fields = line.split(':')
                if len(fields) > 1:
                    users[fields[0]] = fields[1].replace('{PLAIN}', '', 1)
        ok = (isinstance(auth_data, LoginPassword)
              and users.get(auth_data.login.decode()) == auth_data.password.decode())
        return AuthResult(success=ok, handled=False)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = MaildirHandler(homes)
    login = dict(auth_required=True, auth_require_tls=False, authenticator=check) if users_file else {}
    loop.run_until_complete(loop.create_server(lambda: SMTP(handler, **login), host, port))
    loop.run_forever()
)PY";

quint16 freePort(const QHostAddress &host)
{
    QTcpServer probe;
    if (!probe.listen(host, 0)) return 0;
    return probe.serverPort();
}

// Waits for a greeting line that starts with `prefix`, not just an open port:
// stopping dovecot before it greeted stalls its shutdown.
bool waitGreeting(const QHostAddress &host, quint16 port, const QByteArray &prefix, const QProcess &process)
{
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (process.state() == QProcess::NotRunning) return false;
        QTcpSocket s;
        s.connectToHost(host, port);
        if (s.waitForConnected(500)) {
            QByteArray line;
            while (!line.contains('\n') && s.waitForReadyRead(2000))
                line += s.readAll();
            s.write("QUIT\r\n");
            s.waitForBytesWritten(500);
            if (line.startsWith(prefix)) return true;
        }
        QThread::msleep(50);
    }
    return false;
}

} // namespace

MailServers::MailServers(int loopbackIndex) : m_host(testsupport::loopback(loopbackIndex))
{
    if (const passwd *pw = ::getpwnam("mail")) {
        m_uid = pw->pw_uid;
        m_gid = pw->pw_gid;
    }
    // The mail user must reach the Maildirs and the handler through this directory.
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    QDir(m_dir.path()).mkpath(QStringLiteral("home"));
    QDir(m_dir.path()).mkpath(QStringLiteral("run"));
    QDir(m_dir.path()).mkpath(QStringLiteral("state"));
    QDir(m_dir.path()).mkpath(QStringLiteral("py"));
    testsupport::writeFile(m_dir.filePath(QStringLiteral("py/wezsink.py")), QByteArray(kHandler));
    testsupport::writeFile(m_dir.filePath(QStringLiteral("users")), QByteArray());
}

MailServers::~MailServers()
{
    stop();
}

QString MailServers::unavailableReason()
{
    if (::geteuid() != 0) return QStringLiteral("the mail servers need root to run as the mail user");
    if (!::getpwnam("mail")) return QStringLiteral("no mail user");
    for (const char *tool : {"/usr/sbin/dovecot", "/usr/bin/setpriv", "/usr/bin/python3"})
        if (!QFile::exists(QString::fromLatin1(tool)))
            return QStringLiteral("missing ") + QString::fromLatin1(tool) +
                   QStringLiteral(" (run scripts/install-deps)");
    return {};
}

QString MailServers::home(const QString &user) const
{
    return m_dir.filePath(QStringLiteral("home/") + user);
}

bool MailServers::addUser(const QString &user, const QString &password)
{
    const QString h = home(user);
    for (const char *sub : {"cur", "new", "tmp"})
        if (!QDir().mkpath(h + QStringLiteral("/Maildir/") + QLatin1String(sub))) return false;
    if (QProcess::execute(QStringLiteral("/bin/chown"),
                          {QStringLiteral("-R"), QStringLiteral("%1:%2").arg(m_uid).arg(m_gid), h}) != 0)
        return false;
    QFile users(m_dir.filePath(QStringLiteral("users")));
    if (!users.open(QIODevice::Append)) return false;
    const QString line =
        QStringLiteral("%1:{PLAIN}%2:%3:%4::%5::\n").arg(user, password).arg(m_uid).arg(m_gid).arg(h);
    return users.write(line.toUtf8()) > 0;
}

bool MailServers::start(const QStringList &users, QString *why)
{
    for (const QString &user : users) {
        if (!addUser(user, QStringLiteral("pw-") + user)) {
            *why = QStringLiteral("could not set up the mailbox of ") + user;
            return false;
        }
    }
    return startDovecot(why) && startSmtp(m_smtp, m_smtpPort, false, why) &&
           startSmtp(m_authSmtp, m_authSmtpPort, true, why);
}

bool MailServers::startDovecot(QString *why)
{
    m_pop3Port = freePort(m_host);
    if (m_pop3Port == 0) {
        *why = QStringLiteral("no free POP3 port on ") + m_host.toString();
        return false;
    }
    const QString dir = m_dir.path();
    const QString conf = QStringLiteral(R"(base_dir = %1/run
state_dir = %1/state
instance_name = wez-test-%2
protocols = pop3
listen = %3
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
auth_failure_delay = 0
first_valid_uid = 1
mail_location = maildir:~/Maildir
log_path = %1/dovecot.log
passdb {
  driver = passwd-file
  args = scheme=PLAIN %1/users
}
userdb {
  driver = passwd-file
  args = %1/users
}
service pop3-login {
  inet_listener pop3 {
    address = %3
    port = %4
  }
  inet_listener pop3s {
    port = 0
  }
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
)")
                             .arg(dir)
                             .arg(QCoreApplication::applicationPid())
                             .arg(m_host.toString())
                             .arg(m_pop3Port);
    testsupport::writeFile(dir + QStringLiteral("/dovecot.conf"), conf.toUtf8());
    m_dovecot.setProcessChannelMode(QProcess::MergedChannels);
    m_dovecot.setStandardOutputFile(dir + QStringLiteral("/dovecot.out"));
    m_dovecot.start(QStringLiteral("/usr/sbin/dovecot"),
                    {QStringLiteral("-F"), QStringLiteral("-c"), dir + QStringLiteral("/dovecot.conf")});
    if (!m_dovecot.waitForStarted(5000) || !waitGreeting(m_host, m_pop3Port, "+OK", m_dovecot)) {
        *why = QStringLiteral("dovecot did not greet: ") + log();
        return false;
    }
    return true;
}

bool MailServers::startSmtp(QProcess &process, quint16 &port, bool login, QString *why)
{
    port = freePort(m_host);
    if (port == 0) {
        *why = QStringLiteral("no free SMTP port on ") + m_host.toString();
        return false;
    }
    const QString dir = m_dir.path();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONPATH"), dir + QStringLiteral("/py"));
    env.insert(QStringLiteral("PYTHONDONTWRITEBYTECODE"), QStringLiteral("1"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(dir +
                                  (login ? QStringLiteral("/smtp-login.out") : QStringLiteral("/smtp.out")));
    QStringList args{QStringLiteral("--reuid=%1").arg(m_uid), QStringLiteral("--regid=%1").arg(m_gid)};
    args << QStringLiteral("--clear-groups") << QStringLiteral("/usr/bin/python3") << QStringLiteral("-m")
         << QStringLiteral("wezsink") << m_host.toString() << QString::number(port)
         << dir + QStringLiteral("/home");
    if (login) args << dir + QStringLiteral("/users");
    process.start(QStringLiteral("/usr/bin/setpriv"), args);
    if (!process.waitForStarted(5000) || !waitGreeting(m_host, port, "220", process)) {
        *why = QStringLiteral("the SMTP server did not greet: ") + log();
        return false;
    }
    return true;
}

void MailServers::stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning) return;
    process.terminate(); // SIGTERM to its process id
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void MailServers::stop()
{
    stopProcess(m_authSmtp);
    stopProcess(m_smtp);
    stopProcess(m_dovecot);
}

QString MailServers::pop3Server() const
{
    return QStringLiteral("%1:%2").arg(m_host.toString()).arg(m_pop3Port);
}

QString MailServers::smtpServer() const
{
    return QStringLiteral("%1:%2").arg(m_host.toString()).arg(m_smtpPort);
}

QString MailServers::loginSmtpServer() const
{
    return QStringLiteral("smtp://%1:%2").arg(m_host.toString()).arg(m_authSmtpPort);
}

bool MailServers::deliver(const QString &user, const QByteArray &raw)
{
    QByteArray lf = raw;
    lf.replace("\r\n", "\n");
    const QString name =
        QStringLiteral("%1.T%2.wez").arg(QDateTime::currentSecsSinceEpoch()).arg(++m_sequence);
    const QString box = home(user) + QStringLiteral("/Maildir/");
    if (!testsupport::writeFile(box + QStringLiteral("tmp/") + name, lf)) return false;
    if (::chown(QFile::encodeName(box + QStringLiteral("tmp/") + name).constData(), m_uid, m_gid) != 0)
        return false;
    return QFile::rename(box + QStringLiteral("tmp/") + name, box + QStringLiteral("new/") + name);
}

int MailServers::storedCount(const QString &user) const
{
    const QString box = home(user) + QStringLiteral("/Maildir/");
    return int(QDir(box + QStringLiteral("new")).entryList(QDir::Files).size() +
               QDir(box + QStringLiteral("cur")).entryList(QDir::Files).size());
}

QString MailServers::log() const
{
    return QString::fromUtf8(testsupport::readFile(m_dir.filePath(QStringLiteral("dovecot.log"))) +
                             testsupport::readFile(m_dir.filePath(QStringLiteral("dovecot.out"))) +
                             testsupport::readFile(m_dir.filePath(QStringLiteral("smtp.out"))) +
                             testsupport::readFile(m_dir.filePath(QStringLiteral("smtp-login.out"))));
}
