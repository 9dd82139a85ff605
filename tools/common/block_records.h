// Which block carries the record of which data definition, and where: the join of the
// program's block layout (net/blocks.h) and its data requests (sim/requests.h), for the tools
// that read records out of blocks (the dissector's generator, the hub emulator, the stand-in's
// replay).
#pragma once

#include <cstdint>

#include "net/blocks.h"
#include "sim/requests.h"

struct BlockRecordPlace {
    int32_t Block;       // block number, the header's Count
    uint32_t Size;       // datagram bytes
    uint32_t Definition; // data definition whose record is the payload
    uint32_t RecordSize; // record bytes, from BLOCK_PAYLOAD on
};

constexpr BlockRecordPlace BLOCK_RECORD_PLACES[] = {
    {1, BLOCK1_SIZE, DEFINITION_BLOCK1, BLOCK1_RECORD_SIZE},
    {2, BLOCK2_SIZE, DEFINITION_BLOCK2, BLOCK2_RECORD_SIZE},
    {3, BLOCK3_SIZE, DEFINITION_BLOCK3, BLOCK3_RECORD_SIZE},
};
constexpr uint32_t BLOCK_RECORD_MAX_SIZE = BLOCK3_RECORD_SIZE;
static_assert(BLOCK1_RECORD_SIZE <= BLOCK_RECORD_MAX_SIZE &&
              BLOCK2_RECORD_SIZE <= BLOCK_RECORD_MAX_SIZE);
constexpr uint32_t BLOCK2_TRAFFIC_SLOTS = BLOCK2_TRAFFIC_SIZE / sizeof(TrafficSlot);

// The place of block `number`, or null for a number no block has.
constexpr const BlockRecordPlace* BlockPlaceOfNumber(int32_t number) {
    for (const BlockRecordPlace& p : BLOCK_RECORD_PLACES) {
        if (p.Block == number) {
            return &p;
        }
    }
    return nullptr;
}

// The place of the block that carries `definition`, or null for a definition no block carries.
constexpr const BlockRecordPlace* BlockPlaceOfDefinition(uint32_t definition) {
    for (const BlockRecordPlace& p : BLOCK_RECORD_PLACES) {
        if (p.Definition == definition) {
            return &p;
        }
    }
    return nullptr;
}
