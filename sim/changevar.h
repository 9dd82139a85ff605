// Applying a variable change from the cockpit network to the simulator.
#pragma once

#include <cstdint>

// Integer form (var type 5). True when the index is known (or the simulator is not
// connected); false for an unknown index, after a console line.
bool ChangeVar(int32_t fsxIndex, int32_t value);
// Double form (var types 1 and 2).
bool ChangeVar(int32_t fsxIndex, double value);
