#pragma once
// Form7, "Wez Advertisement page": notices that arrived on port 1205, newest first.
#include <QWidget>

class QLineEdit;
class QPlainTextEdit;
struct SharedState;

class AdvertisementPage final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AdvertisementPage)
public:
    // Only so much is kept on the page; the oldest text goes first.
    static constexpr qsizetype kMaxChars = 1024 * 1024;

    explicit AdvertisementPage(SharedState &state, QWidget *parent = nullptr);
    ~AdvertisementPage() override;

    void addNotice(const QString &text);
    QString text() const { return m_text; } // notices joined by CR LF, newest first

private:
    SharedState &m_state;
    QString m_text;
    QPlainTextEdit *m_text1;
    QLineEdit *m_text2;
};
