// Every window the client can show, walked the way a screen reader walks it:
// each control the keyboard can reach must tell its name.
#include "clienthelpers.h"

#include "app/coreclient.h"
#include "server/serverwindows.h"
#include "transfer/filetransfer.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>

using namespace testsupport;
using namespace clienttest;

namespace {

QString accessibleName(QWidget *w)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(w);
    if (!face) return {};
    const QString name = face->text(QAccessible::Name).trimmed();
    // Some controls (an editable combo box) report what is typed in them as their name;
    // that says nothing about what the box is for.
    if (w->accessibleName().isEmpty() && name == face->text(QAccessible::Value).trimmed()) return {};
    return name;
}

// "Form3/Text2 (QLineEdit)" for every control of the shown windows that takes
// the focus and has no name.
QStringList namelessControls(QStringList &windowsSeen)
{
    QStringList nameless;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        windowsSeen << window->objectName();
        QList<QWidget *> controls = window->findChildren<QWidget *>();
        controls.prepend(window);
        for (QWidget *w : std::as_const(controls)) {
            if (w->isWindow() && w != window) continue; // walked as a window of its own
            if (w != window && !w->isVisibleTo(window)) continue;
            if (w->focusPolicy() == Qt::NoFocus) continue;
            // An inner part that hands its focus on is announced by the control it belongs to.
            if (w->focusProxy()) continue;
            if (accessibleName(w).isEmpty())
                nameless << QStringLiteral("%1/%2 (%3)")
                                .arg(window->objectName(), w->objectName(),
                                     QString::fromLatin1(w->metaObject()->className()));
        }
    }
    return nameless;
}

} // namespace

class TestAccessibleNames : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyFocusableControlHasAName()
    {
        QTemporaryDir dir;
        auto client = startClient(dir.path(), 2, QString::fromUtf8("太郎"));
        CoreClient &parts = client->parts();
        // The server selector opens only outside a chat.
        client->serverWindows()->openServerSelector();
        // A chat as the partner's yes opens it, its whiteboard and a file on its way.
        Q_EMIT parts.link.chatAccepted();
        QVERIFY(windows(*client).chatWindow());
        Q_EMIT parts.board.showRequested();
        QVERIFY(windows(*client).whiteboardWindow());
        Q_EMIT parts.transfer.progressOpened();
        windows(*client).chatWindow()->menuItem(QStringLiteral("menuFont"))->trigger();
        // The member list (nobody answers at the server's address: the window stays all the same),
        // the server and proxy settings, the mail settings, the post window, a notice, the About box.
        client->core().state().serverAddress = loopback(9).toString();
        client->entranceWindow()->button(1)->click();
        client->serverWindows()->openProxyWindow();
        client->entranceWindow()->menuItem(QStringLiteral("menuMail"))->trigger();
        windows(*client).openMessagePostWindow();
        windows(*client).showNotice(QStringLiteral("お知らせ"));
        windows(*client).showAbout();
        // The message and the question, both at once.
        client->desktop().showMessage(QStringLiteral("メッセージ"));
        client->desktop().askYesNoLater(QStringLiteral("続けますか？"), this, [](int) {});

        const QStringList expected{"Form1", "Form3",  "Form4",  "Form5",  "Form6",  "Form7",  "Form8",
                                   "Form9", "Form10", "Form11", "Form12", "Form13", "Form14", "frmAbout"};
        QStringList seen;
        QVERIFY2(waitFor([&] {
                     seen.clear();
                     namelessControls(seen);
                     for (const QString &name : expected)
                         if (!seen.contains(name)) return false;
                     return true;
                 }),
                 qPrintable(seen.join(QLatin1Char(' '))));
        const QStringList nameless = namelessControls(seen);
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QStringLiteral("\n"))));
        client->desktop().withdrawQuestion();
    }
};

QTEST_MAIN(TestAccessibleNames)
#include "test_accessible_names.moc"
