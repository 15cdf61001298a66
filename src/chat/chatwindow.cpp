#include "chat/chatwindow.h"

#include "chat/chatsession.h"
#include "chat/chattext.h"
#include "chat/fontsizedialog.h"
#include "shell/clientcore.h"
#include "shell/icons.h"
#include "shell/newestfirsttext.h"
#include "shell/plaintext.h"
#include "shell/windowplacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOption>
#include <QTimer>

namespace {
constexpr int kTwips = 15;
const QString kDisplayFont = QStringLiteral("ＭＳ Ｐゴシック");

constexpr int kFrameMs = 16;

QString fromSelection(QString text)
{
    return text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"))
        .replace(QChar::LineSeparator, QStringLiteral("\r\n"));
}

// The input line's frame as one plain rectangle: the style's rounded,
// antialiased one cost more than the rest of a chat line's round trip.
class PlainFrameStyle final : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element != PE_PanelLineEdit && element != PE_FrameLineEdit) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const QPalette &palette = option->palette;
        const QRect r = option->rect.adjusted(0, 0, -1, -1);
        if (element == PE_PanelLineEdit) painter->fillRect(option->rect, palette.brush(QPalette::Base));
        const bool focused = option->state & State_HasFocus;
        painter->setPen(focused ? palette.color(QPalette::Highlight) : palette.color(QPalette::Mid));
        painter->drawRect(r);
    }
};
} // namespace

ChatBoardWindow::ChatBoardWindow(ClientCore &core, ChatSession &session,
                                 std::function<QWidget *()> transferWindow, QWidget *parent)
    : QMainWindow(parent), m_core(core), m_session(session), m_transferWindow(std::move(transferWindow))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Wez Chat Board"));
    setWindowIcon(icons::appIcon());
    auto *central = new QWidget(this);
    setCentralWidget(central);

    m_text1 = new QPlainTextEdit(central);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setReadOnly(true);
    m_text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text1->setToolTip(QStringLiteral("チャット表示エリア"));
    m_text1->setAccessibleName(m_text1->toolTip());
    QFont displayFont(kDisplayFont);
    displayFont.setPointSizeF(12);
    m_text1->setFont(displayFont);
    m_text1->setGeometry(0, 0, 4575 / kTwips, 2055 / kTwips);
    m_display = std::make_unique<NewestFirstText>(m_text1);

    m_text2 = new QLineEdit(central);
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->setToolTip(QStringLiteral("テキスト入力エリア"));
    m_text2->setAccessibleName(m_text2->toolTip());
    QFont inputFont(kDisplayFont);
    inputFont.setPointSizeF(14.25);
    m_text2->setFont(inputFont);
    m_text2->setGeometry(0, 2160 / kTwips, 4575 / kTwips, 390 / kTwips);
    m_text2->setMaxLength(kMaxInputChars);
    auto *inputStyle = new PlainFrameStyle;
    inputStyle->setParent(m_text2);
    m_text2->setStyle(inputStyle);

    const char *captions[] = {"送信", "ホワイトボード", "接続を切る"};
    int buttonLeft = 0;
    for (int i = 0; i < 3; ++i) {
        m_buttons[i] = new QPushButton(QString::fromUtf8(captions[i]), central);
        m_buttons[i]->setObjectName(QStringLiteral("Command%1").arg(i + 1));
        // The laid-out size, or wider where this desktop's font needs it.
        const int width = std::max(1215 / kTwips, m_buttons[i]->sizeHint().width());
        m_buttons[i]->setGeometry(buttonLeft, 2640 / kTwips, width,
                                  std::max(375 / kTwips, m_buttons[i]->sizeHint().height()));
        buttonLeft += width + 105 / kTwips;
        m_buttons[i]->setAutoDefault(false);
    }
    m_buttons[0]->setDefault(true);
    m_label1 = new QLabel(central);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->move(4560 / kTwips, 2760 / kTwips);
    m_label1->resize(40, 16);

    setTabOrder(m_text2, m_buttons[0]);
    setTabOrder(m_buttons[0], m_buttons[1]);
    setTabOrder(m_buttons[1], m_buttons[2]);

    buildMenus();

    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    connect(m_timer2, &QTimer::timeout, this, [this] {
        placeTransferWindow();
        m_session.pluginTick();
    });
    m_timer2->start(500);

    connect(m_buttons[0], &QPushButton::clicked, this, &ChatBoardWindow::sendLine);
    // Enter stands for the default button, and does nothing while it is grey.
    connect(m_text2, &QLineEdit::returnPressed, this, [this] {
        if (m_buttons[0]->isEnabled()) sendLine();
    });
    connect(m_buttons[1], &QPushButton::clicked, this, &ChatBoardWindow::openWhiteboard);
    connect(m_buttons[2], &QPushButton::clicked, this, &ChatBoardWindow::endChat);

    m_frame = new QTimer(this);
    m_frame->setSingleShot(true);
    connect(m_frame, &QTimer::timeout, this, &ChatBoardWindow::showPendingLines);
    connect(&m_session, &ChatSession::lineAdded, this, &ChatBoardWindow::queueLine);
    m_paintFrame = new QTimer(this);
    m_paintFrame->setSingleShot(true);
    connect(m_paintFrame, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });
    connect(&m_session, &ChatSession::hangingUp, this, &ChatBoardWindow::onHangingUp);
    // A window still loaded from the last chat serves the next one with its commands back.
    connect(&m_session, &ChatSession::opened, this, [this] {
        m_menuFile->setEnabled(true);
        for (QPushButton *b : m_buttons)
            b->setEnabled(true);
    });
    connect(&m_session, &ChatSession::finished, this, &ChatBoardWindow::onFinished);

    // Form_Load
    m_display->setText(m_session.transcript());
    resize(4700 / kTwips, 3555 / kTwips);
    placement::moveTo(this, m_core.state().chatPosition);
    m_actions.value(QStringLiteral("menuAllTop"))->setChecked(false);
    m_text2->setFocus();
}

