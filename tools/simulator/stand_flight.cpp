#include "stand_flight.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "stand_state.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double DEG = PI / 180.0;
constexpr double M_PER_NM = 1852.0;
constexpr double G = 9.80665;

// The field the flight starts from (Frankfurt) and the circle it flies.
constexpr double FIELD_LAT = 50.0379;
constexpr double FIELD_LON = 8.5622;
constexpr double FIELD_ELEV_FT = 364.0;
constexpr double CIRCLE_NM = 15.0; // radius; the centre lies this far north of the field
constexpr double GROUND_SPEED_KT = 260.0;
constexpr double START_AGL_FT = 1500.0;
constexpr double CLIMB_FPS = 20.0; // 1200 ft/min
constexpr double CRUISE_ALT_FT = 9000.0;
constexpr double MAGVAR_DEG = 2.0;     // east
constexpr double FLAP_POSITIONS = 8.0; // handle index 0..8

// AI aircraft: circles of this radius around points on a ring around the user.
constexpr double AI_RING_NM = 3.0;
constexpr double AI_CIRCLE_NM = 1.0;
constexpr double AI_SPEED_KT = 160.0;

// Values set by events and by the control channel, by lower-case datum name.
constexpr uint32_t MAX_OVERRIDES = 160;
struct Override {
    char Key[STAND_NAME_LEN];
    double Value;
};
// Written and read under StandMutex only.
Override Overrides[MAX_OVERRIDES];
uint32_t OverrideCount = 0;

struct Constant {
    const char* Key;
    double Value;
};

// Fixed values of the user aircraft, by lower-case datum name.
const Constant CONSTANTS[] = {
    {"kohlsman setting hg", 29.92},
    {"autopilot altitude lock var", 9000.0},
    {"autopilot airspeed hold var", 250.0},
    {"autopilot vertical hold var", 1200.0},
    {"autopilot heading lock dir", 270.0},
    {"autopilot flight director active", 1.0},
    {"autopilot master", 1.0},
    {"autopilot flight director pitch", 4.0},
    {"autopilot flight director bank", 3.0},
    {"autopilot heading lock", 1.0},
    {"autopilot altitude lock", 1.0},
    {"autopilot throttle arm", 1.0},
    {"autopilot airspeed hold", 1.0},
    {"nav has localizer:1", 0.0},
    {"nav has glide slope:1", 0.0},
    {"decision height", 200.0},
    {"incidence alpha", 0.05},
    {"magvar", MAGVAR_DEG},
    {"ambient wind velocity", 12.0},
    {"ambient wind direction", 240.0},
    {"nav has dme:1", 1.0},
    {"nav has dme:2", 1.0},
    {"nav has nav:1", 1.0},
    {"nav has nav:2", 1.0},
    {"nav dme:1", 12.4},
    {"nav dme:2", 27.9},
    {"nav radial:1", 75.0},
    {"nav radial:2", 210.0},
    {"nav tofrom:1", 2.0},
    {"nav tofrom:2", 1.0},
    {"nav codes:1", 1.0},
    {"nav codes:2", 1.0},
    {"nav active frequency:1", 110.30},
    {"nav standby frequency:1", 113.60},
    {"nav active frequency:2", 114.20},
    {"nav standby frequency:2", 116.00},
    {"nav obs:1", 250.0},
    {"nav obs:2", 70.0},
    {"com active frequency:1", 118.70},
    {"com standby frequency:1", 121.80},
    {"com active frequency:2", 121.50},
    {"com standby frequency:2", 122.80},
    {"adf active frequency:1", static_cast<double>(0x03450000u)},
    {"adf standby frequency:1", static_cast<double>(0x02950000u)},
    {"adf active frequency:2", static_cast<double>(0x04020000u)},
    {"adf standby frequency:2", static_cast<double>(0x03330000u)},
    {"adf signal:1", 1.0},
    {"flaps num handle positions", FLAP_POSITIONS},
    {"gear center position", 0.0},
    {"gear handle position", 0.0},
    {"number of engines", 2.0},
    {"circuit general panel on", 1.0},
    {"pressurization cabin altitude", 4500.0},
    {"pressurization cabin altitude rate", 5.0},
    {"general eng throttle lever position:1", 85.0},
    {"general eng throttle lever position:2", 85.0},
    {"spoilers handle position", 0.0},
};

