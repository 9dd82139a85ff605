// The traffic table: the aircraft near the user's, collected from one answer of the traffic
// request and published into Block2 when the first aircraft of the next answer arrives.
#pragma once

#include <atomic>
#include <cstdint>

#include "net/blocks.h"
#include "support/resource.h"

constexpr uint32_t TRAFFIC_SLOT_COUNT = 20;
static_assert(TRAFFIC_SLOT_COUNT * sizeof(TrafficSlot) == BLOCK2_TRAFFIC_SIZE);

// Taken by TransferTraffic while it copies the traffic list into Block2. Created by main
// before any thread starts; never destroyed.
extern Resource Block2Mutex;

// The list being collected. Touched only by the main thread (inside the dispatch), so it has
// no lock; zero at process start. A slot whose ObjectId is 0 is free.
extern TrafficSlot TrafficTable[TRAFFIC_SLOT_COUNT];

// The user's opt-in traffic setting (user-aircraft-id). Written by main's settings reader
// before any worker thread exists; only read afterwards. All zero: only object 1 is left out.
struct TrafficSettings {
    bool UserById; // the user's own object id, from the user-aircraft answers, is left out too
};
extern TrafficSettings TrafficSetting;

// The object id of the user's aircraft as the answers to the program's own user-aircraft
// requests give it (the dwObjectID of their SIMOBJECT_DATA messages); 0 until one is known.
// Kept only with TrafficSetting.UserById. Written by the dispatch handler on the main thread;
// atomic, so that any thread may read it.
extern std::atomic<uint32_t> UserObjectId;
// Takes `objectId` from an answer to a user-aircraft request as the user's object id (called by
// the dispatch handler with the setting only; 0, the proxy id of the user's aircraft, says
// nothing). A new id is shown once on the console and in the log.
void NoteUserObjectId(uint32_t objectId);

// Puts an aircraft into the first free slot. Object 1, the user's own id with the setting
// user-aircraft-id, and aircraft beyond the twentieth of an answer are dropped without a
// message.
void AddTraffic(uint32_t objectId, double latitude, double longitude, double altitude);
// Publishes all 20 slots into Block2's traffic area under Block2Mutex, then frees every slot
// (the coordinates stay; only the ids are cleared).
void TransferTraffic();
