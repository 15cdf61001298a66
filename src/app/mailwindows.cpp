#include "app/mailwindows.h"

#include "app/clientwindows.h"
#include "app/coreclient.h"
#include "mail/messagepostwindow.h"
#include "shell/entrancewindow.h"

#include <QAction>
#include <QPushButton>

MailWindows::MailWindows(CoreClient &parts, ClientWindows &windows, EntranceWindow &entrance, QObject *parent)
    : QObject(parent), m_windows(windows), m_post(parts.mailPost)
{
    connect(&parts.mailCheck, &MailCheck::summaryReady, this, &MailWindows::showSummary);
    QPointer<EntranceWindow> entranceWindow(&entrance);
    connect(&m_post, &MailPost::settingsNeeded, this, [entranceWindow] {
        if (entranceWindow) entranceWindow->menuItem(QStringLiteral("menuMail"))->trigger();
    });
    connect(&windows, &ClientWindows::messagePostWindowCreated, this,
            [this](PostWindow *w) { w->setMailSender([this](PostWindow &window) { send(window); }); });
    connect(entrance.menuItem(QStringLiteral("menuMailck")), &QAction::triggered, &parts.mailCheck,
            &MailCheck::menuCheck);
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
    const MailPost::Start started = m_post.sendByMail(window.text(), [w](const QString &error) {
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
