// What the hub checks in what it receives: the blocks' headers, their sequence continuity,
// and KivFSX's discovery broadcast.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/msg.h"
#include "platform/platform.h"

// Reasons a block is not as KivFSX must send it (bits of the CheckBlock result).
constexpr uint32_t BLOCK_ERR_SHORT = 1u << 0; // under 32 bytes: nothing else is checked
constexpr uint32_t BLOCK_ERR_SIZE = 1u << 1;  // not 360/920/400 for its block number
constexpr uint32_t BLOCK_ERR_CLASS = 1u << 2;
constexpr uint32_t BLOCK_ERR_TYPE = 1u << 3;
constexpr uint32_t BLOCK_ERR_COUNT = 1u << 4; // block number not 1 to 3
constexpr uint32_t BLOCK_ERR_RESERVED = 1u << 5;
constexpr uint32_t BLOCK_ERR_LENGTH = 1u << 6;
constexpr uint32_t BLOCK_ERR_VERSION = 1u << 7;
constexpr uint32_t BLOCK_ERR_SOURCE = 1u << 8;
constexpr uint32_t BLOCK_ERR_DEST = 1u << 9;
constexpr uint32_t BLOCK_ERR_SEQ = 1u << 10; // Sequence 1000 or more

// Block sizes by block number (index 0 unused).
extern const uint32_t BLOCK_SIZES[4];

// Checks one datagram received on the data port. Returns the error bits (0 = a good block)
// and sets `blockNumber` to the header's Count when it is 1 to 3, else to the block whose
// size the datagram has, else 0.
uint32_t CheckBlock(const uint8_t* data, uint32_t length, int32_t* blockNumber);
// The reasons as "size,class,..." (empty for 0).
void FormatBlockErrors(uint32_t errors, char* out, size_t size);

// Sequence continuity over all blocks: KivFSX's counter is shared by the three blocks and
// rises by one per datagram, modulo 1000, while the link is up. While the link is down the
// counter goes on rising with nothing sent, so after a silence the next number is taken as
// is instead of being reported as a gap.
constexpr uint64_t SEQ_RESYNC_SILENCE_MS = 1000; // blocks normally come every 70 ms

struct SeqTracker {
    bool Started;
    uint32_t Last;
    uint64_t LastMs;
};

// Takes the sequence number of a datagram received at `nowMs`. True when it is a gap, with
// the number that was due in `expected`.
bool SeqTrack(SeqTracker* tracker, uint32_t sequence, uint64_t nowMs, uint32_t* expected);

// KivFSX's discovery broadcast: header 2/9, version 503, source 14, and the text
// "<host address> <port> 1 1209\n".
struct Discovery {
    MsgHeader Header; // zero beyond the received bytes
    char Text[128];   // the payload text up to its first line end or NUL, cut to fit
    NetAddr Reply;    // where to answer: the announced address and port
    bool Valid;       // the header and text are what KivFSX sends
    char Reason[96];  // why not, when not valid
};

// Reads a datagram received on the listen port from `from`. An announced address of
// 0.0.0.0 (KivFSX could not find its own address) is replaced by the sender's address, which
// is where the broadcast really came from.
void ParseDiscovery(const uint8_t* data, uint32_t length, NetAddr from, Discovery* out);
