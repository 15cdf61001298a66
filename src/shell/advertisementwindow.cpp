#include "shell/advertisementwindow.h"

#include "shell/icons.h"
#include "shell/newestfirsttext.h"
#include "shell/sharedstate.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

AdvertisementPage::AdvertisementPage(SharedState &state, QWidget *parent)
    : QWidget(parent, Qt::Window), m_state(state)
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("Wez Advertisement page"));
    setWindowIcon(icons::appIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    m_text1 = new QPlainTextEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setReadOnly(true);
    m_text1->setAccessibleName(QStringLiteral("お知らせ"));
    m_notices = std::make_unique<NewestFirstText>(m_text1);
    m_text2 = new QLineEdit(this);
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->setReadOnly(true);
    m_text2->setAccessibleName(QStringLiteral("お知らせの補足"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text1, 1);
    layout->addWidget(m_text2);
    resize(420, 260);
    m_state.setOpen(WindowNumber::AdvertisementWindow, true);
}

AdvertisementPage::~AdvertisementPage()
{
    m_state.setOpen(WindowNumber::AdvertisementWindow, false);
}

void AdvertisementPage::addNotice(const QString &text)
{
    if (m_notices->text().isEmpty() && !isVisible())
        m_notices->setText(text);
    else
        m_notices->prepend(text);
}

QString AdvertisementPage::text() const
{
    return m_notices->text();
}
