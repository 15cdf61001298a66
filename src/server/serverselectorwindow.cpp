#include "server/serverselectorwindow.h"

#include "server/serverlist.h"
#include "shell/clientcore.h"
#include "shell/icons.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

namespace server {

ServerSelectorWindow::ServerSelectorWindow(ClientCore &core, std::function<void(const QString &)> choose,
                                           QWidget *parent)
    : QDialog(parent), m_core(core), m_choose(std::move(choose))
{
    setObjectName(QStringLiteral("Form14"));
    setWindowTitle(QStringLiteral("Wez Server Selecter"));
    setWindowIcon(icons::appIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    m_items = new QListWidget(this);
    m_items->setObjectName(QStringLiteral("List1"));
    m_items->hide();
    m_descriptions = new QListWidget(this);
    m_descriptions->setObjectName(QStringLiteral("List2"));
    m_descriptions->setAccessibleName(QStringLiteral("サーバの一覧"));
    m_descriptions->setMinimumSize(320, 160);
    m_current = new QLabel(this);
    m_current->setObjectName(QStringLiteral("Label1"));
    m_current->setMinimumWidth(200);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("CANSEL"), this);
    cancel->setObjectName(QStringLiteral("Command2"));

    auto *layout = new QGridLayout(this);
    layout->addWidget(m_current, 0, 0, 1, 3);
    layout->addWidget(m_descriptions, 1, 0, 1, 3);
    layout->addWidget(ok, 2, 1);
    layout->addWidget(cancel, 2, 2);
    layout->setColumnStretch(0, 1);

    connect(ok, &QPushButton::clicked, this, &ServerSelectorWindow::choose);
    // The cancel button and Escape both just close.
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(this, &QDialog::rejected, this, &QWidget::close);
    load();
}

void ServerSelectorWindow::load()
{
    const QList<ServerListItem> list =
        ServerList::readFile(m_core.shippedFile(QStringLiteral("wezserv.dat")));
    for (const ServerListItem &item : list) {
        m_items->addItem(item.item);
        m_descriptions->addItem(item.description);
    }
    m_current->setText(ServerList::describe(list, m_core.state().serverAddress));
}

void ServerSelectorWindow::choose()
{
    QPointer<ServerSelectorWindow> self(this);
    const int answer = m_core.desktop().askYesNo(kConfirmText);
    if (!self || answer != 1) return;
    const int row = m_descriptions->currentRow();
    if (row < 0 || row >= m_items->count() || !m_descriptions->item(row)->isSelected()) return;
    const QString item = m_items->item(row)->text();
    const QString address = item.left(item.indexOf(QLatin1Char('/')));
    if (m_choose) m_choose(address);
}

} // namespace server
