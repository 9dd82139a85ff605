// The link monitor: once a second it judges the link to the communication manager and,
// while the link is down, sends the discovery broadcast.
#pragma once

#include <cstdint>

constexpr uint32_t MONITOR_TICK_MS = 1000;
// Silent ticks tolerated while connected; the next one declares the link lost.
constexpr int32_t MONITOR_MAX_MISSES = 5;
constexpr int32_t DISCOVERY_TEXT_SIZE = 100; // the text is at most 99 characters

// Consecutive ticks without a sign of life while the link is up. Monitor thread only; not
// reset when the link goes down or comes up.
extern int32_t MissCount;

// Thread procedure: logs its start, then for ever sleeps one second and runs MonitorTick.
// `param` points to the listening port (an int32_t that outlives the thread).
void Monitor(void* param);
// One tick of the monitor: judges the link, then broadcasts while it is down.
void MonitorTick(int32_t listenPort);
// Sends one discovery broadcast, announcing `listenPort`, on BroadcastSocket to BroadcastAddr.
void PhoneHome(int32_t listenPort);
