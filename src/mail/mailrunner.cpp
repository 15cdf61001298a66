#include "mail/mailrunner.h"

MailRunner::MailRunner(std::shared_ptr<MailService> service, QObject *parent)
    : QObject(parent), m_service(std::move(service))
{
    m_thread.setObjectName(QStringLiteral("mail"));
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    // The worker thread starts with the first call: most runs never use mail.
}

MailRunner::~MailRunner()
{
    m_service->abort();
    if (!m_thread.isRunning()) {
        delete m_worker;
        return;
    }
    m_thread.quit();
    m_thread.wait();
}

bool MailRunner::post(Work work)
{
    if (m_busy) return false;
    if (!m_thread.isRunning()) m_thread.start();
    m_busy = true;
    Q_EMIT busyChanged(true);
    std::shared_ptr<MailService> service = m_service;
    QMetaObject::invokeMethod(
        m_worker,
        [this, service, work = std::move(work)] {
            std::function<void()> completion = work(*service);
            // Queued to the runner: if it is gone by then, Qt drops the call.
            QMetaObject::invokeMethod(
                this, [this, completion] { finish(completion); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return true;
}

void MailRunner::finish(const std::function<void()> &completion)
{
    // Free before the callback, so the callback may start the next call.
    m_busy = false;
    Q_EMIT busyChanged(false);
    completion();
}

bool MailRunner::sendMail(const QString &smtpServer, const QString &recipient, const QString &sender,
                          const QString &subject, const QString &body, const QString &account,
                          const QString &password, std::function<void(QString)> done)
{
    return run<QString>(
        [=](MailService &s) {
            return s.sendMail(smtpServer, recipient, sender, subject, body, account, password);
        },
        std::move(done));
}

bool MailRunner::statCount(const QString &pop3Server, const QString &account, const QString &password,
                           std::function<void(StatResult)> done)
{
    return run<StatResult>([=](MailService &s) { return s.statCount(pop3Server, account, password); },
                           std::move(done));
}

bool MailRunner::saveMessages(const QString &pop3Server, const QString &account, const QString &password,
                              int first, int last, std::function<void(SaveResult)> done)
{
    return run<SaveResult>(
        [=](MailService &s) { return s.saveMessages(pop3Server, account, password, first, last); },
        std::move(done));
}
