// The browser panel's instrument readings: which field each one shows and how, and the unit it
// is shown in, derived from the unit its data definition names (sim/datadefs_table.cpp) through
// one table of units, so that no scale is typed beside a reading.
#pragma once

#include <cstdint>

// A unit a data definition names (letter case ignored), the unit the page shows for it and
// the factor from the one to the other.
struct PanelUnit {
    const char* DataUnits; // "" for a word declared without units, or not the simulator's
    const char* Shown;
    double Scale;
};
extern const PanelUnit PANEL_UNITS[];
extern const uint32_t PANEL_UNIT_COUNT;

// An instrument reading: the field it shows (by datum name) and how the page prints it. A role
// names the readings that the drawn instruments use.
struct PanelReading {
    const char* Group;
    const char* Label;
    const char* Datum;
    const char* Role;   // "" when only shown as a labelled value
    const char* Format; // "int", "f0", "f1", "f2", "f3", "deg", "on", "adf"
};
extern const PanelReading PANEL_READINGS[];
extern const uint32_t PANEL_READING_COUNT;

// Where a reading's value is and what it is in.
struct PanelReadingPlace {
    int32_t Block;   // 1 to 3: the first block that carries the datum
    uint32_t Offset; // datagram byte
    int32_t Type;    // SIMCONNECT_DATATYPE_*
    const char* DataUnits;
    const PanelUnit* Unit;
};
// False when no block carries the datum or its unit is not in PANEL_UNITS.
bool PanelPlaceReading(const PanelReading& reading, PanelReadingPlace* out);