// Per-engine values of the two running engines (":1" and ":2"; ":3" and ":4" give 0).
const Constant ENGINE[] = {
    {"general eng exhaust gas temperature", 640.0},
    {"turb eng n2", 95.0},
    {"eng oil pressure", 58.0},
    {"general eng oil temperature", 88.0},
    {"eng oil quantity", 92.0},
    {"turb eng vibration", 0.8},
};

void NormalizeName(const char* name, char* key) {
    while (name != nullptr && *name == ' ') {
        ++name;
    }
    uint32_t n = 0;
    for (; name != nullptr && name[n] != '\0' && n + 1 < STAND_NAME_LEN; ++n) {
        char c = name[n];
        key[n] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    while (n > 0 && key[n - 1] == ' ') {
        --n;
    }
    key[n] = '\0';
}

const Override* FindOverride(const char* key) {
    for (uint32_t i = 0; i < OverrideCount; ++i) {
        if (std::strcmp(Overrides[i].Key, key) == 0) {
            return &Overrides[i];
        }
    }
    return nullptr;
}

// The engine index of "<base>:<n>", or 0 when `key` is not of that form.
int32_t EngineIndex(const char* key, const char* base) {
    size_t n = std::strlen(base);
    if (std::strncmp(key, base, n) != 0 || key[n] != ':') {
        return 0;
    }
    return key[n + 1] >= '1' && key[n + 1] <= '9' && key[n + 2] == '\0' ? key[n + 1] - '0' : 0;
}

double Altitude(double t) {
    return std::fmin(FIELD_ELEV_FT + START_AGL_FT + CLIMB_FPS * t, CRUISE_ALT_FT);
}
bool Climbing(double t) {
    return Altitude(t) < CRUISE_ALT_FT;
}

// Bearing from the circle's centre (degrees); the flight starts due south of it, over the
// field, heading west and turning right.
double CircleBearing(double t) {
    double radPerSecond = GROUND_SPEED_KT / CIRCLE_NM / 3600.0;
    return std::fmod(180.0 + radPerSecond * t / DEG, 360.0);
}

void Offset(double lat, double lon, double northNm, double eastNm, double* outLat, double* outLon) {
    *outLat = lat + northNm / 60.0;
    *outLon = lon + eastNm / (60.0 * std::cos(lat * DEG));
}

void UserPosition(double t, double* lat, double* lon) {
    double b = CircleBearing(t) * DEG;
    Offset(FIELD_LAT + CIRCLE_NM / 60.0, FIELD_LON, CIRCLE_NM * std::cos(b),
           CIRCLE_NM * std::sin(b), lat, lon);
}

double UserHeadingTrue(double t) {
    return std::fmod(CircleBearing(t) + 90.0, 360.0);
}

double TrueAirspeed() {
    return GROUND_SPEED_KT;
}
double IndicatedAirspeed(double t) {
    return TrueAirspeed() / (1.0 + 0.02 * Altitude(t) / 1000.0);
}
double OutsideTemperature(double t) {
    return 15.0 - 1.98 * Altitude(t) / 1000.0;
}

double ZuluSeconds() {
    using namespace std::chrono;
    auto s = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(s % 86400);
}

// Values that follow the flight, for the user aircraft; false for other names.
bool Dynamic(const char* key, double t, double* out) {
    double lat = 0.0;
    double lon = 0.0;
    if (std::strcmp(key, "plane latitude") == 0) {
        UserPosition(t, &lat, &lon);
        *out = lat;
    } else if (std::strcmp(key, "plane longitude") == 0) {
        UserPosition(t, &lat, &lon);
        *out = lon;
    } else if (std::strcmp(key, "plane heading degrees true") == 0) {
        *out = UserHeadingTrue(t);
    } else if (std::strcmp(key, "plane heading degrees magnetic") == 0) {
        *out = std::fmod(UserHeadingTrue(t) - MAGVAR_DEG + 360.0, 360.0);
    } else if (std::strcmp(key, "indicated altitude") == 0 ||
               std::strcmp(key, "plane altitude") == 0) {
        *out = Altitude(t);
    } else if (std::strcmp(key, "plane alt above ground") == 0 ||
               std::strcmp(key, "radio height") == 0) {
        *out = Altitude(t) - FIELD_ELEV_FT;
    } else if (std::strcmp(key, "vertical speed") == 0) {
        *out = Climbing(t) ? CLIMB_FPS : 0.0;
    } else if (std::strcmp(key, "plane pitch degrees") == 0) {
        *out = Climbing(t) ? -6.0 : -2.5; // the simulator counts nose up as negative
    } else if (std::strcmp(key, "plane bank degrees") == 0) {
        double v = GROUND_SPEED_KT * M_PER_NM / 3600.0;
        *out = -std::atan(v * v / (G * CIRCLE_NM * M_PER_NM)) / DEG; // right bank
    } else if (std::strcmp(key, "airspeed indicated") == 0) {
        *out = IndicatedAirspeed(t);
    } else if (std::strcmp(key, "airspeed true") == 0 || std::strcmp(key, "ground velocity") == 0) {
        *out = TrueAirspeed();
    } else if (std::strcmp(key, "ambient temperature") == 0) {
        *out = OutsideTemperature(t);
    } else if (std::strcmp(key, "total air temperature") == 0) {
        *out = OutsideTemperature(t) + 8.0;
    } else if (std::strcmp(key, "zulu time") == 0) {
        *out = ZuluSeconds();
    } else if (std::strcmp(key, "fuel total quantity") == 0) {
        *out = 5000.0 - 0.25 * t;
    } else if (std::strcmp(key, "fuel left quantity") == 0 ||
               std::strcmp(key, "fuel right quantity") == 0) {
        *out = 1300.0 - 0.05 * t;
    } else if (int32_t e = EngineIndex(key, "turb eng n1"); e != 0) {
        *out = e <= 2 ? (Climbing(t) ? 88.0 : 72.0) : 0.0;
    } else if (int32_t f = EngineIndex(key, "turb eng fuel flow pph"); f != 0) {
        *out = f <= 2 ? (Climbing(t) ? 5200.0 : 3100.0) : 0.0;
    } else {
        return false;
    }
    return true;
}

double UserValue(const char* key, double t) {
    if (const Override* o = FindOverride(key)) {
        return o->Value;
    }
    double value = 0.0;
    if (Dynamic(key, t, &value)) {
        return value;
    }
    for (const Constant& c : CONSTANTS) {
        if (std::strcmp(c.Key, key) == 0) {
            return c.Value;
        }
    }
    for (const Constant& c : ENGINE) {
        if (int32_t e = EngineIndex(key, c.Key); e != 0) {
            return e <= 2 ? c.Value : 0.0;
        }
    }
    // Flaps follow the handle.
    if (std::strcmp(key, "flaps handle percent") == 0) {
        return UserValue("flaps handle index", t) / FLAP_POSITIONS * 100.0;
    }
    if (std::strcmp(key, "trailing edge flaps left percent") == 0) {
        return UserValue("flaps handle index", t) / FLAP_POSITIONS;
    }
    return 0.0;
}

bool IsAi(uint32_t object, uint32_t* index) {
    if (object < STAND_AI_FIRST_ID || object >= STAND_AI_FIRST_ID + STAND_MAX_TRAFFIC) {
        return false;
    }
    *index = object - STAND_AI_FIRST_ID;
    return true;
}

void SetKey(const char* key, double value) {
    for (uint32_t i = 0; i < OverrideCount; ++i) {
        if (std::strcmp(Overrides[i].Key, key) == 0) {
            Overrides[i].Value = value;
            return;
        }
    }
    if (OverrideCount < MAX_OVERRIDES) {
        StandCopyText(Overrides[OverrideCount].Key, STAND_NAME_LEN, key);
        Overrides[OverrideCount++].Value = value;
    }
}

double Get(const char* key, double t) {
    return UserValue(key, t);
}

void Swap(const char* a, const char* b, double t) {
    double va = Get(a, t);
    SetKey(a, Get(b, t));
    SetKey(b, va);
}

// Steps a frequency by `step` MHz within [low, high), wrapping; `whole` steps keep the
// fraction, fraction steps keep the whole MHz.
void StepFrequency(const char* key, double step, bool whole, double low, double high, double t) {
    double f = Get(key, t);
    double mhz = std::floor(f + 1e-6);
    double frac = f - mhz;
    if (whole) {
        mhz += step;
        if (mhz >= high) {
            mhz = low;
        } else if (mhz < low) {
            mhz = high - 1.0;
        }
    } else {
        frac += step;
        if (frac >= 1.0 - 1e-6) {
            frac = 0.0;
        } else if (frac < -1e-6) {
            frac += 1.0; // below the whole MHz: wrap to the top of it
        }
    }
    SetKey(key, std::round((mhz + frac) * 1000.0) / 1000.0);
}

double Data(uint32_t data) {
    return static_cast<double>(static_cast<int32_t>(data));
}
double Position(uint32_t data) {
    return std::fmin(std::fmax(Data(data), 0.0), 16383.0) / 16383.0;
}

} // namespace

