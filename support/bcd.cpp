// Decoding of the simulator's BCD32 frequency form (see support/bcd.h).
#include "support/bcd.h"

int32_t FromBcd32(int32_t value) {
    // Unsigned, so the top group is taken as 0 to 15 whatever the sign of `value`.
    uint32_t bits = static_cast<uint32_t>(value);
    int32_t result = 0;
    for (int shift = 28; shift >= 12; shift -= 4) {
        result = result * 10 + static_cast<int32_t>((bits >> shift) & 0xFu);
    }
    return result;
}
