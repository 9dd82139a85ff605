// The simulator events of each cockpit variable, by probing the program's ChangeVar.
#include "tools/common/var_events.h"

#include "net/blocks.h"
#include "sim/changevar.h"
#include "sim/events.h"
#include "sim/simconnect_api.h"
#include "vars/vartables.h"

namespace {

// The simulator events that one probe transmitted, in the order of their first use.
constexpr uint32_t PROBE_MAX_EVENTS = 8;
SC_DWORD ProbeEvents[PROBE_MAX_EVENTS];
uint32_t ProbeEventCount = 0;

SC_HRESULT PLATFORM_STDCALL CaptureEvent(SC_HANDLE, SC_DWORD, SC_DWORD event, SC_DWORD, SC_DWORD,
                                         SC_DWORD) {
    for (uint32_t i = 0; i < ProbeEventCount; ++i) {
        if (ProbeEvents[i] == event) {
            return 0;
        }
    }
    if (ProbeEventCount < PROBE_MAX_EVENTS) {
        ProbeEvents[ProbeEventCount++] = event;
    }
    return 0;
}

void Apply(int32_t fsxIndex, int32_t varType, double value) {
    if (varType == VAR_TYPE_INT) {
        ChangeVar(fsxIndex, static_cast<int32_t>(value));
    } else {
        ChangeVar(fsxIndex, value);
    }
}

std::string Captured() {
    std::string names;
    for (uint32_t i = 0; i < ProbeEventCount; ++i) {
        const char* event = ProbeEvents[i] < EVENT_ID_COUNT ? EVENT_NAMES[ProbeEvents[i]] : nullptr;
        if (event != nullptr) {
            names += (names.empty() ? "" : "/") + std::string(event);
        }
    }
    return names;
}

} // namespace

void VarEventsStart() {
    InitDB();
    SimApi.TransmitClientEvent = CaptureEvent;
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 1);
}

std::string VarEventNames(int32_t fsxIndex, int32_t varType) {
    static const double INT_VALUES[] = {1, 0, 2, 3, 4};
    static const double DOUBLE_VALUES[] = {1.0, 0.0, 0.5};
    ProbeEventCount = 0;
    if (varType == VAR_TYPE_INT) {
        for (double v : INT_VALUES) {
            Apply(fsxIndex, varType, v);
        }
    } else {
        for (double v : DOUBLE_VALUES) {
            Apply(fsxIndex, varType, v);
        }
    }
    return Captured();
}

std::string VarValueEvents(int32_t fsxIndex, int32_t varType, double value) {
    ProbeEventCount = 0;
    Apply(fsxIndex, varType, value);
    return Captured();
}
