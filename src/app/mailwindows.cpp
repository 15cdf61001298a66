#include "app/mailwindows.h"

#include "app/clientwindows.h"
#include "mail/curlmailservice.h"
#include "mail/messagepostwindow.h"
#include "shell/clientcore.h"
#include "shell/entrancewindow.h"

#include <QAction>
#include <QPushButton>

namespace {
MailOptions options(ClientCore &core)
{
    MailOptions o;
    o.dataDir = core.dataDir();
    // Mail connections leave from the client's own address like all the others.
    const QHostAddress bind = core.bindAddress();
    if (!bind.isNull() && bind != QHostAddress::Any && bind != QHostAddress::AnyIPv4 &&
        bind != QHostAddress::AnyIPv6)
        o.bindAddress = bind.toString();
    return o;
}
} // namespace

MailWindows::MailWindows(ClientCore &core, ClientWindows &windows, EntranceWindow &entrance, QObject *parent)
    : QObject(parent), m_windows(windows)
{
    setObjectName(QStringLiteral("MailFeature"));
    m_checkRunner = new MailRunner(std::make_shared<CurlMailService>(options(core)), this);
    m_postRunner = new MailRunner(std::make_shared<CurlMailService>(options(core)), this);

    m_check = new MailCheck(core, *m_checkRunner, this);
    connect(m_check, &MailCheck::summaryReady, this, &MailWindows::showSummary);
    m_check->setObjectName(QStringLiteral("MailCheck"));

    QPointer<EntranceWindow> entranceWindow(&entrance);
    m_post = new MailPost(
        core, *m_postRunner,
        [entranceWindow] {
            if (entranceWindow) entranceWindow->menuItem(QStringLiteral("menuMail"))->trigger();
        },
        this);
    m_post->setObjectName(QStringLiteral("MailPost"));

    connect(&windows, &ClientWindows::messagePostWindowCreated, this,
            [this](PostWindow *w) { w->setMailSender([this](PostWindow &window) { send(window); }); });
    connect(entrance.menuItem(QStringLiteral("menuMailck")), &QAction::triggered, m_check,
            &MailCheck::menuCheck);
    m_check->timer3().start();
}

void MailWindows::showSummary(const QString &summary)
{
    PostWindow *before = m_windows.messagePostWindow();
    const QString kept = before && before->isShowingReceived() ? before->text() : QString();
    // Loaded (if need be), turned to "OK" and shown.
    m_windows.showReceivedPost(summary);
    PostWindow *w = m_windows.messagePostWindow();
    if (!w) return;
    // The new summary takes the place of the previous one; a post received
    // from a peer and not yet acknowledged stays on screen, or it would be
    // lost before reaching the message log.
    QString text = summary;
    if (!kept.isEmpty() && kept != m_lastSummary) {
        const qsizetype at = m_lastSummary.isEmpty() ? -1 : kept.indexOf(m_lastSummary);
        text = at >= 0 ? QString(kept).replace(at, m_lastSummary.size(), summary)
                       : summary + QStringLiteral("\r\n") + kept;
    }
    w->setText(text);
    m_lastSummary = summary;
}

void MailWindows::send(PostWindow &window)
{
    QPointer<PostWindow> w(&window);
    const MailPost::Start started = m_post->sendByMail(window.text(), [w](const QString &error) {
        if (!w) return;
        if (error.isEmpty()) {
            w->close();
            return;
        }
        // The text stays for another try.
        w->button()->setEnabled(true);
    });
    // One send per post: the button waits for the server's answer.
    if (started == MailPost::Start::Sending) window.button()->setEnabled(false);
}
