// What the browser panel shows of the link, beside the hub's counters: per block, the time of
// its last datagram, its sequence gaps and the datagrams refused; and the refusals by reason.
// The data thread notes every datagram (a few relaxed atomic adds); the panel's threads read
// and build one snapshot per update, only while a page is open.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr uint32_t PANEL_REASONS = 11; // the BLOCK_ERR_* bits (tools/commgr/checks.h)

struct PanelBlockFigures {
    std::atomic<uint64_t> LastMs; // hub time of the block's last datagram, 0: none yet
    std::atomic<uint32_t> Gaps;   // sequence gaps found at one of its datagrams
    std::atomic<uint32_t> Refused;
};
// By block number 1 to 3; [0]: datagrams that name no block.
extern PanelBlockFigures PanelBlocks[4];
extern std::atomic<uint32_t> PanelRefusedBy[PANEL_REASONS];

// Data thread: one datagram of block `blockNumber` (0: none) with the CheckBlock `errors`,
// which was a sequence gap or not, received at hub time `nowMs`.
void PanelNoteDatagram(int32_t blockNumber, uint32_t errors, bool gap, uint64_t nowMs);

// The page's update as one JSON object, into `out`; its length, 0 when it does not fit. No
// allocation; any thread.
size_t PanelSnapshot(uint64_t nowMs, char* out, size_t size);
// Room that a snapshot always fits in.
constexpr size_t PANEL_SNAPSHOT_SIZE = 8192;
