// The browser panel where this build has no HTTP library (the Windows builds).
#include <cstdio>

#include "tools/commgr/panel.h"

bool PanelStart(const char*, uint16_t, char* error, size_t errorSize) {
    snprintf(error, errorSize, "this build of commgr has no panel (built without cpp-httplib)");
    return false;
}
