#include "shell/aboutbox.h"

#include "shell/desktop.h"
#include "shell/icons.h"
#include "shell/sharedstate.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

const QString AboutBox::kHomePage = QStringLiteral("https://wez.example.org/");

AboutBox::AboutBox(Desktop &desktop, QWidget *parent) : QDialog(parent), m_desktop(desktop)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kVersionText);
    setWindowIcon(icons::appIcon());

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    icon->setPixmap(icons::appIcon().pixmap(32, 32));
    auto label = [this](const char *name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    QLabel *title = label("lblTitle", kVersionText);
    QFont f = title->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.3);
    title->setFont(f);
    QLabel *label1 = label("Label1", kVersionText);
    QLabel *label2 = label("Label2", QStringLiteral("Wez 開発チーム 作"));
    QLabel *label3 = label("Label3", kHomePage);
    label3->setCursor(Qt::PointingHandCursor);
    label3->setStyleSheet(QStringLiteral("color: #0645ad; text-decoration: underline;"));
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);

    auto *layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(title, 0, 1);
    layout->addWidget(label1, 1, 1);
    layout->addWidget(label2, 2, 1);
    layout->addWidget(label3, 3, 1);
    layout->addWidget(line, 4, 0, 1, 2);
    layout->addWidget(ok, 5, 1, Qt::AlignRight);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    m_address = label3;
    label3->installEventFilter(this);
}

bool AboutBox::eventFilter(QObject *watched, QEvent *event)
{
    // A click on the address opens it; what the opener does with it is its own affair.
    if (watched == m_address && event->type() == QEvent::MouseButtonRelease) {
        m_desktop.openUrl(QUrl(m_address->text()));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
