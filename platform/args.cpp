// The argument vector as narrow texts, the same for both backends: each backend's
// PlatformArgsInit builds its vector and hands it over with PlatformArgsSet.
#include "platform/backend.h"

#include <cstring>

namespace {
// Written once by PlatformArgsInit, on the main thread before any other thread exists;
// read afterwards.
int ArgCount = 0;
char** ArgVector = nullptr;
} // namespace

void PlatformArgsSet(int count, char** vector) {
    ArgCount = count;
    ArgVector = vector;
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