void FlightReset() {
    OverrideCount = 0;
}

double FlightValue(const char* name, uint32_t object, double t) {
    char key[STAND_NAME_LEN];
    NormalizeName(name, key);
    uint32_t index = 0;
    if (IsAi(object, &index)) {
        double lat = 0.0;
        double lon = 0.0;
        double agl = 0.0;
        double heading = 0.0;
        FlightTrafficPosition(index, t, &lat, &lon, &agl, &heading);
        if (std::strcmp(key, "plane latitude") == 0) {
            return lat;
        }
        if (std::strcmp(key, "plane longitude") == 0) {
            return lon;
        }
        if (std::strcmp(key, "plane alt above ground") == 0) {
            return agl;
        }
        if (std::strcmp(key, "plane altitude") == 0 ||
            std::strcmp(key, "indicated altitude") == 0) {
            return agl + FIELD_ELEV_FT;
        }
        if (std::strncmp(key, "plane heading degrees", 21) == 0) {
            return heading;
        }
        if (std::strcmp(key, "ground velocity") == 0 || std::strcmp(key, "airspeed true") == 0) {
            return agl > 0.0 ? AI_SPEED_KT : 0.0;
        }
    }
    return UserValue(key, t);
}

void FlightText(const char* name, uint32_t object, char* out, uint32_t size) {
    char key[STAND_NAME_LEN];
    NormalizeName(name, key);
    uint32_t index = 0;
    bool ai = IsAi(object, &index);
    const char* text = "";
    if (std::strcmp(key, "atc model") == 0) {
        text = ai ? "A320" : Stand.Options.Model;
    } else if (std::strcmp(key, "atc type") == 0) {
        text = ai ? "Airbus" : "Boeing";
    } else if (std::strcmp(key, "atc id") == 0) {
        text = ai ? "DAIAB" : "DKIVS";
    } else if (std::strcmp(key, "title") == 0) {
        text = ai ? "Airbus A320" : "Boeing 737-800";
    }
    StandCopyText(out, size, text);
}

