// The shared dialogs as the user meets them: keys that reach the focused
// button, message and question windows over the window that asked, file
// dialogs owned by it and starting in a sensible folder, and Qt's own texts in
// Japanese.
#include "clienthelpers.h"

#include "shell/uilanguage.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTranslator>
#include <QWindow>

using namespace testsupport;
using namespace clienttest;

namespace {

const QString kCaption = QStringLiteral("Wez ver 0.32 R1010");

// A window of the program that has the focus, as the one a message comes from.
std::unique_ptr<QWidget> activeWindowAt(const QRect &geometry)
{
    auto w = std::make_unique<QWidget>();
    w->setObjectName(QStringLiteral("asker"));
    w->setGeometry(geometry);
    w->show();
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get())) return nullptr;
    return w;
}

// Within `slack` pixels: a window not yet shown does not know the frame it will get.
bool centredOver(QWidget *window, const QRect &area, int slack = 1)
{
    const QPoint d = window->frameGeometry().center() - area.center();
    return qAbs(d.x()) <= slack && qAbs(d.y()) <= slack;
}

// The key as the keyboard delivers it: to the widget that has the focus.
void press(QWidget *window, Qt::Key key)
{
    QWidget *target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, key);
}

// What one file dialog showed; `answer` picks a file (accept) or nothing (cancel).
struct FileDialogSeen {
    QWindow *over = nullptr;
    QRect geometry;
    QString folder;
    QString title;
    QStringList selected;
};

// As the user does it: the path typed into the name box, then OK with the dialog's own checks.
void typeAndAccept(QFileDialog *dialog, const QString &path)
{
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    name->setText(path);
    static_cast<QDialog *>(dialog)->accept();
}

