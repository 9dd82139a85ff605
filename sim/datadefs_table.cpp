// The declaration list: definitions 5, 4, 2, 1, 0, each datum in record order.
#include "sim/datadefs_table.h"

#include "net/blocks.h"
#include "sim/session.h"

constexpr DataDatum DATA_DATUMS[DATA_DATUM_COUNT] = {
    {5, "Plane Latitude", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 0},
    {5, "Plane Longitude", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 8},
    {5, "Plane Alt Above Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64, 16},
    {4, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32, 0},
    {2, "General Eng Exhaust Gas Temperature:1", "Celsius", SIMCONNECT_DATATYPE_FLOAT64, 0},
    {2, "General Eng Exhaust Gas Temperature:2", "Celsius", SIMCONNECT_DATATYPE_FLOAT64, 8},
    {2, "General Eng Exhaust Gas Temperature:3", "Celsius", SIMCONNECT_DATATYPE_FLOAT64, 16},
    {2, "General Eng Exhaust Gas Temperature:4", "Celsius", SIMCONNECT_DATATYPE_FLOAT64, 24},
    {2, "Turb Eng N1:1", "Percent", SIMCONNECT_DATATYPE_FLOAT64, 32},
    {2, "Turb Eng N1:2", "Percent", SIMCONNECT_DATATYPE_FLOAT64, 40},
    {2, "Turb Eng N1:3", "Percent", SIMCONNECT_DATATYPE_FLOAT64, 48},
    {2, "Turb Eng N1:4", "Percent", SIMCONNECT_DATATYPE_FLOAT64, 56},
    {2, "Eng Oil Pressure:1", "psi", SIMCONNECT_DATATYPE_FLOAT64, 64},
    {2, "Eng Oil Pressure:2", "psi", SIMCONNECT_DATATYPE_FLOAT64, 72},
    {2, "Eng Oil Pressure:3", "psi", SIMCONNECT_DATATYPE_FLOAT64, 80},
    {2, "Eng Oil Pressure:4", "psi", SIMCONNECT_DATATYPE_FLOAT64, 88},
    {2, "General Eng Oil Temperature:1", "Celsius", SIMCONNECT_DATATYPE_FLOAT64, 96},
    {2, "General Eng Oil Temperature:2", "Celsius", SIMCONNECT_DATATYPE_FLOAT64, 104},
    {2, "General Eng Oil Temperature:3", "Celsius", SIMCONNECT_DATATYPE_FLOAT64, 112},
    {2, "General Eng Oil Temperature:4", "Celsius", SIMCONNECT_DATATYPE_FLOAT64, 120},
    {2, "Turb Eng N2:1", "Percent", SIMCONNECT_DATATYPE_FLOAT64, 128},
    {2, "Turb Eng N2:2", "Percent", SIMCONNECT_DATATYPE_FLOAT64, 136},
    {2, "Turb Eng N2:3", "Percent", SIMCONNECT_DATATYPE_FLOAT64, 144},
    {2, "Turb Eng N2:4", "Percent", SIMCONNECT_DATATYPE_FLOAT64, 152},
    {2, "Turb Eng Fuel Flow PPH:1", "pounds per hour", SIMCONNECT_DATATYPE_FLOAT64, 160},
    {2, "Turb Eng Fuel Flow PPH:2", "pounds per hour", SIMCONNECT_DATATYPE_FLOAT64, 168},
    {2, "Turb Eng Fuel Flow PPH:3", "pounds per hour", SIMCONNECT_DATATYPE_FLOAT64, 176},
    {2, "Turb Eng Fuel Flow PPH:4", "pounds per hour", SIMCONNECT_DATATYPE_FLOAT64, 184},
    {2, "Eng Oil Quantity:1", "percent", SIMCONNECT_DATATYPE_FLOAT64, 192},
    {2, "Eng Oil Quantity:2", "percent", SIMCONNECT_DATATYPE_FLOAT64, 200},
    {2, "Eng Oil Quantity:3", "percent", SIMCONNECT_DATATYPE_FLOAT64, 208},
    {2, "Eng Oil Quantity:4", "percent", SIMCONNECT_DATATYPE_FLOAT64, 216},
    {2, "Turb Eng Vibration:1", "number", SIMCONNECT_DATATYPE_FLOAT64, 224},
    {2, "Turb Eng Vibration:2", "number", SIMCONNECT_DATATYPE_FLOAT64, 232},
    {2, "Turb Eng Vibration:3", "number", SIMCONNECT_DATATYPE_FLOAT64, 240},
    {2, "Turb Eng Vibration:4", "number", SIMCONNECT_DATATYPE_FLOAT64, 248},
    {2, "Pressurization Cabin Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64, 256},
    {2, "Pressurization Cabin Altitude Rate", "feet/second", SIMCONNECT_DATATYPE_FLOAT64, 264},
    {2, "Fuel Left Quantity", "gallons", SIMCONNECT_DATATYPE_FLOAT64, 272},
    {2, "Fuel Right Quantity", "gallons", SIMCONNECT_DATATYPE_FLOAT64, 280},
    {2, "Fuel Total Quantity", "gallons", SIMCONNECT_DATATYPE_FLOAT64, 288},
    {2, "Total Air Temperature", "Celsius", SIMCONNECT_DATATYPE_FLOAT64, 296},
    {2, "Number Of Engines", "Number", SIMCONNECT_DATATYPE_INT32, 304},
    {2, "Circuit General Panel On", "Number", SIMCONNECT_DATATYPE_INT32, 308},
    {2, "General Eng Starter:1", "Number", SIMCONNECT_DATATYPE_INT32, 312},
    {2, "General Eng Starter:2", "Number", SIMCONNECT_DATATYPE_INT32, 316},
    {1, "NAV VOR LATLONALT:1", nullptr, SIMCONNECT_DATATYPE_LATLONALT, 0},
    {1, "NAV VOR LATLONALT:2", nullptr, SIMCONNECT_DATATYPE_LATLONALT, 24},
    {1, "NAV Active Frequency:1", "mhz", SIMCONNECT_DATATYPE_FLOAT64, 48},
    {1, "NAV Active Frequency:2", "mhz", SIMCONNECT_DATATYPE_FLOAT64, 56},
    {1, "NAV Standby Frequency:1", "mhz", SIMCONNECT_DATATYPE_FLOAT64, 64},
    {1, "NAV Standby Frequency:2", "mhz", SIMCONNECT_DATATYPE_FLOAT64, 72},
    {1, "NAV OBS:1", "Degrees", SIMCONNECT_DATATYPE_FLOAT64, 80},
    {1, "NAV OBS:2", "Degrees", SIMCONNECT_DATATYPE_FLOAT64, 88},
    {1, "Ambient Wind Velocity", "knots", SIMCONNECT_DATATYPE_FLOAT64, 96},
    {1, "Ambient Wind Direction", "Degrees", SIMCONNECT_DATATYPE_FLOAT64, 104},
    {1, "COM Active Frequency:1", "mhz", SIMCONNECT_DATATYPE_FLOAT64, 112},
    {1, "COM Active Frequency:2", "mhz", SIMCONNECT_DATATYPE_FLOAT64, 120},
    {1, "COM Standby Frequency:1", "mhz", SIMCONNECT_DATATYPE_FLOAT64, 128},
    {1, "COM Standby Frequency:2", "mhz", SIMCONNECT_DATATYPE_FLOAT64, 136},
    {1, "Trailing Edge Flaps Left Percent", "percent over 100", SIMCONNECT_DATATYPE_FLOAT64, 144},
    {1, "INCIDENCE ALPHA", "radians", SIMCONNECT_DATATYPE_FLOAT64, 152},
    {1, "MAGVAR", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 160},
    {1, "General Eng Throttle Lever Position:1", "percent", SIMCONNECT_DATATYPE_FLOAT64, 168},
    {1, "Nav Radial:1", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 176},
    {1, "Nav Radial:2", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 184},
    {1, "Nav Has DME:1", "bool", SIMCONNECT_DATATYPE_INT32, 192},
    {1, "Nav Has DME:2", "bool", SIMCONNECT_DATATYPE_INT32, 196},
    {1, "Nav Has Nav:1", "bool", SIMCONNECT_DATATYPE_INT32, 200},
    {1, "Nav Has Nav:2", "bool", SIMCONNECT_DATATYPE_INT32, 204},
    {1, "Flaps Handle Index", "number", SIMCONNECT_DATATYPE_INT32, 208},
    {1, "Gear Handle Position", "bool", SIMCONNECT_DATATYPE_INT32, 212},
    {1, "Autopilot Approach Hold", "bool", SIMCONNECT_DATATYPE_INT32, 216},
    {1, "FLAPS NUM HANDLE POSITIONS", "number", SIMCONNECT_DATATYPE_INT32, 220},
    {1, "ZULU TIME", "seconds", SIMCONNECT_DATATYPE_INT32, 224},
    {1, "Nav ToFrom:1", "number", SIMCONNECT_DATATYPE_INT32, 228},
    {1, "Nav ToFrom:2", "number", SIMCONNECT_DATATYPE_INT32, 232},
    {0, "Airspeed Indicated", "knots", SIMCONNECT_DATATYPE_FLOAT64, 0},
    {0, "Kohlsman setting hg", "inHg", SIMCONNECT_DATATYPE_FLOAT64, 8},
    {0, "Indicated Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64, 16},
    {0, "Plane Latitude", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 24},
    {0, "Plane Longitude", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 32},
    {0, "Plane Bank Degrees", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 40},
    {0, "Plane Heading Degrees Magnetic", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 48},
    {0, "Vertical Speed", "Feet per second", SIMCONNECT_DATATYPE_FLOAT64, 56},
    {0, "Autopilot Altitude Lock Var", "Feet", SIMCONNECT_DATATYPE_FLOAT64, 64},
    {0, "Autopilot Airspeed Hold Var", "Knots", SIMCONNECT_DATATYPE_FLOAT64, 72},
    {0, "Autopilot Vertical Hold Var", "Feet/minute", SIMCONNECT_DATATYPE_FLOAT64, 80},
    {0, "Autopilot Heading Lock Dir", "Degrees", SIMCONNECT_DATATYPE_FLOAT64, 88},
    {0, "Radio Height", "Feet", SIMCONNECT_DATATYPE_FLOAT64, 96},
    {0, "Plane Pitch Degrees", "Degrees", SIMCONNECT_DATATYPE_FLOAT64, 104},
    {0, "Autopilot Flight Director Active", "Bool", SIMCONNECT_DATATYPE_INT32, 112},
    {0, "Autopilot Master", "Bool", SIMCONNECT_DATATYPE_INT32, 116},
    {0, "Autopilot flight director pitch", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 120},
    {0, "Autopilot flight director bank", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 128},
    {0, "Ambient Temperature", "celsius", SIMCONNECT_DATATYPE_FLOAT64, 136},
    {0, "Airspeed True", "knots", SIMCONNECT_DATATYPE_FLOAT64, 144},
    {0, "Ground velocity", "knots", SIMCONNECT_DATATYPE_FLOAT64, 152},
    {0, "Nav cdi:1", "number", SIMCONNECT_DATATYPE_FLOAT64, 160},
    {0, "Nav cdi:2", "number", SIMCONNECT_DATATYPE_FLOAT64, 168},
    {0, "Nav gsi:1", "number", SIMCONNECT_DATATYPE_FLOAT64, 176},
    {0, "Nav gsi:2", "number", SIMCONNECT_DATATYPE_FLOAT64, 184},
    {0, "Nav has localizer:1", "bool", SIMCONNECT_DATATYPE_INT32, 192},
    {0, "Nav has localizer:2", "bool", SIMCONNECT_DATATYPE_INT32, 196},
    {0, "Nav has glide slope:1", "bool", SIMCONNECT_DATATYPE_INT32, 200},
    {0, "Nav has glide slope:2", "bool", SIMCONNECT_DATATYPE_INT32, 204},
    {0, "Flaps Handle Percent", "number", SIMCONNECT_DATATYPE_FLOAT64, 208},
    {0, "Brake Parking Position", "position", SIMCONNECT_DATATYPE_FLOAT64, 216},
    {0, "Autopilot Heading Lock", "bool", SIMCONNECT_DATATYPE_INT32, 224},
    {0, "Autopilot Throttle Arm", "bool", SIMCONNECT_DATATYPE_INT32, 228},
    {0, "Autopilot Airspeed Hold", "bool", SIMCONNECT_DATATYPE_INT32, 232},
    {0, "Autopilot Airspeed Hold Var", "number", SIMCONNECT_DATATYPE_INT32, 236},
    {0, "Plane Alt Above Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64, 240},
    {0, "Decision Height", "Feet", SIMCONNECT_DATATYPE_FLOAT64, 248},
    {0, "Incidence Beta", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 256},
    {0, "Nav Localizer:1", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 264},
    {0, "Nav Localizer:2", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 272},
    {0, "Nav DME:1", "nautical miles", SIMCONNECT_DATATYPE_FLOAT64, 280},
    {0, "Nav DME:2", "nautical miles", SIMCONNECT_DATATYPE_FLOAT64, 288},
    {0, "Plane Heading Degrees True", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 296},
    {0, "Gear Center Position", "percent", SIMCONNECT_DATATYPE_FLOAT64, 304},
    {0, "ADF Signal:1", "Number", SIMCONNECT_DATATYPE_FLOAT64, 312},
    {0, "Autopilot Altitude Lock", "bool", SIMCONNECT_DATATYPE_INT32, 320},
    {0, "Nav Has DME:1", "bool", SIMCONNECT_DATATYPE_INT32, 324},
    {0, "Nav Has DME:2", "bool", SIMCONNECT_DATATYPE_INT32, 328},
    {0, "Nav Has Nav:1", "bool", SIMCONNECT_DATATYPE_INT32, 332},
    {0, "Nav Has Nav:2", "bool", SIMCONNECT_DATATYPE_INT32, 336},
    {0, "Autopilot Nav1 Lock", "bool", SIMCONNECT_DATATYPE_INT32, 340},
    {0, "ADF Active Frequency:1", "Frequency ADF BCD32", SIMCONNECT_DATATYPE_INT32, 344},
    {0, "ADF Active Frequency:2", "Frequency ADF BCD32", SIMCONNECT_DATATYPE_INT32, 348},
    {0, "ADF Standby Frequency:1", "Frequency ADF BCD32", SIMCONNECT_DATATYPE_INT32, 352},
    {0, "ADF Standby Frequency:2", "Frequency ADF BCD32", SIMCONNECT_DATATYPE_INT32, 356},
    {0, "NAV CODES:1", "number", SIMCONNECT_DATATYPE_INT32, 360},
    {0, "NAV CODES:2", "number", SIMCONNECT_DATATYPE_INT32, 364},
};

// The payload layout, checked where it is written down: each definition's datums lie one
// after another from byte 0, each record fills its block's payload, and the positions that
// the program reads by name hold the datums of those names.
namespace {

constexpr bool SameText(const char* a, const char* b) {
    for (; *a != '\0' && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

constexpr bool Packed() {
    uint32_t offset = 0;
    for (uint32_t i = 0; i < DATA_DATUM_COUNT; ++i) {
        const DataDatum& d = DATA_DATUMS[i];
        offset = i > 0 && DATA_DATUMS[i - 1].Definition != d.Definition ? 0 : offset;
        if (d.Offset != offset || DataTypeSize(d.Type) == 0) {
            return false;
        }
        offset += DataTypeSize(d.Type);
    }
    return true;
}

constexpr uint32_t RecordSize(uint32_t definition) {
    uint32_t size = 0;
    for (const DataDatum& d : DATA_DATUMS) {
        size = d.Definition == definition ? d.Offset + DataTypeSize(d.Type) : size;
    }
    return size;
}

// The first datum of `definition` named `datum` lies at `position` of its block.
constexpr bool At(uint32_t definition, const char* datum, uint32_t position) {
    for (const DataDatum& d : DATA_DATUMS) {
        if (d.Definition == definition && SameText(d.Datum, datum)) {
            return BLOCK_PAYLOAD + d.Offset == position;
        }
    }
    return false;
}

static_assert(Packed());
static_assert(RecordSize(DEFINITION_BLOCK1) == BLOCK1_RECORD_SIZE);
static_assert(RecordSize(DEFINITION_BLOCK2) == BLOCK2_RECORD_SIZE);
static_assert(RecordSize(DEFINITION_BLOCK3) == BLOCK3_RECORD_SIZE);
static_assert(At(DEFINITION_BLOCK1, "Circuit General Panel On", BLOCK1_PANEL_ON));
static_assert(At(DEFINITION_BLOCK2, "NAV OBS:1", BLOCK2_NAV_OBS1));
static_assert(At(DEFINITION_BLOCK2, "NAV OBS:2", BLOCK2_NAV_OBS2));
static_assert(At(DEFINITION_BLOCK2, "FLAPS NUM HANDLE POSITIONS", BLOCK2_FLAPS_POSITIONS));
static_assert(At(DEFINITION_BLOCK3, "Autopilot Altitude Lock Var", BLOCK3_AP_ALT_LOCK_VAR));
static_assert(At(DEFINITION_BLOCK3, "Autopilot Airspeed Hold Var", BLOCK3_AP_AIRSPEED_HOLD_VAR));
static_assert(At(DEFINITION_BLOCK3, "Autopilot Heading Lock Dir", BLOCK3_AP_HEADING_LOCK_DIR));
static_assert(At(DEFINITION_BLOCK3, "Autopilot Flight Director Active", BLOCK3_AP_FD_ACTIVE));
static_assert(At(DEFINITION_BLOCK3, "Autopilot Master", BLOCK3_AP_MASTER));
static_assert(At(DEFINITION_BLOCK3, "Brake Parking Position", BLOCK3_BRAKE_PARKING));
static_assert(At(DEFINITION_BLOCK3, "ADF Active Frequency:1", BLOCK3_ADF_ACTIVE1));
static_assert(At(DEFINITION_BLOCK3, "ADF Active Frequency:2", BLOCK3_ADF_ACTIVE2));

} // namespace