void FlightLatLonAlt(const char* name, uint32_t object, double t, double out[3]) {
    char key[STAND_NAME_LEN];
    NormalizeName(name, key);
    out[0] = out[1] = out[2] = 0.0;
    if (std::strcmp(key, "nav vor latlonalt:1") == 0) {
        out[0] = 50.0534; // Frankfurt VOR
        out[1] = 8.6370;
        out[2] = 368.0;
    } else if (std::strcmp(key, "nav vor latlonalt:2") == 0) {
        out[0] = 50.2347; // Taunus VOR
        out[1] = 8.4933;
        out[2] = 2700.0;
    } else if (std::strcmp(key, "structure latlonalt") == 0 ||
               std::strcmp(key, "struct latlonalt") == 0) {
        out[0] = FlightValue("plane latitude", object, t);
        out[1] = FlightValue("plane longitude", object, t);
        out[2] = FlightValue("plane altitude", object, t);
    }
}

bool FlightSet(const char* name, double value) {
    char key[STAND_NAME_LEN];
    NormalizeName(name, key);
    if (FindOverride(key) == nullptr && OverrideCount >= MAX_OVERRIDES) {
        return false;
    }
    SetKey(key, value);
    return true;
}

bool FlightApplyEvent(const char* simEvent, uint32_t data, double t) {
    struct Flag {
        const char* On;
        const char* Off;
        const char* Key;
    };
    static const Flag FLAGS[] = {
        {"AUTOPILOT_ON", "AUTOPILOT_OFF", "autopilot master"},
        {"AP_HDG_HOLD_ON", "AP_HDG_HOLD_OFF", "autopilot heading lock"},
        {"AP_ALT_HOLD_ON", "AP_ALT_HOLD_OFF", "autopilot altitude lock"},
        {"AP_PANEL_SPEED_ON", "AP_PANEL_SPEED_OFF", "autopilot airspeed hold"},
        {"AP_APR_HOLD_ON", "AP_APR_HOLD_OFF", "autopilot approach hold"},
        {"AP_NAV1_HOLD_ON", "AP_NAV1_HOLD_OFF", "autopilot nav1 lock"},
    };
    for (const Flag& f : FLAGS) {
        if (StandSameText(simEvent, f.On) || StandSameText(simEvent, f.Off)) {
            SetKey(f.Key, StandSameText(simEvent, f.On) ? 1.0 : 0.0);
            return true;
        }
    }
    struct Toggle {
        const char* Event;
        const char* Key;
    };
    static const Toggle TOGGLES[] = {
        {"TOGGLE_FLIGHT_DIRECTOR", "autopilot flight director active"},
        {"PARKING_BRAKES", "brake parking position"},
        {"AUTO_THROTTLE_ARM", "autopilot throttle arm"},
        {"PAUSE_TOGGLE", "sim paused"},
    };
    for (const Toggle& g : TOGGLES) {
        if (StandSameText(simEvent, g.Event)) {
            SetKey(g.Key, Get(g.Key, t) != 0.0 ? 0.0 : 1.0);
            return true;
        }
    }
    struct Setter {
        const char* Event;
        const char* Key;
        int32_t Form; // 0 plain number, 1 BCD16 MHz, 2 BCD32 as is, 3 degrees 0..360
    };
    static const Setter SETTERS[] = {
        {"HEADING_BUG_SET", "autopilot heading lock dir", 3},
        {"AP_ALT_VAR_SET_ENGLISH", "autopilot altitude lock var", 0},
        {"AP_SPD_VAR_SET", "autopilot airspeed hold var", 0},
        {"AP_VS_VAR_SET_ENGLISH", "autopilot vertical hold var", 0},
        {"COM_STBY_RADIO_SET", "com standby frequency:1", 1},
        {"COM2_STBY_RADIO_SET", "com standby frequency:2", 1},
        {"COM_RADIO_SET", "com active frequency:1", 1},
        {"COM2_RADIO_SET", "com active frequency:2", 1},
        {"NAV1_STBY_SET", "nav standby frequency:1", 1},
        {"NAV2_STBY_SET", "nav standby frequency:2", 1},
        {"NAV1_RADIO_SET", "nav active frequency:1", 1},
        {"NAV2_RADIO_SET", "nav active frequency:2", 1},
        {"VOR1_SET", "nav obs:1", 3},
        {"VOR2_SET", "nav obs:2", 3},
        {"ADF_COMPLETE_SET", "adf active frequency:1", 2},
        {"ADF2_COMPLETE_SET", "adf active frequency:2", 2},
    };
    for (const Setter& s : SETTERS) {
        if (!StandSameText(simEvent, s.Event)) {
            continue;
        }
        double v = s.Form == 1   ? StandBcd16ToMhz(data)
                   : s.Form == 2 ? static_cast<double>(data)
                   : s.Form == 3 ? std::fmod(std::fmod(Data(data), 360.0) + 360.0, 360.0)
                                 : Data(data);
        SetKey(s.Key, v);
        return true;
    }
    struct Swapper {
        const char* Event;
        const char* Active;
        const char* Standby;
    };
    static const Swapper SWAPS[] = {
        {"COM_STBY_RADIO_SWAP", "com active frequency:1", "com standby frequency:1"},
        {"COM_RADIO_SWAP", "com active frequency:1", "com standby frequency:1"},
        {"COM2_RADIO_SWAP", "com active frequency:2", "com standby frequency:2"},
        {"NAV1_RADIO_SWAP", "nav active frequency:1", "nav standby frequency:1"},
        {"NAV2_RADIO_SWAP", "nav active frequency:2", "nav standby frequency:2"},
        {"ADF1_RADIO_SWAP", "adf active frequency:1", "adf standby frequency:1"},
    };
    for (const Swapper& w : SWAPS) {
        if (StandSameText(simEvent, w.Event)) {
            Swap(w.Active, w.Standby, t);
            return true;
        }
    }
    // Tuning knobs act on the standby frequency, as a cockpit's do: COM 118-136 MHz in
    // 25 kHz steps, NAV 108-117.95 MHz in 50 kHz steps.
    struct Knob {
        const char* Event;
        const char* Key;
        double Step;
        bool Whole;
        double Low;
        double High;
    };
    static const Knob KNOBS[] = {
        {"COM_RADIO_WHOLE_INC", "com standby frequency:1", 1.0, true, 118.0, 137.0},
        {"COM_RADIO_WHOLE_DEC", "com standby frequency:1", -1.0, true, 118.0, 137.0},
        {"COM_RADIO_FRACT_INC", "com standby frequency:1", 0.025, false, 118.0, 137.0},
        {"COM_RADIO_FRACT_DEC", "com standby frequency:1", -0.025, false, 118.0, 137.0},
        {"COM2_RADIO_WHOLE_INC", "com standby frequency:2", 1.0, true, 118.0, 137.0},
        {"COM2_RADIO_WHOLE_DEC", "com standby frequency:2", -1.0, true, 118.0, 137.0},
        {"COM2_RADIO_FRACT_INC", "com standby frequency:2", 0.025, false, 118.0, 137.0},
        {"COM2_RADIO_FRACT_DEC", "com standby frequency:2", -0.025, false, 118.0, 137.0},
        {"NAV1_RADIO_WHOLE_INC", "nav standby frequency:1", 1.0, true, 108.0, 118.0},
        {"NAV1_RADIO_WHOLE_DEC", "nav standby frequency:1", -1.0, true, 108.0, 118.0},
        {"NAV1_RADIO_FRACT_INC", "nav standby frequency:1", 0.05, false, 108.0, 118.0},
        {"NAV1_RADIO_FRACT_DEC", "nav standby frequency:1", -0.05, false, 108.0, 118.0},
        {"NAV2_RADIO_WHOLE_INC", "nav standby frequency:2", 1.0, true, 108.0, 118.0},
        {"NAV2_RADIO_WHOLE_DEC", "nav standby frequency:2", -1.0, true, 108.0, 118.0},
        {"NAV2_RADIO_FRACT_INC", "nav standby frequency:2", 0.05, false, 108.0, 118.0},
        {"NAV2_RADIO_FRACT_DEC", "nav standby frequency:2", -0.05, false, 108.0, 118.0},
    };
    for (const Knob& k : KNOBS) {
        if (StandSameText(simEvent, k.Event)) {
            StepFrequency(k.Key, k.Step, k.Whole, k.Low, k.High, t);
            return true;
        }
    }
    if (StandSameText(simEvent, "KOHLSMAN_SET")) {
        // Sixteenths of a millibar.
        SetKey("kohlsman setting hg", Data(data) / 16.0 / 33.8637526);
    } else if (StandSameText(simEvent, "KOHLSMAN_INC") || StandSameText(simEvent, "KOHLSMAN_DEC")) {
        double step = StandSameText(simEvent, "KOHLSMAN_INC") ? 0.01 : -0.01;
        SetKey("kohlsman setting hg", Get("kohlsman setting hg", t) + step);
    } else if (StandSameText(simEvent, "GEAR_SET") || StandSameText(simEvent, "GEAR_UP") ||
               StandSameText(simEvent, "GEAR_DOWN")) {
        bool down =
            StandSameText(simEvent, "GEAR_SET") ? data != 0 : StandSameText(simEvent, "GEAR_DOWN");
        SetKey("gear handle position", down ? 1.0 : 0.0);
        SetKey("gear center position", down ? 100.0 : 0.0);
    } else if (StandSameText(simEvent, "FLAPS_UP") || StandSameText(simEvent, "FLAPS_DOWN") ||
               StandSameText(simEvent, "FLAPS_INCR") || StandSameText(simEvent, "FLAPS_DECR") ||
               StandSameText(simEvent, "FLAPS_SET")) {
        double index = Get("flaps handle index", t);
        if (StandSameText(simEvent, "FLAPS_UP")) {
            index = 0.0;
        } else if (StandSameText(simEvent, "FLAPS_DOWN")) {
            index = FLAP_POSITIONS;
        } else if (StandSameText(simEvent, "FLAPS_INCR")) {
            index = std::fmin(index + 1.0, FLAP_POSITIONS);
        } else if (StandSameText(simEvent, "FLAPS_DECR")) {
            index = std::fmax(index - 1.0, 0.0);
        } else {
            index = std::round(Position(data) * FLAP_POSITIONS);
        }
        SetKey("flaps handle index", index);
    } else if (StandSameText(simEvent, "SPOILERS_SET")) {
        SetKey("spoilers handle position", Position(data) * 100.0);
    } else if (StandSameText(simEvent, "THROTTLE_SET") || StandSameText(simEvent, "THROTTLE_90") ||
               StandSameText(simEvent, "THROTTLE_10")) {
        double percent = StandSameText(simEvent, "THROTTLE_90")   ? 90.0
                         : StandSameText(simEvent, "THROTTLE_10") ? 10.0
                                                                  : Position(data) * 100.0;
        SetKey("general eng throttle lever position:1", percent);
        SetKey("general eng throttle lever position:2", percent);
    } else if (StandSameText(simEvent, "INCREASE_DECISION_HEIGHT") ||
               StandSameText(simEvent, "DECREASE_DECISION_HEIGHT")) {
        double step = StandSameText(simEvent, "INCREASE_DECISION_HEIGHT") ? 10.0 : -10.0;
        SetKey("decision height", std::fmax(Get("decision height", t) + step, 0.0));
    } else if (StandSameText(simEvent, "PAUSE_ON") || StandSameText(simEvent, "PAUSE_OFF")) {
        SetKey("sim paused", StandSameText(simEvent, "PAUSE_ON") ? 1.0 : 0.0);
    } else {
        return false;
    }
    return true;
}

