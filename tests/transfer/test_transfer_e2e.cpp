// File transfer between two real clients in one process, each on its own
// loopback address, chatting through their windows: files arrive byte for
// byte with the chat lines and the progress window, a refused offer runs out,
// a second transfer is turned away, and a chat closed mid-file leaves nothing open.
#include "clienthelpers.h"

#include "transfer/progresswindow.h"
#include "transfer/transferwindows.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QRandomGenerator>
#include <QSet>
#include <QTimer>

using namespace testsupport;
using namespace clienttest;

namespace {

const QString kTaro = QString::fromUtf8("太郎");
const QString kHanako = QString::fromUtf8("花子");

struct Chat {
    QTemporaryDir dirA, dirB;
    std::unique_ptr<Client> a, b;
    ChatBoardWindow *chatA = nullptr;
    ChatBoardWindow *chatB = nullptr;
};

// A calls B, B says yes: both chat windows are up.
void startChat(Chat &c)
{
    c.a = startClient(c.dirA.path(), 2, kTaro);
    c.b = startClient(c.dirB.path(), 3, kHanako);
    QVERIFY(clienttest::startChat(*c.a, *c.b));
    c.chatA = windows(*c.a).chatWindow();
    c.chatB = windows(*c.b).chatWindow();
}

transfer::FileTransfer &fileTransfer(Client &c)
{
    return c.parts().transfer;
}

// Every text and file name Form8 showed, read from its labels, and whether it
// kept clear of the chat window each time.
struct ProgressLog {
    QStringList texts;
    QSet<QString> names;
    bool clearOfChat = true;
    bool opened = false;

    void watch(Client &c, ChatBoardWindow *chat)
    {
        transfer::TransferWindows *t = windows(c).transferWindows();
        QVERIFY(t);
        auto look = [this, t, chat] {
            transfer::ProgressWindow *w = t->progressWindow();
            if (!w) return;
            opened = true;
            texts << w->findChild<QLabel *>(QStringLiteral("Label1"))->text();
            names << w->findChild<QLabel *>(QStringLiteral("Label2"))->text();
            clearOfChat =
                clearOfChat && !w->frameGeometry().intersects(chat->frameGeometry()) && w->isVisible();
        };
        QObject::connect(&fileTransfer(c), &transfer::FileTransfer::progressOpened, chat, look);
        QObject::connect(&fileTransfer(c), &transfer::FileTransfer::progressChanged, chat, look);
    }
};

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

bool commandsEnabled(ChatBoardWindow *chat)
{
    return child<QPushButton>(chat, "Command2")->isEnabled() &&
           child<QPushButton>(chat, "Command3")->isEnabled() &&
           chat->menuItem(QStringLiteral("menuWhiteBoard"))->isEnabled() &&
           chat->menuItem(QStringLiteral("menuFtne"))->isEnabled() &&
           chat->menuItem(QStringLiteral("menuClose"))->isEnabled();
}

bool commandsDisabled(ChatBoardWindow *chat)
{
    return !child<QPushButton>(chat, "Command2")->isEnabled() &&
           !child<QPushButton>(chat, "Command3")->isEnabled() &&
           !chat->menuItem(QStringLiteral("menuWhiteBoard"))->isEnabled() &&
           !chat->menuItem(QStringLiteral("menuFtne"))->isEnabled() &&
           !chat->menuItem(QStringLiteral("menuClose"))->isEnabled();
}

} // namespace

