#pragma once
// Real mail servers for the tests, on a loopback address of this test process:
// dovecot serving POP3 and an aiosmtpd SMTP server whose handler stores each
// accepted message into the same Maildirs before it answers 250. Both run as
// the system's `mail` user and are stopped by process id.
#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class MailServers final {
public:
    explicit MailServers(int loopbackIndex = 25);
    ~MailServers();
    Q_DISABLE_COPY_MOVE(MailServers)

    // Empty when the servers can run here, otherwise why not (for QSKIP).
    static QString unavailableReason();

    // Starts the servers for `users`, each with the password "pw-" + user.
    bool start(const QStringList &users, QString *why);
    void stop();

    // "host:port" fields as a user would type them.
    QString pop3Server() const;
    QString smtpServer() const;
    // A second SMTP server that wants a login with a POP3 account, as a URL.
    QString loginSmtpServer() const;
    QHostAddress host() const { return m_host; }

    // Puts a raw message straight into a user's Maildir, as a delivery would.
    bool deliver(const QString &user, const QByteArray &raw);
    // Messages the server holds for the user (new and cur).
    int storedCount(const QString &user) const;

    QString log() const;

private:
    bool addUser(const QString &user, const QString &password);
    QString home(const QString &user) const;
    bool startDovecot(QString *why);
    bool startSmtp(QProcess &process, quint16 &port, bool login, QString *why);
    static void stopProcess(QProcess &process);

    QTemporaryDir m_dir;
    QHostAddress m_host;
    quint16 m_pop3Port = 0;
    quint16 m_smtpPort = 0;
    quint16 m_authSmtpPort = 0;
    uint m_uid = 0;
    uint m_gid = 0;
    int m_sequence = 0;
    QProcess m_dovecot;
    QProcess m_smtp;
    QProcess m_authSmtp;
};
