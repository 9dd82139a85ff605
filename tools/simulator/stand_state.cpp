#include "stand_state.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "stand_journal.h"

const char* const STAND_ENTRY_NAMES[ENTRY_COUNT] = {
    "Open",
    "RetrieveString",
    "WeatherRequestCloudState",
    "SetInputGroupState",
    "SubscribeToSystemEvent",
    "AddToDataDefinition",
    "RequestDataOnSimObject",
    "MapInputEventToClientEvent",
    "MapClientEventToSimEvent",
    "AddClientEventToNotificationGroup",
    "Close",
    "CallDispatch",
    "RequestDataOnSimObjectType",
    "SetDataOnSimObject",
    "TransmitClientEvent",
};

// Written and read by every entry point under StandMutex (see stand_state.h).
StandState Stand;
StandLock StandMutex;

uint64_t StandNowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

double StandFlightSeconds() {
    return static_cast<double>(StandNowMs() - Stand.StartMs) / 1000.0;
}

namespace {

const char* EnvText(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return (value != nullptr && value[0] != '\0') ? value : fallback;
}

int32_t EnvInt(const char* name, int32_t fallback) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] == '\0') {
        return fallback;
    }
    char* end = nullptr;
    long n = std::strtol(value, &end, 10);
    return (end != value) ? static_cast<int32_t>(n) : fallback;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

void StandEnsureStarted() {
    if (Stand.Started) {
        return;
    }
    Stand.Started = true;
    Stand.StartMs = StandNowMs();
    Stand.NextSerial = 1;
    StandOptions& o = Stand.Options;
    o.Running = EnvInt("KIVSIM_RUNNING", 1) != 0;
    o.FrameHz = EnvInt("KIVSIM_FRAME_HZ", 30);
    if (o.FrameHz <= 0) {
        o.FrameHz = 30;
    }
    StandCopyText(o.Model, sizeof o.Model, EnvText("KIVSIM_MODEL", "B738"));
    int32_t traffic = EnvInt("KIVSIM_TRAFFIC", 3);
    o.Traffic = traffic < 0 ? 0u : static_cast<uint32_t>(traffic);
    if (o.Traffic > STAND_MAX_TRAFFIC) {
        o.Traffic = STAND_MAX_TRAFFIC;
    }
    o.Generation = EnvInt("KIVSIM_GENERATION", 0) == 1;
    StandCopyText(o.JournalPath, sizeof o.JournalPath, EnvText("KIVSIM_JOURNAL", ""));
    o.JournalRecords = EnvInt("KIVSIM_JOURNAL_RECORDS", 0) == 1;
    o.JournalTimes = EnvInt("KIVSIM_JOURNAL_TIMES", 0) == 1;
    o.EveryFrame = EnvInt("KIVSIM_EVERY_FRAME", 0) == 1;
    StandCopyText(o.ControlPath, sizeof o.ControlPath, EnvText("KIVSIM_CONTROL", ""));
    o.UserId = 1; // as the simulator numbers it; the control `user-id` gives it another
    StandJournalConfigure(o.JournalPath, o.JournalRecords, o.JournalTimes);
    StandApplyFailList(EnvText("KIVSIM_FAIL", ""));
}

void StandForget() {
    std::memset(&Stand, 0, sizeof Stand);
    StandJournalClose();
}

void StandDropConnection() {
    Stand.Conn = StandConnection{};
    std::memset(Stand.Definitions, 0, sizeof Stand.Definitions);
    std::memset(Stand.Requests, 0, sizeof Stand.Requests);
    Stand.ClientEventCount = 0;
    Stand.SubscriptionCount = 0;
    Stand.InputCount = 0;
    Stand.GroupStateCount = 0;
    Stand.MemberCount = 0;
    // Messages of the old connection go with it; those of the control channel stay.
    uint32_t kept = 0;
    for (uint32_t i = 0; i < Stand.PendingCount; ++i) {
        if (Stand.Pending[i].Connection == 0) {
            Stand.Pending[kept++] = Stand.Pending[i];
        }
    }
    Stand.PendingCount = kept;
}

// Handles are distinct, non-null, never dereferenced addresses made from the serial.
SC_HANDLE StandHandleOf(uint32_t serial) {
    return reinterpret_cast<SC_HANDLE>(static_cast<uintptr_t>(0x5100000u + serial * 16u));
}

bool StandHandleIsOpen(SC_HANDLE handle) {
    return Stand.Conn.Serial != 0 && handle == StandHandleOf(Stand.Conn.Serial);
}

bool StandQueue(StandPendingKind kind, uint32_t connection, uint32_t a, uint32_t b, uint32_t c,
                const char* name, uint32_t d) {
    if (Stand.PendingCount >= STAND_MAX_PENDING) {
        return false;
    }
    StandPending& p = Stand.Pending[Stand.PendingCount++];
    p = StandPending{kind, connection, a, b, c, d, {}};
    StandCopyText(p.Name, sizeof p.Name, name != nullptr ? name : "");
    return true;
}

StandDefinition* StandFindDefinition(uint32_t id, bool create) {
    StandDefinition* freeSlot = nullptr;
    for (StandDefinition& d : Stand.Definitions) {
        if (d.Used && d.Id == id) {
            return &d;
        }
        if (!d.Used && freeSlot == nullptr) {
            freeSlot = &d;
        }
    }
    if (!create || freeSlot == nullptr) {
        return nullptr;
    }
    freeSlot->Used = true;
    freeSlot->Id = id;
    freeSlot->Count = 0;
    freeSlot->RecordSize = 0;
    return freeSlot;
}

