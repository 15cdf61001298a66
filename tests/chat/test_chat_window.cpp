// The chat board on its own: the end button and what follows it, the font-size dialog, copy and
// paste, the plug-in text on the clipboard, the resize rules, a send with
// characters the wire cannot carry.
#include "clienthelpers.h"

#include "chat/chatsession.h"
#include "shell/icons.h"
#include "shell/textcap.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>

using namespace testsupport;
using namespace clienttest;

class TestChatWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Client> m_client;
    ChatBoardWindow *chat() { return windows(*m_client).chatWindow(); }

private Q_SLOTS:
    void init()
    {
        m_client = startClient(m_dir.path(), 2, QString::fromUtf8("太郎"));
        // A chat as the partner's yes would open it.
        Q_EMIT m_client->parts().link.chatAccepted();
        QVERIFY(chat() && chat()->isVisible());
    }

    void cleanup() { m_client.reset(); }

    void fontSizeDialogBounds()
    {
        chat()->menuItem(QStringLiteral("menuFont"))->trigger();
        FontSizeDialog *dialog = chat()->fontSizeDialog();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Wez Chat Font Size"));
        auto *box = child<QLineEdit>(dialog, "Text1");
        auto *why = child<QLabel>(dialog, "Label2");
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        // The size stands selected: what is typed replaces it.
        QCOMPARE(box->text(), QStringLiteral("12"));
        QCOMPARE(box->selectedText(), QStringLiteral("12"));
        QCOMPARE(QApplication::focusWidget(), box);
        QTest::keyClicks(box, QStringLiteral("1.5x"));
        QCOMPARE(box->text(), QStringLiteral("15"));
        QVERIFY(why->isHidden());
        for (const char *refused : {"7", "21", ""}) {
            box->setText(QString::fromLatin1(refused));
            click(dialog, "Command1");
            QVERIFY2(dialog->isVisible(), refused);
            QCOMPARE(chat()->displayFontSize(), 12);
            // Refused with its reason, and the box ready to be typed over.
            QVERIFY2(why->isVisible(), refused);
            QCOMPARE(why->text(), FontSizeDialog::kRefusedText);
            QCOMPARE(box->selectedText(), QString::fromLatin1(refused));
        }
        QTest::keyClicks(box, QStringLiteral("18"));
        QVERIFY(why->isHidden());
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(waitFor([&] { return !chat()->fontSizeDialog(); }));
        QCOMPARE(chat()->displayFontSize(), 18);
        const QFont inputFont = child<QLineEdit>(chat(), "Text2")->font();
        for (int size : {8, 20}) {
            chat()->menuItem(QStringLiteral("menuFont"))->trigger();
            dialog = chat()->fontSizeDialog();
            box = child<QLineEdit>(dialog, "Text1");
            box->setText(QString::number(size));
            QTest::keyClick(box, Qt::Key_Return);
            QVERIFY(waitFor([&] { return !chat()->fontSizeDialog(); }));
            QCOMPARE(chat()->displayFontSize(), size);
        }
        QCOMPARE(child<QLineEdit>(chat(), "Text2")->font(), inputFont);
    }

    void everyWindowShowsTheProgramsIcon()
    {
        CoreClient &parts = m_client->parts();
        EntranceWindow *entrance = m_client->entranceWindow();
        chat()->menuItem(QStringLiteral("menuFont"))->trigger();
        Q_EMIT parts.board.showRequested();
        Q_EMIT parts.transfer.progressOpened();
        Q_EMIT parts.link.noticeReceived(QStringLiteral("notice"));
        Q_EMIT parts.link.postWindowRequested();
        for (const char *menu : {"menuProxy", "mnuVer", "menuMail"})
            entrance->menuItem(QString::fromLatin1(menu))->trigger();
        m_client->desktop().showMessage(QStringLiteral("message"));
        QStringList seen;
        const QImage expected = icons::appIcon().pixmap(32).toImage();
        QVERIFY(waitFor([&] {
            seen.clear();
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->windowIcon().pixmap(32).toImage() == expected)
                    seen << w->objectName();
            return seen.size() >= 10;
        }));
        for (const char *form :
             {"Form1", "Form3", "Form4", "Form5", "Form7", "Form8", "Form10", "Form12", "Form13", "frmAbout"})
            QVERIFY2(seen.contains(QString::fromLatin1(form)), qPrintable(form + (u' ' + seen.join(u','))));
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible()) QVERIFY2(!w->windowIcon().isNull(), qPrintable(w->objectName()));
    }

    void windowsWithoutAPlaceOpenCentred()
    {
        // Neither window has a saved place yet (all positions 0).
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        for (QWidget *w :
             {static_cast<QWidget *>(chat()), static_cast<QWidget *>(m_client->entranceWindow())}) {
            const QPoint off = w->frameGeometry().center() - screen.center();
            // Placed before the window manager's frame was known: off by up to its width.
            const QSize frame = w->frameGeometry().size() - w->geometry().size();
            QVERIFY2(std::abs(off.x()) <= frame.width() + 1 && std::abs(off.y()) <= frame.height() + 1,
                     qPrintable(w->objectName()));
        }
    }

    void copyPrefersTheDisplayAndPasteAppends()
    {
        m_client->parts().chat.addLine(QStringLiteral("first"));
        m_client->parts().chat.addLine(QStringLiteral("second"));
        chat()->showPendingLines();
        auto *display = child<QPlainTextEdit>(chat(), "Text1");
        auto *input = child<QLineEdit>(chat(), "Text2");
        input->setText(QStringLiteral("typed text"));
        input->setSelection(0, 5);
        display->selectAll();
        chat()->menuItem(QStringLiteral("menuCopy"))->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("second\r\nfirst\r\n"));
        QVERIFY(!display->textCursor().hasSelection());
        // With nothing selected in the display the input line's selection goes.
        input->setSelection(6, 4);
        chat()->menuItem(QStringLiteral("menuCopy"))->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("text"));
        QVERIFY(!input->hasSelectedText());
        input->setCursorPosition(0);
        chat()->menuItem(QStringLiteral("menuPast"))->trigger();
        QCOMPARE(input->text(), QStringLiteral("typed texttext"));
        QCOMPARE(input->cursorPosition(), input->text().size());
    }

    void pluginTextIsTakenOffTheClipboard()
    {
        // Not connected: nothing goes out, the clipboard is cleared all the same.
        QApplication::clipboard()->setText(QStringLiteral("wez_plugin_send_link123"));
        QVERIFY(waitFor([] { return QApplication::clipboard()->text().isEmpty(); }));
        // What came in for the plug-in stays for it: the next look at the clipboard leaves it.
        QApplication::clipboard()->setText(QStringLiteral("wez_plugin_rcve_link123"));
        QSignalSpy looked(chat()->findChild<QTimer *>(QStringLiteral("Timer2")), &QTimer::timeout);
        QVERIFY(looked.wait());
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("wez_plugin_rcve_link123"));
    }

    void linesWhileDisconnectedStayLocal()
    {
        auto *input = child<QLineEdit>(chat(), "Text2");
        input->setText(QStringLiteral("hello"));
        QTest::keyClick(input, Qt::Key_Return);
        QCOMPARE(chat()->displayText(), QString::fromUtf8("太郎> hello\r\n"));
        chat()->feelingAction(0)->trigger();
        QCOMPARE(chat()->displayText(),
                 QString::fromUtf8("自分の気持ち(うれしい！)を伝えました\r\n太郎> hello\r\n"));
    }

    void scrolledDownTheLinesInViewStay()
    {
        auto *display = child<QPlainTextEdit>(chat(), "Text1");
        QCOMPARE(display->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        ChatSession &session = m_client->parts().chat;
        for (int i = 0; i < 60; ++i)
            session.addLine(QStringLiteral("line %1").arg(i));
        QScrollBar *bar = display->verticalScrollBar();
        QCOMPARE(bar->value(), 0);
        chat()->showPendingLines();
        // At the top, the newest line is what shows first.
        session.addLine(QStringLiteral("newest"));
        chat()->showPendingLines();
        QCOMPARE(display->cursorForPosition(QPoint(2, 2)).block().text(), QStringLiteral("newest"));
        // Scrolled down, a new line arrives out of view and the view stays where it was.
        bar->setValue(bar->maximum() / 2);
        const QString inView = display->cursorForPosition(QPoint(2, 2)).block().text();
        session.addLine(QStringLiteral("later"));
        chat()->showPendingLines();
        QCOMPARE(display->cursorForPosition(QPoint(2, 2)).block().text(), inView);
    }

    void linesOfOneFrameGoInTogether()
    {
        auto *display = child<QPlainTextEdit>(chat(), "Text1");
        ChatSession &session = m_client->parts().chat;
        session.addLine(QStringLiteral("first"));
        QVERIFY(waitFor([&] { return display->toPlainText() == QStringLiteral("first\n"); }));
        QSignalSpy changes(display->document(), &QTextDocument::contentsChange);
        for (int i = 0; i < 5; ++i)
            session.addLine(QStringLiteral("l%1").arg(i));
        QVERIFY(waitFor([&] { return display->toPlainText().startsWith(QStringLiteral("l4\n")); }));
        QCOMPARE(display->toPlainText(), QStringLiteral("l4\nl3\nl2\nl1\nl0\nfirst\n"));
        QCOMPARE(changes.count(), 1);
        // The newest line stays a paragraph of its own at the top, as the next frame's lines go above it.
        QCOMPARE(display->document()->firstBlock().text(), QStringLiteral("l4"));
        QCOMPARE(chat()->displayText(), session.transcript());
        QCOMPARE(session.lines().size(), 6);
    }

    void ownLinesFitWhatAPartnerShows()
    {
        auto *input = child<QLineEdit>(chat(), "Text2");
        input->setText(QString(5000, QLatin1Char('x')));
        QCOMPARE(input->text().size(), ChatBoardWindow::kMaxInputChars);
        // A name long enough to push the line past the cap: the line is cut, here as there.
        const QString name(200, QChar(u'名'));
        m_client->core().entrance().setName(name);
        click(chat(), "Command1");
        const QString line = textcap::clip(name + QStringLiteral("> ") +
                                               QString(ChatBoardWindow::kMaxInputChars, QLatin1Char('x')),
                                           textcap::kMaxChatLineChars);
        QCOMPARE(line.size(), textcap::kMaxChatLineChars);
        QCOMPARE(chat()->displayText(), line + QStringLiteral("\r\n"));
    }

    void unsendableCharactersAskFirst()
    {
        auto *input = child<QLineEdit>(chat(), "Text2");
        input->setText(QString::fromUtf8("ok 😀 ok"));
        QString asked;
        onQuestion(*m_client, answerNo, &asked);
        click(chat(), "Command1");
        QVERIFY(asked.contains(QString::fromUtf8("😀")));
        QCOMPARE(input->text(), QString::fromUtf8("ok 😀 ok"));
        QCOMPARE(input->selectedText(), QString::fromUtf8("😀"));
        QVERIFY(chat()->displayText().isEmpty());
        onQuestion(*m_client, answerYes);
        click(chat(), "Command1");
        QCOMPARE(chat()->displayText(), QString::fromUtf8("太郎> ok 😀 ok\r\n"));
    }

    void resizeRules()
    {
        auto *display = child<QPlainTextEdit>(chat(), "Text1");
        auto *input = child<QLineEdit>(chat(), "Text2");
        chat()->resize(500, 400);
        QVERIFY(waitFor([&] { return display->width() > 400; }));
        QVERIFY(input->y() > display->y() + display->height());
        QVERIFY(child<QPushButton>(chat(), "Command1")->y() > input->y() + input->height());
        const int width = display->width();
        const int inputTop = input->y();
        // 500 twips wide or less: width and input top stay.
        chat()->resize(20, 400);
        QVERIFY(waitFor([&] { return chat()->frameGeometry().width() * 15 <= 500; }));
        QCOMPARE(display->width(), width);
        QCOMPARE(input->y(), inputTop);
    }

    void nextChatGetsTheCommandsBack()
    {
        click(chat(), "Command3");
        QVERIFY(!child<QPushButton>(chat(), "Command1")->isEnabled());
        Q_EMIT m_client->parts().link.chatAccepted();
        for (const char *name : {"Command1", "Command2", "Command3"})
            QVERIFY2(child<QPushButton>(chat(), name)->isEnabled(), name);
        QVERIFY(child<QMenu>(chat(), "menuFile")->isEnabled());
        QCOMPARE(m_client->core().state().windowOpen[3], int16_t(1));
    }

    void endButtonKeepsWindowUntilPartnerAnswers()
    {
        QCOMPARE(m_client->core().state().windowOpen[3], int16_t(1));
        m_client->parts().chat.setHangUpWaitMs(2000);
        click(chat(), "Command3");
        QVERIFY(chat() && chat()->isVisible());
        QVERIFY(!child<QPushButton>(chat(), "Command1")->isEnabled());
        QCOMPARE(m_client->core().state().windowOpen[3], int16_t(0));
        QCOMPARE(m_client->core().state().quietClose, int16_t(1));
        QVERIFY(readFile(m_dir.filePath(QStringLiteral("wezchat.log"))).startsWith("Data:"));
        // Enter does what the greyed-out send button would: nothing.
        auto *input = child<QLineEdit>(chat(), "Text2");
        input->setText(QStringLiteral("too late"));
        QTest::keyClick(input, Qt::Key_Return);
        QVERIFY(chat()->displayText().isEmpty());
        QCOMPARE(input->text(), QStringLiteral("too late"));
        // No partner says goodbye: after a bounded wait the window goes all the same.
        QVERIFY(waitFor([&] { return !chat(); }));
        QVERIFY(!m_client->parts().chat.isActive());
    }
};

QTEST_MAIN(TestChatWindow)
#include "test_chat_window.moc"
