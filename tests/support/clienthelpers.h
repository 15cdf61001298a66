#pragma once
// Whole clients in a test: started on their own loopback address, with the
// desktop's opener silenced, the peer windows at hand, questions answered and
// a chat set up between two of them.
#include "app/client.h"
#include "app/clientwindows.h"
#include "chat/chatwindow.h"
#include "peer/peerlink.h"
#include "shell/dialogs.h"
#include "testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <memory>

namespace clienttest {

inline std::unique_ptr<Client> startClient(const QString &dir, int address, const QString &name)
{
    Options o;
    o.dataDir = dir;
    o.bindAddress = testsupport::loopback(address);
    auto client = std::make_unique<Client>(o);
    client->desktop().setUrlOpener([](const QUrl &) {});
    client->start();
    client->core().entrance().setName(name);
    return client;
}

inline ClientWindows &windows(Client &c)
{
    return *c.windows();
}

template <typename T> T *child(QObject *w, const char *name)
{
    return w ? w->findChild<T *>(QString::fromLatin1(name)) : nullptr;
}

// The visible top-level windows called `name`.
inline QList<QWidget *> shownWindows(const char *name)
{
    QList<QWidget *> found;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name) && w->isVisible()) found << w;
    return found;
}

inline void click(QWidget *w, const char *name)
{
    auto *b = child<QPushButton>(w, name);
    QVERIFY2(b, name);
    QVERIFY2(b->isEnabled(), name);
    QTest::mouseClick(b, Qt::LeftButton);
}

// The next question of `c` is answered by `answer(window)` from inside its own
// wait; `asked` receives the question's text.
inline void onQuestion(Client &c, std::function<void(YesNoWindow *)> answer, QString *asked = nullptr)
{
    auto *guard = new QObject(&c);
    QObject::connect(&c.desktop(), &UiDesktop::yesNoShown, guard, [&c, guard, answer, asked] {
        YesNoWindow *w = c.desktop().yesNoWindow();
        if (asked) *asked = w->text();
        guard->deleteLater();
        QTimer::singleShot(0, w, [w, answer] { answer(w); });
    });
}

inline void answerYes(YesNoWindow *w)
{
    QTest::mouseClick(child<QPushButton>(w, "Command1"), Qt::LeftButton);
}

inline void answerNo(YesNoWindow *w)
{
    QTest::mouseClick(child<QPushButton>(w, "Command2"), Qt::LeftButton);
}

inline QString display(Client &c)
{
    ChatBoardWindow *w = windows(c).chatWindow();
    return w ? w->displayText() : QString();
}

inline bool listening(Client &c)
{
    return c.core().winsock1().state() == Endpoint::Listening;
}

inline void setIpBox(Client &c, const QString &text)
{
    auto *combo = child<QComboBox>(c.entranceWindow(), "Combo1");
    combo->setEditText(text);
}

// `caller` calls `callee` through the entrance window and `callee` says yes;
// true once both chat windows are up.
inline bool startChat(Client &caller, Client &callee)
{
    if (!testsupport::waitFor([&] { return listening(caller) && listening(callee); })) return false;
    onQuestion(callee, answerYes);
    setIpBox(caller, callee.core().bindAddress().toString());
    QTest::mouseClick(child<QPushButton>(caller.entranceWindow(), "Command2"), Qt::LeftButton);
    return testsupport::waitFor([&] { return windows(caller).chatWindow() && windows(callee).chatWindow(); },
                                10000);
}

} // namespace clienttest
