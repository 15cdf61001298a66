#pragma once
// Form5, "Wez Messege Post": writes a post ("送信") or shows received posts ("OK").
// A destination with "@" goes by mail through the mail sender, when one is set.
#include <QWidget>

#include <functional>
#include <memory>

class ClientCore;
class NewestFirstText;
class PeerLink;
class QPlainTextEdit;
class QPushButton;

class PostWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PostWindow)
public:
    // Sends a post by mail and closes the window when it is gone; set by the
    // mail subsystem. Without it the user is told.
    using MailSender = std::function<void(PostWindow &window)>;

    PostWindow(ClientCore &core, PeerLink &link, QWidget *parent = nullptr);
    ~PostWindow() override;

    void setMailSender(MailSender sender) { m_mailSender = std::move(sender); }
    // A received post goes on top, cut to the post cap; the window turns into
    // the "OK" kind and keeps no more than a box's cap, the oldest lines going first.
    void showReceived(const QString &text);
    // Text1 with CR LF line ends, as it goes on the wire and into the log.
    QString text() const;
    void setText(const QString &text);
    bool isShowingReceived() const;
    QPushButton *button() const { return m_button; }
    QPlainTextEdit *textBox() const { return m_text; }

Q_SIGNALS:
    // The window is closing and deletes itself soon: nobody may reuse it.
    void closing();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void command1();
    // A post being written stays within what a receiver shows.
    void limitDraft();

    ClientCore &m_core;
    PeerLink &m_link;
    MailSender m_mailSender;
    QPlainTextEdit *m_text;
    std::unique_ptr<NewestFirstText> m_shown; // the text while received posts are shown
    QPushButton *m_button;
    bool m_closed = false; // the open flag was handed back when the window closed
    bool m_shownOnce = false;
};