ChatBoardWindow::~ChatBoardWindow()
{
    Q_EMIT unloading();
    delete m_fontDialog.data();
}

void ChatBoardWindow::buildMenus()
{
    auto add = [this](QMenu *menu, const char *name, const char *caption) {
        QAction *a = caption ? menu->addAction(QString::fromUtf8(caption)) : menu->addSeparator();
        a->setObjectName(QString::fromLatin1(name));
        m_actions.insert(a->objectName(), a);
        return a;
    };
    m_menuFile = menuBar()->addMenu(QStringLiteral("操作"));
    m_menuFile->setObjectName(QStringLiteral("menuFile"));
    connect(add(m_menuFile, "menuFont", "フォントサイズ変更"), &QAction::triggered, this,
            &ChatBoardWindow::openFontDialog);
    connect(add(m_menuFile, "menuWhiteBoard", "共有ホワイトボード"), &QAction::triggered, this,
            &ChatBoardWindow::openWhiteboard);
    add(m_menuFile, "menuFtne", "ファイル転送"); // the file transfer attaches here
    connect(add(m_menuFile, "menuClose", "切断"), &QAction::triggered, this, &ChatBoardWindow::endChat);
    add(m_menuFile, "menuDummy", nullptr);
    add(m_menuFile, "menuFrsv", "ファイルを受信する")->setCheckable(true);
    QAction *top = add(m_menuFile, "menuAllTop", "常に手前に表示");
    top->setCheckable(true);
    connect(top, &QAction::triggered, this, &ChatBoardWindow::toggleTopMost);
    add(m_menuFile, "menuDummy2", nullptr);
    connect(add(m_menuFile, "menuMuriyari", "強制終了"), &QAction::triggered, this,
            &ChatBoardWindow::forceQuit);

    QMenu *edit = menuBar()->addMenu(QStringLiteral("編集"));
    edit->setObjectName(QStringLiteral("menuHen"));
    connect(add(edit, "menuCopy", "コピー"), &QAction::triggered, this, &ChatBoardWindow::copySelection);
    connect(add(edit, "menuPast", "貼り付け"), &QAction::triggered, this, &ChatBoardWindow::paste);

    QMenu *feelings = menuBar()->addMenu(QStringLiteral("自分の気持ち"));
    feelings->setObjectName(QStringLiteral("menuKimochi"));
    for (int i = 0; i < chat::kFeelingCount; ++i) {
        QAction *a = feelings->addAction(chat::feelingCaption(i));
        a->setObjectName(QStringLiteral("menu01"));
        a->setData(i);
        m_feelings.append(a);
        connect(a, &QAction::triggered, this, [this, i] { sendFeeling(i); });
    }
}

QAction *ChatBoardWindow::feelingAction(int index) const
{
    return m_feelings.value(index);
}

QString ChatBoardWindow::displayText()
{
    showPendingLines();
    return m_display->text();
}

int ChatBoardWindow::displayFontSize() const
{
    return qRound(m_text1->font().pointSizeF());
}

