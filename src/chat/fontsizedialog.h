#pragma once
// Form13, "Wez Chat Font Size": asks for the chat display's font size, 8 to 20.
#include <QDialog>

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

Q_SIGNALS:
    void sizeChosen(int size);

private:
    void confirm();
    QLineEdit *m_size;
};
