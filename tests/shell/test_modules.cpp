// Modules loaded on demand: the sound module brings Qt Multimedia only with
// the first sound, a module of another version or a broken file is refused
// with a reason, and the client plays on silently without one.
#include "shell/modulelibrary.h"
#include "shell/soundplayer.h"
#include "shell/uidesktop.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace testsupport;

namespace {
bool mapped(const char *library)
{
    return readFile(QStringLiteral("/proc/self/maps")).contains(library);
}
} // namespace

class TestModules final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void soundModuleBringsMultimediaWithIt()
    {
        QVERIFY(!mapped("libQt6Multimedia"));
        const modulelibrary::Resolved r = modulelibrary::resolve(
            QStringLiteral("wezsound"), "wezCreateSoundPlayer", {QStringLiteral(WEZ_MODULE_BUILD_DIR)});
        QVERIFY2(r.function, qPrintable(r.error));
        QVERIFY(mapped("libQt6Multimedia"));
        std::unique_ptr<SoundPlayer> player(reinterpret_cast<SoundPlayerFactory>(r.function)());
        // Without an audio device it stays silent; with one it starts and returns.
        player->play(QStringLiteral(":/wez/connectok.wav"));
        player->play(QStringLiteral(":/wez/connectok.wav"));
        player->play(QStringLiteral("/nonexistent/sound.wav"));
    }

    void firstDirectoryWithTheModuleWins()
    {
        QTemporaryDir empty;
        const modulelibrary::Resolved r =
            modulelibrary::resolve(QStringLiteral("wezsound"), "wezCreateSoundPlayer",
                                   {empty.path(), QStringLiteral(WEZ_MODULE_BUILD_DIR)});
        QVERIFY2(r.function, qPrintable(r.error));
    }

    void refusedWithAReason_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QString() << QStringLiteral("wezsound") << QStringLiteral("not found in");
        QTest::newRow("another version")
            << QStringLiteral(WEZ_OLD_MODULE_DIR) << QStringLiteral("wez_test_oldmodule")
            << QStringLiteral("built for another version");
        QTest::newRow("not a library")
            << QString() << QStringLiteral("wezbroken") << QStringLiteral("libwezbroken.so");
    }

    void refusedWithAReason()
    {
        QFETCH(QString, dir);
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QTemporaryDir temporary;
        if (dir.isEmpty()) dir = temporary.path();
        if (name == QStringLiteral("wezbroken"))
            QVERIFY(writeFile(dir + QStringLiteral("/libwezbroken.so"), "not an ELF file"));
        const modulelibrary::Resolved r = modulelibrary::resolve(name, "wezCreateSoundPlayer", {dir});
        QVERIFY(!r.function);
        QVERIFY2(r.error.contains(reason), qPrintable(r.error));
    }

    void desktopRecordsSoundsWhateverTheModule()
    {
        // The test program has no module beside it: sounds are off, nothing else changes.
        UiDesktop desktop;
        desktop.playSound(QStringLiteral(":/wez/connectok.wav"));
        desktop.playSound(QStringLiteral(":/wez/connectend.wav"));
        QCOMPARE(desktop.playedSounds(), QStringList({QStringLiteral(":/wez/connectok.wav"),
                                                      QStringLiteral(":/wez/connectend.wav")}));
    }
};

QTEST_MAIN(TestModules)
#include "test_modules.moc"
