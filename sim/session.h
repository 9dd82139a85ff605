// The simulator session: the main thread's loop that opens the connection to the simulator,
// sets each new session up, runs the library's dispatch and reconnects after a quit.
#pragma once

#include <atomic>

#include "sim/requests.h"
#include "sim/simconnect_api.h"

// The connection handle; null while not connected. Written by the main thread (the loop, and
// the dispatch handler on the simulator's quit); read without a lock by the receive thread
// and the traffic thread, which make their own library calls on it.
extern std::atomic<SC_HANDLE> hSimConnect;
// Set by the dispatch handler when the simulator quits; cleared by the loop once it has
// dropped the session. Main thread only in practice; atomic because tests read it from others.
extern std::atomic<bool> SimQuit;
// Set once a connection has been set up; cleared when the loop discards a connection. It
// outlives a quit, so the first connection after a quit is discarded and the second one is
// set up. Main thread only.
extern bool SessionReady;

// The user's opt-in session setting (end-with-simulator). Written by main's settings reader
// before any worker thread exists; only read afterwards. All zero: after the simulator quits
// the loop waits for the next one, as without settings.
struct SessionSettings {
    // The process ends with EXIT_SIMULATOR_ENDED when the simulator quits (its quit message),
    // or when a dispatch fails and the simulator no longer accepts a connection (it has gone
    // without one). A failed dispatch of a simulator that still runs relaunches as usual.
    bool EndWithSimulator;
};
extern SessionSettings SessionSetting;

constexpr const char* SIM_CLIENT_NAME = "VUVIze";

// Pauses of the loop.
constexpr uint32_t SESSION_TURN_SLEEP_MS = 90;
constexpr uint32_t SESSION_DISPATCH_SLEEP_MS = 100;

// Sets the session up on a newly opened connection: data definitions, event map, data
// requests, system-event subscriptions, notification group 0; then clears FlightChanged.
void InitSimSession();

// One turn of the loop: open when not connected (setting up or discarding the new
// connection), dispatch when connected, pause, and end the process with code 0 when a
// relaunch has been started.
void SimConnectLoopTurn();

// The main thread's work after start-up: marks the simulator as not connected, pauses, and
// runs turns for ever. Ends the process with code 0 once a relaunch has been started.
[[noreturn]] void SimConnectLoop();
