// Applying network variables: each known (index, value) pair becomes one client event for
// the user's aircraft; relative settings step the simulator's current value, read from the
// latest record in Block2 or Block3. With no simulator connected nothing is applied.
#include "sim/changevar.h"

#include <cmath>

#include "app/process.h"
#include "net/blocks.h"
#include "sim/events.h"
#include "sim/guarded.h"
#include "support/bcd.h"

namespace {

constexpr double SPEED_BRAKE_SCALE = 16380.0;
// Inches of mercury to sixteenths of a millibar.
constexpr double INHG_TO_MB = 33.8637526;
constexpr double KOHLSMAN_SCALE = 16.0;
constexpr double PARKING_BRAKE_THRESHOLD = 0.1;

bool SimIsConnected() {
    return BlockGetI32(Block2, BLOCK2_SIM_CONNECTED) != 0;
}

double ReadF64(const Block& block, uint32_t offset) {
    return BlockGetF64(block, offset);
}

// Integer part of `x`, truncated toward zero, as the 32-bit data of an event. Values beyond
// the 32-bit range (or not a number) are held at its ends (0 for not a number) rather than
// left to an undefined conversion.
int32_t Truncate(double x) {
    if (std::isnan(x)) {
        return 0;
    }
    if (x >= 2147483647.0) {
        return INT32_MAX;
    }
    if (x <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(x);
}

void Send(SC_DWORD eventId, int32_t data) {
    TransmitClientEvent(eventId, data);
}

// Step of v: 1 adds 1, 2 adds 10, 3 takes 1, 4 takes 10; any other v adds nothing.
double Step(int32_t v) {
    switch (v) {
    case 1:
        return 1.0;
    case 2:
        return 10.0;
    case 3:
        return -1.0;
    case 4:
        return -10.0;
    default:
        return 0.0;
    }
}

// Altitude step of v: hundreds and thousands of feet; after a subtraction a negative result
// becomes 0.
double AltitudeStep(double current, int32_t v) {
    switch (v) {
    case 1:
        return current + 100.0;
    case 2:
        return current + 1000.0;
    case 3:
    case 4: {
        double result = current - (v == 3 ? 100.0 : 1000.0);
        return result < 0.0 ? 0.0 : result;
    }
    default:
        return current;
    }
}

// Brought once into 0 to 360: below 0 gains 360, above 360 loses 360; 360 stays 360.
double Wrapped(double x) {
    if (x < 0.0) {
        return x + 360.0;
    }
    if (x > 360.0) {
        return x - 360.0;
    }
    return x;
}

int32_t WrappedInt(int32_t v) {
    if (v < 0) {
        return v + 360;
    }
    if (v > 360) {
        return v - 360;
    }
    return v;
}

// The current ADF frequency at `offset` moved by `delta` tenths of a kilohertz, held to the
// band, in the simulator's form. The sum wraps like 32-bit arithmetic rather than overflowing.
int32_t AdfStep(uint32_t offset, int32_t delta) {
    int32_t current = FromBcd32(BlockGetI32(Block3, offset));
    int32_t n = static_cast<int32_t>(static_cast<uint32_t>(current) + static_cast<uint32_t>(delta));
    if (n > ADF_MAX_TENTHS_KHZ) {
        n = ADF_MAX_TENTHS_KHZ;
    } else if (n < ADF_MIN_TENTHS_KHZ) {
        n = ADF_MIN_TENTHS_KHZ;
    }
    return ToBcd32(n);
}

int32_t Negate(int32_t v) {
    return static_cast<int32_t>(0u - static_cast<uint32_t>(v));
}

int32_t NotNegative(int32_t v) {
    return v < 0 ? 0 : v;
}

bool ApplyInt(int32_t index, int32_t v) {
    switch (index) {
    case 21:
        Send(v != 0 ? EVENT_AP_HDG_HOLD_ON : EVENT_AP_HDG_HOLD_OFF, 0);
        return true;
    case 42:
        Send(EVENT_GEAR_SET, v != 0 ? 1 : 0);
        return true;
    case 52:
        Send(v == 1 ? EVENT_AP_PANEL_SPEED_ON : EVENT_AP_PANEL_SPEED_OFF, 0);
        return true;
    case 53:
    case 54:
        Send(v != 0 ? EVENT_AP_ALT_HOLD_ON : EVENT_AP_ALT_HOLD_OFF, 0);
        return true;
    case 89:
        Send(v != 0 ? EVENT_PAUSE_OFF : EVENT_PAUSE_ON, 0);
        return true;
    case 94:
        switch (v) {
        case 1:
            Send(EVENT_FLAPS_UP, 0);
            break;
        case 2:
            Send(EVENT_FLAPS_DECR, 0);
            break;
        case 3:
            Send(EVENT_FLAPS_DOWN, 0);
            break;
        case 4:
            Send(EVENT_FLAPS_INCR, 0);
            break;
        default:
            break;
        }
        return true;
    case 95:
        if (v == 1) {
            Send(EVENT_INCREASE_DECISION_HEIGHT, 0);
        } else if (v == 2) {
            Send(EVENT_DECREASE_DECISION_HEIGHT, 0);
        }
        return true;
    case 96:
        if (v == 1) {
            Send(EVENT_KOHLSMAN_INC, 1);
        } else if (v == 2) {
            Send(EVENT_KOHLSMAN_DEC, 0);
        }
        return true;
    case 97:
        Send(EVENT_VOR1_SET, Truncate(Wrapped(ReadF64(Block2, BLOCK2_NAV_OBS1) + Step(v))));
        return true;
    case 98:
        Send(EVENT_VOR2_SET, Truncate(Wrapped(ReadF64(Block2, BLOCK2_NAV_OBS2) + Step(v))));
        return true;
    case 99:
        Send(EVENT_AP_ALT_VAR_SET_ENGLISH,
             Truncate(AltitudeStep(ReadF64(Block3, BLOCK3_AP_ALT_LOCK_VAR), v)));
        return true;
    case 100:
        Send(EVENT_HEADING_BUG_SET,
             Truncate(Wrapped(ReadF64(Block3, BLOCK3_AP_HEADING_LOCK_DIR) + Step(v))));
        return true;
    case 101: {
        double speed = ReadF64(Block3, BLOCK3_AP_AIRSPEED_HOLD_VAR) + Step(v);
        Send(EVENT_AP_SPD_VAR_SET, Truncate(speed < 0.0 ? 0.0 : speed));
        return true;
    }
    case 102:
        Send(v != 0 ? EVENT_AP_APR_HOLD_ON : EVENT_AP_APR_HOLD_OFF, 0);
        return true;
    case 103:
        Send(v != 0 ? EVENT_AP_NAV1_HOLD_ON : EVENT_AP_NAV1_HOLD_OFF, 0);
        return true;
    case 108:
        Send(EVENT_NAV1_STBY_SET, v);
        return true;
    case 109:
        Send(EVENT_NAV2_STBY_SET, v);
        return true;
    case 110:
        Send(EVENT_COM_STBY_RADIO_SET, v);
        return true;
    case 111:
        Send(EVENT_COM2_STBY_RADIO_SET, v);
        return true;
    case 112:
        Send(EVENT_VOR1_SET_DIRECT, v);
        return true;
    case 113:
        Send(EVENT_VOR2_SET_DIRECT, v);
        return true;
    case 116:
        Send(EVENT_HEADING_BUG_SET, WrappedInt(v));
        return true;
    case 117:
        Send(EVENT_AP_ALT_VAR_SET_ENGLISH, NotNegative(v));
        return true;
    case 118:
        Send(EVENT_AP_SPD_VAR_SET, NotNegative(v));
        return true;
    case 164: {
        bool active = BlockGetI32(Block3, BLOCK3_AP_FD_ACTIVE) != 0;
        if ((v != 0) != active) {
            Send(EVENT_TOGGLE_FLIGHT_DIRECTOR, 0);
        }
        return true;
    }
    case 165: {
        bool master = BlockGetI32(Block3, BLOCK3_AP_MASTER) != 0;
        if (v != 0 && !master) {
            Send(EVENT_AUTOPILOT_ON, 0);
        } else if (v == 0 && master) {
            Send(EVENT_AUTOPILOT_OFF, 0);
        }
        return true;
    }
    case 166:
        Send(EVENT_NAV1_RADIO_SET, v);
        return true;
    case 167:
        Send(EVENT_NAV2_RADIO_SET, v);
        return true;
    case 172:
        BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 0);
        return true;
    case 175:
        Send(EVENT_THROTTLE_SET, v);
        return true;
    case 176:
        Send(EVENT_ADF_COMPLETE_SET, ToBcd32(v));
        return true;
    case 177:
        Send(EVENT_ADF2_COMPLETE_SET, ToBcd32(v));
        return true;
    case 180:
        Send(EVENT_ADF_COMPLETE_SET, AdfStep(BLOCK3_ADF_ACTIVE1, v));
        return true;
    case 181:
        Send(EVENT_ADF2_COMPLETE_SET, AdfStep(BLOCK3_ADF_ACTIVE2, v));
        return true;
    case 182:
        Send(EVENT_ADF_COMPLETE_SET, AdfStep(BLOCK3_ADF_ACTIVE1, Negate(v)));
        return true;
    case 183:
        Send(EVENT_ADF2_COMPLETE_SET, AdfStep(BLOCK3_ADF_ACTIVE2, Negate(v)));
        return true;
    case 184:
        Send(EVENT_AUTO_THROTTLE_ARM, v);
        return true;
    default:
        break;
    }
    // Two runs of ten radio buttons: NAV (69 to 78 send 24 to 33) and COM (79 to 88 send
    // 36 to 45), the value ignored.
    if (index >= 69 && index <= 78) {
        Send(EVENT_NAV1_RADIO_SWAP + static_cast<SC_DWORD>(index - 69), 0);
        return true;
    }
    if (index >= 79 && index <= 88) {
        Send(EVENT_COM_STBY_RADIO_SWAP + static_cast<SC_DWORD>(index - 79), 0);
        return true;
    }
    return false;
}

bool ApplyDouble(int32_t index, double x) {
    switch (index) {
    case 20:
        Send(EVENT_AP_VS_VAR_SET_ENGLISH, Truncate(x));
        return true;
    case 43:
        Send(EVENT_FLAPS_SET, Truncate(x));
        return true;
    case 45: {
        // The event toggles the brake: it is sent only when the requested state differs.
        double brake = ReadF64(Block3, BLOCK3_BRAKE_PARKING);
        if ((x < PARKING_BRAKE_THRESHOLD && brake > PARKING_BRAKE_THRESHOLD) ||
            (x > PARKING_BRAKE_THRESHOLD && brake < PARKING_BRAKE_THRESHOLD)) {
            Send(EVENT_PARKING_BRAKES, 0);
        }
        return true;
    }
    case 46:
        if (x >= 0.0 && x <= 1.0) {
            Send(EVENT_SPOILERS_SET, Truncate(x * SPEED_BRAKE_SCALE));
        } else {
            ConsolePrint("Bad value for speedbrake: %f\n", x);
        }
        return true;
    case 114:
        Send(EVENT_KOHLSMAN_SET, Truncate(x * INHG_TO_MB * KOHLSMAN_SCALE));
        return true;
    default:
        return false;
    }
}

} // namespace

int32_t ToBcd32(int32_t n) {
    // Only the ADF rows taken straight from the network can bring a value outside the five
    // digits; it is held to the nearest value the form can carry, so the event never carries
    // a digit group that is not a decimal digit.
    if (n < 0) {
        n = 0;
    } else if (n > 99999) {
        n = 99999;
    }
    uint32_t bits = 0;
    for (int shift = 12; shift <= 28; shift += 4) {
        bits |= static_cast<uint32_t>(n % 10) << shift;
        n /= 10;
    }
    return static_cast<int32_t>(bits);
}

bool ChangeVar(int32_t fsxIndex, int32_t value) {
    if (!SimIsConnected()) {
        return true;
    }
    if (!ApplyInt(fsxIndex, value)) {
        ConsolePrint("bool/int Unknown index: %d\n", static_cast<int>(fsxIndex));
        return false;
    }
    return true;
}

bool ChangeVar(int32_t fsxIndex, double value) {
    if (!SimIsConnected()) {
        return true;
    }
    if (!ApplyDouble(fsxIndex, value)) {
        ConsolePrint("ChangeVar(double) - Unknown Index: %d  Val: %f\n", static_cast<int>(fsxIndex),
                     value);
        return false;
    }
    return true;
}
