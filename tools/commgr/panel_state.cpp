// What the browser panel shows of the link.
#include "tools/commgr/panel_state.h"

#include <cstdarg>
#include <cstdio>

#include "tools/commgr/checks.h"
#include "tools/commgr/hub.h"

PanelBlockFigures PanelBlocks[4];
std::atomic<uint32_t> PanelRefusedBy[PANEL_REASONS];

static_assert(BLOCK_ERR_SEQ == 1u << (PANEL_REASONS - 1), "one counter per refusal reason");

void PanelNoteDatagram(int32_t blockNumber, uint32_t errors, bool gap, uint64_t nowMs) {
    PanelBlockFigures& b = PanelBlocks[blockNumber];
    b.LastMs.store(nowMs, std::memory_order_relaxed);
    if (gap) {
        b.Gaps.fetch_add(1, std::memory_order_relaxed);
    }
    if (errors != 0) {
        b.Refused.fetch_add(1, std::memory_order_relaxed);
    }
    for (uint32_t bit = 0; bit < PANEL_REASONS; ++bit) {
        if ((errors & (1u << bit)) != 0) {
            PanelRefusedBy[bit].fetch_add(1, std::memory_order_relaxed);
        }
    }
}

namespace {

// Appends to a fixed buffer; once it overflows, every later append is refused too.
struct Text {
    char* Out;
    size_t Size;
    size_t Used;
    bool Full;
};

void Put(Text* t, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Put(Text* t, const char* format, ...) {
    if (t->Full) {
        return;
    }
    va_list args;
    va_start(args, format);
    int n = vsnprintf(t->Out + t->Used, t->Size - t->Used, format, args);
    va_end(args);
    if (n < 0 || t->Used + static_cast<size_t>(n) >= t->Size) {
        t->Full = true;
        return;
    }
    t->Used += static_cast<size_t>(n);
}

void PutHex(Text* t, const uint8_t* data, uint32_t length) {
    static const char HEX[] = "0123456789abcdef";
    if (t->Full || t->Used + 2 * size_t{length} >= t->Size) {
        t->Full = true;
        return;
    }
    for (uint32_t i = 0; i < length; ++i) {
        t->Out[t->Used++] = HEX[data[i] >> 4];
        t->Out[t->Used++] = HEX[data[i] & 15];
    }
    t->Out[t->Used] = '\0';
}

} // namespace

size_t PanelSnapshot(uint64_t nowMs, char* out, size_t size) {
    Text t{out, size, 0, false};
    NetAddr peer{};
    char where[24] = "";
    if (UnpackEndpoint(PeerEndpoint.load(), &peer)) {
        FormatEndpoint(peer, where);
    }
    Put(&t,
        "{\"t\":%llu,\"peer\":\"%s\",\"paused\":%d,\"discoveries\":%u,\"answers\":%u,"
        "\"keepAlives\":%u,\"blocks\":[",
        static_cast<unsigned long long>(nowMs), where, Paused.load() ? 1 : 0,
        Counters.Discoveries.load(), Counters.AddressesSent.load(), Counters.KeepAlivesSent.load());
    for (int32_t n = 0; n <= 3; ++n) {
        const PanelBlockFigures& b = PanelBlocks[n];
        uint64_t last = b.LastMs.load(std::memory_order_relaxed);
        // A datagram noted after `nowMs` was read is as new as can be: its age is 0, never
        // negative (-1 stands for "never").
        long long age = last == 0 ? -1 : (last >= nowMs ? 0 : static_cast<long long>(nowMs - last));
        Put(&t, "%s{\"n\":%d,\"count\":%u,\"age\":%lld,\"gaps\":%u,\"refused\":%u}",
            n == 0 ? "" : ",", n, Counters.Blocks[n].load(), age,
            b.Gaps.load(std::memory_order_relaxed), b.Refused.load(std::memory_order_relaxed));
    }
    Put(&t, "],\"refusedBy\":{");
    bool first = true;
    for (uint32_t bit = 0; bit < PANEL_REASONS; ++bit) {
        uint32_t count = PanelRefusedBy[bit].load(std::memory_order_relaxed);
        if (count != 0) {
            char reason[32];
            FormatBlockErrors(1u << bit, reason, sizeof(reason));
            Put(&t, "%s\"%s\":%u", first ? "" : ",", reason, count);
            first = false;
        }
    }
    Put(&t, "},\"raw\":[");
    static thread_local uint8_t block[BLOCK_MAX_SIZE];
    for (int32_t n = 1; n <= 3; ++n) {
        Put(&t, "%s\"", n == 1 ? "" : ",");
        PutHex(&t, block, CopyLatestBlock(n, block));
        Put(&t, "\"");
    }
    Put(&t, "]}");
    return t.Full ? 0 : t.Used;
}
