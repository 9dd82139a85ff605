// The traffic table (see sim/traffic.h).
#include "sim/traffic.h"

#include "support/log.h"

// Created by main before any thread starts; taken only by TransferTraffic (main thread).
Resource Block2Mutex = nullptr;
// Main thread only (inside the dispatch): AddTraffic fills it, TransferTraffic empties it.
TrafficSlot TrafficTable[TRAFFIC_SLOT_COUNT] = {};

// See sim/traffic.h: written by the settings reader before any thread starts, then only read.
TrafficSettings TrafficSetting = {};
// Written by the main thread (the dispatch handler), read by any.
std::atomic<uint32_t> UserObjectId{0};

namespace {
constexpr uint32_t TRAFFIC_USER_OBJECT = 1; // never listed

bool IsUser(uint32_t objectId) {
    if (objectId == TRAFFIC_USER_OBJECT) {
        return true;
    }
    uint32_t user = UserObjectId.load(std::memory_order_relaxed);
    return TrafficSetting.UserById && user != 0 && objectId == user;
}
} // namespace

void NoteUserObjectId(uint32_t objectId) {
    if (objectId == 0 || UserObjectId.load(std::memory_order_relaxed) == objectId) {
        return;
    }
    UserObjectId.store(objectId, std::memory_order_relaxed);
    ConsoleAndLog("The user's aircraft is object %u: left out of the traffic (setting "
                  "user-aircraft-id)\n",
                  static_cast<unsigned>(objectId));
}

void AddTraffic(uint32_t objectId, double latitude, double longitude, double altitude) {
    if (IsUser(objectId)) {
        return;
    }
    for (TrafficSlot& slot : TrafficTable) {
        if (slot.ObjectId == 0) {
            slot.Latitude = latitude;
            slot.Longitude = longitude;
            slot.AltitudeAboveGround = altitude;
            slot.ObjectId = objectId;
            slot.Reserved = 0;
            return;
        }
    }
}

void TransferTraffic() {
    // The copy goes ahead even when the wait fails: GetResource has logged it, and the
    // publication itself is tear-free for the sender without the lock.
    GetResource(Block2Mutex, "TransferTraffic()");
    BlockPublish(Block2, BLOCK2_TRAFFIC, TrafficTable, BLOCK2_TRAFFIC_SIZE);
    ReleaseResource(Block2Mutex, "TransferTraffic()");
    for (TrafficSlot& slot : TrafficTable) {
        slot.ObjectId = 0;
    }
}
