#include "mail/mailpost.h"

#include "mail/mailwait.h"
#include "shell/clientcore.h"

#include <QPointer>

MailPost::MailPost(ClientCore &core, MailRunner &runner, QObject *parent)
    : QObject(parent), m_core(core), m_runner(runner)
{
}

MailPost::Start MailPost::sendByMail(const QString &body, std::function<void(const QString &)> done)
{
    const MailSettings &mail = m_core.state().mail;
    if (mail.smtpServer.isEmpty() || mail.mailAddress.isEmpty()) {
        m_core.desktop().showMessage(kIncompleteSettings);
        mailwait::whenIdle(m_core.state(), this, [this] { Q_EMIT settingsNeeded(); });
        return Start::Incomplete;
    }
    // Every value is taken now: the user may change the settings or the
    // address box while the server is still talking.
    QPointer<MailPost> self(this);
    const bool started =
        m_runner.sendMail(mail.smtpServer, m_core.entrance().ipText(), mail.mailAddress,
                          kSubjectHead + m_core.entrance().name(), body, mail.mailAccount, mail.mailPassword,
                          [self, done = std::move(done)](const QString &error) {
                              if (!self) return;
                              if (!error.isEmpty())
                                  self->m_core.desktop().showMessage(QStringLiteral("Code:") + error);
                              if (done) done(error);
                          });
    return started ? Start::Sending : Start::Busy;
}