void FlightTrafficPosition(uint32_t index, double t, double* lat, double* lon, double* agl,
                           double* heading) {
    double userLat = 0.0;
    double userLon = 0.0;
    UserPosition(t, &userLat, &userLon);
    // Every third aircraft is on the ground; the others fly 1000 ft apart.
    *agl = (index % 3 == 0) ? 0.0 : 1000.0 * index;
    double ring = (static_cast<double>(index) * 137.5) * DEG; // spread around the user
    double centreLat = 0.0;
    double centreLon = 0.0;
    Offset(userLat, userLon, AI_RING_NM * std::cos(ring), AI_RING_NM * std::sin(ring), &centreLat,
           &centreLon);
    double speed = *agl > 0.0 ? AI_SPEED_KT : 15.0;
    double b = std::fmod(index * 90.0 + speed / AI_CIRCLE_NM / 3600.0 * t / DEG, 360.0);
    Offset(centreLat, centreLon, AI_CIRCLE_NM * std::cos(b * DEG), AI_CIRCLE_NM * std::sin(b * DEG),
           lat, lon);
    *heading = std::fmod(b + 90.0, 360.0);
}

double FlightDistanceM(double lat1, double lon1, double lat2, double lon2) {
    double north = (lat2 - lat1) * 60.0 * M_PER_NM;
    double east = (lon2 - lon1) * 60.0 * M_PER_NM * std::cos((lat1 + lat2) / 2.0 * DEG);
    return std::sqrt(north * north + east * east);
}