void ChatBoardWindow::setDisplayFontSize(int size)
{
    QFont f = m_text1->font();
    f.setPointSize(size);
    m_text1->setFont(f);
}

bool ChatBoardWindow::confirmLoss(const QString &text)
{
    const QString question = plaintext::lossQuestion(text);
    if (question.isEmpty()) return true;
    QPointer<ChatBoardWindow> self(this);
    const int answer = m_core.desktop().askYesNo(question);
    return self && answer == 1;
}

void ChatBoardWindow::sendLine()
{
    const QString text = m_text2->text();
    if (text.isEmpty()) return;
    const QList<qsizetype> lost = cp932::unrepresentable(m_core.entrance().name() + text);
    if (!lost.isEmpty()) {
        // Mark the span the partner would not get as typed.
        const qsizetype offset = m_core.entrance().name().size();
        const qsizetype first = std::max<qsizetype>(lost.first() - offset, 0);
        const QString all = m_core.entrance().name() + text;
        const qsizetype end = lost.last() + (all.at(lost.last()).isHighSurrogate() ? 2 : 1) - offset;
        m_text2->setSelection(int(first), int(std::max<qsizetype>(end - first, 1)));
        QPointer<ChatBoardWindow> self(this);
        if (!confirmLoss(m_core.entrance().name() + text) || !self) return;
    }
    m_session.sendLine(text);
    m_text2->clear();
}

void ChatBoardWindow::sendFeeling(int index)
{
    QPointer<ChatBoardWindow> self(this);
    if (!confirmLoss(chat::feelingMessage(m_core.entrance().name(), index)) || !self) return;
    m_session.sendFeeling(index);
}

void ChatBoardWindow::openWhiteboard()
{
    m_session.startWhiteboard();
}

void ChatBoardWindow::queueLine(const QString &line)
{
    m_pendingLines.append(line);
    if (m_frame->isActive()) return;
    // A line after a quiet spell shows at once; the ones right behind it wait for the next frame.
    const qint64 since = m_sinceShown.isValid() ? m_sinceShown.elapsed() : kFrameMs;
    m_frame->start(int(std::max<qint64>(0, kFrameMs - since)));
}

void ChatBoardWindow::showPendingLines()
{
    m_frame->stop();
    if (m_pendingLines.isEmpty()) return;
    QString lines;
    for (auto it = m_pendingLines.crbegin(); it != m_pendingLines.crend(); ++it) {
        if (!lines.isEmpty()) lines += plaintext::kCrLf;
        lines += *it;
    }
    m_pendingLines.clear();
    m_sinceShown.start();
    // At the top the new line shows; scrolled down, the lines in view stay in view.
    QScrollBar *bar = m_text1->verticalScrollBar();
    const bool atTop = bar->value() == bar->minimum();
    const int fromBottom = bar->maximum() - bar->value();
    m_display->prepend(lines);
    bar->setValue(atTop ? bar->minimum() : bar->maximum() - fromBottom);
}

bool ChatBoardWindow::event(QEvent *event)
{
    if (event->type() != QEvent::UpdateRequest) return QMainWindow::event(event);
    // What is to be painted stays marked; the held-back request paints it at the frame.
    const qint64 since = m_sincePainted.isValid() ? m_sincePainted.elapsed() : kFrameMs;
    if (since < kFrameMs) {
        if (!m_paintFrame->isActive()) m_paintFrame->start(int(kFrameMs - since));
        return true;
    }
    m_paintFrame->stop();
    m_sincePainted.start();
    return QMainWindow::event(event);
}

void ChatBoardWindow::paintNow()
{
    m_sincePainted.invalidate();
    repaint();
}

void ChatBoardWindow::endChat()
{
    hangUp();
}

void ChatBoardWindow::hangUp()
{
    if (m_inHangUp) return;
    m_inHangUp = true;
    QPointer<ChatBoardWindow> self(this);
    m_session.hangUpByUser();
    if (!self) return;
    m_inHangUp = false;
    // The chat finished inside its closing steps (the partner's "con 120"
    // during the whiteboard wait): the window goes now that they are through.
    if (m_finishAfterHangUp) {
        m_deleting = true;
        hide();
        deleteLater();
    }
}

void ChatBoardWindow::onHangingUp()
{
    setTopMost(false);
    m_core.state().chatPosition = placement::positionOf(this);
    m_menuFile->setEnabled(false);
    for (QPushButton *b : m_buttons)
        b->setEnabled(false);
}

