#include "transfer/progresswindow.h"

#include "shell/sharedstate.h"
#include "shell/windowplacement.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace transfer {
namespace {

constexpr int kNameWidth = 240;

} // namespace

ProgressWindow::ProgressWindow(QWidget *chatWindow, SharedState &state)
    : QWidget(chatWindow, Qt::Tool), m_chat(chatWindow), m_state(state), m_label(new QLabel(this)),
      m_fileName(new QLabel(this)), m_bar(new QProgressBar(this))
{
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Wez File Transfer"));
    m_label->setObjectName(QStringLiteral("Label1"));
    m_fileName->setObjectName(QStringLiteral("Label2"));
    m_fileName->setTextFormat(Qt::PlainText);
    m_bar->setObjectName(QStringLiteral("ProgressBar1"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_bar->setAccessibleName(QStringLiteral("転送の進み具合"));
    m_fileName->setAccessibleName(QStringLiteral("転送するファイル"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_fileName);
    layout->addWidget(m_bar);
    layout->addWidget(m_label);
    setFixedSize(std::max(titleWidth(), kNameWidth), sizeHint().height());
    m_state.setOpen(TransferWindow, true);
    if (m_chat) m_chat->installEventFilter(this);
    placeAtCorner();
}

ProgressWindow::~ProgressWindow()
{
    m_state.setOpen(TransferWindow, false);
}

int ProgressWindow::titleWidth() const
{
    // Title bars often use a bold face a little larger than the window's own.
    QFont title = font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.2);
    const QFontMetrics metrics(title);
    // The icon on the left and up to three buttons on the right, each about a line high.
    return metrics.horizontalAdvance(windowTitle()) + 4 * metrics.height() + 24;
}

void ProgressWindow::setText(const QString &text)
{
    m_label->setText(text);
    static const QRegularExpression percent(QStringLiteral("(\\d+)%"));
    const QRegularExpressionMatch m = percent.match(text);
    if (m.hasMatch()) m_bar->setValue(std::min(100, m.captured(1).toInt()));
}

QString ProgressWindow::text() const
{
    return m_label->text();
}

void ProgressWindow::setFileName(const QString &name)
{
    // A long name keeps its start and its extension.
    const int room = width() - layout()->contentsMargins().left() - layout()->contentsMargins().right();
    m_fileName->setText(m_fileName->fontMetrics().elidedText(name, Qt::ElideMiddle, room));
    m_fileName->setToolTip(name);
}

void ProgressWindow::placeAtCorner()
{
    if (m_chat) placement::placeBeside(this, m_chat);
}

bool ProgressWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_chat && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        placeAtCorner();
    return QWidget::eventFilter(watched, event);
}

void ProgressWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The frame is known only now.
    placeAtCorner();
}

} // namespace transfer
