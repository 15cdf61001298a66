#include "shell/features.h"

#include "mail/curlmailservice.h"
#include "mail/mailcheck.h"
#include "mail/mailpost.h"
#include "mail/mailrunner.h"
#include "mail/messagepostwindow.h"
#include "peer/peerwindows.h"
#include "shell/client.h"

#include <QAction>
#include <QPointer>
#include <QPushButton>

namespace {

// The mail subsystem of one client: the check and the post by mail, each on
// a worker of its own so a slow POP3 server never holds up a post.
class MailFeature final : public QObject {
    Q_DISABLE_COPY_MOVE(MailFeature)
public:
    explicit MailFeature(Client &client)
    {
        setObjectName(QStringLiteral("MailFeature"));
        ClientCore &core = client.core();
        m_windows = client.findChild<PeerWindows *>(QStringLiteral("PeerWindows"));
        m_checkRunner = new MailRunner(std::make_shared<CurlMailService>(options(core)), this);
        m_postRunner = new MailRunner(std::make_shared<CurlMailService>(options(core)), this);

        MailCheck::Hooks hooks;
        hooks.postBeingWritten = [this, &core] {
            PostWindow *w = m_windows ? m_windows->messagePostWindow() : nullptr;
            return core.state().isOpen(MessagePostWindow) && w && !w->isShowingReceived();
        };
        hooks.showSummary = [this](const QString &summary) { showSummary(summary); };
        m_check = new MailCheck(core, *m_checkRunner, std::move(hooks), this);
        m_check->setObjectName(QStringLiteral("MailCheck"));

        QPointer<EntranceWindow> entrance = client.entranceWindow();
        m_post = new MailPost(
            core, *m_postRunner,
            [entrance] {
                if (entrance) entrance->menuItem(QStringLiteral("menuMail"))->trigger();
            },
            this);
        m_post->setObjectName(QStringLiteral("MailPost"));

        if (m_windows) {
            connect(m_windows, &PeerWindows::messagePostWindowCreated, this, [this](PostWindow *w) {
                w->setMailSender([this](PostWindow &window) { send(window); });
            });
            if (PostWindow *w = m_windows->messagePostWindow())
                w->setMailSender([this](PostWindow &window) { send(window); });
        }
        connect(entrance->menuItem(QStringLiteral("menuMailck")), &QAction::triggered, m_check,
                &MailCheck::menuCheck);
        m_check->timer3().start();
        connect(&client, &Client::finished, m_check, [this] { m_check->timer3().stop(); });
    }

private:
    static MailOptions options(ClientCore &core)
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

    void showSummary(const QString &summary)
    {
        if (!m_windows) return;
        PostWindow *before = m_windows->messagePostWindow();
        const QString kept = before && before->isShowingReceived() ? before->text() : QString();
        // Loaded (if need be), turned to "OK" and shown.
        m_windows->showReceivedPost(summary);
        PostWindow *w = m_windows->messagePostWindow();
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

    void send(PostWindow &window)
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

    QPointer<PeerWindows> m_windows;
    MailRunner *m_checkRunner;
    MailRunner *m_postRunner;
    MailCheck *m_check;
    MailPost *m_post;
    QString m_lastSummary;
};

} // namespace

void installMail(Client &client)
{
    auto *feature = new MailFeature(client);
    feature->setParent(&client);
    // The check and the post work on the core: they go with the entrance
    // window, while the core still exists.
    QObject::connect(client.entranceWindow(), &QObject::destroyed, &client, [feature] { delete feature; });
}
