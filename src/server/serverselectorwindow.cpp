#include "server/serverselectorwindow.h"

#include "shell/clientcore.h"
#include "shell/icons.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

namespace server {
namespace {

const QString kListFile = QStringLiteral("wezserv.dat");

} // namespace

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

    auto *addressLabel = new QLabel(QStringLiteral("新しいサーバのアドレス"), this);
    addressLabel->setObjectName(QStringLiteral("Label2"));
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("Text1"));
    m_address->setPlaceholderText(QStringLiteral("例：wez.example.jp または 192.168.1.10"));
    addressLabel->setBuddy(m_address);
    auto *descriptionLabel = new QLabel(QStringLiteral("説明（省略可）"), this);
    descriptionLabel->setObjectName(QStringLiteral("Label3"));
    m_description = new QLineEdit(this);
    m_description->setObjectName(QStringLiteral("Text2"));
    descriptionLabel->setBuddy(m_description);
    auto *add = new QPushButton(QStringLiteral("追加"), this);
    add->setObjectName(QStringLiteral("Command3"));
    add->setAutoDefault(false);
    m_outcome = new QLabel(this);
    m_outcome->setObjectName(QStringLiteral("Label4"));
    m_outcome->setWordWrap(true);
    m_outcome->setAccessibleName(QStringLiteral("追加の結果"));
    for (QLineEdit *box : {m_address, m_description})
        box->installEventFilter(this);

    auto *layout = new QGridLayout(this);
    layout->addWidget(m_current, 0, 0, 1, 4);
    layout->addWidget(m_descriptions, 1, 0, 1, 4);
    layout->addWidget(addressLabel, 2, 0);
    layout->addWidget(m_address, 2, 1, 1, 2);
    layout->addWidget(descriptionLabel, 3, 0);
    layout->addWidget(m_description, 3, 1, 1, 2);
    layout->addWidget(add, 3, 3);
    layout->addWidget(m_outcome, 4, 0, 1, 4);
    layout->addWidget(ok, 5, 2);
    layout->addWidget(cancel, 5, 3);
    layout->setColumnStretch(1, 1);

    connect(ok, &QPushButton::clicked, this, &ServerSelectorWindow::choose);
    connect(add, &QPushButton::clicked, this, &ServerSelectorWindow::addServer);
    // The cancel button and Escape both just close.
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(this, &QDialog::rejected, this, &QWidget::close);
    showList(ServerList::readFile(m_core.shippedFile(kListFile)));
}

void ServerSelectorWindow::showList(const QList<ServerListItem> &list)
{
    m_items->clear();
    m_descriptions->clear();
    for (const ServerListItem &item : list) {
        m_items->addItem(item.item);
        m_descriptions->addItem(item.description);
    }
    m_current->setText(ServerList::describe(list, m_core.state().serverAddress));
}

bool ServerSelectorWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Enter in the boxes adds the server; it must not reach OK, which changes server and ends the program.
    if (event->type() == QEvent::KeyPress && (watched == m_address || watched == m_description)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            addServer();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ServerSelectorWindow::addServer()
{
    const ServerListAddition r =
        ServerList::add(m_core.shippedFile(kListFile), m_address->text(), m_description->text());
    if (r.refusal.isEmpty()) {
        showList(r.items);
        m_address->clear();
        m_description->clear();
    }
    if (r.index >= 0 && r.index < m_descriptions->count()) m_descriptions->setCurrentRow(int(r.index));
    tell(r.refusal.isEmpty() ? kAddedText : r.refusal, !r.refusal.isEmpty());
    if (!r.refusal.isEmpty() && r.index < 0) {
        m_address->setFocus();
        m_address->selectAll();
    }
}

void ServerSelectorWindow::tell(const QString &text, bool refused)
{
    m_outcome->setStyleSheet(refused ? QStringLiteral("color: #c00000;") : QString());
    m_outcome->setText(text);
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
