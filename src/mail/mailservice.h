#pragma once
// What the mail check and the post by mail ask of the mail servers. The real
// one talks SMTP and POP3 (CurlMailService, in the mail module that
// OnDemandMailService loads); tests answer with their own.
// Every call blocks until done or timed out: run them through MailRunner
// when the caller is the user-interface thread.
#include <QString>
#include <QStringList>

#include <optional>

struct MailOptions {
    QString dataDir;     // saved messages go to dataDir/mailbox/<account@host>/
    QString bindAddress; // local address of the connections; empty for any
    int connectTimeoutMs = 15000;
    int transferTimeoutMs = 60000; // per command or message
};

struct StatResult {
    bool ok = false;
    int count = 0; // messages in the mailbox
    QString error; // readable, with the server's last reply, when !ok
};

struct SaveResult {
    bool ok = false;   // every wanted message is on disk (or was too big to keep)
    QStringList files; // one saved file per message, in mailbox order
    int skipped = 0;   // messages left out because they exceed the size limit
    QString error;
};

class MailService {
public:
    virtual ~MailService() = default;

    // Hands one text/plain message to the SMTP server, authenticating with
    // the POP3 account and password when the server asks for it.
    // Returns "" when the server took it, otherwise a readable error.
    virtual QString sendMail(const QString &smtpServer, const QString &recipient, const QString &sender,
                             const QString &subject, const QString &body, const QString &account,
                             const QString &password) = 0;

    // Number of messages in the mailbox (POP3 STAT).
    virtual StatResult statCount(const QString &pop3Server, const QString &account,
                                 const QString &password) = 0;

    // Saves messages first..last (1-based) under the data directory, leaving
    // everything on the server. Messages saved before are not fetched again.
    virtual SaveResult saveMessages(const QString &pop3Server, const QString &account,
                                    const QString &password, int first, int last) = 0;

    // Three lines for the message in `file` (see mailmime::mailLines);
    // nothing when the file cannot be read as a message.
    virtual std::optional<QStringList> readMail(const QString &file) = 0;

    // Makes a call in progress give up soon; later calls fail at once.
    virtual void abort() {}
};
