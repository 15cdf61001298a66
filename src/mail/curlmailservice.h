#pragma once
// SMTP and POP3 over libcurl; messages composed and read with GMime.
// Certificates are checked against the system's store; every transfer has
// a time limit.
#include "mail/mailservice.h"

#include <QtGlobal>

#include <atomic>

class CurlMailService final : public MailService {
public:
    explicit CurlMailService(MailOptions options);
    ~CurlMailService() override;

    QString sendMail(const QString &smtpServer, const QString &recipient, const QString &sender,
                     const QString &subject, const QString &body, const QString &account,
                     const QString &password) override;
    StatResult statCount(const QString &pop3Server, const QString &account, const QString &password) override;
    SaveResult saveMessages(const QString &pop3Server, const QString &account, const QString &password,
                            int first, int last) override;
    std::optional<QStringList> readMail(const QString &file) override;
    void abort() override;

    // Folder of the saved messages of one account.
    QString mailboxDir(const QString &pop3Server, const QString &account) const;
    // File name for a message with this unique id (POP3 UIDL).
    static QString fileNameForUid(const QByteArray &uid);

private:
    Q_DISABLE_COPY_MOVE(CurlMailService)
    MailOptions m_options;
    std::atomic<bool> m_abort{false};
};
