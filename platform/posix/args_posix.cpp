// POSIX backend: the argument vector is the one the runtime hands to main.
#include "platform/backend.h"

void PlatformArgsInit(int argc, char** argv) {
    PlatformArgsSet(argc, argv);
}
