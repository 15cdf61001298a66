#pragma once
// Form7, "Wez Advertisement page": notices that arrived on port 1205, newest first.
#include <QWidget>

#include <memory>

class QLineEdit;
class NewestFirstText;
class QPlainTextEdit;
struct SharedState;

class AdvertisementPage final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AdvertisementPage)
public:
    explicit AdvertisementPage(SharedState &state, QWidget *parent = nullptr);
    ~AdvertisementPage() override;

    // The notice goes on top; beyond the page's cap the oldest lines go.
    void addNotice(const QString &text);
    QString text() const; // notices joined by CR LF, newest first

private:
    SharedState &m_state;
    QPlainTextEdit *m_text1;
    std::unique_ptr<NewestFirstText> m_notices;
    QLineEdit *m_text2;
};
