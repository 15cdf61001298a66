#include "chat/chatwindow.h"

#include "chat/chatsession.h"
#include "chat/chattext.h"
#include "chat/fontsizedialog.h"
#include "peer/peerlink.h"
#include "shell/clientcore.h"
#include "shell/icons.h"
#include "shell/newestfirsttext.h"
#include "shell/windowplacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {
constexpr int kTwips = 15;
const QString kDisplayFont = QStringLiteral("ＭＳ Ｐゴシック");

QString fromSelection(QString text)
{
    return text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
}
} // namespace

ChatBoardWindow::ChatBoardWindow(ClientCore &core, PeerLink &link, Hooks hooks, QWidget *parent)
    : QMainWindow(parent), m_core(core), m_session(new ChatSession(core, link, this)),
      m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Wez Chat Board"));
    setWindowIcon(icons::appIcon());
    auto *central = new QWidget(this);
    setCentralWidget(central);

    m_text1 = new QPlainTextEdit(central);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setReadOnly(true);
    m_text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text1->setToolTip(QStringLiteral("チャット表示エリア"));
    QFont displayFont(kDisplayFont);
    displayFont.setPointSizeF(12);
    m_text1->setFont(displayFont);
    m_text1->setGeometry(0, 0, 4575 / kTwips, 2055 / kTwips);
    m_display = std::make_unique<NewestFirstText>(m_text1);

    m_text2 = new QLineEdit(central);
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->setToolTip(QStringLiteral("テキスト入力エリア"));
    QFont inputFont(kDisplayFont);
    inputFont.setPointSizeF(14.25);
    m_text2->setFont(inputFont);
    m_text2->setGeometry(0, 2160 / kTwips, 4575 / kTwips, 390 / kTwips);
    m_text2->setMaxLength(kMaxInputChars);

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
        m_session->pluginTick();
    });
    m_timer2->start(500);

    connect(m_buttons[0], &QPushButton::clicked, this, &ChatBoardWindow::sendLine);
    connect(m_text2, &QLineEdit::returnPressed, this, &ChatBoardWindow::sendLine);
    connect(m_buttons[1], &QPushButton::clicked, this, &ChatBoardWindow::openWhiteboard);
    connect(m_buttons[2], &QPushButton::clicked, this, &ChatBoardWindow::endChat);

    // Form_Load
    SharedState &s = m_core.state();
    s.setOpen(WindowNumber::ChatWindow, true);
    resize(4700 / kTwips, 3555 / kTwips);
    placement::moveTo(this, s.chatPosition);
    s.blockAck = 0;
    s.recvFileName.clear();
    m_actions.value(QStringLiteral("menuAllTop"))->setChecked(false);
    m_text2->setFocus();
}

ChatBoardWindow::~ChatBoardWindow()
{
    Q_EMIT unloading();
    if (!m_closingDone) {
        // Torn down with the client: keep the flags right, say nothing more.
        m_core.state().setOpen(WindowNumber::ChatWindow, false);
    }
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

void ChatBoardWindow::addLine(const QString &line)
{
    m_display->prepend(textcap::clip(line, textcap::kMaxChatLineChars));
}

QString ChatBoardWindow::displayText() const
{
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
    const QString question = chat::lossQuestion(text);
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
    const QString line = m_session->sendLine(text);
    addLine(line);
    m_text2->clear();
}

void ChatBoardWindow::sendFeeling(int index)
{
    QPointer<ChatBoardWindow> self(this);
    if (!confirmLoss(chat::feelingMessage(m_core.entrance().name(), index)) || !self) return;
    addLine(m_session->sendFeeling(index));
}

void ChatBoardWindow::openWhiteboard()
{
    if (m_session->startWhiteboard() && m_hooks.showWhiteboard) m_hooks.showWhiteboard();
}

void ChatBoardWindow::endChat()
{
    m_core.state().setOpen(WindowNumber::ChatWindow, false);
    m_core.state().quietClose = 1;
    runClosingSteps();
}

void ChatBoardWindow::runClosingSteps()
{
    if (m_inClosing) return;
    m_inClosing = true;
    QPointer<ChatBoardWindow> self(this);
    SharedState &s = m_core.state();
    s.setOpen(WindowNumber::ChatWindow, false);
    setTopMost(false);
    s.chatPosition = placement::positionOf(this);
    m_menuFile->setEnabled(false);
    for (QPushButton *b : m_buttons)
        b->setEnabled(false);
    m_session->closingSteps(m_display->text(), [this] {
        if (m_hooks.closeWhiteboard) m_hooks.closeWhiteboard();
    });
    if (self) {
        m_inClosing = false;
        m_closingDone = true;
    }
}

void ChatBoardWindow::unload()
{
    if (m_deleting) return;
    // Unloaded from inside its own closing steps (the partner's "con 120"
    // during the whiteboard wait): the steps that run finish the job.
    if (m_inClosing) {
        m_deleting = true;
        QTimer::singleShot(0, this, [this] { deleteLater(); });
        return;
    }
    m_deleting = true;
    QPointer<ChatBoardWindow> self(this);
    runClosingSteps();
    if (self) {
        hide();
        deleteLater();
    }
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
    QWidget *transfer = m_hooks.transferWindow ? m_hooks.transferWindow() : nullptr;
    if (!transfer) return;
    const QRect frame = frameGeometry();
    transfer->move(frame.left() + frame.width() - transfer->frameGeometry().width(), frame.top());
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
    if (enabled && (m_closingDone || m_inClosing)) return;
    m_buttons[1]->setEnabled(enabled);
    m_buttons[2]->setEnabled(enabled);
    for (const char *name : {"menuWhiteBoard", "menuFtne", "menuClose"})
        m_actions.value(QString::fromLatin1(name))->setEnabled(enabled);
}

bool ChatBoardWindow::receiveEnabled() const
{
    return m_actions.value(QStringLiteral("menuFrsv"))->isChecked();
}

bool ChatBoardWindow::alwaysOnTop() const
{
    return m_actions.value(QStringLiteral("menuAllTop"))->isChecked();
}

QString ChatBoardWindow::statusText() const
{
    return m_label1->text();
}

void ChatBoardWindow::setStatusText(const QString &text)
{
    m_label1->setText(text);
    m_label1->adjustSize();
}

void ChatBoardWindow::forceQuit()
{
    QPointer<ChatBoardWindow> self(this);
    const int answer =
        m_core.desktop().askYesNo(QStringLiteral("相手が応答しなくなったときだけ、使用してください。") +
                                  chat::kCrLf + QStringLiteral("Ｗｅｚを強制終了します。よろしいですか？"));
    if (answer != 1 || !self) return;
    m_core.winsock1().close();
    m_core.winsock2().close();
    m_core.winsock3().close();
    // No closing steps: the partner only sees the connection drop.
    m_closingDone = true;
    if (m_hooks.forceQuit) m_hooks.forceQuit();
}
