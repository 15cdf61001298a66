#include "shell/entrancewindow.h"

#include "shell/animationwidget.h"
#include "shell/entrancestate.h"
#include "shell/icons.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel *picture(const QString &tip, const QPixmap &pixmap, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QStringLiteral("Picture1"));
    label->setPixmap(pixmap);
    label->setToolTip(tip);
    label->setFixedSize(28, 28);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

EntranceWindow::EntranceWindow(EntranceState &state, QWidget *parent)
    : QWidget(parent, Qt::Window), m_state(state)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Wez Entrance"));
    setWindowIcon(icons::appIcon());

    auto *animation = new AnimationWidget(this);

    m_pictures << picture(QStringLiteral("名前を記入してください"), icons::person(24), this)
               << picture(QStringLiteral("コメントを記入してください"), icons::balloon(24), this)
               << picture(QStringLiteral("あなたのＩＰを表示します"), icons::network(24), this);
    for (QLabel *p : std::as_const(m_pictures))
        p->installEventFilter(this);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("Text1"));
    m_name->setPlaceholderText(QStringLiteral("名前"));
    m_name->setAccessibleName(QStringLiteral("名前"));
    m_comment = new QLineEdit(this);
    m_comment->setObjectName(QStringLiteral("Text2"));
    m_comment->setPlaceholderText(QStringLiteral("コメント"));
    m_comment->setAccessibleName(QStringLiteral("コメント"));
    m_ipBox = new QComboBox(this);
    m_ipBox->setObjectName(QStringLiteral("Combo1"));
    m_ipBox->setEditable(true);
    m_ipBox->setInsertPolicy(QComboBox::NoInsert);
    m_ipBox->setToolTip(QStringLiteral("接続したい人のＩＰを記入してください"));
    m_ipBox->setAccessibleName(QStringLiteral("相手のＩＰ"));

    m_addressLabel = new QLabel(this);
    m_addressLabel->setObjectName(QStringLiteral("Label5"));
    m_addressLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_addressLabel->setAccessibleName(QStringLiteral("あなたのＩＰ"));
    m_stateLabel = new QLabel(this);
    m_stateLabel->setObjectName(QStringLiteral("Label4"));
    m_postTarget = new QLabel(this);
    m_postTarget->setObjectName(QStringLiteral("Label1"));
    m_postTarget->hide();

    auto makeButton = [this](int n, const QString &caption, const QString &tip) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QStringLiteral("Command%1").arg(n));
        if (!tip.isEmpty()) b->setToolTip(tip);
        m_buttons.insert(n, b);
        return b;
    };
    auto *registerButton =
        makeButton(1, QStringLiteral("サーバに登録"), QStringLiteral("名前、コメントをサーバに登録します。"));
    auto *chat = makeButton(2, QString(), QStringLiteral("チャットをします"));
    auto *exit = makeButton(3, QString(), QStringLiteral("Wezを終了します"));
    auto *post = makeButton(4, QStringLiteral("メッセージポスト"), QStringLiteral("メッセージを送信します"));
    auto *tray = makeButton(5, QStringLiteral("TaskTray"), QStringLiteral("タスクトレイに常駐します"));
    auto *address = makeButton(6, QStringLiteral("ＩＰをサーバから取得"), QString());
    for (auto *pictureButton : {chat, exit}) {
        // Pictures only: the screen reader needs a word for them.
        pictureButton->setAccessibleName(pictureButton == chat ? QStringLiteral("チャット")
                                                               : QStringLiteral("終了"));
        pictureButton->setIcon(pictureButton == chat ? icons::chat() : icons::exit());
        pictureButton->setIconSize(QSize(36, 36));
        pictureButton->setFixedSize(56, 48);
    }

    auto *fields = new QGridLayout;
    fields->addWidget(m_pictures[0], 0, 0);
    fields->addWidget(m_name, 0, 1, 1, 2);
    fields->addWidget(m_pictures[1], 1, 0);
    fields->addWidget(m_comment, 1, 1, 1, 2);
    fields->addWidget(m_ipBox, 2, 1, 1, 2);
    fields->addWidget(m_pictures[2], 3, 0);
    fields->addWidget(m_addressLabel, 3, 1);
    fields->addWidget(address, 3, 2);
    fields->setColumnStretch(1, 1);

    auto *commands = new QHBoxLayout;
    commands->addWidget(chat);
    commands->addWidget(exit);
    commands->addSpacing(8);
    auto *textButtons = new QGridLayout;
    textButtons->addWidget(registerButton, 0, 0);
    textButtons->addWidget(post, 0, 1);
    textButtons->addWidget(tray, 1, 0, 1, 2);
    commands->addLayout(textButtons, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 6);
    layout->addWidget(animation);
    layout->addLayout(fields);
    layout->addLayout(commands);
    layout->addWidget(m_stateLabel);
    layout->addWidget(m_postTarget);
    setMinimumWidth(360);

    buildMenu();

    connect(m_name, &QLineEdit::textEdited, this, [this](const QString &t) {
        m_state.setName(t);
        Q_EMIT nameEdited();
    });
    connect(m_comment, &QLineEdit::textEdited, this, [this](const QString &t) {
        m_state.setComment(t);
        Q_EMIT commentEdited();
    });
    connect(m_ipBox, &QComboBox::editTextChanged, this, [this](const QString &t) {
        if (!m_refreshing) m_state.setIpText(t);
    });
    connect(&m_state, &EntranceState::changed, this, &EntranceWindow::refresh);
    refresh();
}

