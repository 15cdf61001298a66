#pragma once
// A message post sent by mail: the destination typed in the entrance window's
// address box gets the post's text, from the user's own address, with the
// subject "Wez Mail form " + the user's name, which the other side's mail
// check recognises. The SMTP dialogue runs off the user-interface thread.
#include "mail/mailrunner.h"

#include <QObject>

#include <functional>

class ClientCore;

class MailPost final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MailPost)
public:
    inline static const QString kIncompleteSettings =
        QStringLiteral("送信用のメールの設定に未記入の欄があります。全て記入してください");
    inline static const QString kSubjectHead = QStringLiteral("Wez Mail form ");

    MailPost(ClientCore &core, MailRunner &runner, QObject *parent = nullptr);

    enum class Start {
        Sending,    // handed to the SMTP server; `done` follows
        Incomplete, // settings missing: the user was told, the settings window opens
        Busy,       // a post is still on its way; nothing was done
    };
    // Sends `body`; `done` gets "" when the server took it, else the error,
    // which the user has already seen as "Code:" + error.
    Start sendByMail(const QString &body, std::function<void(const QString &error)> done);

Q_SIGNALS:
    // The settings lack what a mail needs: the mail settings window (Form9) opens.
    void settingsNeeded();

private:
    ClientCore &m_core;
    MailRunner &m_runner;
};
