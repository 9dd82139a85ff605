// Fuzz target: variable changes through the receive path with the simulator connected, so
// that every known pair reaches ChangeVar and the library. Every event sent must be one of
// the events of the row of its index, with data that the event's meaning allows.
//
// Input: one byte whose bit 0 is the simulator-connected flag; then 8 bytes for each place
// (up to STATE_SLOTS) where a row reads the simulator's current value, in table order; then
// the datagram (one of MSG_MAX_RECEIVED bytes or more is left to the receive target).
#include <algorithm>
#include <cmath>

#include "fuzz_support.h"
#include "net/blocks.h"
#include "net/msg.h"
#include "net/receive.h"
#include "sim/changevar.h"
#include "sim/changevar_table.h"
#include "sim/events.h"
#include "support/bcd.h"
#include "vars/vartables.h"

namespace {

constexpr size_t STATE_SLOTS = 16;
constexpr size_t STATE_SIZE = 1 + 8 * STATE_SLOTS;

struct Place {
    const Block* Source;
    uint32_t Offset;
};
Place Places[STATE_SLOTS];
size_t PlaceCount = 0;

void AddPlace(const InputRow* row) {
    if (row == nullptr || row->Source == nullptr) {
        return;
    }
    for (size_t i = 0; i < PlaceCount; ++i) {
        if (Places[i].Source == row->Source && Places[i].Offset == row->Offset) {
            return;
        }
    }
    Require(PlaceCount < STATE_SLOTS);
    Places[PlaceCount++] = Place{row->Source, row->Offset};
}

// Five decimal digits in bits 12 to 31, bits 0 to 11 clear.
bool IsBcd32(uint32_t d) {
    if ((d & 0xFFFu) != 0) {
        return false;
    }
    for (int shift = 12; shift <= 28; shift += 4) {
        if (((d >> shift) & 0xFu) > 9) {
            return false;
        }
    }
    return true;
}

// What the data of an event may be, by what the simulator makes of that event's data.
bool DataAllowed(const InputRow& row, int slot, const InputValue& in, SC_DWORD event, int32_t d) {
    const double current = row.Source != nullptr ? BlockGetF64(*row.Source, row.Offset) : 0.0;
    const double x = in.X;
    switch (event) {
    case EVENT_ADF_COMPLETE_SET:
    case EVENT_ADF2_COMPLETE_SET: // a frequency in the band, or the given one held to 5 digits
        return IsBcd32(static_cast<uint32_t>(d)) &&
               (row.Source != nullptr
                    ? FromBcd32(d) >= ADF_MIN_TENTHS_KHZ && FromBcd32(d) <= ADF_MAX_TENTHS_KHZ
                    : FromBcd32(d) == std::clamp(in.V, 0, 99999));
    case EVENT_HEADING_BUG_SET:
    case EVENT_VOR1_SET:
    case EVENT_VOR2_SET: // degrees: a step from a bearing, or the given one, brought into range
        if (row.Source != nullptr) {
            return !(current >= 0.0 && current <= 360.0) || (d >= 0 && d <= 360);
        }
        return (d - static_cast<int64_t>(in.V)) % 360 == 0 &&
               (in.V < -360 || in.V > 720 || (d >= 0 && d <= 360));
    case EVENT_AP_SPD_VAR_SET:
        return d >= 0;
    case EVENT_AP_ALT_VAR_SET_ENGLISH:
        return d >= 0 || (row.Source != nullptr && !(current >= 0.0));
    case EVENT_SPOILERS_SET:
        return x >= 0.0 && x <= 1.0 && d >= 0 && d <= 16383;
    case EVENT_GEAR_SET:
        return d == (in.V != 0 ? 1 : 0);
    case EVENT_AP_VS_VAR_SET_ENGLISH:
    case EVENT_FLAPS_SET:
        return std::isnan(x) ? d == 0 : d == std::clamp(std::trunc(x), -2147483648.0, 2147483647.0);
    case EVENT_KOHLSMAN_SET:
        return !(d * x < 0.0);
    case EVENT_NAV1_STBY_SET:
    case EVENT_NAV2_STBY_SET:
    case EVENT_COM_STBY_RADIO_SET:
    case EVENT_COM2_STBY_RADIO_SET:
    case EVENT_VOR1_SET_DIRECT:
    case EVENT_VOR2_SET_DIRECT:
    case EVENT_NAV1_RADIO_SET:
    case EVENT_NAV2_RADIO_SET:
    case EVENT_THROTTLE_SET:
    case EVENT_AUTO_THROTTLE_ARM: // settings taken as given
        return d == in.V;
    default: // buttons, switches and codes: the row's own data for that event
        return d == row.Data[slot];
    }
}

// The call that ChangeVar made (at most one) for `in` came from its row, to the user's
// aircraft, with an event of that row and data that the event allows.
bool Checked(InputForm form, const InputValue& in) {
    const uint64_t before = Library.Transmits;
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
    const bool known = form == FORM_INT ? ChangeVar(in.Index, in.V) : ChangeVar(in.Index, in.X);
    const uint64_t sent = Library.Transmits - before;
    const InputRow* row = InputRowFor(form, in.Index);
    const bool connected = BlockGetI32(Block2, BLOCK2_SIM_CONNECTED) != 0;
    Require(sent <= 1 && known == (!connected || row != nullptr));
    // Only the row without events clears the flight change.
    Require(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED) == 1 ||
            (connected && row != nullptr && row->Events[0] == 0));
    if (sent == 0) {
        return known;
    }
    Require(connected && row != nullptr);
    const FuzzCall& call = Library.Transmit;
    Require(call.Handle == FUZZ_HANDLE && call.A == SIMCONNECT_OBJECT_ID_USER &&
            call.D == SIMCONNECT_GROUP_PRIORITY_HIGHEST &&
            call.E == SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);
    const SC_DWORD event = call.B;
    Require(event < EVENT_ID_COUNT && EVENT_NAMES[event] != nullptr);
    int slot = -1;
    if (row->First != row->Last) { // a run: each index its own event
        slot = event == row->Events[0] + static_cast<SC_DWORD>(in.Index - row->First) ? 0 : -1;
    } else {
        for (int k = 3; k >= 0; --k) {
            slot = row->Events[k] == event ? k : slot;
        }
    }
    Require(slot >= 0 && DataAllowed(*row, slot, in, event, static_cast<int32_t>(call.C)));
    return known;
}

bool CheckedInt(int32_t index, int32_t v) {
    return Checked(FORM_INT, InputValue{index, v, 0.0});
}
bool CheckedDouble(int32_t index, double x) {
    return Checked(FORM_DOUBLE, InputValue{index, 0, x});
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzSetUp();
    for (int32_t index = 0; index < MAX_FSXS; ++index) {
        AddPlace(InputRowFor(FORM_INT, index));
        AddPlace(InputRowFor(FORM_DOUBLE, index));
    }
    // The forms that main installs, each call checked on its way back.
    SetVarChangeHandler(VarChangeHandler{CheckedInt, CheckedDouble});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < STATE_SIZE || size >= STATE_SIZE + MSG_MAX_RECEIVED) {
        return 0;
    }
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, data[0] & 1);
    for (size_t i = 0; i < PlaceCount; ++i) {
        // The blocks are the program's own (non-const) records; the rows only read them.
        BlockPublish(const_cast<Block&>(*Places[i].Source), Places[i].Offset, data + 1 + 8 * i, 8);
    }
    ReceiveDatagram(data + STATE_SIZE, size - STATE_SIZE);
    return 0;
}
