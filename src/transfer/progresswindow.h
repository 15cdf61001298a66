#pragma once
// Form8 ("Wez File Transfer"): the small progress window of a file transfer.
// It belongs to the chat window, stays above it and sits at its top-right
// corner while the chat window moves.
#include <QWidget>

class QLabel;
struct SharedState;

namespace transfer {

class ProgressWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressWindow)
public:
    // `state` gets windowOpen(8) while the window exists.
    ProgressWindow(QWidget *chatWindow, SharedState &state);
    ~ProgressWindow() override;

    void setText(const QString &text);
    QString text() const;
    // Top = the chat window's top, left = its left + its width - this width.
    void placeAtCorner();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_chat;
    SharedState &m_state;
    QLabel *m_label;
};

} // namespace transfer
