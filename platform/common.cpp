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

// The x87 is the floating-point unit of the build when it is a 32-bit x86 one without SSE2
// arithmetic (the i686 release and its Linux twin). Its control word: precision in bits 8-9
// (00 24 bits, 10 53 bits, 11 64 bits), rounding in bits 10-11 (00 to nearest), the six
// exception masks in bits 0-5.
#if defined(__i386__) && !defined(__SSE2_MATH__)
namespace {
constexpr uint16_t X87_PRECISION_MASK = 0x0300;
constexpr uint16_t X87_PRECISION_53 = 0x0200;
constexpr uint16_t X87_ROUNDING_MASK = 0x0C00;
constexpr uint16_t X87_EXCEPTIONS_MASKED = 0x003F;
} // namespace

void PlatformFloatInit() {
    uint16_t word;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    word = static_cast<uint16_t>((word & ~(X87_PRECISION_MASK | X87_ROUNDING_MASK)) |
                                 X87_PRECISION_53 | X87_EXCEPTIONS_MASKED);
    __asm__ __volatile__("fldcw %0" : : "m"(word));
}
#else
void PlatformFloatInit() {}
#endif
