// The simulator's "Frequency ADF BCD32" form: five decimal digits, one per 4-bit group, in
// bits 12 to 31 (the units digit in bits 12 to 15), for a frequency in tenths of a kilohertz.
#pragma once

#include <cstdint>

// The integer that the five digit groups of `value` spell. Bits 0 to 11 are ignored; each
// group counts with its 4-bit value even above 9, and a set top bit does not make the result
// negative. 0x03450000 gives 3450.
int32_t FromBcd32(int32_t value);
