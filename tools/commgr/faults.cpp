// The hub's faulty network (see tools/commgr/faults.h).
#include "tools/commgr/faults.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "net/msg.h"
#include "tools/commgr/checks.h"
#include "tools/commgr/hub.h"

namespace {

constexpr uint32_t QUEUE_SLOTS = 512;
constexpr uint32_t MAX_DATAGRAM = 2048;
constexpr uint32_t HEX_UP_TO = 64; // datagrams up to this long are logged whole
constexpr uint32_t PUMP_MS = 1;
constexpr uint32_t REORDER_MIN_MS = 50;

enum Direction : int32_t { DIR_OUT = 0, DIR_IN = 1 };
const char* const DIRECTION_NAMES[] = {"out", "in"};

struct Copy {
    bool Used;
    uint64_t DueMs;
    uint64_t Order; // ties in DueMs go in the order queued
    int32_t Dir;
    uint32_t Id;
    uint32_t CopyNumber;
    FaultHandler Handler; // incoming only
    uint16_t Port;        // incoming: the hub's port it arrived on
    NetAddr Peer;         // outgoing: destination; incoming: sender
    uint32_t DelayMs;
    int32_t CorruptAt; // -1: whole
    uint8_t CorruptXor;
    uint32_t Length;
    uint8_t Data[MAX_DATAGRAM];
};

FaultPlan Plan;
bool On = false;
FILE* Log = nullptr;
std::mutex Lock; // guards everything below and the log
Copy Queue[QUEUE_SLOTS];
uint64_t Queued = 0;
uint32_t NextId[2] = {0, 0};
uint64_t Rng[2] = {0, 0};

// splitmix64: small, seedable, the same on every platform.
uint64_t Draw(int32_t dir) {
    uint64_t z = (Rng[dir] += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
bool Chance(int32_t dir, uint32_t ppm) {
    return Draw(dir) % 1000000 < ppm;
}
uint32_t Between(int32_t dir, uint32_t low, uint32_t high) {
    return high <= low ? low : low + static_cast<uint32_t>(Draw(dir) % (high - low + 1));
}

void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogLine(const char* format, ...) {
    if (Log == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    vfprintf(Log, format, args);
    va_end(args);
    fputc('\n', Log);
    fflush(Log);
}

void HeaderOf(const uint8_t* data, uint32_t length, MsgHeader* h) {
    memset(h, 0, sizeof(*h));
    memcpy(h, data, length < sizeof(*h) ? length : sizeof(*h));
}

// Draws the fate of one datagram and queues its copies (under Lock).
void Admit(int32_t dir, FaultHandler handler, uint16_t port, const uint8_t* data, uint32_t length,
           NetAddr peer) {
    std::lock_guard<std::mutex> hold(Lock);
    uint32_t id = ++NextId[dir];
    MsgHeader h;
    HeaderOf(data, length, &h);
    if (Chance(dir, Plan.LossPpm)) {
        LogLine("t=%llu dir=%s id=%u fate=lost len=%u class=%d type=%d",
                static_cast<unsigned long long>(HubNowMs()), DIRECTION_NAMES[dir], id, length,
                h.MsgClass, h.MsgType);
        return;
    }
    uint32_t copies = Chance(dir, Plan.DupPpm) ? 2 : 1;
    for (uint32_t c = 1; c <= copies; ++c) {
        uint32_t delay = Between(dir, Plan.DelayMinMs, Plan.DelayMaxMs);
        if (Chance(dir, Plan.ReorderPpm)) {
            delay += Between(dir, REORDER_MIN_MS, Plan.ReorderMaxMs);
        }
        int32_t corruptAt = -1;
        uint8_t corruptXor = 0;
        if (length > 0 && Chance(dir, Plan.CorruptPpm)) {
            corruptAt = static_cast<int32_t>(Draw(dir) % length);
            corruptXor = static_cast<uint8_t>(1 + Draw(dir) % 255);
        }
        Copy* slot = nullptr;
        for (Copy& q : Queue) {
            if (!q.Used) {
                slot = &q;
                break;
            }
        }
        if (slot == nullptr || length > MAX_DATAGRAM) {
            LogLine("t=%llu dir=%s id=%u copy=%u fate=overflow len=%u class=%d type=%d",
                    static_cast<unsigned long long>(HubNowMs()), DIRECTION_NAMES[dir], id, c,
                    length, h.MsgClass, h.MsgType);
            continue;
        }
        *slot = Copy{true,  HubNowMs() + delay, ++Queued,   dir,    id, c, handler, port, peer,
                     delay, corruptAt,          corruptXor, length, {}};
        memcpy(slot->Data, data, length);
        if (corruptAt >= 0) {
            slot->Data[corruptAt] ^= corruptXor;
        }
    }
}

// Logs the fate of a copy that is due now (under Lock).
void LogDelivery(const Copy& q) {
    MsgHeader h;
    uint8_t original[MSG_HEADER_SIZE] = {};
    memcpy(original, q.Data, q.Length < sizeof(original) ? q.Length : sizeof(original));
    if (q.CorruptAt >= 0 && q.CorruptAt < static_cast<int32_t>(sizeof(original))) {
        original[q.CorruptAt] ^= q.CorruptXor;
    }
    HeaderOf(original, q.Length, &h);
    char corrupt[16] = "-";
    if (q.CorruptAt >= 0) {
        snprintf(corrupt, sizeof(corrupt), "%d:%02x", q.CorruptAt, q.CorruptXor);
    }
    char hex[2 * HEX_UP_TO + 1] = "";
    if (q.Length <= HEX_UP_TO) {
        for (uint32_t i = 0; i < q.Length; ++i) {
            snprintf(hex + 2 * i, 3, "%02x", q.Data[i]);
        }
    }
    // The hub's verdict on a changed block: what its checks refuse it for ("-": nothing).
    char check[128] = "";
    if (q.Dir == DIR_IN && q.CorruptAt >= 0 && q.Port == HubOptions.DataPort) {
        int32_t n = 0;
        uint32_t errors = CheckBlock(q.Data, q.Length, &n);
        char reasons[112];
        FormatBlockErrors(errors, reasons, sizeof(reasons));
        snprintf(check, sizeof(check), " check=%s", errors == 0 ? "-" : reasons);
    }
    LogLine("t=%llu dir=%s id=%u copy=%u fate=%s len=%u class=%d type=%d delay=%u corrupt=%s%s"
            "%s%s",
            static_cast<unsigned long long>(HubNowMs()), DIRECTION_NAMES[q.Dir], q.Id, q.CopyNumber,
            q.Dir == DIR_OUT ? "sent" : "delivered", q.Length, h.MsgClass, h.MsgType, q.DelayMs,
            corrupt, check, hex[0] != '\0' ? " hex=" : "", hex);
}

// The queue's thread: the due copies, earliest first.
void Pump(void*) {
    static Copy due; // this thread's only
    for (;;) {
        bool found = false;
        {
            std::lock_guard<std::mutex> hold(Lock);
            uint64_t now = HubNowMs();
            Copy* first = nullptr;
            for (Copy& q : Queue) {
                if (q.Used && q.DueMs <= now &&
                    (first == nullptr || q.DueMs < first->DueMs ||
                     (q.DueMs == first->DueMs && q.Order < first->Order))) {
                    first = &q;
                }
            }
            if (first != nullptr) {
                LogDelivery(*first);
                memcpy(&due, first, sizeof(due));
                first->Used = false;
                found = true;
            }
        }
        if (!found) {
            Os.SleepMs(PUMP_MS);
            continue;
        }
        if (due.Dir == DIR_OUT) {
            HubSendNow(due.Data, due.Length, due.Peer);
        } else {
            due.Handler(due.Data, due.Length, due.Peer);
        }
    }
}

bool ParseShare(const char* text, uint32_t* ppm) {
    char* end = nullptr;
    double percent = strtod(text, &end);
    if (end == text || *end != '\0' || !(percent >= 0 && percent <= 100)) {
        return false;
    }
    *ppm = static_cast<uint32_t>(percent * 10000 + 0.5);
    return true;
}

bool ParseMs(const char* text, uint32_t* ms) {
    char* end = nullptr;
    unsigned long value = strtoul(text, &end, 10);
    if (end == text || *end != '\0' || value > 60000) {
        return false;
    }
    *ms = static_cast<uint32_t>(value);
    return true;
}

} // namespace

bool ParseFaults(const char* text, FaultPlan* out, char* error, size_t size) {
    *out = FaultPlan{};
    out->ReorderMaxMs = 1200;
    char copy[256];
    snprintf(copy, sizeof(copy), "%s", text);
    for (char* item = strtok(copy, ","); item != nullptr; item = strtok(nullptr, ",")) {
        char* eq = strchr(item, '=');
        if (eq == nullptr) {
            snprintf(error, size, "\"%s\" is not NAME=VALUE", item);
            return false;
        }
        *eq = '\0';
        const char* value = eq + 1;
        bool ok = false;
        if (strcmp(item, "loss") == 0) {
            ok = ParseShare(value, &out->LossPpm);
        } else if (strcmp(item, "dup") == 0) {
            ok = ParseShare(value, &out->DupPpm);
        } else if (strcmp(item, "reorder") == 0) {
            ok = ParseShare(value, &out->ReorderPpm);
        } else if (strcmp(item, "corrupt") == 0) {
            ok = ParseShare(value, &out->CorruptPpm);
        } else if (strcmp(item, "reorder-ms") == 0) {
            ok = ParseMs(value, &out->ReorderMaxMs) && out->ReorderMaxMs >= REORDER_MIN_MS;
        } else if (strcmp(item, "delay") == 0) {
            char low[16];
            const char* dash = strchr(value, '-');
            size_t n = dash != nullptr ? static_cast<size_t>(dash - value) : strlen(value);
            if (n < sizeof(low)) {
                memcpy(low, value, n);
                low[n] = '\0';
                ok = ParseMs(low, &out->DelayMinMs) &&
                     ParseMs(dash != nullptr ? dash + 1 : low, &out->DelayMaxMs) &&
                     out->DelayMinMs <= out->DelayMaxMs;
            }
        } else {
            snprintf(error, size,
                     "unknown fault \"%s\" (loss, dup, reorder, corrupt, delay, "
                     "reorder-ms)",
                     item);
            return false;
        }
        if (!ok) {
            snprintf(error, size, "bad value \"%s\" for %s", value, item);
            return false;
        }
    }
    return true;
}

bool FaultsStart(const FaultPlan& plan, uint32_t seed, const char* logPath, char* error,
                 size_t size) {
    Plan = plan;
    Rng[DIR_OUT] = uint64_t{seed} * 2 + 1;
    Rng[DIR_IN] = uint64_t{seed} * 2 + 2;
    if (logPath != nullptr && logPath[0] != '\0') {
        Log = fopen(logPath, "w");
        if (Log == nullptr) {
            snprintf(error, size, "cannot create the fault log \"%s\"", logPath);
            return false;
        }
        // start: the monotonic clock (ms) at the hub's start, from which every t= counts.
        LogLine("faults start=%llu seed=%u loss=%u dup=%u reorder=%u corrupt=%u delay=%u-%u "
                "reorder-ms=%u",
                static_cast<unsigned long long>(HubStartMs), seed, plan.LossPpm, plan.DupPpm, plan.ReorderPpm, plan.CorruptPpm, plan.DelayMinMs,
                plan.DelayMaxMs, plan.ReorderMaxMs);
    }
    On = true;
    if (!Os.StartThread(Pump, nullptr)) {
        snprintf(error, size, "cannot start the faults' thread");
        return false;
    }
    return true;
}

bool FaultsOn() {
    return On;
}

void FaultSend(const uint8_t* data, uint32_t length, NetAddr to) {
    Admit(DIR_OUT, nullptr, 0, data, length, to);
}

void FaultReceive(FaultHandler handler, uint16_t port, const uint8_t* data, uint32_t length,
                  NetAddr from) {
    Admit(DIR_IN, handler, port, data, length, from);
}
