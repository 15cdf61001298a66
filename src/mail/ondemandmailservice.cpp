#include "mail/ondemandmailservice.h"

#include "shell/modulelibrary.h"

#include <QDebug>

namespace {

std::atomic<OnDemandMailService::Factory> linkedFactory{nullptr};

QString unavailable(const QString &why)
{
    return QStringLiteral("メール機能を使えません: ") + why;
}

} // namespace

OnDemandMailService::OnDemandMailService(MailOptions options, Loader loader)
    : m_options(std::move(options)), m_loader(std::move(loader))
{
}

OnDemandMailService::~OnDemandMailService() = default;

void OnDemandMailService::linkIn(Factory factory)
{
    linkedFactory = factory;
}

OnDemandMailService::Loader OnDemandMailService::moduleLoader()
{
    return [](QString *error) -> Factory {
        if (Factory linked = linkedFactory) return linked;
        // Once per run, whichever worker asks first; the others wait for it.
        static const modulelibrary::Resolved module = [] {
            modulelibrary::Resolved r =
                modulelibrary::resolve(QStringLiteral("wezmail"), "wezCreateMailService");
            if (!r.function) qWarning().noquote() << "wez: mail is off:" << r.error;
            return r;
        }();
        if (error) *error = module.error;
        return reinterpret_cast<Factory>(module.function);
    };
}

MailService *OnDemandMailService::service(QString *error)
{
    std::lock_guard lock(m_mutex);
    if (!m_tried) {
        m_tried = true;
        QString why;
        if (const Factory create = m_loader(&why)) {
            m_service.reset(create(m_options));
            if (m_aborted) m_service->abort();
        } else {
            m_error = unavailable(why.isEmpty() ? QStringLiteral("メールのモジュールがありません") : why);
        }
    }
    if (!m_service && error) *error = m_error;
    return m_service.get();
}

QString OnDemandMailService::sendMail(const QString &smtpServer, const QString &recipient,
                                      const QString &sender, const QString &subject, const QString &body,
                                      const QString &account, const QString &password)
{
    QString error;
    MailService *s = service(&error);
    return s ? s->sendMail(smtpServer, recipient, sender, subject, body, account, password) : error;
}

StatResult OnDemandMailService::statCount(const QString &pop3Server, const QString &account,
                                          const QString &password)
{
    StatResult result;
    if (MailService *s = service(&result.error)) return s->statCount(pop3Server, account, password);
    return result;
}

SaveResult OnDemandMailService::saveMessages(const QString &pop3Server, const QString &account,
                                             const QString &password, int first, int last)
{
    SaveResult result;
    if (MailService *s = service(&result.error))
        return s->saveMessages(pop3Server, account, password, first, last);
    return result;
}

std::optional<QStringList> OnDemandMailService::readMail(const QString &file)
{
    if (MailService *s = service(nullptr)) return s->readMail(file);
    return std::nullopt;
}

void OnDemandMailService::abort()
{
    std::lock_guard lock(m_mutex);
    m_aborted = true;
    if (m_service) m_service->abort();
}
