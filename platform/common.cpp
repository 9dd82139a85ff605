// Small helpers that both backends share.
#include "platform/backend.h"

#include <cstdio>
#include <cstring>

bool PlatformCopyName(const char* name, char* out, size_t size) {
    size_t len = strlen(name);
    if (len >= size) {
        return false;
    }
    memcpy(out, name, len + 1);
    return true;
}

// Formatted here rather than by inet_ntoa, whose result buffer is shared between calls.
void PlatformInetNtoa(uint32_t addr, char* out) {
    const auto* b = reinterpret_cast<const uint8_t*>(&addr);
    snprintf(out, 16, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

// `state` is the widened count itself: its low 32 bits are the last reading, so the wrap-safe
// difference to it moves the count on.
uint64_t PlatformWidenTicks(std::atomic<uint64_t>* state, uint32_t now) {
    uint64_t old = state->load();
    for (;;) {
        uint32_t ahead = now - static_cast<uint32_t>(old);
        if (ahead >= 0x80000000u) {
            return old; // taken before the last reading (another thread was quicker)
        }
        if (state->compare_exchange_weak(old, old + ahead)) {
            return old + ahead;
        }
    }
}

// Both backends write the first adapter at the start of the buffer.
const void* PlatformAdapterFirst(const void* buffer) {
    return buffer;
}
