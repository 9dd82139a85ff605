// Applying network variables: each known (index, value) pair becomes one client event for
// the user's aircraft; relative settings step the simulator's current value, read from the
// latest record in Block2 or Block3. With no simulator connected nothing is applied.
#include "sim/changevar.h"

#include <cmath>

#include "net/blocks.h"
#include "sim/changevar_table.h"
#include "sim/events.h"
#include "sim/guarded.h"
#include "support/bcd.h"
#include "support/process.h"

namespace {

constexpr double SPEED_BRAKE_SCALE = 16380.0;
// Inches of mercury to sixteenths of a millibar.
constexpr double INHG_TO_MB = 33.8637526;
constexpr double KOHLSMAN_SCALE = 16.0;
constexpr double PARKING_BRAKE_THRESHOLD = 0.1;

bool SimIsConnected() {
    return BlockGetI32(Block2, BLOCK2_SIM_CONNECTED) != 0;
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

// Step of v: 1 adds 1, 2 adds 10, 3 takes 1, 4 takes 10; any other v adds nothing.
constexpr double STEPS[5] = {0.0, 1.0, 10.0, -1.0, -10.0};
// Altitude step of v, in feet: hundreds and thousands.
constexpr double ALTITUDE_STEPS[5] = {0.0, 100.0, 1000.0, -100.0, -1000.0};

double Step(int32_t v) {
    return v >= 1 && v <= 4 ? STEPS[v] : 0.0;
}

// After a subtraction a negative result becomes 0; without a step nothing is raised.
double AltitudeStep(double current, int32_t v) {
    if (v < 1 || v > 4) {
        return current;
    }
    double result = current + ALTITUDE_STEPS[v];
    return ALTITUDE_STEPS[v] < 0.0 && result < 0.0 ? 0.0 : result;
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

// The current ADF frequency at `offset` of `block` moved by `delta` tenths of a kilohertz,
// held to the band, in the simulator's form. The sum wraps like 32-bit arithmetic rather than
// overflowing.
int32_t AdfStep(const Block& block, uint32_t offset, int32_t delta) {
    int32_t current = FromBcd32(BlockGetI32(block, offset));
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

// --- the cockpit-input table ---------------------------------------------------------------

double Current(const InputRow& row) {
    return BlockGetF64(*row.Source, row.Offset);
}

bool CurrentFlag(const InputRow& row) {
    return BlockGetI32(*row.Source, row.Offset) != 0;
}

// v not 0: Events[0]; v = 0: Events[1]; data 0.
bool OnOff(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *event = row.Events[in.V != 0 ? 0 : 1];
    return true;
}

// v exactly 1: Events[0]; any other v: Events[1]; data 0.
bool OnlyOneIsOn(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *event = row.Events[in.V == 1 ? 0 : 1];
    return true;
}

// Events[0] with data 1 for any v but 0.
bool Flag(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *data = in.V != 0 ? 1 : 0;
    return true;
}

// Codes 1 to 4 pick Events[v - 1] with Data[v - 1]; other codes, and codes whose event is 0,
// send nothing.
bool Coded(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    if (in.V < 1 || in.V > 4 || row.Events[in.V - 1] == 0) {
        return false;
    }
    *event = row.Events[in.V - 1];
    *data = row.Data[in.V - 1];
    return true;
}

// The i-th index of the run sends Events[0] + i with data 0; the value is not looked at.
bool RunOfButtons(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *event = row.Events[0] + static_cast<SC_DWORD>(in.Index - row.First);
    return true;
}

bool Direct(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *data = in.V;
    return true;
}

bool DirectWrapped(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *data = WrappedInt(in.V);
    return true;
}

bool DirectNotNegative(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *data = NotNegative(in.V);
    return true;
}

bool DirectBcd(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *data = ToBcd32(in.V);
    return true;
}

// The current value stepped by v, brought into 0 to 360.
bool StepWrapped(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *data = Truncate(Wrapped(Current(row) + Step(in.V)));
    return true;
}

// The current value stepped by v, a negative result raised to 0.
bool StepNotNegative(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    double value = Current(row) + Step(in.V);
    *data = Truncate(value < 0.0 ? 0.0 : value);
    return true;
}

bool StepAltitude(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *data = Truncate(AltitudeStep(Current(row), in.V));
    return true;
}

// The event toggles a switch: sent only when the requested state differs from the current.
bool ToggleToState(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    if ((in.V != 0) == CurrentFlag(row)) {
        return false;
    }
    return true;
}

// Events[0] switches on, Events[1] off; sent only when the requested state differs.
bool SwitchToState(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    bool on = CurrentFlag(row);
    if ((in.V != 0) == on) {
        return false;
    }
    *event = row.Events[on ? 1 : 0];
    return true;
}

bool AdfUp(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *data = AdfStep(*row.Source, row.Offset, in.V);
    return true;
}

bool AdfDown(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *data = AdfStep(*row.Source, row.Offset, Negate(in.V));
    return true;
}

// No event: the cockpit has seen the flight change.
bool ClearFlightChanged(const InputRow&, const InputValue&, SC_DWORD*, int32_t*) {
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 0);
    return false;
}

bool Truncated(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *data = Truncate(in.X);
    return true;
}

// The event toggles the brake: it is sent only when the requested state differs.
bool ParkingBrake(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    double brake = Current(row);
    if (!((in.X < PARKING_BRAKE_THRESHOLD && brake > PARKING_BRAKE_THRESHOLD) ||
          (in.X > PARKING_BRAKE_THRESHOLD && brake < PARKING_BRAKE_THRESHOLD))) {
        return false;
    }
    return true;
}

// A handle position from 0.0 to 1.0; anything else is refused on the console.
bool SpeedBrake(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    if (!(in.X >= 0.0 && in.X <= 1.0)) {
        ConsolePrint("Bad value for speedbrake: %f\n", in.X);
        return false;
    }
    *data = Truncate(in.X * SPEED_BRAKE_SCALE);
    return true;
}

// Inches of mercury to sixteenths of a millibar.
bool Kohlsman(const InputRow& row, const InputValue& in, SC_DWORD* event, int32_t* data) {
    *data = Truncate(in.X * INHG_TO_MB * KOHLSMAN_SCALE);
    return true;
}

// clang-format off
const InputRow INPUTS[] = {
    {20, 20, FORM_DOUBLE, Truncated,          {EVENT_AP_VS_VAR_SET_ENGLISH}},
    {21, 21, FORM_INT,    OnOff,              {EVENT_AP_HDG_HOLD_ON, EVENT_AP_HDG_HOLD_OFF}},
    {42, 42, FORM_INT,    Flag,               {EVENT_GEAR_SET}},
    {43, 43, FORM_DOUBLE, Truncated,          {EVENT_FLAPS_SET}},
    {45, 45, FORM_DOUBLE, ParkingBrake,       {EVENT_PARKING_BRAKES}, {}, &Block3, BLOCK3_BRAKE_PARKING},
    {46, 46, FORM_DOUBLE, SpeedBrake,         {EVENT_SPOILERS_SET}},
    {52, 52, FORM_INT,    OnlyOneIsOn,        {EVENT_AP_PANEL_SPEED_ON, EVENT_AP_PANEL_SPEED_OFF}},
    {53, 53, FORM_INT,    OnOff,              {EVENT_AP_ALT_HOLD_ON, EVENT_AP_ALT_HOLD_OFF}},
    {54, 54, FORM_INT,    OnOff,              {EVENT_AP_ALT_HOLD_ON, EVENT_AP_ALT_HOLD_OFF}},
    {69, 78, FORM_INT,    RunOfButtons,       {EVENT_NAV1_RADIO_SWAP}},
    {79, 88, FORM_INT,    RunOfButtons,       {EVENT_COM_STBY_RADIO_SWAP}},
    {89, 89, FORM_INT,    OnOff,              {EVENT_PAUSE_OFF, EVENT_PAUSE_ON}},
    {94, 94, FORM_INT,    Coded,              {EVENT_FLAPS_UP, EVENT_FLAPS_DECR, EVENT_FLAPS_DOWN, EVENT_FLAPS_INCR}},
    {95, 95, FORM_INT,    Coded,              {EVENT_INCREASE_DECISION_HEIGHT, EVENT_DECREASE_DECISION_HEIGHT}},
    {96, 96, FORM_INT,    Coded,              {EVENT_KOHLSMAN_INC, EVENT_KOHLSMAN_DEC}, {1, 0}},
    {97, 97, FORM_INT,    StepWrapped,        {EVENT_VOR1_SET}, {}, &Block2, BLOCK2_NAV_OBS1},
    {98, 98, FORM_INT,    StepWrapped,        {EVENT_VOR2_SET}, {}, &Block2, BLOCK2_NAV_OBS2},
    {99, 99, FORM_INT,    StepAltitude,       {EVENT_AP_ALT_VAR_SET_ENGLISH}, {}, &Block3, BLOCK3_AP_ALT_LOCK_VAR},
    {100, 100, FORM_INT,    StepWrapped,        {EVENT_HEADING_BUG_SET}, {}, &Block3, BLOCK3_AP_HEADING_LOCK_DIR},
    {101, 101, FORM_INT,    StepNotNegative,    {EVENT_AP_SPD_VAR_SET}, {}, &Block3, BLOCK3_AP_AIRSPEED_HOLD_VAR},
    {102, 102, FORM_INT,    OnOff,              {EVENT_AP_APR_HOLD_ON, EVENT_AP_APR_HOLD_OFF}},
    {103, 103, FORM_INT,    OnOff,              {EVENT_AP_NAV1_HOLD_ON, EVENT_AP_NAV1_HOLD_OFF}},
    {108, 108, FORM_INT,    Direct,             {EVENT_NAV1_STBY_SET}},
    {109, 109, FORM_INT,    Direct,             {EVENT_NAV2_STBY_SET}},
    {110, 110, FORM_INT,    Direct,             {EVENT_COM_STBY_RADIO_SET}},
    {111, 111, FORM_INT,    Direct,             {EVENT_COM2_STBY_RADIO_SET}},
    {112, 112, FORM_INT,    Direct,             {EVENT_VOR1_SET_DIRECT}},
    {113, 113, FORM_INT,    Direct,             {EVENT_VOR2_SET_DIRECT}},
    {114, 114, FORM_DOUBLE, Kohlsman,           {EVENT_KOHLSMAN_SET}},
    {116, 116, FORM_INT,    DirectWrapped,      {EVENT_HEADING_BUG_SET}},
    {117, 117, FORM_INT,    DirectNotNegative,  {EVENT_AP_ALT_VAR_SET_ENGLISH}},
    {118, 118, FORM_INT,    DirectNotNegative,  {EVENT_AP_SPD_VAR_SET}},
    {164, 164, FORM_INT,    ToggleToState,      {EVENT_TOGGLE_FLIGHT_DIRECTOR}, {}, &Block3, BLOCK3_AP_FD_ACTIVE},
    {165, 165, FORM_INT,    SwitchToState,      {EVENT_AUTOPILOT_ON, EVENT_AUTOPILOT_OFF}, {}, &Block3, BLOCK3_AP_MASTER},
    {166, 166, FORM_INT,    Direct,             {EVENT_NAV1_RADIO_SET}},
    {167, 167, FORM_INT,    Direct,             {EVENT_NAV2_RADIO_SET}},
    {172, 172, FORM_INT,    ClearFlightChanged, {}},
    {175, 175, FORM_INT,    Direct,             {EVENT_THROTTLE_SET}},
    {176, 176, FORM_INT,    DirectBcd,          {EVENT_ADF_COMPLETE_SET}},
    {177, 177, FORM_INT,    DirectBcd,          {EVENT_ADF2_COMPLETE_SET}},
    {180, 180, FORM_INT,    AdfUp,              {EVENT_ADF_COMPLETE_SET}, {}, &Block3, BLOCK3_ADF_ACTIVE1},
    {181, 181, FORM_INT,    AdfUp,              {EVENT_ADF2_COMPLETE_SET}, {}, &Block3, BLOCK3_ADF_ACTIVE2},
    {182, 182, FORM_INT,    AdfDown,            {EVENT_ADF_COMPLETE_SET}, {}, &Block3, BLOCK3_ADF_ACTIVE1},
    {183, 183, FORM_INT,    AdfDown,            {EVENT_ADF2_COMPLETE_SET}, {}, &Block3, BLOCK3_ADF_ACTIVE2},
    {184, 184, FORM_INT,    Direct,             {EVENT_AUTO_THROTTLE_ARM}},
};
// clang-format on

// Performs the row of `in` in the form's part of the table; false when the form has no row
// for the index.
bool Apply(InputForm form, const InputValue& in) {
    const InputRow* row = InputRowFor(form, in.Index);
    if (row == nullptr) {
        return false;
    }
    SC_DWORD event = row->Events[0];
    int32_t data = 0;
    if (row->Action(*row, in, &event, &data)) {
        TransmitClientEvent(event, data);
    }
    return true;
}

} // namespace

const InputRow* InputRowFor(InputForm form, int32_t index) {
    for (const InputRow& row : INPUTS) {
        if (row.Form == form && index >= row.First && index <= row.Last) {
            return &row;
        }
    }
    return nullptr;
}

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
    if (!Apply(FORM_INT, InputValue{fsxIndex, value, 0.0})) {
        ConsolePrint("bool/int Unknown index: %d\n", static_cast<int>(fsxIndex));
        return false;
    }
    return true;
}

bool ChangeVar(int32_t fsxIndex, double value) {
    if (!SimIsConnected()) {
        return true;
    }
    if (!Apply(FORM_DOUBLE, InputValue{fsxIndex, 0, value})) {
        ConsolePrint("ChangeVar(double) - Unknown Index: %d  Val: %f\n", static_cast<int>(fsxIndex),
                     value);
        return false;
    }
    return true;
}