StandRequest* StandFindRequest(uint32_t id, bool create) {
    StandRequest* freeSlot = nullptr;
    for (StandRequest& r : Stand.Requests) {
        if (r.Used && r.Id == id) {
            return &r;
        }
        if (!r.Used && freeSlot == nullptr) {
            freeSlot = &r;
        }
    }
    if (!create || freeSlot == nullptr) {
        return nullptr;
    }
    *freeSlot = StandRequest{};
    freeSlot->Used = true;
    freeSlot->Id = id;
    return freeSlot;
}

const char* StandClientEventName(uint32_t id) {
    for (uint32_t i = 0; i < Stand.ClientEventCount; ++i) {
        if (Stand.ClientEvents[i].Id == id) {
            return Stand.ClientEvents[i].Name;
        }
    }
    return nullptr;
}

const StandSubscription* StandFindSubscription(const char* name) {
    for (uint32_t i = 0; i < Stand.SubscriptionCount; ++i) {
        if (StandSameText(Stand.Subscriptions[i].Name, name)) {
            return &Stand.Subscriptions[i];
        }
    }
    return nullptr;
}

uint32_t StandInputGroupState(uint32_t group) {
    for (uint32_t i = 0; i < Stand.GroupStateCount; ++i) {
        if (Stand.GroupStates[i].Group == group) {
            return Stand.GroupStates[i].State;
        }
    }
    return SIMCONNECT_STATE_OFF;
}

uint32_t StandNotificationGroupOf(uint32_t event) {
    for (uint32_t i = 0; i < Stand.MemberCount; ++i) {
        if (Stand.Members[i].Event == event) {
            return Stand.Members[i].Group;
        }
    }
    return SIMCONNECT_UNUSED;
}

void StandTakeLateFailure(StandEntry entry) {
    uint32_t sendId = ++Stand.LastSendId;
    int32_t& left = Stand.LateFailLeft[entry];
    if (left == 0) {
        return;
    }
    if (left > 0) {
        --left;
    }
    // Index 1: the first parameter after the handle, as good a guess as the library makes.
    StandQueue(PENDING_EXCEPTION, 0, Stand.LateFailCode[entry], sendId, 1, "");
    StandJournal("LATE %s send=%u exception=%u", STAND_ENTRY_NAMES[entry], sendId,
                 Stand.LateFailCode[entry]);
}

bool StandTakeFailure(StandEntry entry) {
    int32_t& left = Stand.FailLeft[entry];
    if (left == 0) {
        return false;
    }
    if (left > 0) {
        --left;
    }
    return true;
}

bool StandScriptFailure(const char* args) {
    char name[64];
    const char* count = StandSplitWord(args, name, sizeof name);
    int32_t entry = StandEntryByName(name);
    int64_t n = 0;
    if (entry < 0 || !StandParseInt(count, &n) || n < -1 || n > 1000000000) {
        return false;
    }
    Stand.FailLeft[entry] = static_cast<int32_t>(n);
    return true;
}

void StandApplyFailList(const char* list) {
    char item[128];
    while (list != nullptr && *list != '\0') {
        const char* end = std::strchr(list, ';');
        size_t len = end != nullptr ? static_cast<size_t>(end - list) : std::strlen(list);
        StandCopyText(item, static_cast<uint32_t>(len + 1 < sizeof item ? len + 1 : sizeof item),
                      list);
        char word[16];
        const char* args = StandSplitWord(item, word, sizeof word);
        const char* text = std::strcmp(word, "fail") == 0 ? args : StandSkipBlanks(item);
        if (*text != '\0') {
            StandJournal("CONTROL fail %s -> %s", text, StandScriptFailure(text) ? "ok" : "bad");
        }
        list = end != nullptr ? end + 1 : nullptr;
    }
}

int32_t StandEntryByName(const char* name) {
    if (name == nullptr) {
        return -1;
    }
    const char* prefix = "simconnect_";
    size_t n = std::strlen(prefix);
    bool prefixed = std::strlen(name) > n;
    for (size_t i = 0; prefixed && i < n; ++i) {
        prefixed = Lower(name[i]) == prefix[i];
    }
    const char* bare = prefixed ? name + n : name;
    for (int32_t i = 0; i < ENTRY_COUNT; ++i) {
        if (StandSameText(bare, STAND_ENTRY_NAMES[i])) {
            return i;
        }
    }
    return -1;
}

bool StandSameText(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (Lower(*a) != Lower(*b)) {
            return false;
        }
    }
    return *a == *b;
}

void StandCopyText(char* dst, uint32_t size, const char* src) {
    if (size == 0) {
        return;
    }
    uint32_t i = 0;
    for (; src != nullptr && src[i] != '\0' && i + 1 < size; ++i) {
        dst[i] = src[i];
    }
    dst[i] = '\0';
}

const char* StandSkipBlanks(const char* s) {
    while (*s == ' ' || *s == '\t') {
        ++s;
    }
    return s;
}

const char* StandSplitWord(const char* line, char* word, uint32_t size) {
    line = StandSkipBlanks(line);
    uint32_t n = 0;
    for (; line[n] != '\0' && line[n] != ' ' && line[n] != '\t'; ++n) {
        if (n + 1 < size) {
            word[n] = Lower(line[n]);
        }
    }
    word[n + 1 < size ? n : size - 1] = '\0';
    return StandSkipBlanks(line + n);
}

bool StandParseInt(const char* text, int64_t* out) {
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 0); // decimal, or hex with 0x
    if (end == text || *StandSkipBlanks(end) != '\0') {
        return false;
    }
    *out = v;
    return true;
}