void answerNextFileDialog(UiDesktop &desktop, FileDialogSeen &seen, const QString &answer,
                          std::function<void(QFileDialog *)> meanwhile = {})
{
    auto *once = new QObject(&desktop);
    QObject::connect(
        &desktop, &UiDesktop::fileDialogShown, once, [&seen, answer, meanwhile, once](QFileDialog *d) {
            once->deleteLater();
            seen.over = d->windowHandle()->transientParent();
            seen.geometry = d->frameGeometry();
            seen.folder = d->directory().absolutePath();
            seen.title = d->windowTitle();
            seen.selected = d->selectedFiles();
            if (meanwhile) return meanwhile(d);
            if (answer.isEmpty()) return d->reject();
            d->selectFile(answer);
            static_cast<QDialog *>(d)->accept(); // the dialog's own checks run as for the user's OK
        });
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString folder(const char *name) const { return QDir(m_home.path()).filePath(QString::fromLatin1(name)); }

private Q_SLOTS:
    void initTestCase()
    {
        // The user's folders, away from the real ones: no user-dirs file, so the
        // documents and downloads folders are the usual names under home.
        qputenv("HOME", m_home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", folder(".config").toLocal8Bit());
        QVERIFY(QDir().mkpath(folder("Documents")) && QDir().mkpath(folder("Downloads")));
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), folder("Documents"));
    }

    void qtTextsAreJapanese()
    {
        // The client installs Qt's catalogue as it is built; a second client shares it.
        QTemporaryDir dir;
        Options o;
        o.dataDir = dir.path();
        Client first(o), second(o);
        QCOMPARE(QCoreApplication::instance()->findChildren<QTranslator *>(Qt::FindDirectChildrenOnly).size(),
                 1);
        QVERIFY(uilanguage::installQtJapanese());

        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QString::fromUtf8("キャンセル"));
        QCOMPARE(QLocale().language(), QLocale::Japanese); // the file dialog's file types
        // A text the catalogue lacks: the file dialog's "Folder".
        QCOMPARE(QCoreApplication::translate("QAbstractFileIconProvider", "Folder", "All other platforms"),
                 QString::fromUtf8("フォルダ"));
        QLineEdit edit;
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList items;
        for (QAction *a : menu->actions())
            items << a->text();
        QVERIFY2(items.join(QLatin1Char(' ')).contains(QString::fromUtf8("コピー")),
                 qPrintable(items.join(' ')));
        QVERIFY2(!items.join(QLatin1Char(' ')).contains(QStringLiteral("Copy")), qPrintable(items.join(' ')));
    }

    void keysReachTheFocusedButton()
    {
        UiDesktop desktop;
        auto answer = [&](std::function<void(YesNoWindow *)> how) {
            QTimer::singleShot(0, &desktop, [&desktop, how] { how(desktop.yesNoWindow()); });
            return desktop.askYesNo(QStringLiteral("続けますか？"));
        };
        // Enter on the focused "はい"; Tab to "いいえ" and Enter; Escape from the text; the close box.
        QCOMPARE(answer([](YesNoWindow *w) {
                     QCOMPARE(w->focusWidget(), child<QWidget>(w, "Command1"));
                     press(w, Qt::Key_Return);
                 }),
                 1);
        QCOMPARE(answer([](YesNoWindow *w) {
                     press(w, Qt::Key_Tab);
                     QCOMPARE(w->focusWidget(), child<QWidget>(w, "Command2"));
                     press(w, Qt::Key_Enter);
                 }),
                 -1);
        QCOMPARE(answer([](YesNoWindow *w) {
                     child<QWidget>(w, "Text1")->setFocus();
                     press(w, Qt::Key_Escape);
                 }),
                 -1);
        QCOMPARE(answer([](YesNoWindow *w) { w->close(); }), -1);
        QTRY_VERIFY_WITH_TIMEOUT(!desktop.yesNoWindow(), 5000);

        // The message window: Enter on OK, and Escape from its text, both close it.
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            desktop.showMessage(QStringLiteral("お知らせ"));
            QPointer<MessageWindow> message = desktop.messageWindow();
            if (key == Qt::Key_Escape) child<QWidget>(message, "Text1")->setFocus();
            press(message, key);
            QTRY_VERIFY_WITH_TIMEOUT(message.isNull(), 5000);
        }
    }

    void messageAndQuestionOpenOverTheAskingWindow()
    {
        UiDesktop desktop;
        auto asker = activeWindowAt(QRect(60, 50, 520, 400));
        QVERIFY(asker);
        desktop.showMessage(QStringLiteral("一通目"));
        MessageWindow *message = desktop.messageWindow();
        QVERIFY(QTest::qWaitForWindowExposed(message));
        QVERIFY(centredOver(message, asker->frameGeometry()));
        QCOMPARE(message->windowHandle()->transientParent(), asker->windowHandle());
        QCOMPARE(message->windowTitle(), kCaption);

        // A second message takes the window where it stands.
        const QPoint where = message->pos();
        asker->move(120, 80);
        desktop.showMessage(QStringLiteral("二通目"));
        QCOMPARE(desktop.messageWindow(), message);
        QCOMPARE(message->pos(), where);

        // A question asked while the message has the focus opens over the message's window.
        message->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(message));
        desktop.askYesNoLater(QStringLiteral("続けますか？"), this, [](int) {});
        YesNoWindow *question = desktop.yesNoWindow();
        QVERIFY(QTest::qWaitForWindowExposed(question));
        QVERIFY(centredOver(question, asker->frameGeometry()));
        QCOMPARE(question->windowHandle()->transientParent(), asker->windowHandle());
        QCOMPARE(question->windowTitle(), kCaption);
        desktop.closeAll();
    }

    void dialogsStayWholeOnTheScreen()
    {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        {
            // Over a window hanging off the screen's corner the message still opens whole.
            UiDesktop desktop;
            auto asker = activeWindowAt(QRect(screen.right() - 100, screen.bottom() - 60, 400, 300));
            QVERIFY(asker);
            desktop.showMessage(QStringLiteral("端"));
            QVERIFY(screen.contains(desktop.messageWindow()->frameGeometry()));
            desktop.closeAll();
        }
        // Nothing of ours on screen: the middle of the screen, no owner.
        UiDesktop desktop;
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeWindow(), 5000);
        desktop.showMessage(QStringLiteral("真ん中"));
        MessageWindow *message = desktop.messageWindow();
        QVERIFY(QTest::qWaitForWindowExposed(message));
        QVERIFY(centredOver(message, screen, 8));
        QVERIFY(!message->windowHandle()->transientParent());
        desktop.closeAll();
    }

    void fileDialogsBelongToTheAskerAndRememberTheFolder()
    {
        QVERIFY(uilanguage::installQtJapanese());
        UiDesktop desktop;
        auto asker = activeWindowAt(QRect(20, 40, 720, 560));
        QVERIFY(asker);
        const QString received = QDir(folder("Downloads")).filePath(QStringLiteral("board.wbd"));
        QVERIFY(writeFile(received, "x"));

        // The first dialog starts in the documents folder, over the asking window.
        FileDialogSeen seen;
        answerNextFileDialog(desktop, seen, received);
        QCOMPARE(desktop.getOpenFileName(QStringLiteral("ファイル転送"), QStringLiteral("*.*")), received);
        QCOMPARE(seen.over, asker->windowHandle());
        // Centred over it, as far as the screen lets a dialog wider than the asker.
        QVERIFY(qAbs(seen.geometry.center().y() - asker->frameGeometry().center().y()) <= 1);
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(seen.geometry));
        QCOMPARE(seen.folder, folder("Documents"));
        QCOMPARE(seen.title, QStringLiteral("ファイル転送"));

        // The next starts where the last file was chosen; a cancelled one changes nothing.
        answerNextFileDialog(desktop, seen, QString());
        QCOMPARE(desktop.getSaveTarget(QStringLiteral("Wez WhiteBoard File(*.wbd)")), QString());
        QCOMPARE(seen.folder, folder("Downloads"));
        QCOMPARE(seen.title, QString::fromUtf8("名前を付けて保存")); // Qt's own title, translated
        answerNextFileDialog(desktop, seen, QString());
        desktop.getOpenFileName(QString(), QString());
        QCOMPARE(seen.folder, folder("Downloads"));

        // A received file is offered under its own name in the downloads folder.
        UiDesktop fresh;
        answerNextFileDialog(fresh, seen, QString());
        QCOMPARE(
            fresh.getSaveFileName(QStringLiteral("ファイルの保存"), QStringLiteral("photo.jpg"), QString()),
            QString());
        QCOMPARE(seen.folder, folder("Downloads"));
        QCOMPARE(seen.selected, QStringList{QDir(folder("Downloads")).filePath(QStringLiteral("photo.jpg"))});
    }

    void fileDialogFallsBackAndSurvivesItsWindow()
    {
        QVERIFY(QDir(folder("Documents")).removeRecursively());
        UiDesktop desktop;
        QCOMPARE(desktop.startFolder(QStandardPaths::DocumentsLocation), folder("Downloads"));
        QVERIFY(QDir(folder("Downloads")).removeRecursively());
        QCOMPARE(desktop.startFolder(QStandardPaths::DocumentsLocation), m_home.path());
        QVERIFY(QDir::currentPath() != m_home.path());

        // The asking window goes while its dialog is up (a chat that ends): the dialog
        // stays, and what the user then chooses counts.
        auto asker = activeWindowAt(QRect(40, 40, 500, 400));
        QVERIFY(asker);
        const QString chosen = QDir(m_home.path()).filePath(QStringLiteral("kept.txt"));
        FileDialogSeen seen;
        answerNextFileDialog(desktop, seen, QString(), [&asker, &chosen](QFileDialog *dialog) {
            asker.reset();
            QTimer::singleShot(0, dialog, [dialog, chosen] { typeAndAccept(dialog, chosen); });
        });
        QCOMPARE(desktop.getSaveTarget(QString()), chosen);
        QVERIFY(!asker);
        QVERIFY(QDir().mkpath(folder("Documents")) && QDir().mkpath(folder("Downloads")));
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
