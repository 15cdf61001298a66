#pragma once
// Runs mail calls on a worker thread of its own and hands each result back
// on the thread that owns the runner, so the windows never freeze while a
// server is slow. One call at a time: a call made while one runs is refused.
#include "mail/mailservice.h"

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>

class MailRunner final : public QObject {
    Q_OBJECT
public:
    explicit MailRunner(std::shared_ptr<MailService> service, QObject *parent = nullptr);
    // Asks the running call to give up and waits for the worker (bounded by
    // the service's time limits).
    ~MailRunner() override;

    bool busy() const { return m_busy; }
    MailService &service() const { return *m_service; }

    // Runs `job` on the worker; `done` gets its result on the owner's thread.
    // False (and nothing runs) while another job is busy.
    template <typename T> bool run(std::function<T(MailService &)> job, std::function<void(T)> done)
    {
        return post([job = std::move(job), done = std::move(done)](MailService &service) {
            T value = job(service);
            return std::function<void()>([done, value = std::move(value)] {
                if (done) done(value);
            });
        });
    }

    bool sendMail(const QString &smtpServer, const QString &recipient, const QString &sender,
                  const QString &subject, const QString &body, const QString &account,
                  const QString &password, std::function<void(QString)> done);
    bool statCount(const QString &pop3Server, const QString &account, const QString &password,
                   std::function<void(StatResult)> done);
    bool saveMessages(const QString &pop3Server, const QString &account, const QString &password, int first,
                      int last, std::function<void(SaveResult)> done);

Q_SIGNALS:
    void busyChanged(bool busy);

private:
    Q_DISABLE_COPY_MOVE(MailRunner)
    using Work = std::function<std::function<void()>(MailService &)>;
    bool post(Work work);
    void finish(const std::function<void()> &completion);

    std::shared_ptr<MailService> m_service;
    QThread m_thread;
    QObject *m_worker = nullptr; // lives in m_thread
    bool m_busy = false;
};
