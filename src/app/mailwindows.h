#pragma once
// The mail subsystem of one client: the check and the post by mail, each on
// a worker of its own so a slow POP3 server never holds up a post, and what
// they show in the message post window.
#include "mail/mailcheck.h"
#include "mail/mailpost.h"
#include "mail/mailrunner.h"

#include <QObject>
#include <QPointer>

class ClientCore;
class ClientWindows;
class EntranceWindow;
class PostWindow;

class MailWindows final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MailWindows)
public:
    MailWindows(ClientCore &core, ClientWindows &windows, EntranceWindow &entrance,
                QObject *parent = nullptr);

    MailCheck &check() { return *m_check; }
    // The client shuts down: no more checks.
    void stop() { m_check->timer3().stop(); }

private:
    void showSummary(const QString &summary);
    void send(PostWindow &window);

    ClientWindows &m_windows;
    MailRunner *m_checkRunner;
    MailRunner *m_postRunner;
    MailCheck *m_check;
    MailPost *m_post;
    QString m_lastSummary;
};
