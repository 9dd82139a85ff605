// POSIX backend: the argument vector is the one the runtime hands to main.
#include "platform/platform.h"

#include <cstring>

namespace {
// Written once by main before any other thread exists; read afterwards.
int ArgCount = 0;
char** ArgVector = nullptr;
} // namespace

void PlatformArgsInit(int argc, char** argv) {
    ArgCount = argc;
    ArgVector = argv;
}

int32_t PlatformArgCount() {
    return ArgCount;
}

bool PlatformArg(int32_t index, char* out, size_t size) {
    if (size == 0) {
        return false;
    }
    out[0] = '\0';
    if (index < 0 || index >= ArgCount || ArgVector[index] == nullptr) {
        return false;
    }
    size_t len = strlen(ArgVector[index]);
    size_t copy = len < size ? len : size - 1;
    memcpy(out, ArgVector[index], copy);
    out[copy] = '\0';
    return copy == len;
}
