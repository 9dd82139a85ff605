// The browser panel's readings and units (see tools/commgr/panel_readings.h).
#include "tools/commgr/panel_readings.h"

#include <strings.h>

#include "sim/datadefs_table.h"
#include "tools/commgr/fields.h"
#include "tools/common/block_records.h"

const PanelUnit PANEL_UNITS[] = {
    {"", "", 1},
    {"bool", "", 1},
    {"number", "", 1},
    {"position", "", 1},
    {"degrees", "°", 1},
    {"radians", "rad", 1},
    {"feet", "ft", 1},
    {"feet per second", "ft/min", 60},
    {"feet/second", "ft/min", 60},
    {"feet/minute", "ft/min", 1},
    {"knots", "kt", 1},
    {"nautical miles", "nm", 1},
    {"inhg", "inHg", 1},
    {"mhz", "MHz", 1},
    {"frequency adf bcd32", "kHz", 1},
    {"percent", "%", 1},
    {"percent over 100", "%", 100},
    {"celsius", "°C", 1},
    {"psi", "psi", 1},
    {"pounds per hour", "lb/h", 1},
    {"gallons", "gal", 1},
    {"seconds", "s", 1},
};
const uint32_t PANEL_UNIT_COUNT = sizeof(PANEL_UNITS) / sizeof(PANEL_UNITS[0]);

const PanelReading PANEL_READINGS[] = {
    {"Flight", "Heading", "Plane Heading Degrees Magnetic", "heading", "deg"},
    {"Flight", "Altitude", "Indicated Altitude", "altitude", "f0"},
    {"Flight", "Airspeed", "Airspeed Indicated", "airspeed", "f0"},
    {"Flight", "Vertical speed", "Vertical Speed", "vs", "f0"},
    {"Flight", "Bank", "Plane Bank Degrees", "bank", "f1"},
    {"Flight", "Pitch", "Plane Pitch Degrees", "pitch", "f1"},
    {"Flight", "Ground speed", "Ground velocity", "", "f0"},
    {"Flight", "Latitude", "Plane Latitude", "lat", "f3"},
    {"Flight", "Longitude", "Plane Longitude", "lon", "f3"},
    {"Flight", "Baro", "Kohlsman setting hg", "", "f2"},
    {"Autopilot", "Master", "Autopilot Master", "", "on"},
    {"Autopilot", "Flight director", "Autopilot Flight Director Active", "", "on"},
    {"Autopilot", "HDG hold", "Autopilot Heading Lock", "", "on"},
    {"Autopilot", "ALT hold", "Autopilot Altitude Lock", "", "on"},
    {"Autopilot", "SPD hold", "Autopilot Airspeed Hold", "", "on"},
    {"Autopilot", "APR hold", "Autopilot Approach Hold", "", "on"},
    {"Autopilot", "NAV1 hold", "Autopilot Nav1 Lock", "", "on"},
    {"Autopilot", "A/T arm", "Autopilot Throttle Arm", "", "on"},
    {"Autopilot", "Heading bug", "Autopilot Heading Lock Dir", "bug", "deg"},
    {"Autopilot", "Altitude", "Autopilot Altitude Lock Var", "", "f0"},
    {"Autopilot", "Speed", "Autopilot Airspeed Hold Var", "", "f0"},
    {"Autopilot", "Vertical speed", "Autopilot Vertical Hold Var", "", "f0"},
    {"Radios", "COM1", "COM Active Frequency:1", "", "f3"},
    {"Radios", "COM1 stby", "COM Standby Frequency:1", "", "f3"},
    {"Radios", "COM2", "COM Active Frequency:2", "", "f3"},
    {"Radios", "COM2 stby", "COM Standby Frequency:2", "", "f3"},
    {"Radios", "NAV1", "NAV Active Frequency:1", "", "f2"},
    {"Radios", "NAV1 stby", "NAV Standby Frequency:1", "", "f2"},
    {"Radios", "NAV2", "NAV Active Frequency:2", "", "f2"},
    {"Radios", "NAV2 stby", "NAV Standby Frequency:2", "", "f2"},
    {"Radios", "ADF1", "ADF Active Frequency:1", "", "adf"},
    {"Radios", "ADF1 stby", "ADF Standby Frequency:1", "", "adf"},
    {"Radios", "ADF2", "ADF Active Frequency:2", "", "adf"},
    {"Radios", "OBS1", "NAV OBS:1", "", "deg"},
    {"Radios", "OBS2", "NAV OBS:2", "", "deg"},
    {"Aircraft", "Gear handle", "Gear Handle Position", "", "on"},
    {"Aircraft", "Nose gear", "Gear Center Position", "", "f0"},
    {"Aircraft", "Flaps handle", "Flaps Handle Index", "", "int"},
    {"Aircraft", "Flaps", "Trailing Edge Flaps Left Percent", "", "f0"},
    {"Aircraft", "Parking brake", "Brake Parking Position", "", "on"},
    {"Aircraft", "Panel power", "Circuit General Panel On", "", "on"},
    {"Aircraft", "Simulator connected", "SimConnected", "", "on"},
};
const uint32_t PANEL_READING_COUNT = sizeof(PANEL_READINGS) / sizeof(PANEL_READINGS[0]);

namespace {

const PanelUnit* UnitOf(const char* dataUnits) {
    for (const PanelUnit& u : PANEL_UNITS) {
        if (strcasecmp(u.DataUnits, dataUnits) == 0) {
            return &u;
        }
    }
    return nullptr;
}

} // namespace

bool PanelPlaceReading(const PanelReading& reading, PanelReadingPlace* out) {
    Field f;
    if (!ResolveField(reading.Datum, &f)) {
        return false;
    }
    for (int32_t b = 1; b <= 3; ++b) {
        if (f.Where[b].Type == 0 || f.Where[b].Type == FIELD_TYPE_TRAFFIC) {
            continue;
        }
        *out = PanelReadingPlace{b, f.Where[b].Offset, f.Where[b].Type, "", nullptr};
        // The datum's declaration in the definition whose record this block carries; the
        // words the bridge adds itself have none, and no units.
        const BlockRecordPlace* place = BlockPlaceOfNumber(b);
        for (const DataDatum& d : DATA_DATUMS) {
            if (d.Definition == place->Definition && BLOCK_PAYLOAD + d.Offset == out->Offset) {
                out->DataUnits = d.Units != nullptr ? d.Units : "";
                break;
            }
        }
        out->Unit = UnitOf(out->DataUnits);
        return out->Unit != nullptr;
    }
    return false;
}
