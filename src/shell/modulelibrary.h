#pragma once
// Parts of the client that pull in large libraries (mail, sounds) live in
// modules of their own, loaded the first time they are used, so start-up
// does not pay for them. A module is looked for beside the program, then
// where it is installed; one built for another version is refused.
#include <QFunctionPointer>
#include <QString>
#include <QStringList>

namespace modulelibrary {

// The module's exported version check, answering the version it was built for.
constexpr const char *kVersionSymbol = "wezModuleVersion";

struct Resolved {
    QFunctionPointer function = nullptr; // the requested entry point, or nullptr
    QString error;                       // why it is missing, readable; empty when found
};

// The program's directory, then the installed module directory.
QStringList searchDirs();

// Loads module `name` from the first of `dirs` that holds one and resolves
// `symbol` in it. The library stays loaded for the rest of the run.
Resolved resolve(const QString &name, const char *symbol, const QStringList &dirs = searchDirs());

} // namespace modulelibrary