void EntranceWindow::buildMenu()
{
    m_trayMenu = new QMenu(QStringLiteral("SYSTEM"), this);
    m_trayMenu->setObjectName(QStringLiteral("mnuTray"));
    const std::pair<const char *, const char *> items[] = {
        {"menuMail", "メールの設定"},
        {"menuMailck", "メールチェック"},
        {"menuProxy", "プロキシの設定"},
        {"menuDummy2", nullptr},
        {"menuChatlog", "チャットのログ"},
        {"menuMeslog", "メッセージのログ"},
        {"menuDummy", nullptr},
        {"menuSCng", "サーバの変更"},
        {"mnuHP", "ホームページ"},
        {"mnuVer", "Wezの情報"},
        {"mnuHelp", "ヘルプ"},
        {"mnuExit", "終了"},
    };
    for (const auto &[name, caption] : items) {
        QAction *action =
            caption ? m_trayMenu->addAction(QString::fromUtf8(caption)) : m_trayMenu->addSeparator();
        action->setObjectName(QString::fromLatin1(name));
        m_menuItems.insert(action->objectName(), action);
    }
}

void EntranceWindow::refresh()
{
    m_refreshing = true;
    if (m_name->text() != m_state.name()) m_name->setText(m_state.name());
    if (m_comment->text() != m_state.comment()) m_comment->setText(m_state.comment());
    QStringList items;
    for (int i = 0; i < m_ipBox->count(); ++i)
        items << m_ipBox->itemText(i);
    if (items != m_state.ipHistory()) {
        m_ipBox->clear();
        m_ipBox->addItems(m_state.ipHistory());
    }
    if (m_ipBox->currentText() != m_state.ipText()) m_ipBox->setEditText(m_state.ipText());
    m_postTarget->setText(m_state.postTarget());
    m_stateLabel->setText(m_state.stateText());
    m_addressLabel->setText(m_state.addressText());
    for (int n : {2, 3, 4})
        m_buttons[n]->setEnabled(m_state.idleCommandsEnabled());
    m_buttons[1]->setEnabled(m_state.registerEnabled());
    m_buttons[6]->setEnabled(m_state.addressEnabled());
    m_refreshing = false;
}

void EntranceWindow::popUpTrayMenu()
{
    raise();
    activateWindow();
    m_trayMenu->popup(QCursor::pos());
}

void EntranceWindow::focusName()
{
    m_name->setFocus();
}

void EntranceWindow::focusIpBox()
{
    m_ipBox->setFocus();
}

void EntranceWindow::closeEvent(QCloseEvent *event)
{
    // Closing the entrance window ends the program; the client runs the shutdown.
    if (!m_closing) {
        m_closing = true;
        Q_EMIT closeRequested();
    }
    event->accept();
}

void EntranceWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) m_trayMenu->popup(event->globalPosition().toPoint());
    QWidget::mousePressEvent(event);
}

bool EntranceWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && m_pictures.contains(static_cast<QLabel *>(watched))) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton) {
            popUpTrayMenu();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