void ChatBoardWindow::onFinished()
{
    if (m_deleting) return;
    if (m_inHangUp) {
        m_finishAfterHangUp = true;
        return;
    }
    m_deleting = true;
    hide();
    deleteLater();
}

void ChatBoardWindow::unload()
{
    if (m_deleting) return;
    // The session's end comes back as finished(), which takes the window away.
    if (m_session.isActive()) {
        m_session.closeByUser();
        return;
    }
    m_deleting = true;
    hide();
    deleteLater();
}

void ChatBoardWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    unload();
}

void ChatBoardWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    const QRect frame = frameGeometry();
    const int w = frame.width() * kTwips;
    const int h = frame.height() * kTwips;
    const int menuHeight = menuBar()->isVisible() ? menuBar()->height() : 0;
    // Sizes in twips as laid out; the central widget starts below the menu bar.
    QRect display = m_text1->geometry();
    if (w > 500) display.setWidth((w - 125) / kTwips);
    if (h > 1450) display.setHeight(std::max(1, (h - 1500) / kTwips - menuHeight / 2));
    m_text1->setGeometry(display);
    QRect input = m_text2->geometry();
    if (w > 500) input.moveTop(display.bottom() + 1 + 10 / kTwips + 1);
    if (h > 1200) input.setWidth((w - 125) / kTwips);
    m_text2->setGeometry(input);
    const int buttonTop = input.bottom() + 1 + 25 / kTwips + 1;
    for (QPushButton *b : m_buttons)
        b->move(b->x(), buttonTop);
    m_label1->move(m_label1->x(), buttonTop + 8);
    placeTransferWindow();
}

void ChatBoardWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    placeTransferWindow();
}

void ChatBoardWindow::placeTransferWindow()
{
    QWidget *transfer = m_transferWindow ? m_transferWindow() : nullptr;
    if (!transfer) return;
    placement::placeBeside(transfer, this);
}

void ChatBoardWindow::openFontDialog()
{
    QAction *top = m_actions.value(QStringLiteral("menuAllTop"));
    if (top->isChecked()) setTopMost(false);
    if (!m_fontDialog) {
        m_fontDialog = new FontSizeDialog(displayFontSize());
        connect(m_fontDialog, &FontSizeDialog::sizeChosen, this, &ChatBoardWindow::setDisplayFontSize);
    }
    m_fontDialog->show();
    m_fontDialog->raise();
    if (top->isChecked()) setTopMost(true);
}

void ChatBoardWindow::copySelection()
{
    QTextCursor cursor = m_text1->textCursor();
    if (!cursor.hasSelection()) {
        m_core.desktop().setClipboardText(m_text2->selectedText());
        m_text2->deselect();
        return;
    }
    m_core.desktop().setClipboardText(fromSelection(cursor.selectedText()));
    cursor.clearSelection();
    m_text1->setTextCursor(cursor);
}

void ChatBoardWindow::paste()
{
    m_text2->setText(m_text2->text() + m_core.desktop().clipboardText());
    m_text2->end(false);
}

void ChatBoardWindow::toggleTopMost()
{
    // The action has already flipped its check mark.
    setTopMost(m_actions.value(QStringLiteral("menuAllTop"))->isChecked());
}

void ChatBoardWindow::setTopMost(bool on)
{
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == on) return;
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) show();
}

void ChatBoardWindow::setTransferCommandsEnabled(bool enabled)
{
    // A chat that is ending keeps its commands off whatever a transfer does.
    if (enabled && !m_session.isOpen()) return;
    m_buttons[1]->setEnabled(enabled);
    m_buttons[2]->setEnabled(enabled);
    for (const char *name : {"menuWhiteBoard", "menuFtne", "menuClose"})
        m_actions.value(QString::fromLatin1(name))->setEnabled(enabled);
}

bool ChatBoardWindow::alwaysOnTop() const
{
    return m_actions.value(QStringLiteral("menuAllTop"))->isChecked();
}

void ChatBoardWindow::setStatusText(const QString &text)
{
    m_label1->setText(text);
    m_label1->adjustSize();
}

void ChatBoardWindow::forceQuit()
{
    QPointer<ChatBoardWindow> self(this);
    const int answer = m_core.desktop().askYesNo(
        QStringLiteral("相手が応答しなくなったときだけ、使用してください。") + plaintext::kCrLf +
        QStringLiteral("Ｗｅｚを強制終了します。よろしいですか？"));
    if (answer != 1 || !self) return;
    m_session.forceQuit();
}
