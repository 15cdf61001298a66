#pragma once
// Form8 ("Wez File Transfer"): the small progress window of a file transfer.
// It belongs to the chat window and stays above it, beside it rather than on
// it, so the chat's menu and newest line stay in sight; it follows the chat
// window as it moves. It names the file and shows the progress as text and bar.
#include <QWidget>

class QLabel;
class QProgressBar;
struct SharedState;

namespace transfer {

class ProgressWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressWindow)
public:
    // `state` gets windowOpen(8) while the window exists.
    ProgressWindow(QWidget *chatWindow, SharedState &state);
    ~ProgressWindow() override;

    // The progress text, "転送率：" + percent + "%"; the bar follows its number.
    void setText(const QString &text);
    QString text() const;
    void setFileName(const QString &name);
    // Beside the chat window, on its screen.
    void placeAtCorner();
    // The narrowest the window may be for its whole title to show, with room
    // for the title bar's icon and buttons.
    int titleWidth() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QWidget *m_chat;
    SharedState &m_state;
    QLabel *m_label;
    QLabel *m_fileName;
    QProgressBar *m_bar;
};

} // namespace transfer