class TestTransferE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void filesArriveWhole()
    {
        Chat c;
        startChat(c);
        if (QTest::currentTestFailed()) return;
        QTemporaryDir files;
        QAction *send = c.chatA->menuItem(QStringLiteral("menuFtne"));
        QVERIFY(c.chatB->menuItem(QStringLiteral("menuFrsv"))->isChecked());

        // A cancelled dialog changes nothing.
        c.a->desktop().setNextFileName(QString());
        send->trigger();
        QCOMPARE(c.a->core().state().operationBusy, int16_t(0));
        QVERIFY(c.chatA->displayText().isEmpty());

        const QList<qsizetype> sizes{0, 1025, 1024 * 1024 + 7};
        for (const qsizetype size : sizes) {
            const QString name = QStringLiteral("f%1.bin").arg(size);
            const QByteArray content = randomBytes(size);
            const QString source = QDir(files.path()).filePath(name);
            const QString target = QDir(files.path()).filePath(QStringLiteral("got-") + name);
            QVERIFY(writeFile(source, content));
            ProgressLog logA, logB;
            logA.watch(*c.a, c.chatA);
            logB.watch(*c.b, c.chatB);

            c.a->desktop().setNextFileName(source);
            c.b->desktop().setNextFileName(target);
            send->trigger();
            // While the data connection is up, whiteboard and disconnect are off
            // on both sides (an empty file is done as soon as it connects).
            if (size > 0)
                QVERIFY2(waitFor([&] { return commandsDisabled(c.chatA) && commandsDisabled(c.chatB); }),
                         qPrintable(name));
            QVERIFY2(waitFor([&] { return QFile::exists(target); }, 20000), qPrintable(name));
            QVERIFY(waitFor([&] { return commandsEnabled(c.chatA) && commandsEnabled(c.chatB); }));

            QCOMPARE(readFile(target), content);
            QVERIFY(c.chatA->displayText().startsWith(
                kTaro + QStringLiteral("> ") + name + QString::fromUtf8("を転送しました\r\n") + kTaro +
                QStringLiteral("> ") + name + QString::fromUtf8("を転送します\r\n")));
            QVERIFY(c.chatB->displayText().startsWith(kHanako + QStringLiteral(">") + name +
                                                      QString::fromUtf8("を受信しました\r\n") + kHanako +
                                                      QString::fromUtf8(">ファイルを受信します\r\n")));
            // The temporary file became the saved one.
            QVERIFY(!QFile::exists(QDir(c.dirB.path()).filePath(QStringLiteral("wezften.$$$"))));
            for (ProgressLog *log : {&logA, &logB}) {
                QVERIFY(log->opened);
                QVERIFY2(log->texts.contains(QString::fromUtf8("転送率：100%")),
                         qPrintable(log->texts.join(u' ')));
                QVERIFY(log->clearOfChat);
                QCOMPARE(log->names, QSet<QString>{name});
            }
            QVERIFY(waitFor([&] {
                return !c.a->core().state().isOpen(TransferWindow) &&
                       !c.b->core().state().isOpen(TransferWindow);
            }));
        }
        QVERIFY(c.a->desktop().shownMessages().isEmpty());
        QVERIFY(c.b->desktop().shownMessages().isEmpty());
    }

    // One refused offer runs out after the sender's 20 seconds; meanwhile a
    // second transfer is turned away.
    void refusedOfferAndSecondTransfer()
    {
        Chat c;
        startChat(c);
        if (QTest::currentTestFailed()) return;
        QAction *receive = c.chatB->menuItem(QStringLiteral("menuFrsv"));
        receive->trigger();
        QVERIFY(!receive->isChecked());

        QTemporaryDir files;
        const QString source = QDir(files.path()).filePath(QStringLiteral("one.txt"));
        QVERIFY(writeFile(source, "x"));
        QAction *send = c.chatA->menuItem(QStringLiteral("menuFtne"));
        c.a->desktop().setNextFileName(source);
        send->trigger();
        // B drops the offer without a word.
        QVERIFY(
            waitFor([&] { return c.b->core().state().recvFileName.isEmpty() && fileTransfer(*c.a).busy(); }));

        c.a->desktop().setNextFileName(source);
        send->trigger();
        QCOMPARE(c.a->desktop().shownMessages().value(0),
                 QString::fromUtf8("ファイル転送中に続けてファイルを転送することはできません"));

        const QString aborted = kTaro + QString::fromUtf8("> one.txtを中断しました\r\n");
        QVERIFY(waitFor([&] { return c.chatA->displayText().startsWith(aborted); }, 25000));
        QCOMPARE(c.chatA->displayText(), aborted);
        QVERIFY(c.chatB->displayText().isEmpty());
        QVERIFY(!c.b->core().state().isOpen(TransferWindow));
        QVERIFY(commandsEnabled(c.chatA));
        QVERIFY(openFiles(QStringLiteral("/one.txt")).isEmpty());
    }

    // The chat ends while B's save dialog is up: the reception still saves
    // the file the user then chooses, and nothing is left behind.
    void chatEndsDuringSaveDialog()
    {
        Chat c;
        startChat(c);
        if (QTest::currentTestFailed()) return;
        QTemporaryDir files;
        const QString source = QDir(files.path()).filePath(QStringLiteral("late.txt"));
        QTemporaryDir saveDir;
        const QString target = QDir(saveDir.path()).filePath(QStringLiteral("late.txt"));
        QVERIFY(writeFile(source, "late but whole"));
        c.a->desktop().setNextFileName(source);
        // No preset answer for B: its real save dialog comes up, in its own event loop.
        // What follows runs from inside that loop.
        int stage = 0;
        bool goneWhileAsked = false;
        QTimer script;
        QObject::connect(&script, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (stage == 0 && dialog && windows(*c.a).chatWindow() &&
                child<QPushButton>(windows(*c.a).chatWindow(), "Command3")->isEnabled()) {
                QCOMPARE(dialog->selectedFiles().value(0).section(u'/', -1), QStringLiteral("late.txt"));
                child<QPushButton>(windows(*c.a).chatWindow(), "Command3")->click();
                stage = 1;
            } else if (stage == 1 && dialog && !windows(*c.b).chatWindow()) {
                goneWhileAsked = true;
                stage = 2;
                // The offered name stays; only the folder is the user's.
                dialog->setDirectory(saveDir.path());
                // As the dialog's own accept ends, without its checks of the desktop.
                static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
            }
        });
        script.start(50);
        c.chatA->menuItem(QStringLiteral("menuFtne"))->trigger();
        QVERIFY(waitFor([&] { return stage == 2; }, 15000));
        QVERIFY(goneWhileAsked);
        QVERIFY(waitFor([&] { return !fileTransfer(*c.b).busy(); }));
        QCOMPARE(readFile(target), QByteArray("late but whole"));
        QVERIFY(!QFile::exists(QDir(c.dirB.path()).filePath(QStringLiteral("wezften.$$$"))));
        QCOMPARE(c.b->core().state().operationBusy, int16_t(0));
        QVERIFY(waitFor([&] { return listening(*c.a) && listening(*c.b); }, 10000));
    }

    // B closes the chat in the middle of a file: both sides stop, the partial
    // file is gone, and neither the source nor the temporary file stays open.
    void chatClosedMidTransfer()
    {
        Chat c;
        startChat(c);
        if (QTest::currentTestFailed()) return;
        QTemporaryDir files;
        const QString source = QDir(files.path()).filePath(QStringLiteral("big.bin"));
        QVERIFY(writeFile(source, randomBytes(16 * 1024 * 1024)));
        c.a->desktop().setNextFileName(source);
        c.chatA->menuItem(QStringLiteral("menuFtne"))->trigger();

        transfer::FileTransfer &receiver = fileTransfer(*c.b);
        QVERIFY(waitFor(
            [&] {
                return receiver.progressText().startsWith(QString::fromUtf8("転送率：")) &&
                       receiver.progressText() != QString::fromUtf8("転送率：0%");
            },
            10000));
        const QString temp = QDir(c.dirB.path()).filePath(QStringLiteral("wezften.$$$"));
        QCOMPARE(openFiles(QStringLiteral("/wezften.$$$")).size(), 1);
        QCOMPARE(openFiles(QStringLiteral("/big.bin")).size(), 1);

        c.chatB->close();
        QVERIFY(waitFor([&] { return !windows(*c.a).chatWindow() && !windows(*c.b).chatWindow(); }, 10000));
        QVERIFY(waitFor([&] { return !fileTransfer(*c.a).busy() && !fileTransfer(*c.b).busy(); }));
        QVERIFY(openFiles(QStringLiteral("/wezften.$$$")).isEmpty());
        QVERIFY(openFiles(QStringLiteral("/big.bin")).isEmpty());
        QVERIFY(!QFile::exists(temp));
        QVERIFY(!c.a->core().state().isOpen(TransferWindow));
        QVERIFY(!c.b->core().state().isOpen(TransferWindow));
        QCOMPARE(c.a->core().state().transferActive, int16_t(0));
        QCOMPARE(c.b->core().state().transferActive, int16_t(0));
        // Both go back to listening for the next chat.
        QVERIFY(waitFor([&] { return listening(*c.a) && listening(*c.b); }, 10000));
    }
};

QTEST_MAIN(TestTransferE2e)
#include "test_transfer_e2e.moc"
