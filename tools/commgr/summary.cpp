// The live summary: a few lines every --summary-ms on the console.
#include <cstdio>

#include "tools/commgr/hub.h"

namespace {

// Blocks normally arrive every 70 ms; this much silence means they have stopped.
constexpr uint64_t SUMMARY_SILENCE_MS = 1000;

const char* LinkState(uint64_t now) {
    uint64_t last = Counters.LastBlockMs.load();
    uint32_t blocks = Counters.Blocks[0].load() + Counters.Blocks[1].load() +
                      Counters.Blocks[2].load() + Counters.Blocks[3].load();
    if (blocks > 0 && now - last <= SUMMARY_SILENCE_MS) {
        return "up, blocks arriving";
    }
    if (blocks > 0) {
        return "blocks stopped";
    }
    if (Answered.load()) {
        return "answered, no block yet";
    }
    if (PeerEndpoint.load() != 0) {
        return "discovery heard, not answered";
    }
    return "waiting for a discovery";
}

} // namespace

void PrintSummary() {
    uint64_t now = HubNowMs();
    char peer[24] = "none";
    NetAddr to{};
    if (UnpackEndpoint(PeerEndpoint.load(), &to)) {
        FormatEndpoint(to, peer);
    }
    printf("--- commgr %llu.%03llus: link: %s%s; KivFSX %s\n",
           static_cast<unsigned long long>(now / 1000), static_cast<unsigned long long>(now % 1000),
           LinkState(now), Paused.load() ? " (paused)" : "", peer);
    printf("    discoveries %u, addresses %u, keep-alives %u\n", Counters.Discoveries.load(),
           Counters.AddressesSent.load(), Counters.KeepAlivesSent.load());
    printf("    blocks 1:%u 2:%u 3:%u other:%u, header errors %u, sequence gaps %u, "
           "receive errors %u\n",
           Counters.Blocks[1].load(), Counters.Blocks[2].load(), Counters.Blocks[3].load(),
           Counters.Blocks[0].load(), Counters.HeaderErrors.load(), Counters.Gaps.load(),
           Counters.ReceiveErrors.load());

    static uint8_t block[4][BLOCK_MAX_SIZE]; // main thread only
    uint32_t length[4] = {0, 0, 0, 0};
    for (int32_t n = 1; n <= 3; ++n) {
        length[n] = CopyLatestBlock(n, block[n]);
    }
    for (uint32_t f = 0; f < HubFieldCount; ++f) {
        // A field carried by two blocks (e.g. "Nav Has DME:1") shows the value of each.
        for (int32_t n = 3; n >= 1; --n) {
            char value[FIELD_VALUE_SIZE];
            if (HubFields[f].Where[n].Type == 0) {
                continue;
            }
            if (length[n] == 0) {
                printf("    %-32s (no block %d yet)\n", HubFields[f].Name, n);
            } else if (FormatFieldValue(HubFields[f], n, block[n], length[n], value,
                                        sizeof(value))) {
                printf("    %-32s %s  [block %d]\n", HubFields[f].Name, value, n);
            }
            if (HubFields[f].Where[n].Type == FIELD_TYPE_TRAFFIC && length[n] != 0) {
                char slots[2048];
                FormatTraffic(block[n], length[n], slots, sizeof(slots));
                printf("%s", slots);
            }
        }
    }
    fflush(stdout);
}
