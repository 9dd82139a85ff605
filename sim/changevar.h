// Applying a variable change from the cockpit network to the simulator.
#pragma once

#include <cstdint>

// Integer form (var type 5). True when the index is known (or the simulator is not
// connected); false for an unknown index, after a console line.
bool ChangeVar(int32_t fsxIndex, int32_t value);
// Double form (var types 1 and 2).
bool ChangeVar(int32_t fsxIndex, double value);

// The simulator's "Frequency ADF BCD32" form of `n` (tenths of a kilohertz): five decimal
// digits, one per 4-bit group, units in bits 12 to 15, bits 0 to 11 zero. A value outside
// 0 to 99999 is first held to that range (negative gives 0, larger gives 99999).
int32_t ToBcd32(int32_t n);

// ADF frequencies that a step may reach, in tenths of a kilohertz (190.0 to 1750.0 kHz).
constexpr int32_t ADF_MIN_TENTHS_KHZ = 1900;
constexpr int32_t ADF_MAX_TENTHS_KHZ = 17500;
