// The data thread: receives the blocks, checks and decodes them, and records what it saw.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "tools/commgr/checks.h"
#include "tools/commgr/faults.h"
#include "tools/commgr/hub.h"
#include "tools/commgr/panel_state.h"
#include "tools/commgr/record.h"

namespace {

// The latest datagram of each block number whose size is right for it. Written by the data
// thread, read by main for the summary, both under LatestLock.
std::mutex LatestLock;
uint8_t LatestBlocks[4][BLOCK_MAX_SIZE];
uint32_t LatestLengths[4];

// The data thread's own: continuity, and whether the --set changes went out.
SeqTracker Sequence;
bool FirstBlockSeen = false;

const char HEX[] = "0123456789abcdef";

void RecordPayload(int32_t n, uint32_t seq, const uint8_t* data, uint32_t length) {
    static char hex[2 * BLOCK_MAX_SIZE + 1]; // data thread only
    uint32_t k = 0;
    for (uint32_t i = MSG_HEADER_SIZE; i < length && i < BLOCK_MAX_SIZE; ++i) {
        hex[k++] = HEX[data[i] >> 4];
        hex[k++] = HEX[data[i] & 15];
    }
    hex[k] = '\0';
    RecordLine("PAYLOAD n=%d seq=%u hex=%s", n, seq, hex);
}

void HandleDatagram(const uint8_t* data, uint32_t length) {
    uint64_t now = HubNowMs();
    int32_t n = 0;
    uint32_t errors = CheckBlock(data, length, &n);
    MsgHeader h{};
    memcpy(&h, data, length < sizeof(h) ? length : sizeof(h));

    Counters.Blocks[n].fetch_add(1);
    Counters.LastBlockMs.store(now);
    if (errors != 0) {
        Counters.HeaderErrors.fetch_add(1);
    }
    if (HubRecording) {
        char reasons[128];
        FormatBlockErrors(errors, reasons, sizeof(reasons));
        RecordLine("BLOCK n=%d seq=%u len=%u ok=%d%s%s t=%llu", n, h.Sequence, length,
                   errors == 0 ? 1 : 0, errors == 0 ? "" : " err=", reasons,
                   static_cast<unsigned long long>(now));
    }
    // Continuity is followed over every datagram that carries a usable sequence number.
    uint32_t expected = 0;
    bool gap = length >= MSG_HEADER_SIZE && h.Sequence < 1000 &&
               SeqTrack(&Sequence, h.Sequence, now, &expected);
    if (gap) {
        Counters.Gaps.fetch_add(1);
        if (HubRecording) {
            RecordLine("GAP expected=%u got=%u", expected, h.Sequence);
        }
    }
    PanelNoteDatagram(n, errors, gap, now);
    if (n == 0 || length != BLOCK_SIZES[n]) {
        return; // nothing to decode
    }
    StoreLatestBlock(n, data, length);
    if (HubRecording) {
        if (HubOptions.RecordPayload) {
            RecordPayload(n, h.Sequence, data, length);
        }
        for (uint32_t f = 0; f < HubFieldCount; ++f) {
            char value[FIELD_VALUE_SIZE];
            if (FormatFieldValue(HubFields[f], n, data, length, value, sizeof(value))) {
                RecordLine("VALUE n=%d seq=%u name=\"%s\" value=%s", n, h.Sequence,
                           HubFields[f].Name, value);
            }
        }
        if (HubOptions.CheckUniform) {
            RecordLine("UNIFORM n=%d seq=%u ok=%d", n, h.Sequence,
                       RecordIsUniform(n, data, length) ? 1 : 0);
        }
    }
    if (!FirstBlockSeen) {
        FirstBlockSeen = true;
        Notice("commgr: blocks are arriving\n");
        SendStartupSets();
    }
}

} // namespace

void StoreLatestBlock(int32_t blockNumber, const uint8_t* data, uint32_t length) {
    std::lock_guard<std::mutex> hold(LatestLock);
    memcpy(LatestBlocks[blockNumber], data, length);
    LatestLengths[blockNumber] = length;
}

uint32_t CopyLatestBlock(int32_t blockNumber, uint8_t* out) {
    std::lock_guard<std::mutex> hold(LatestLock);
    memcpy(out, LatestBlocks[blockNumber], LatestLengths[blockNumber]);
    return LatestLengths[blockNumber];
}

void DataThread(void*) {
    static uint8_t buffer[4096]; // this thread's only
    for (;;) {
        NetAddr from{};
        int32_t got = Os.RecvFrom(DataSocket, buffer, sizeof(buffer), &from);
        if (got < 0) {
            Counters.ReceiveErrors.fetch_add(1);
            Os.SleepMs(10);
            continue;
        }
        HubReceived(HubOptions.DataPort, from, buffer, static_cast<uint32_t>(got));
        if (FaultsOn()) {
            // The handler then runs on the faults' thread only.
            FaultReceive(
                [](const uint8_t* data, uint32_t length, NetAddr) { HandleDatagram(data, length); },
                HubOptions.DataPort, buffer, static_cast<uint32_t>(got), from);
        } else {
            HandleDatagram(buffer, static_cast<uint32_t>(got));
        }
    }
}
