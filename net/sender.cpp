// The block sender (see net/sender.h).
#include "net/sender.h"

#include <cstddef>
#include <cstring>

#include "net/link.h"
#include "platform/platform.h"
#include "support/log.h"

uint32_t BlockSequence = 0;
uint8_t SendBuffer[BLOCK_MAX_SIZE];

namespace {

template <typename T> void PutField(size_t offset, T value) {
    memcpy(SendBuffer + offset, &value, sizeof(value));
}

} // namespace

void UDPSend(Block& block) {
    const bool connected = CommMgrConnected.load() != 0;
    const uint32_t sequence = BlockSequence;

    // The header fields that belong to the block itself. Reserved and Length are never
    // written elsewhere; they are set here so a block always carries 0 in them.
    BlockSetI32(block, offsetof(MsgHeader, MsgClass), MSG_CLASS_DATA);
    BlockSetI32(block, offsetof(MsgHeader, MsgType), MSG_TYPE_BLOCK);
    BlockSetI32(block, offsetof(MsgHeader, Sequence), static_cast<int32_t>(sequence));
    BlockSetI32(block, offsetof(MsgHeader, Count), block.Number);
    BlockSetI32(block, offsetof(MsgHeader, Reserved), 0);
    BlockSetI32(block, offsetof(MsgHeader, Length), 0);

    BlockSnapshot(block, 0, SendBuffer, block.Size);

    if (connected) {
        // Stamped in the copy only.
        PutField(offsetof(MsgHeader, Version), MSG_VERSION);
        PutField(offsetof(MsgHeader, Source), NODE_ID);
        PutField(offsetof(MsgHeader, Destination), COMMGR_NODE);
        const NetAddr to = UnpackNetAddr(CommMgrAddr.load());
        if (Os.SendTo(ClientSocket.load(), SendBuffer, block.Size, to) < 0) {
            SimLog("UDPSend() - Client send error\n");
        }
    }

    BlockSequence = sequence + 1 >= BLOCK_SEQUENCE_LIMIT ? 0 : sequence + 1;
}

void BlockSender(void* param) {
    Block* const rotation[] = {&Block1, &Block2, &Block3};
    for (;;) {
        for (Block* block : rotation) {
            Os.SleepMs(BLOCK_INTERVAL_MS);
            UDPSend(*block);
        }
    }
}
