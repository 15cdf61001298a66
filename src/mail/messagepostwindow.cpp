#include "mail/messagepostwindow.h"

#include "peer/peerlink.h"
#include "shell/clientcore.h"
#include "shell/icons.h"
#include "shell/newestfirsttext.h"
#include "shell/plaintext.h"
#include "shell/windowplacement.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {
const QString kOk = QStringLiteral("OK");
const QString kSend = QStringLiteral("送信");
} // namespace

PostWindow::PostWindow(ClientCore &core, PeerLink &link, QWidget *parent)
    : QWidget(parent, Qt::Window), m_core(core), m_link(link)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Wez Messege Post"));
    setWindowIcon(icons::appIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("Text1"));
    m_text->setAccessibleName(QStringLiteral("メッセージ"));
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_shown = std::make_unique<NewestFirstText>(m_text);
    m_button = new QPushButton(kSend, this);
    m_button->setObjectName(QStringLiteral("Command1"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_button, 0, Qt::AlignHCenter);
    resize(360, 240);
    connect(m_button, &QPushButton::clicked, this, &PostWindow::command1);
    connect(m_text, &QPlainTextEdit::textChanged, this, &PostWindow::limitDraft);

    SharedState &s = m_core.state();
    s.setOpen(WindowNumber::MessagePostWindow, true);
    s.postDrafting = true;
    placement::moveTo(this, s.postPosition);
}

PostWindow::~PostWindow()
{
    // A window that closed first may already have a successor that set the flag.
    if (!m_closed) {
        m_core.state().setOpen(WindowNumber::MessagePostWindow, false);
        m_core.state().postDrafting = false;
    }
}

void PostWindow::showEvent(QShowEvent *event)
{
    m_shownOnce = true;
    QWidget::showEvent(event);
}

void PostWindow::closeEvent(QCloseEvent *event)
{
    SharedState &s = m_core.state();
    s.setOpen(WindowNumber::MessagePostWindow, false);
    s.postDrafting = false;
    s.postPosition = placement::positionOf(this);
    event->accept();
    m_closed = true;
    Q_EMIT closing();
}

QString PostWindow::text() const
{
    if (isShowingReceived()) return m_shown->text();
    return m_text->toPlainText().replace(QLatin1Char('\n'), plaintext::kCrLf);
}

void PostWindow::setText(const QString &text)
{
    if (isShowingReceived())
        m_shown->setText(text);
    else
        m_text->setPlainText(QString(text).replace(plaintext::kCrLf, QStringLiteral("\n")));
}

bool PostWindow::isShowingReceived() const
{
    return m_button->text() == kOk;
}

void PostWindow::showReceived(const QString &text)
{
    const QString post = textcap::clip(text, textcap::kMaxPostChars);
    // Loaded means shown once, even if hidden since (the client in the tray).
    const bool loaded = m_shownOnce;
    // A draft stays below the post, as shown text from now on.
    if (loaded && !isShowingReceived()) m_shown->setText(this->text());
    m_button->setText(kOk);
    m_core.state().postDrafting = false;
    m_text->setReadOnly(true);
    if (loaded)
        m_shown->prepend(post);
    else
        m_shown->setText(post);
    show();
    raise();
}

void PostWindow::limitDraft()
{
    if (isShowingReceived()) return;
    const QTextDocument *document = m_text->document();
    // Each line break goes out as CR LF: the first `p` characters take p plus
    // the number of breaks among them.
    auto sent = [document](int p) { return qsizetype(p) + document->findBlock(p).blockNumber(); };
    const int end = document->characterCount() - 1;
    if (sent(end) <= textcap::kMaxPostBodyChars) return;
    int keep = 0;
    for (int last = end; keep < last;) {
        const int mid = keep + (last - keep + 1) / 2;
        if (sent(mid) <= textcap::kMaxPostBodyChars)
            keep = mid;
        else
            last = mid - 1;
    }
    if (keep > 0 && document->characterAt(keep).isLowSurrogate()) --keep;
    QTextCursor cut(m_text->document());
    cut.setPosition(keep);
    cut.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cut.removeSelectedText();
}

void PostWindow::command1()
{
    SharedState &s = m_core.state();
    if (isShowingReceived()) {
        s.messagePostMode = 0;
        plaintext::appendToFile(m_core.path(QStringLiteral("wezmes.log")),
                                cp932::encode(text() + plaintext::kCrLf));
        close();
        return;
    }
    // Mail goes out in UTF-8 and loses nothing; only the peer connection needs the check.
    const bool byMail = m_core.entrance().ipText().contains(QLatin1Char('@'));
    const QString question = byMail ? QString() : plaintext::lossQuestion(m_core.entrance().name() + text());
    if (!question.isEmpty()) {
        // Mark what would arrive as "?", then ask once.
        QList<QTextEdit::ExtraSelection> marks;
        const QString body = m_text->toPlainText();
        for (qsizetype at : cp932::unrepresentable(body)) {
            QTextEdit::ExtraSelection mark;
            mark.cursor = QTextCursor(m_text->document());
            mark.cursor.setPosition(int(at));
            mark.cursor.setPosition(int(at) + 1, QTextCursor::KeepAnchor);
            mark.format.setBackground(QColor(255, 200, 120));
            mark.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
            mark.format.setUnderlineColor(Qt::red);
            marks.append(mark);
        }
        m_text->setExtraSelections(marks);
        QPointer<PostWindow> self(this);
        const int answer = m_core.desktop().askYesNo(question);
        if (!self) return;
        m_text->setExtraSelections({});
        if (answer != 1) return;
    }
    s.messagePostMode = 1;
    if (byMail) {
        // The next peer connection is not a post, whatever happens here.
        s.messagePostMode = 0;
        if (!m_mailSender) {
            // Nothing can carry it yet: keep the window and its text.
            m_core.desktop().showMessage(QStringLiteral("メールでの送信は、まだ使えません。") +
                                         plaintext::kCrLf +
                                         QStringLiteral("相手のＩＰを指定して送信してください"));
            return;
        }
        // The sender closes the window once the mail is gone; until then the text stays.
        m_mailSender(*this);
        return;
    }
    m_link.startMessagePost(m_core.entrance().postTarget(), text());
}
