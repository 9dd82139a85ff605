// The block sender: every 70 ms the next of Block1, Block2, Block3 goes to the
// communication manager while the link is up.
#pragma once

#include <cstdint>

#include "net/blocks.h"

constexpr uint32_t BLOCK_INTERVAL_MS = 70;
constexpr uint32_t BLOCK_SEQUENCE_LIMIT = 1000; // the counter runs 0 to 999

// Shared by the three blocks; starts at 0 and advances on every UDPSend, sent or not.
// Written and read by the sender thread only.
extern uint32_t BlockSequence;
// The one copy of a block that is sent. Sender thread only.
extern uint8_t SendBuffer[BLOCK_MAX_SIZE];

// Stamps the block's header, copies the block into SendBuffer and, while the link is up,
// sends it to the communication manager. Failures are only logged.
void UDPSend(Block& block);
// Thread procedure: for ever, for blocks 1, 2, 3: sleep 70 ms, then UDPSend.
void BlockSender(void* param);
