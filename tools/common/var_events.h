// The simulator events that the program turns each cockpit variable into, found by letting
// the program's own ChangeVar act on the variable with the simulator call replaced by a probe.
// Shared by the tools that name variables by their events (the dissector's generator, the
// panel's generator), so that both read the same names from the same place.
#pragma once

#include <cstdint>
#include <string>

// Makes ChangeVar transmit into the probe: fills the variable tables, replaces the library's
// event call and marks the simulator connected (every current value stays 0). Call once,
// before the functions below; the process must not talk to a simulator afterwards.
void VarEventsStart();

// The events of `fsxIndex` for the values a cockpit sends (on/off, the step codes 1 to 4, a
// handle position), "/"-separated in the order of first use; empty when it sends none.
std::string VarEventNames(int32_t fsxIndex, int32_t varType);

// The events of `fsxIndex` set to `value` (in the form of its var type), "/"-separated.
std::string VarValueEvents(int32_t fsxIndex, int32_t varType, double value);
