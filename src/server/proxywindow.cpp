#include "server/proxywindow.h"

#include "server/addressentry.h"
#include "shell/clientcore.h"
#include "shell/icons.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace server {

ProxyWindow::ProxyWindow(ClientCore &core, QWidget *parent) : QDialog(parent), m_core(core)
{
    setObjectName(QStringLiteral("Form12"));
    setWindowTitle(QStringLiteral("Wez PROXY設定"));
    setWindowIcon(icons::appIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto *prompt = new QLabel(QStringLiteral("プロキシのＩＰアドレスを入力してください"), this);
    prompt->setObjectName(QStringLiteral("Label1"));

    auto *boxes = new QHBoxLayout;
    // Up to three digits a box; a point (typed or pasted) spreads the parts
    // after it over the next boxes, so the text may hold a whole address.
    auto *digits = new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("\\s*[0-9]{0,3}([.\uFF0E]\\s*[0-9]{0,3}){0,3}\\s*")), this);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            auto *point = new QLabel(QStringLiteral("\uFF0E"), this);
            point->setObjectName(QStringLiteral("Label%1").arg(i + 1));
            boxes->addWidget(point);
        }
        auto *box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("Text1"));
        box->setProperty("index", i);
        box->setAccessibleName(QStringLiteral("プロキシのＩＰアドレス %1番目の数").arg(i + 1));
        box->setValidator(digits);
        box->setFixedWidth(48);
        box->setAlignment(Qt::AlignCenter);
        box->installEventFilter(this);
        connect(box, &QLineEdit::textEdited, this, [this, i](const QString &text) { spread(i, text); });
        m_boxes << box;
        boxes->addWidget(box);
    }
    boxes->addStretch(1);

    auto *ok = new QPushButton(QStringLiteral("ＯＫ"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Ｃａｎｓｅｌ"), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addLayout(boxes);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &ProxyWindow::store);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(this, &QDialog::rejected, this, &QWidget::close);
}

bool ProxyWindow::acceptsKey(const QString &text)
{
    if (text.isEmpty()) return true; // no character: a cursor or function key, which types nothing
    const QChar c = text.front();
    return text.size() == 1 && ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QChar(8) ||
                                c == QLatin1Char('.') || c == QChar(0xFF0E));
}

void ProxyWindow::spread(int index, const QString &text)
{
    if (!text.contains(QLatin1Char('.')) && !text.contains(QChar(0xFF0E))) return;
    std::array<QString, 4> before;
    for (int i = 0; i < 4; ++i)
        before[i] = m_boxes[i]->text();
    const std::optional<DottedBoxes> after = spreadDotted(before, index, text);
    if (!after) return;
    for (int i = 0; i < 4; ++i)
        m_boxes[i]->setText(after->boxes[i]);
    QLineEdit *next = m_boxes[after->focus];
    next->setFocus();
    if (after->select)
        next->selectAll();
    else
        next->end(false);
}

bool ProxyWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && m_boxes.contains(static_cast<QLineEdit *>(watched))) {
        auto *key = static_cast<QKeyEvent *>(event);
        auto *box = static_cast<QLineEdit *>(watched);
        // Backspace in an empty box goes on in the one before it.
        if (key->key() == Qt::Key_Backspace && box->text().isEmpty() && box != m_boxes.front()) {
            QLineEdit *previous = m_boxes[m_boxes.indexOf(box) - 1];
            previous->setFocus();
            previous->end(false);
            return true;
        }
        // Backspace arrives with its own key code whatever text the platform attaches;
        // with Ctrl, Alt or Meta a key types nothing (paste, copy, select all go through).
        const bool shortcut = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (!shortcut && key->key() != Qt::Key_Backspace && key->key() != Qt::Key_Return &&
            key->key() != Qt::Key_Enter && key->key() != Qt::Key_Escape && key->key() != Qt::Key_Tab &&
            key->key() != Qt::Key_Backtab && !acceptsKey(key->text()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void ProxyWindow::store()
{
    SharedState &s = m_core.state();
    s.proxyAddress = QStringLiteral("no");
    for (const QLineEdit *box : std::as_const(m_boxes)) {
        if (box->text().isEmpty()) {
            close();
            return;
        }
    }
    QStringList parts;
    for (const QLineEdit *box : std::as_const(m_boxes))
        parts << box->text();
    s.proxyAddress = parts.join(QLatin1Char('.'));
    m_core.entrance().setAddressText(s.proxyAddress);
    close();
}

} // namespace server
