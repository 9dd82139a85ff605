// POSIX backend: the argument vector is the one the runtime hands to main.
#include "platform/args_internal.h"

void PlatformArgsInit(int argc, char** argv) {
    PlatformArgsSet(argc, argv);
}
