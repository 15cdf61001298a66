#include "server/memberlistwindow.h"

#include "server/memberentry.h"
#include "server/memberrowdelegate.h"
#include "server/serverclient.h"
#include "shell/clientcore.h"
#include "shell/icons.h"
#include "shell/windowplacement.h"

#include <QAbstractListModel>
#include <QCloseEvent>
#include <QGridLayout>
#include <QKeySequence>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

namespace server {

namespace {
constexpr int kFrameMs = 16;
} // namespace

// The visible lines over the server client's entries. Rows are added in
// batches at the end, so the view lays out once per batch, and a line is made
// only when the view asks for it.
class MemberRows final : public QAbstractListModel {
public:
    MemberRows(const QStringList &entries, QObject *parent) : QAbstractListModel(parent), m_entries(entries)
    {
    }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : m_rows; }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows ||
            index.row() >= m_entries.size())
            return {};
        return MemberEntry::split(m_entries.at(index.row())).display();
    }

    void catchUp()
    {
        const int total = int(m_entries.size());
        if (total <= m_rows) return;
        beginInsertRows({}, m_rows, total - 1);
        m_rows = total;
        endInsertRows();
    }

    void clear()
    {
        beginResetModel();
        m_rows = 0;
        endResetModel();
    }

private:
    const QStringList &m_entries;
    int m_rows = 0;
};

MemberListWindow::MemberListWindow(ClientCore &core, const ServerClient &server, Hooks hooks, QWidget *parent)
    : QWidget(parent, Qt::Window), m_core(core), m_server(server), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Wez Member's List"));
    setWindowIcon(icons::appIcon());
    setAttribute(Qt::WA_DeleteOnClose);

    m_rows = new MemberRows(server.members(), this);
    m_lines = new QListView(this);
    m_lines->setObjectName(QStringLiteral("List2"));
    m_lines->setAccessibleName(QStringLiteral("メンバーリスト"));
    m_lines->setModel(m_rows);
    m_lines->setUniformItemSizes(true);
    m_lines->setItemDelegate(new MemberRowDelegate(m_lines));
    m_lines->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lines->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lines->setMinimumSize(300, 220);
    m_legend = new QLabel(kLegend, this);
    m_legend->setObjectName(QStringLiteral("Legend"));
    m_legend->setAccessibleName(QStringLiteral("記号の説明"));

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
    layout->addWidget(m_legend, 1, 0, 1, 3);
    layout->addWidget(m_chat, 2, 0, 2, 1);
    layout->addWidget(m_post, 2, 1, 2, 1);
    layout->addWidget(m_reload, 2, 2);
    layout->addWidget(m_close, 3, 2);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);

    // Enter, or a double-click on a member, chooses a member to chat with, as
    // the default button of the window.
    auto chooseMember = [this] {
        if (m_chat->isEnabled()) m_chat->click();
    };
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *enter = new QShortcut(QKeySequence(key), this);
        connect(enter, &QShortcut::activated, m_chat, chooseMember);
    }
    connect(m_lines, &QAbstractItemView::doubleClicked, m_chat, chooseMember);

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

    // Entries come one per server round trip: the list takes them once a frame.
    m_frame = new QTimer(this);
    m_frame->setSingleShot(true);
    m_frame->setInterval(kFrameMs);
    connect(m_frame, &QTimer::timeout, this, &MemberListWindow::showPendingEntries);
    connect(&server, &ServerClient::memberEntry, this, &MemberListWindow::entryArrived);
    connect(&server, &ServerClient::membersCleared, this, [this] {
        m_frame->stop();
        m_rows->clear();
    });
    // The end of the list, or its failure, shows what came at once.
    connect(&server, &ServerClient::reloadUsable, this, &MemberListWindow::showPendingEntries);
}

void MemberListWindow::load()
{
    SharedState &s = m_core.state();
    s.setOpen(WindowNumber::MemberListWindow, true);
    layout()->activate();
    adjustSize();
    placement::moveTo(this, s.memberListPosition);
    if (m_hooks.connectToServer) m_hooks.connectToServer();
}

void MemberListWindow::entryArrived()
{
    // The first entry after a pause shows at once; the ones right behind it wait for the frame.
    if (m_frame->isActive()) return;
    if (m_rows->rowCount() == 0) showPendingEntries();
    m_frame->start();
}

void MemberListWindow::showPendingEntries()
{
    m_rows->catchUp();
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
    return m_server.members().mid(0, m_rows->rowCount());
}

QStringList MemberListWindow::displayLines() const
{
    QStringList out;
    for (int i = 0; i < m_rows->rowCount(); ++i)
        out << m_rows->data(m_rows->index(i), Qt::DisplayRole).toString();
    return out;
}

QString MemberListWindow::selectedAddress() const
{
    const QModelIndex current = m_lines->currentIndex();
    const int row = current.row();
    if (!current.isValid() || row >= m_server.members().size() ||
        !m_lines->selectionModel()->isSelected(current))
        return {};
    // An entry without a comma names nobody to call: the split leaves the address empty.
    return MemberEntry::split(m_server.members().at(row)).address;
}

void MemberListWindow::reload()
{
    m_core.state().profileRegistered = 1;
    // The lists are emptied by the server client as the new exchange begins.
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
