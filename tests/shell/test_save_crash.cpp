// The program killed in the middle of saving its settings: a child process
// saves over and over and is killed with SIGKILL at random moments. The file
// is always one whole version, never a mix or a stub.
#include "floodsupport.h"

#include "shell/settingsfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QRandomGenerator>

#include <csignal>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>

using namespace testsupport;

class TestSaveCrash : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedWhileSaving()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("wezpsnl.dat"));
        const QByteArray old = "old\r\n";
        // Big enough that a kill often lands inside a write; same length, so a mix is no longer either.
        const QByteArray a = flood::noise(512 * 1024, 1);
        const QByteArray b = flood::noise(512 * 1024, 2);
        QVERIFY(writeFile(path, old));

        QRandomGenerator rng(4711);
        const int rounds = 150;
        int sawOld = 0, sawNew = 0;
        for (int round = 0; round < rounds; ++round) {
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                for (int i = 0;; ++i)
                    settingsfiles::saveFile(path, i % 2 ? b : a);
            }
            const timespec pause{0, long(rng.bounded(20'000'000))};
            ::nanosleep(&pause, nullptr);
            ::kill(child, SIGKILL);
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            const QByteArray now = readFile(path);
            if (now == old)
                ++sawOld;
            else if (now == a || now == b)
                ++sawNew;
            else
                QFAIL(qPrintable(
                    QStringLiteral("round %1: %2 bytes, neither version").arg(round).arg(now.size())));
        }
        // Anything the killed saves left beside the file.
        const QStringList litter =
            QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("wezpsnl.dat."));
        qInfo("hardening: save killed %d times: %d times the old file, %d times a new one, never a mix; "
              "%d temporary files left",
              rounds, sawOld, sawNew, int(litter.size()));
        QVERIFY2(sawNew > 0, "the child never saved: the test proves nothing");
    }
};

QTEST_GUILESS_MAIN(TestSaveCrash)
#include "test_save_crash.moc"
