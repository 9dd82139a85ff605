// The three outgoing datagrams. Each block is a long-lived record that several threads share:
//   - the main thread copies simulator records into the payloads (and the traffic list into
//     Block2), and sets SimConnected, FlightChanged and AircraftType;
//   - the receive thread reads current values out of Block2 and Block3 and clears
//     FlightChanged;
//   - the sender thread stamps the header and copies the whole block into its send buffer.
// Every 32-bit word of a block is read and written atomically. The multi-word regions that
// the main thread writes (records, traffic list) are published under the block's sequence
// counter: a writer makes it odd, writes, and makes it even again; a reader copies and
// retries while the counter was odd or moved. So no datagram and no current value is ever
// taken from a half-copied record, and neither side allocates or takes a lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "net/msg.h"

constexpr uint32_t BLOCK1_SIZE = 360;
constexpr uint32_t BLOCK2_SIZE = 920;
constexpr uint32_t BLOCK3_SIZE = 400;
constexpr uint32_t BLOCK_MAX_SIZE = 920;
constexpr uint32_t BLOCK4_SIZE = 92; // named in the banner; this node sends no fourth block

// Byte positions, counted from the start of the datagram (the header is bytes 0 to 31).
constexpr uint32_t BLOCK_PAYLOAD = MSG_HEADER_SIZE;
constexpr uint32_t BLOCK1_RECORD_SIZE = 320;     // data definition 2
constexpr uint32_t BLOCK1_PANEL_ON = 340;        // "Circuit General Panel On", int32
constexpr uint32_t BLOCK1_AIRCRAFT_TYPE = 352;   // AircraftType, int32
constexpr uint32_t BLOCK2_RECORD_SIZE = 236;     // data definition 1
constexpr uint32_t BLOCK2_NAV_OBS1 = 112;        // "NAV OBS:1", double
constexpr uint32_t BLOCK2_NAV_OBS2 = 120;        // "NAV OBS:2", double
constexpr uint32_t BLOCK2_FLAPS_POSITIONS = 252; // "FLAPS NUM HANDLE POSITIONS", int32
constexpr uint32_t BLOCK2_TRAFFIC = 272;         // 20 slots of 32 bytes
constexpr uint32_t BLOCK2_TRAFFIC_SIZE = 640;
constexpr uint32_t BLOCK2_SIM_CONNECTED = 912;        // SimConnected, int32
constexpr uint32_t BLOCK2_FLIGHT_CHANGED = 916;       // FlightChanged, int32
constexpr uint32_t BLOCK3_RECORD_SIZE = 368;          // data definition 0
constexpr uint32_t BLOCK3_AP_ALT_LOCK_VAR = 96;       // "Autopilot Altitude Lock Var", double
constexpr uint32_t BLOCK3_AP_AIRSPEED_HOLD_VAR = 104; // "Autopilot Airspeed Hold Var", double
constexpr uint32_t BLOCK3_AP_HEADING_LOCK_DIR = 120;  // "Autopilot Heading Lock Dir", double
constexpr uint32_t BLOCK3_AP_FD_ACTIVE = 144;         // "Autopilot Flight Director Active"
constexpr uint32_t BLOCK3_AP_MASTER = 148;            // "Autopilot Master", int32
constexpr uint32_t BLOCK3_BRAKE_PARKING = 248;        // "Brake Parking Position", double
constexpr uint32_t BLOCK3_ADF_ACTIVE1 = 376;          // "ADF Active Frequency:1", BCD32
constexpr uint32_t BLOCK3_ADF_ACTIVE2 = 380;          // "ADF Active Frequency:2", BCD32

// Wire layouts, for the compile-time checks of where each region lies.
#pragma pack(push, 1)
struct Block1Layout {
    MsgHeader Header;
    uint8_t Record[BLOCK1_RECORD_SIZE];
    int32_t AircraftType;
    uint32_t Unused;
};
struct TrafficSlot {
    double Latitude;
    double Longitude;
    double AltitudeAboveGround;
    uint32_t ObjectId; // 0 = free
    uint32_t Reserved; // always 0
};
struct Block2Layout {
    MsgHeader Header;
    uint8_t Record[BLOCK2_RECORD_SIZE];
    uint32_t Unused;
    TrafficSlot Traffic[20];
    int32_t SimConnected;
    int32_t FlightChanged;
};
struct Block3Layout {
    MsgHeader Header;
    uint8_t Record[BLOCK3_RECORD_SIZE];
};
#pragma pack(pop)

static_assert(sizeof(Block1Layout) == BLOCK1_SIZE);
static_assert(offsetof(Block1Layout, Record) == BLOCK_PAYLOAD);
static_assert(offsetof(Block1Layout, AircraftType) == BLOCK1_AIRCRAFT_TYPE);
static_assert(BLOCK1_PANEL_ON == BLOCK_PAYLOAD + 308);
static_assert(sizeof(TrafficSlot) == 32 && offsetof(TrafficSlot, ObjectId) == 24);
static_assert(sizeof(Block2Layout) == BLOCK2_SIZE);
static_assert(offsetof(Block2Layout, Record) == BLOCK_PAYLOAD);
static_assert(offsetof(Block2Layout, Traffic) == BLOCK2_TRAFFIC);
static_assert(sizeof(Block2Layout::Traffic) == BLOCK2_TRAFFIC_SIZE);
static_assert(offsetof(Block2Layout, SimConnected) == BLOCK2_SIM_CONNECTED);
static_assert(offsetof(Block2Layout, FlightChanged) == BLOCK2_FLIGHT_CHANGED);
static_assert(BLOCK2_FLAPS_POSITIONS == BLOCK_PAYLOAD + 220);
static_assert(sizeof(Block3Layout) == BLOCK3_SIZE);
static_assert(offsetof(Block3Layout, Record) == BLOCK_PAYLOAD);

struct Block {
    alignas(8) uint32_t Words[BLOCK_MAX_SIZE / 4]; // accessed through std::atomic_ref only
    std::atomic<uint32_t> Seq;                     // odd while a region is being written
    uint32_t Size;                                 // bytes sent: 360, 920 or 400
    int32_t Number;                                // block number in the header: 1, 2 or 3
};

// Zero-filled at process start. Who writes which region: see the comment at the top.
extern Block Block1;
extern Block Block2;
extern Block Block3;

// Publishes `size` bytes at `offset` (both multiples of 4) under the sequence counter.
// Only one thread (the main thread) may publish into a given block.
void BlockPublish(Block& block, uint32_t offset, const void* data, uint32_t size);
// Copies `size` bytes at `offset` (multiples of 4) as one consistent snapshot.
void BlockSnapshot(const Block& block, uint32_t offset, void* out, uint32_t size);

// Single words: atomic on their own, outside the sequence counter.
void BlockSetI32(Block& block, uint32_t offset, int32_t value);
int32_t BlockGetI32(const Block& block, uint32_t offset);
// A 64-bit value read as one consistent snapshot.
double BlockGetF64(const Block& block, uint32_t offset);

// Test hook: all three blocks back to zero.
void BlocksResetForTest();
