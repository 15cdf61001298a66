#include "mail/mailcheck.h"

#include "mail/mailwait.h"
#include "shell/clientcore.h"

#include <algorithm>

namespace mailcheck {

namespace {
const QString kCrLf = QStringLiteral("\r\n");

int16_t add16(int16_t a, int b)
{
    return int16_t(std::clamp(int(a) + b, 0, 32767));
}
} // namespace

void Summary::addMessage(const QStringList &lines)
{
    // Lines come in threes: subject, sender, body; the values start at
    // character 7 (after a 6-character prefix), the subject's at character 10.
    bool post = false;
    for (qsizetype k = 0; k < lines.size(); ++k) {
        const QString &line = lines.at(k);
        switch (k % 3) {
        case 0:
            post = line.mid(9, 3) == QLatin1String("Wez");
            break;
        case 1:
            if (post)
                m_blocks += line.mid(6) + kCrLf;
            else
                m_other = add16(m_other, 1);
            break;
        default:
            if (post) m_blocks += line.mid(6) + kCrLf + kSeparator + kCrLf;
            break;
        }
    }
}

void Summary::addOther(int count)
{
    m_other = add16(m_other, count);
}

QString Summary::text() const
{
    return m_blocks + QStringLiteral("その他のメールが") + QString::number(m_other) +
           QStringLiteral("件あります");
}

int intervalMinutes(const QString &checkInterval)
{
    bool ok = false;
    const int minutes = checkInterval.trimmed().toInt(&ok, 10);
    return ok && minutes > 0 && minutes <= 32767 ? minutes : 0;
}

} // namespace mailcheck

MailCheck::MailCheck(ClientCore &core, MailRunner &runner, QObject *parent)
    : QObject(parent), m_core(core), m_runner(runner)
{
    m_timer3.setObjectName(QStringLiteral("Timer3"));
    m_timer3.setInterval(kTickMs);
    connect(&m_timer3, &QTimer::timeout, this, &MailCheck::tick);
}

void MailCheck::tick()
{
    // A running check stands for the disabled timer: its ticks do not count.
    if (m_running) return;
    SharedState &s = m_core.state();
    const MailSettings &mail = s.mail;
    if (mail.pop3Server.isEmpty() || mail.mailAccount.isEmpty() || mail.mailPassword.isEmpty()) return;
    const int interval = mailcheck::intervalMinutes(mail.checkInterval);
    if (interval <= 0) return;
    if (postBeingWritten()) return;
    s.minuteCount = int16_t(std::min(int(s.minuteCount) + 1, 32767));
    if (interval > s.minuteCount) return;
    start();
}

void MailCheck::menuCheck()
{
    if (m_running) return;
    SharedState &s = m_core.state();
    const int interval = mailcheck::intervalMinutes(s.mail.checkInterval);
    s.minuteCount = int16_t(std::min(interval + 1, 32767));
    const bool borrowed = interval <= 0;
    if (borrowed) s.mail.checkInterval = QStringLiteral("1");
    tick();
    if (borrowed) s.mail.checkInterval = QStringLiteral("0");
}

void MailCheck::start()
{
    const MailSettings mail = m_core.state().mail;
    auto job = [mail](MailService &service) {
        Fetched result;
        const StatResult stat = service.statCount(mail.pop3Server, mail.mailAccount, mail.mailPassword);
        if (!stat.ok) return result;
        const int count = std::clamp(stat.count, 0, 32767);
        const SaveResult saved =
            service.saveMessages(mail.pop3Server, mail.mailAccount, mail.mailPassword, 1, count);
        // A download that broke off would list part of the mailbox as if it
        // were all of it: show nothing and try again at the next tick.
        if (!saved.ok) return result;
        result.ok = true;
        result.other = saved.skipped;
        for (const QString &file : saved.files) {
            if (const std::optional<QStringList> lines = service.readMail(file))
                result.messages.append(*lines);
            else
                ++result.other;
        }
        return result;
    };
    if (!m_runner.run<Fetched>(job, [this](Fetched result) { fetched(result); }))
        return; // the runner is busy with another call: the next tick tries again
    m_running = true;
}

void MailCheck::fetched(const Fetched &result)
{
    if (!result.ok) {
        finish(false);
        return;
    }
    mailcheck::Summary summary;
    for (const QStringList &lines : result.messages)
        summary.addMessage(lines);
    summary.addOther(result.other);
    const QString text = summary.text();
    mailwait::whenIdle(m_core.state(), this, [this, text] {
        // The user began a post meanwhile: their text stays, the check comes again.
        if (postBeingWritten()) {
            finish(false);
            return;
        }
        Q_EMIT summaryReady(text);
        m_core.state().minuteCount = 0;
        finish(true);
    });
}

bool MailCheck::postBeingWritten() const
{
    const SharedState &s = m_core.state();
    return s.isOpen(MessagePostWindow) && s.postDrafting;
}

void MailCheck::finish(bool shown)
{
    m_running = false;
    Q_EMIT checkFinished(shown);
}
