// Guarded simulator calls (see sim/guarded.h).
#include "sim/guarded.h"

#include "net/blocks.h"
#include "platform/platform.h"
#include "sim/events.h"
#include "sim/session.h"
#include "support/log.h"
#include "support/process.h"
#include "support/restart.h"

// Written only by the traffic thread (TrafficPollTurn); read by tests.
std::atomic<int32_t> TrafficErrors{0};
// Written only by the receive thread (TransmitClientEvent, through ChangeVar); read by tests.
std::atomic<int32_t> TransmitErrors{0};

namespace {
constexpr int32_t GUARDED_LOG_LEVEL = 10;
} // namespace

void TrafficPollTurn() {
    if (BlockGetI32(Block2, BLOCK2_SIM_CONNECTED) == 0) {
        return;
    }
    SC_HRESULT result =
        SimApi.RequestDataOnSimObjectType(hSimConnect.load(), REQUEST_TRAFFIC, DEFINITION_TRAFFIC,
                                          TRAFFIC_RADIUS_M, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    if (result == 0) {
        return;
    }
    ConsolePrint("RequestDataOnSimObjectType error\n");
    SimLogLevel(GUARDED_LOG_LEVEL, "RequestDataOnSimObjectType error\n");
    if (TrafficErrors.fetch_add(1) + 1 > GUARDED_ERROR_LIMIT) {
        SimLog("RequestDataOnSimObjectType() - Restarting\n");
        Restart();
    }
}

void TrafficPoll(void* param) {
    (void)param;
    Os.SleepMs(TRAFFIC_FIRST_WAIT_MS);
    for (;;) {
        TrafficPollTurn();
        Os.SleepMs(TRAFFIC_PERIOD_MS);
    }
}

SC_HRESULT SetInputState() {
    SC_HRESULT result =
        SimApi.SetInputGroupState(hSimConnect.load(), INPUT_GROUP_JOYSTICK, SIMCONNECT_STATE_ON);
    if (result != 0) {
        ConsolePrint("SetInputState\n");
        SimLogLevel(GUARDED_LOG_LEVEL, "SetInputState Error.\n");
    }
    return result;
}

SC_HRESULT RequestSimObjectData(int32_t period, SC_DWORD objectId, SC_DWORD requestId,
                                SC_DWORD definitionId) {
    SC_HRESULT result = SimApi.RequestDataOnSimObject(hSimConnect.load(), requestId, definitionId,
                                                      objectId, period, 0, 0, 0, 0);
    if (result != 0) {
        ConsolePrint("RequestSimObjectData error\n");
        SimLogLevel(GUARDED_LOG_LEVEL, "RequestSimObjectData error\n");
    }
    return result;
}

SC_HRESULT TransmitClientEvent(SC_DWORD eventId, int32_t data) {
    // Made whatever the connection state: a call on a dropped handle simply fails and counts.
    SC_HRESULT result = SimApi.TransmitClientEvent(
        hSimConnect.load(), SIMCONNECT_OBJECT_ID_USER, eventId, static_cast<SC_DWORD>(data),
        SIMCONNECT_GROUP_PRIORITY_HIGHEST, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);
    if (result != 0) {
        ConsolePrint("TransmitClientEvent() -Error, Event: %d Object: %d\n",
                     static_cast<int>(eventId), 0);
        SimLogLevel(GUARDED_LOG_LEVEL, "TransmitEvent error\n");
        if (TransmitErrors.fetch_add(1) + 1 > GUARDED_ERROR_LIMIT) {
            SimLog("TransmitClientEvent() - Restarting\n");
            Restart();
        }
    }
    return result;
}
