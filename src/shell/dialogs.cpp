#include "shell/dialogs.h"

#include "shell/icons.h"
#include "shell/sharedstate.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace {

QPlainTextEdit *makeTextBox(QWidget *parent, const QString &accessibleName)
{
    auto *text = new QPlainTextEdit(parent);
    text->setObjectName(QStringLiteral("Text1"));
    text->setAccessibleName(accessibleName);
    text->setReadOnly(true);
    text->setFrameShape(QFrame::NoFrame);
    text->setMinimumSize(360, 80);
    QPalette p = text->palette();
    p.setColor(QPalette::Base, parent->palette().color(QPalette::Window));
    text->setPalette(p);
    return text;
}

QPushButton *makeButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setMinimumWidth(90);
    return b;
}

// Enter presses the focused button, else `fallback`; Escape closes the window
// (for a question that is its "no"). True when the key was one of them.
bool handleDialogKey(QWidget *window, QKeyEvent *event, QPushButton *fallback)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        window->close();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        auto *focused = qobject_cast<QPushButton *>(window->focusWidget());
        (focused ? focused : fallback)->click();
        return true;
    }
    default:
        return false;
    }
}

void setupWindow(QWidget *w, const QString &name)
{
    w->setObjectName(name);
    w->setWindowTitle(kVersionText);
    w->setWindowIcon(icons::appIcon());
    w->setAttribute(Qt::WA_DeleteOnClose);
}

} // namespace

MessageWindow::MessageWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setupWindow(this, QStringLiteral("Form10"));
    m_text = makeTextBox(this, QStringLiteral("メッセージ"));
    m_ok = makeButton(QStringLiteral("Command1"), QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_ok, 0, Qt::AlignHCenter);
    connect(m_ok, &QPushButton::clicked, this, &QWidget::close);
}

void MessageWindow::setText(const QString &text)
{
    m_text->setPlainText(text);
    m_ok->setFocus();
}

QString MessageWindow::text() const
{
    return m_text->toPlainText();
}

void MessageWindow::closeEvent(QCloseEvent *event)
{
    Q_EMIT closing();
    event->accept();
}

void MessageWindow::keyPressEvent(QKeyEvent *event)
{
    if (!handleDialogKey(this, event, m_ok)) QWidget::keyPressEvent(event);
}

YesNoWindow::YesNoWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setupWindow(this, QStringLiteral("Form11"));
    m_text = makeTextBox(this, QStringLiteral("質問"));
    auto *yes = m_yes = makeButton(QStringLiteral("Command1"), QStringLiteral("はい"), this);
    auto *no = makeButton(QStringLiteral("Command2"), QStringLiteral("いいえ"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addWidget(no);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addLayout(buttons);
    connect(yes, &QPushButton::clicked, this, [this] { answer(1); });
    connect(no, &QPushButton::clicked, this, [this] { answer(-1); });
}

void YesNoWindow::setText(const QString &text)
{
    m_text->setPlainText(text);
    m_yes->setFocus();
}

void YesNoWindow::keyPressEvent(QKeyEvent *event)
{
    if (!handleDialogKey(this, event, m_yes)) QWidget::keyPressEvent(event);
}

QString YesNoWindow::text() const
{
    return m_text->toPlainText();
}

void YesNoWindow::answer(int value)
{
    m_answered = true;
    Q_EMIT answered(value);
    close();
}

void YesNoWindow::closeEvent(QCloseEvent *event)
{
    // The close box is a "no", so nobody is left waiting for an answer.
    if (!m_answered) {
        m_answered = true;
        Q_EMIT answered(-1);
    }
    event->accept();
}

void placeOver(QWidget *window, QWidget *asker)
{
    if (!window->testAttribute(Qt::WA_Resized)) window->adjustSize();
    const QScreen *screen = asker ? asker->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    const QPoint centre = asker ? asker->frameGeometry().center() : area.center();
    // Not yet framed: count on the frame the asker has.
    const QSize frame = asker ? asker->frameGeometry().size() - asker->size() : QSize(0, 0);
    QRect placed(QPoint(), window->size() + frame);
    placed.moveCenter(centre);
    // Over a window near the edge it still opens whole on that screen.
    if (area.isValid()) {
        placed.moveRight(qMin(placed.right(), area.right()));
        placed.moveBottom(qMin(placed.bottom(), area.bottom()));
        placed.moveLeft(qMax(placed.left(), area.left()));
        placed.moveTop(qMax(placed.top(), area.top()));
    }
    window->move(placed.topLeft());
    // The window manager keeps it above the asker and maps it there.
    window->winId();
    if (QWindow *handle = window->windowHandle())
        handle->setTransientParent(asker ? asker->windowHandle() : nullptr);
}

void showOver(QWidget *window, QWidget *asker)
{
    if (!window->isVisible()) placeOver(window, asker);
    window->show();
    window->raise();
}

ProgressWindow::ProgressWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Wez"));
    setWindowIcon(icons::appIcon());
    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(icons::appIcon().pixmap(32, 32));
    auto *label1 = new QLabel(QStringLiteral("終了処理中です。しばらくお待ちください"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    auto *label2 = new QLabel(kVersionText, this);
    label2->setObjectName(QStringLiteral("Label2"));
    auto *texts = new QVBoxLayout;
    texts->addWidget(label1);
    texts->addWidget(label2);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(picture);
    layout->addLayout(texts);
}
