#pragma once
// The mail service the client runs with: the real one (SMTP, POP3 and MIME
// with libcurl and GMime) lives in the mail module and is loaded by the
// first call, on the mail worker thread, so start-up never pays for it.
// When the module cannot be loaded every call fails with a readable reason
// and the rest of the client carries on.
#include "mail/mailservice.h"

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class OnDemandMailService final : public MailService {
public:
    using Factory = MailService *(*)(const MailOptions &);
    // Finds the factory, or says why there is none.
    using Loader = std::function<Factory(QString *error)>;

    explicit OnDemandMailService(MailOptions options, Loader loader = moduleLoader());
    ~OnDemandMailService() override;

    // The mail module's factory, looked for once per run; a factory handed to
    // linkIn() first (programs that link the implementation themselves).
    static Loader moduleLoader();
    static void linkIn(Factory factory);

    QString sendMail(const QString &smtpServer, const QString &recipient, const QString &sender,
                     const QString &subject, const QString &body, const QString &account,
                     const QString &password) override;
    StatResult statCount(const QString &pop3Server, const QString &account, const QString &password) override;
    SaveResult saveMessages(const QString &pop3Server, const QString &account, const QString &password,
                            int first, int last) override;
    std::optional<QStringList> readMail(const QString &file) override;
    void abort() override;

private:
    Q_DISABLE_COPY_MOVE(OnDemandMailService)
    // The loaded service, or nullptr with `error` set.
    MailService *service(QString *error);

    MailOptions m_options;
    Loader m_loader;
    std::mutex m_mutex; // guards the loading and m_service against abort()
    std::unique_ptr<MailService> m_service;
    QString m_error;
    bool m_tried = false;
    bool m_aborted = false;
};
