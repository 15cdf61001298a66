#pragma once
// Form13, "Wez Chat Font Size": asks for the chat display's font size, 8 to 20.
#include <QDialog>

class QLabel;
class QLineEdit;

class FontSizeDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FontSizeDialog)
public:
    static constexpr int kMinSize = 8;
    static constexpr int kMaxSize = 20;

    explicit FontSizeDialog(int currentSize, QWidget *parent = nullptr);
    // The size the box holds, if it is one the display can take.
    static std::optional<int> acceptedSize(const QString &text);
    // Shown beside the box when OK meets a size the display cannot take.
    static inline const QString kRefusedText = QStringLiteral("8から20までの数字を入力してください");

Q_SIGNALS:
    void sizeChosen(int size);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void confirm();
    // The size stands selected, so what the user types replaces it.
    void selectSize();
    QLineEdit *m_size;
    QLabel *m_refused;
};
