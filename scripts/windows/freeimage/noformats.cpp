// The plugins of the formats whose libraries the Windows build leaves out:
// each registers under its usual name, so the formats after it keep their
// numbers, and reads and writes nothing.
#include "FreeImage.h"
#include "Plugin.h"

#define FOTOLISTA_NO_FORMAT(init, name)                                                                                \
    static const char* DLL_CALLCONV init##Format() { return name; }                                                   \
    void DLL_CALLCONV init(Plugin* plugin, int) { plugin->format_proc = init##Format; }

FOTOLISTA_NO_FORMAT(InitEXR, "EXR")
FOTOLISTA_NO_FORMAT(InitJ2K, "J2K")
FOTOLISTA_NO_FORMAT(InitJP2, "JP2")
FOTOLISTA_NO_FORMAT(InitRAW, "RAW")
FOTOLISTA_NO_FORMAT(InitJXR, "JXR")
