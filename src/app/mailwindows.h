#pragma once
// What the mail check and the post by mail show in the windows: the summary
// in the message post window, the post window's send by mail, the entrance
// window's check menu and the settings window when a mail lacks them.
#include "mail/mailcheck.h"
#include "mail/mailpost.h"

#include <QObject>
#include <QPointer>

class ClientWindows;
class CoreClient;
class EntranceWindow;
class PostWindow;

class MailWindows final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MailWindows)
public:
    MailWindows(CoreClient &parts, ClientWindows &windows, EntranceWindow &entrance,
                QObject *parent = nullptr);

private:
    void showSummary(const QString &summary);
    void send(PostWindow &window);

    ClientWindows &m_windows;
    MailPost &m_post;
    QString m_lastSummary;
};
