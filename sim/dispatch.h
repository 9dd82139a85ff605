// The dispatch handler: the callback that the library runs, inside the session loop's
// dispatch call, once for every message that has arrived. It is the only road by which
// simulator data enters the program.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "sim/simconnect_api.h"

// Code of the user aircraft's model: 1 for "B738", 2 for "A321", 0 for any other. Written
// and read by the main thread only (set from the model answers, copied into Block1 after
// each Block1 record); survives reconnections.
extern int32_t AircraftType;

constexpr int32_t AIRCRAFT_OTHER = 0;
constexpr int32_t AIRCRAFT_B738 = 1;
constexpr int32_t AIRCRAFT_A321 = 2;

// The models the cockpit knows, by the exact text of the simulator's model answer.
struct AircraftModel {
    int32_t Code;
    const char* Name;
};
inline constexpr AircraftModel AIRCRAFT_MODELS[] = {{AIRCRAFT_B738, "B738"},
                                                    {AIRCRAFT_A321, "A321"}};

// Traffic below this height above ground (feet), or at it, is not listed.
constexpr double TRAFFIC_MIN_ALTITUDE_FT = 50.0;

// Cloud-state grid printed to the console: 64 rows of 64 cells.
constexpr uint32_t CLOUD_GRID_SIDE = 64;

// Handles one message of `cbData` bytes. A message shorter than the record its kind needs is
// ignored: nothing past cbData is ever read.
void PLATFORM_STDCALL HandleSimMsgs(SIMCONNECT_RECV* data, SC_DWORD cbData, void* context);