double StandBcd16ToMhz(uint32_t bcd) {
    double value = 0.0;
    for (int32_t shift = 12; shift >= 0; shift -= 4) {
        value = value * 10.0 + static_cast<double>((bcd >> shift) & 0xFu);
    }
    return 100.0 + value / 100.0;
}

uint32_t StandMhzToBcd16(double mhz) {
    auto n = static_cast<uint32_t>(std::lround((mhz - 100.0) * 100.0)) % 10000u;
    uint32_t bcd = 0;
    for (int32_t shift = 0; shift <= 12; shift += 4, n /= 10) {
        bcd |= (n % 10u) << shift;
    }
    return bcd;
}

// Values outside 0..99999 keep their last five digits; negative values give 0.
uint32_t StandToBcd32(int32_t tenthsKhz) {
    uint32_t n = tenthsKhz < 0 ? 0u : static_cast<uint32_t>(tenthsKhz) % 100000u;
    uint32_t bcd = 0;
    for (int32_t shift = 12; shift <= 28; shift += 4, n /= 10) {
        bcd |= (n % 10u) << shift;
    }
    return bcd;
}

int32_t StandFromBcd32(uint32_t bcd) {
    int32_t n = 0;
    for (int32_t shift = 28; shift >= 12; shift -= 4) {
        n = n * 10 + static_cast<int32_t>((bcd >> shift) & 0xFu);
    }
    return n;
}
