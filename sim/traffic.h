// The traffic table: the aircraft near the user's, collected from one answer of the traffic
// request and published into Block2 when the first aircraft of the next answer arrives.
#pragma once

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

// Puts an aircraft into the first free slot. Object 1 and aircraft beyond the twentieth of an
// answer are dropped without a message.
void AddTraffic(uint32_t objectId, double latitude, double longitude, double altitude);
// Publishes all 20 slots into Block2's traffic area under Block2Mutex, then frees every slot
// (the coordinates stay; only the ids are cleared).
void TransferTraffic();
