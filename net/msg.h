// The datagram format of the cockpit network: a 32-byte header in front of every datagram,
// the message kinds, and the entries of a variable-change message. All fields are
// little-endian (the x86 PC's own order); nothing is converted on sending or on receipt.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t MSG_VERSION = 503;
constexpr int16_t NODE_ID = 14;    // this node
constexpr int16_t COMMGR_NODE = 2; // the communication manager (hub)

constexpr int32_t MSG_CLASS_DATA = 1;
constexpr int32_t MSG_CLASS_NETWORK = 2;

constexpr int32_t MSG_TYPE_BLOCK = 1;      // data: a block of simulator state, to the hub
constexpr int32_t MSG_TYPE_FSX_IN = 2;     // data: variable changes, from the network
constexpr int32_t MSG_TYPE_UPDATE = 3;     // named by the message dump only
constexpr int32_t MSG_TYPE_ADDRESS = 5;    // network: the hub's address and port
constexpr int32_t MSG_TYPE_KEEP_ALIVE = 9; // network: keep-alive; also the discovery broadcast
constexpr int32_t MSG_TYPE_SHUTDOWN = 12;  // network: shutdown order

constexpr uint32_t MSG_HEADER_SIZE = 32;
// A received datagram must be shorter than this; a longer one is a fatal over-run.
constexpr int32_t MSG_MAX_RECEIVED = 500;

#pragma pack(push, 1)
struct MsgHeader {
    int32_t MsgClass;
    int32_t MsgType;
    uint32_t Sequence; // outgoing blocks: the shared block counter, 0 to 999
    int32_t Count;     // variable changes: entry count; outgoing blocks: block number 1 to 3
    uint32_t Reserved;
    int32_t Length;
    int32_t Version;
    int16_t Source;
    int16_t Destination;
};

// One entry of a variable-change message with a 32-bit integer value (var type 5).
struct VarChangeInt {
    uint32_t Index;
    int32_t Value;
};

// One entry of a variable-change message with a 64-bit floating value (var types 1 and 2).
struct VarChangeDouble {
    uint32_t Index;
    double Value;
};
#pragma pack(pop)

static_assert(sizeof(MsgHeader) == 32);
static_assert(offsetof(MsgHeader, MsgClass) == 0);
static_assert(offsetof(MsgHeader, MsgType) == 4);
static_assert(offsetof(MsgHeader, Sequence) == 8);
static_assert(offsetof(MsgHeader, Count) == 12);
static_assert(offsetof(MsgHeader, Reserved) == 16);
static_assert(offsetof(MsgHeader, Length) == 20);
static_assert(offsetof(MsgHeader, Version) == 24);
static_assert(offsetof(MsgHeader, Source) == 28);
static_assert(offsetof(MsgHeader, Destination) == 30);
static_assert(sizeof(VarChangeInt) == 8 && offsetof(VarChangeInt, Value) == 4);
static_assert(sizeof(VarChangeDouble) == 12 && offsetof(VarChangeDouble, Value) == 4);

// Set by the first failed version check of the process; never cleared. Receive thread only.
extern bool VersionReported;

// True when the header's Version is MSG_VERSION. The first mismatch of the process writes
// two log lines naming `caller`; every later one writes nothing.
bool ValidateMsgVersion(const MsgHeader& msg, const char* caller);

// Writes the header of a refused datagram to the log, naming `caller`.
void LogMessage(const MsgHeader& msg, const char* caller);
