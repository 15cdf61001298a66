#include "transfer/progresswindow.h"

#include "shell/sharedstate.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace transfer {

ProgressWindow::ProgressWindow(QWidget *chatWindow, SharedState &state)
    : QWidget(chatWindow, Qt::Tool), m_chat(chatWindow), m_state(state), m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Wez File Transfer"));
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setMinimumWidth(160);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    setFixedSize(sizeHint());
    m_state.setOpen(TransferWindow, true);
    if (m_chat) m_chat->installEventFilter(this);
    placeAtCorner();
}

ProgressWindow::~ProgressWindow()
{
    m_state.setOpen(TransferWindow, false);
}

void ProgressWindow::setText(const QString &text)
{
    m_label->setText(text);
}

QString ProgressWindow::text() const
{
    return m_label->text();
}

void ProgressWindow::placeAtCorner()
{
    if (!m_chat) return;
    const QRect chat = m_chat->frameGeometry();
    move(chat.left() + chat.width() - frameGeometry().width(), chat.top());
}

bool ProgressWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_chat && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        placeAtCorner();
    return QWidget::eventFilter(watched, event);
}

} // namespace transfer
