#include "server/memberlistwindow.h"

#include "shell/windowplacement.h"

#include "server/memberentry.h"
#include "shell/clientcore.h"
#include "shell/icons.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeySequence>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

namespace server {

MemberListWindow::MemberListWindow(ClientCore &core, Hooks hooks, QWidget *parent)
    : QWidget(parent, Qt::Window), m_core(core), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Wez Member's List"));
    setWindowIcon(icons::appIcon());
    setAttribute(Qt::WA_DeleteOnClose);

    m_entries = new QListWidget(this);
    m_entries->setObjectName(QStringLiteral("List1"));
    m_entries->hide();
    m_lines = new QListWidget(this);
    m_lines->setObjectName(QStringLiteral("List2"));
    m_lines->setMinimumSize(300, 220);

    auto button = [this](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    m_chat = button("Command1", QStringLiteral("チャット"));
    m_close = button("Command2", QStringLiteral("閉じる"));
    m_post = button("Command3", QStringLiteral("メッセージポスト"));
    m_reload = button("Command4", QStringLiteral("再読込み"));
    m_chat->setIcon(icons::chat());
    m_chat->setIconSize(QSize(24, 24));
    for (QPushButton *big : {m_chat, m_post})
        big->setMinimumHeight(56);
    m_chat->setDefault(true);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_lines, 0, 0, 1, 3);
    layout->addWidget(m_chat, 1, 0, 2, 1);
    layout->addWidget(m_post, 1, 1, 2, 1);
    layout->addWidget(m_reload, 1, 2);
    layout->addWidget(m_close, 2, 2);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);

    // Enter chooses a member to chat with, as the default button of the window.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *enter = new QShortcut(QKeySequence(key), this);
        connect(enter, &QShortcut::activated, m_chat, [this] {
            if (m_chat->isEnabled()) m_chat->click();
        });
    }

    connect(m_chat, &QPushButton::clicked, this, [this] {
        const QString address = selectedAddress();
        if (!address.isEmpty() && m_hooks.chatWithMember) m_hooks.chatWithMember(address);
    });
    connect(m_post, &QPushButton::clicked, this, [this] {
        const QString address = selectedAddress();
        if (!address.isEmpty() && m_hooks.postToMember) m_hooks.postToMember(address);
    });
    connect(m_reload, &QPushButton::clicked, this, &MemberListWindow::reload);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
}

void MemberListWindow::load()
{
    m_core.state().setOpen(WindowNumber::MemberListWindow, true);
    adjustSize();
    placement::moveTo(this, m_core.state().memberListPosition);
    if (m_hooks.connectToServer) m_hooks.connectToServer();
}

void MemberListWindow::addEntry(const QString &entry)
{
    if (m_entries->count() >= kMaxEntries) return;
    // Both lists grow together, so an index means the same member in each.
    m_entries->addItem(entry);
    m_lines->addItem(MemberEntry::split(entry).display());
}

void MemberListWindow::enableReload()
{
    m_reload->setEnabled(true);
}

void MemberListWindow::disableReload()
{
    m_reload->setEnabled(false);
}

void MemberListWindow::peerIdle(bool idle)
{
    m_chat->setEnabled(idle);
    m_post->setEnabled(idle);
    if (idle) m_reload->setEnabled(true);
}

QStringList MemberListWindow::entries() const
{
    QStringList out;
    for (int i = 0; i < m_entries->count(); ++i)
        out << m_entries->item(i)->text();
    return out;
}

QStringList MemberListWindow::displayLines() const
{
    QStringList out;
    for (int i = 0; i < m_lines->count(); ++i)
        out << m_lines->item(i)->text();
    return out;
}

QString MemberListWindow::selectedAddress() const
{
    const int row = m_lines->currentRow();
    if (row < 0 || row >= m_entries->count() || !m_lines->item(row)->isSelected()) return {};
    // An entry without a comma names nobody to call: the split leaves the address empty.
    return MemberEntry::split(m_entries->item(row)->text()).address;
}

void MemberListWindow::reload()
{
    m_core.state().profileRegistered = 1;
    m_entries->clear();
    m_lines->clear();
    m_reload->setEnabled(false);
    if (m_hooks.connectToServer) m_hooks.connectToServer();
}

void MemberListWindow::closeEvent(QCloseEvent *event)
{
    SharedState &s = m_core.state();
    s.setOpen(WindowNumber::MemberListWindow, false);
    s.memberListPosition = placement::positionOf(this);
    // However the window goes, registering must be possible again.
    m_core.entrance().setRegisterEnabled(true);
    event->accept();
}

} // namespace server
