#include "chat/fontsizedialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

FontSizeDialog::FontSizeDialog(int currentSize, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form13"));
    setWindowTitle(QStringLiteral("Wez Chat Font Size"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *label = new QLabel(QStringLiteral("フォントサイズ(8-20)を指定してください"), this);
    label->setObjectName(QStringLiteral("Label1"));
    m_size = new QLineEdit(QString::number(currentSize), this);
    m_size->setObjectName(QStringLiteral("Text1"));
    label->setBuddy(m_size); // the box is announced by the label's words
    // Only digits go in: no sign, no decimal point.
    m_size->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,4}")), m_size));
    m_refused = new QLabel(this);
    m_refused->setObjectName(QStringLiteral("Label2"));
    m_refused->setAccessibleName(QStringLiteral("入力できない理由"));
    m_refused->setStyleSheet(QStringLiteral("color: #c00000;"));
    // Its line is kept while hidden, so the dialog does not jump when it shows.
    QSizePolicy keep = m_refused->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_refused->setSizePolicy(keep);
    m_refused->setText(kRefusedText);
    m_refused->hide();
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cansel"), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    cancel->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_size);
    layout->addWidget(m_refused);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &FontSizeDialog::confirm);
    // Esc reaches reject(), which closes the dialog as "Cansel" does.
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_size, &QLineEdit::textEdited, m_refused, &QWidget::hide);
    selectSize();
}

void FontSizeDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    selectSize();
}

void FontSizeDialog::selectSize()
{
    m_size->setFocus();
    m_size->selectAll();
}

std::optional<int> FontSizeDialog::acceptedSize(const QString &text)
{
    bool ok = false;
    const int size = text.toInt(&ok);
    if (!ok || size < kMinSize || size > kMaxSize) return std::nullopt;
    return size;
}

void FontSizeDialog::confirm()
{
    const std::optional<int> size = acceptedSize(m_size->text());
    if (!size) {
        m_refused->show();
        selectSize();
        return;
    }
    Q_EMIT sizeChosen(*size);
    accept();
}
