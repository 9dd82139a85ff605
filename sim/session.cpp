// The simulator session loop (see sim/session.h).
//
// Dropped connections are not closed. The traffic thread and the receive thread read the
// handle without a lock and may be inside a library call on it at the moment the loop drops
// it; closing it then would free it under their call. A connection that the simulator quit
// is over on its side anyway, and the one discarded after a quit costs one idle client
// registration in the simulator until it ends. So the loop and the handler only set the
// handle to none.
#include "sim/session.h"

#include "net/blocks.h"
#include "platform/platform.h"
#include "sim/datadefs.h"
#include "sim/dispatch.h"
#include "sim/events.h"
#include "support/log.h"
#include "support/process.h"
#include "support/restart.h"

// Written by the main thread (this loop, and HandleSimMsgs on a quit); read by every thread
// that calls the library.
std::atomic<SC_HANDLE> hSimConnect{nullptr};
// Set by HandleSimMsgs on a quit, cleared by this loop; both on the main thread.
std::atomic<bool> SimQuit{false};
// Main thread only: this loop.
bool SessionReady = false;
// See sim/session.h: written by the settings reader before any thread starts, then only read.
SessionSettings SessionSetting = {};

namespace {

constexpr int32_t SESSION_LOG_LEVEL = 10;
constexpr SC_BOOL NOT_MASKABLE = 0;

struct SessionRequest {
    SC_DWORD Request;
    SC_DWORD Definition;
    int32_t Period;
};

const SessionRequest SESSION_REQUESTS[] = {
    {REQUEST_MODEL, DEFINITION_MODEL, SIMCONNECT_PERIOD_SECOND},
    {REQUEST_BLOCK1, DEFINITION_BLOCK1, SIMCONNECT_PERIOD_VISUAL_FRAME},
    {REQUEST_BLOCK2, DEFINITION_BLOCK2, SIMCONNECT_PERIOD_VISUAL_FRAME},
    {REQUEST_BLOCK3, DEFINITION_BLOCK3, SIMCONNECT_PERIOD_VISUAL_FRAME},
};

struct SystemEvent {
    SC_DWORD Id;
    const char* Name;
};

const SystemEvent SYSTEM_EVENTS[] = {
    {EVENT_SIM_START, "SimStart"},
    {EVENT_CRASHED, "Crashed"},
    {EVENT_FLIGHT_LOADED, "FlightLoaded"},
    {EVENT_AIRCRAFT_LOADED, "AircraftLoaded"},
};

void SetSimConnected(int32_t value) {
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, value);
}

void OpenConnection() {
    SC_HANDLE handle = nullptr;
    if (SimApi.Open(&handle, SIM_CLIENT_NAME, nullptr, 0, nullptr, 0) != 0) {
        return; // the simulator is not there yet: try again next turn, silently
    }
    hSimConnect.store(handle);
    ConsolePrint("Connected to Simulator\n");
    SetSimConnected(1);
    if (!SessionReady) {
        InitSimSession();
        SessionReady = true;
        return;
    }
    // First connection after a quit: dropped, and the next one is set up.
    hSimConnect.store(nullptr);
    SessionReady = false;
    SimLog("Closing and reopening SimConnect\n");
}

// The setting end-with-simulator: the process ends with the simulator.
[[noreturn]] void EndWithSimulator(const char* how) {
    ConsoleAndLog("The simulator %s: KivFSX ends with it (setting end-with-simulator, exit code "
                  "%d)\n",
                  how, static_cast<int>(EXIT_SIMULATOR_ENDED));
    ExitProcess(EXIT_SIMULATOR_ENDED);
}

// After a failed dispatch: a simulator that still runs accepts a new connection (which is
// closed again at once: it is this thread's own, never published); one that has gone does not.
bool SimulatorGone() {
    SC_HANDLE probe = nullptr;
    if (SimApi.Open(&probe, SIM_CLIENT_NAME, nullptr, 0, nullptr, 0) != 0) {
        return true;
    }
    SimApi.Close(probe);
    return false;
}

void Dispatch() {
    if (SimApi.CallDispatch(hSimConnect.load(), HandleSimMsgs, nullptr) != 0) {
        SimLogLevel(SESSION_LOG_LEVEL, "Dispatch returned error\n");
        if (SessionSetting.EndWithSimulator && SimulatorGone()) {
            EndWithSimulator("has gone (its dispatch failed and it takes no new connection)");
        }
        Restart();
    }
    if (SimQuit.load()) {
        if (SessionSetting.EndWithSimulator) {
            EndWithSimulator("quit");
        }
        hSimConnect.store(nullptr);
        SetSimConnected(0);
        SimQuit.store(false);
    }
    Os.SleepMs(SESSION_DISPATCH_SLEEP_MS);
}

} // namespace

void InitSimSession() {
    SimLogLevel(SESSION_LOG_LEVEL, "Connected to Flight Simulator.\n");
    AddDataDefs();
    MapEvents();
    SC_HANDLE handle = hSimConnect.load();
    for (const SessionRequest& r : SESSION_REQUESTS) {
        if (SimApi.RequestDataOnSimObject(handle, r.Request, r.Definition,
                                          SIMCONNECT_OBJECT_ID_USER, r.Period, 0, 0, 0, 0) != 0) {
            ConsolePrint("RequestSimObjectData error\n");
            SimLogLevel(SESSION_LOG_LEVEL, "RequestSimObjectData error\n");
        }
    }
    for (const SystemEvent& e : SYSTEM_EVENTS) {
        if (SimApi.SubscribeToSystemEvent(handle, e.Id, e.Name) != 0) {
            ConsolePrint("Subscribe error\n");
            SimLogLevel(SESSION_LOG_LEVEL, "Sibscribe Error.\n");
        }
    }
    if (SimApi.AddClientEventToNotificationGroup(handle, NOTIFY_GROUP_MY_EVENT, EVENT_MY_EVENT,
                                                 NOT_MASKABLE) != 0) {
        ConsolePrint("AddClientEvent error\n");
        SimLogLevel(SESSION_LOG_LEVEL, "AddClientEvent Error.\n");
    }
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 0);
}

void SimConnectLoopTurn() {
    if (hSimConnect.load() == nullptr) {
        OpenConnection();
    }
    if (hSimConnect.load() != nullptr) {
        Dispatch();
    }
    Os.SleepMs(SESSION_TURN_SLEEP_MS);
    if (RestartPending.load()) {
        ExitProcess(EXIT_RELAUNCHED);
    }
}

void SimConnectLoop() {
    SetSimConnected(0);
    BlockSetI32(Block2, BLOCK2_FLAPS_POSITIONS, 1);
    Os.SleepMs(SESSION_TURN_SLEEP_MS);
    if (RestartPending.load()) {
        ExitProcess(EXIT_RELAUNCHED);
    }
    for (;;) {
        SimConnectLoopTurn();
    }
}
