// A module left over from another version of the program.
#include <QtGlobal>

extern "C" Q_DECL_EXPORT const char *wezModuleVersion()
{
    return "0.0-old";
}

extern "C" Q_DECL_EXPORT void wezCreateSoundPlayer() {}
