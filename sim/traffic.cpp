// The traffic table (see sim/traffic.h).
#include "sim/traffic.h"

// Created by main before any thread starts; taken only by TransferTraffic (main thread).
Resource Block2Mutex = nullptr;
// Main thread only (inside the dispatch): AddTraffic fills it, TransferTraffic empties it.
TrafficSlot TrafficTable[TRAFFIC_SLOT_COUNT] = {};

namespace {
constexpr uint32_t TRAFFIC_USER_OBJECT = 1; // never listed
} // namespace

void AddTraffic(uint32_t objectId, double latitude, double longitude, double altitude) {
    if (objectId == TRAFFIC_USER_OBJECT) {
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
