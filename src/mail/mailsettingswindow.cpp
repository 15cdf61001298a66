#include "mail/mailsettingswindow.h"

#include "shell/clientcore.h"
#include "shell/icons.h"
#include "shell/mailsettings.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

MailSettingsWindow::MailSettingsWindow(ClientCore &core, QWidget *parent)
    : QWidget(parent, Qt::Window), m_core(core)
{
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("Wez Mail Setting"));
    setWindowIcon(icons::appIcon());

    const char *labels[] = {"メールアドレス", "ＳＭＴＰサーバ", "ＰＯＰ３サーバ",
                            "アカウント",     "パスワード",     "巡回時間"};
    QLabel *labelWidgets[6];
    for (int i = 0; i < 6; ++i) {
        labelWidgets[i] = new QLabel(QString::fromUtf8(labels[i]), this);
        labelWidgets[i]->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        m_fields[i] = new QLineEdit(this);
        m_fields[i]->setObjectName(QStringLiteral("Text%1").arg(i + 1));
        labelWidgets[i]->setBuddy(m_fields[i]);
    }
    m_fields[4]->setEchoMode(QLineEdit::Password);
    // The password shows as "*", whatever the style's own mask is.
    m_fields[4]->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    // The interval takes digits only; backspace still works.
    m_fields[5]->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    m_fields[5]->setMaximumWidth(60);

    auto *send = new QGroupBox(QStringLiteral("送信の設定"), this);
    send->setObjectName(QStringLiteral("Frame1"));
    auto *sendGrid = new QGridLayout(send);
    for (int i = 0; i < 2; ++i) {
        sendGrid->addWidget(labelWidgets[i], i, 0);
        sendGrid->addWidget(m_fields[i], i, 1);
    }
    auto *receive = new QGroupBox(QStringLiteral("受信の設定"), this);
    receive->setObjectName(QStringLiteral("Frame2"));
    auto *receiveGrid = new QGridLayout(receive);
    for (int i = 2; i < 5; ++i) {
        receiveGrid->addWidget(labelWidgets[i], i - 2, 0);
        receiveGrid->addWidget(m_fields[i], i - 2, 1, 1, 3);
    }
    auto *minutes = new QLabel(QStringLiteral("分"), this);
    minutes->setObjectName(QStringLiteral("Label7"));
    auto *never = new QLabel(QStringLiteral("(0ならしない)"), this);
    never->setObjectName(QStringLiteral("Label8"));
    receiveGrid->addWidget(labelWidgets[5], 3, 0);
    receiveGrid->addWidget(m_fields[5], 3, 1);
    receiveGrid->addWidget(minutes, 3, 2);
    receiveGrid->addWidget(never, 3, 3);
    receiveGrid->setColumnStretch(3, 1);

    auto *ok = new QPushButton(QStringLiteral("ＯＫ"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("ＣＡＮＳＥＬ"), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(send);
    layout->addWidget(receive);
    layout->addLayout(buttons);
    setMinimumWidth(380);

    connect(ok, &QPushButton::clicked, this, [this] {
        if (store()) close();
    });
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
}

void MailSettingsWindow::showEvent(QShowEvent *event)
{
    const MailSettings &m = m_core.state().mail;
    const QString values[] = {m.mailAddress, m.smtpServer,   m.pop3Server,
                              m.mailAccount, m.mailPassword, m.checkInterval};
    for (int i = 0; i < 6; ++i)
        m_fields[i]->setText(values[i]);
    QWidget::showEvent(event);
}

bool MailSettingsWindow::store()
{
    MailSettings m;
    m.mailAddress = m_fields[0]->text();
    m.smtpServer = m_fields[1]->text();
    m.pop3Server = m_fields[2]->text();
    m.mailAccount = m_fields[3]->text();
    m.mailPassword = m_fields[4]->text();
    m.checkInterval = m_fields[5]->text().isEmpty() ? QStringLiteral("0") : m_fields[5]->text();
    m_core.state().mail = m;
    const QString file = m_core.path(QString::fromLatin1(mailsettings::kFileName));
    if (!settingsfiles::saveFile(file, mailsettings::write(m))) {
        m_core.desktop().showMessage(QStringLiteral("メールの設定を保存できませんでした。") +
                                     QStringLiteral("\r\n") + file);
        return false;
    }
    return true;
}
