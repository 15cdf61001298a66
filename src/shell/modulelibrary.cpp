#include "shell/modulelibrary.h"
#include "shell/version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace modulelibrary {

QStringList searchDirs()
{
    QStringList dirs;
    if (QCoreApplication::instance()) dirs << QCoreApplication::applicationDirPath();
    dirs << QStringLiteral(WEZ_MODULE_DIR);
    return dirs;
}

Resolved resolve(const QString &name, const char *symbol, const QStringList &dirs)
{
    const QString fileName = QStringLiteral("lib%1.so").arg(name);
    for (const QString &dir : dirs) {
        const QString path = QDir(dir).filePath(fileName);
        if (!QFileInfo::exists(path)) continue;
        // Never unloaded: objects made by the module may live until the end.
        QLibrary library(path);
        if (!library.load()) return {nullptr, library.errorString()};
        using VersionFunction = const char *(*)();
        const auto version = reinterpret_cast<VersionFunction>(library.resolve(kVersionSymbol));
        if (!version || qstrcmp(version(), WEZ_VERSION) != 0)
            return {nullptr, path + QStringLiteral(" was built for another version of wez")};
        if (QFunctionPointer function = library.resolve(symbol)) return {function, {}};
        return {nullptr, library.errorString()};
    }
    return {nullptr, QStringLiteral("%1 not found in %2").arg(fileName, dirs.join(QStringLiteral(", ")))};
}

} // namespace modulelibrary
