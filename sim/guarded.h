// Single library calls made outside the session set-up, each with its failure report. The two
// that run unattended and often (the traffic request and client-event transmission) count
// their failures and relaunch the program from the sixth one on.
#pragma once

#include <atomic>
#include <cstdint>

#include "sim/simconnect_api.h"

// Failed traffic requests since process start; never lowered. Written by the traffic thread
// only; atomic so that tests may read it from another thread.
extern std::atomic<int32_t> TrafficErrors;
// Failed client-event transmissions since process start; never lowered. Written by the
// receive thread only; atomic so that tests may read it from another thread.
extern std::atomic<int32_t> TransmitErrors;

// Failures of one kind that are tolerated; the next one relaunches the program.
constexpr int32_t GUARDED_ERROR_LIMIT = 5;

constexpr uint32_t TRAFFIC_FIRST_WAIT_MS = 5000;
constexpr uint32_t TRAFFIC_PERIOD_MS = 500;
constexpr SC_DWORD TRAFFIC_RADIUS_M = 30000;

// Thread procedure of the traffic thread: waits 5000 ms, then every 500 ms asks the
// simulator for the aircraft within 30000 m while it is connected. Never returns.
void TrafficPoll(void* param);
// One request of the traffic thread, made only while the simulator is connected.
void TrafficPollTurn();

// Switches input group 0 on. The library's result.
SC_HRESULT SetInputState();
// Requests the data of one object with the given period, request and definition.
SC_HRESULT RequestSimObjectData(int32_t period, SC_DWORD objectId, SC_DWORD requestId,
                                SC_DWORD definitionId);
// Sends one client event with its data to the user's aircraft. The library's result.
SC_HRESULT TransmitClientEvent(SC_DWORD eventId, int32_t data);
