#include "stand_control.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "stand_lock.h"

#include "stand_flight.h"
#include "stand_records.h"
#include "stand_state.h"

namespace {

// The journal: path, option and open file. Written by StandJournalConfigure/Close and the
// writers, all under JournalMutex, which is taken after StandMutex when both are held.
StandLock JournalMutex;
char JournalPath[260];
bool JournalRecords = false;
// Whether lines carry their time; atomic because Stamp reads it before taking the lock.
std::atomic<bool> JournalTimes{false};
FILE* JournalFile = nullptr;
// Hex text of one delivered message; used under JournalMutex only.
char HexBuffer[2 * STAND_MESSAGE_MAX + 1];

// Appends " us=<wall-clock microseconds>" to the text of `line` (of `size` bytes) when the
// journal is timed.
void Stamp(char* line, size_t size) {
    if (!JournalTimes.load()) {
        return;
    }
    using namespace std::chrono;
    auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    size_t n = std::strlen(line);
    std::snprintf(line + n, size - n, " us=%lld", static_cast<long long>(us));
}

bool OpenJournal() {
    if (JournalFile == nullptr && JournalPath[0] != '\0') {
        JournalFile = std::fopen(JournalPath, "ab");
    }
    return JournalFile != nullptr;
}

void WriteLine(const char* text) {
    if (!OpenJournal()) {
        return;
    }
    std::fputs(text, JournalFile);
    std::fputc('\n', JournalFile);
    std::fflush(JournalFile);
}

uint32_t U32At(const uint8_t* message, uint32_t size, uint32_t offset) {
    if (offset + 4 > size) {
        return 0;
    }
    uint32_t v = 0;
    for (int32_t i = 3; i >= 0; --i) {
        v = (v << 8) | message[offset + static_cast<uint32_t>(i)];
    }
    return v;
}

const char* SkipBlanks(const char* s) {
    while (*s == ' ' || *s == '\t') {
        ++s;
    }
    return s;
}

// The command word of `line` (lower case, into `word`) and a pointer to its argument text.
const char* SplitCommand(const char* line, char* word, uint32_t size) {
    line = SkipBlanks(line);
    uint32_t n = 0;
    for (; line[n] != '\0' && line[n] != ' ' && line[n] != '\t'; ++n) {
        if (n + 1 < size) {
            char c = line[n];
            word[n] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    word[n + 1 < size ? n : size - 1] = '\0';
    return SkipBlanks(line + n);
}

bool ParseInt(const char* text, int64_t* out) {
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 0); // decimal, or hex with 0x
    if (end == text) {
        return false;
    }
    end = const_cast<char*>(SkipBlanks(end));
    if (*end != '\0') {
        return false;
    }
    *out = v;
    return true;
}

bool ParseDouble(const char* text, double* out) {
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || *SkipBlanks(end) != '\0') {
        return false;
    }
    *out = v;
    return true;
}

// "fail <Entry> <n>": arguments are "<Entry> <n>".
bool ApplyFail(const char* args) {
    char name[64];
    const char* count = SplitCommand(args, name, sizeof name);
    int32_t entry = StandEntryByName(name);
    int64_t n = 0;
    if (entry < 0 || !ParseInt(count, &n) || n < -1 || n > 1000000000) {
        return false;
    }
    Stand.FailLeft[entry] = static_cast<int32_t>(n);
    return true;
}

// "late-fail <Entry> <n> <code>": the next n calls of Entry succeed, and each is answered by
// an EXCEPTION with `code` and its send id at a later dispatch.
bool ApplyLateFail(const char* args) {
    char name[64];
    char count[32];
    const char* code = SplitCommand(SplitCommand(args, name, sizeof name), count, sizeof count);
    int32_t entry = StandEntryByName(name);
    int64_t n = 0;
    int64_t c = 0;
    if (entry < 0 || !ParseInt(count, &n) || n < -1 || n > 1000000000 || !ParseInt(code, &c) ||
        c < 0 || c > 0xFFFFFFFFLL) {
        return false;
    }
    Stand.LateFailLeft[entry] = static_cast<int32_t>(n);
    Stand.LateFailCode[entry] = static_cast<uint32_t>(c);
    return true;
}

// "button <input>": the down (and, when mapped, the up) event of every mapping of the input
// whose input group is on.
const char* PressButton(const char* input) {
    bool delivered = false;
    for (uint32_t i = 0; i < Stand.InputCount; ++i) {
        const StandInput& in = Stand.Inputs[i];
        if (!StandSameText(in.Input, input) ||
            StandInputGroupState(in.Group) != SIMCONNECT_STATE_ON) {
            continue;
        }
        uint32_t serial = Stand.Conn.Serial;
        if (in.DownEvent != SIMCONNECT_UNUSED) {
            delivered |= StandQueue(PENDING_CLIENT_EVENT, serial, in.DownEvent, in.DownValue,
                                    StandNotificationGroupOf(in.DownEvent), "");
        }
        if (in.UpEvent != SIMCONNECT_UNUSED) {
            delivered |= StandQueue(PENDING_CLIENT_EVENT, serial, in.UpEvent, in.UpValue,
                                    StandNotificationGroupOf(in.UpEvent), "");
        }
    }
    return delivered ? "ok" : "ignored";
}

const char* Execute(const char* line) {
    char word[32];
    const char* args = SplitCommand(line, word, sizeof word);
    int64_t n = 0;
    if (std::strcmp(word, "running") == 0 && ParseInt(args, &n) && (n == 0 || n == 1)) {
        Stand.Options.Running = n == 1;
    } else if (std::strcmp(word, "quit") == 0 && *args == '\0') {
        if (Stand.Conn.Serial != 0) {
            StandQueue(PENDING_QUIT, Stand.Conn.Serial, 0, 0, 0, "");
        } else {
            Stand.Options.Running = false;
        }
    } else if (std::strcmp(word, "fail") == 0) {
        return ApplyFail(args) ? "ok" : "bad";
    } else if (std::strcmp(word, "exception") == 0 && ParseInt(args, &n)) {
        StandQueue(PENDING_EXCEPTION, 0, static_cast<uint32_t>(n), 1, 2, "");
    } else if (std::strcmp(word, "late-fail") == 0) {
        return ApplyLateFail(args) ? "ok" : "bad";
    } else if (std::strcmp(word, "event") == 0) {
        static const char* const EVENTS[] = {"SimStart", "Crashed", "FlightLoaded",
                                             "AircraftLoaded"};
        for (const char* e : EVENTS) {
            if (StandSameText(args, e)) {
                StandQueue(PENDING_SYSTEM_EVENT, 0, 0, 0, 0, e);
                return "ok";
            }
        }
        return "bad";
    } else if (std::strcmp(word, "button") == 0 && *args != '\0') {
        return PressButton(args);
    } else if (std::strcmp(word, "model") == 0) {
        StandCopyText(Stand.Options.Model, sizeof Stand.Options.Model, args);
    } else if (std::strcmp(word, "traffic") == 0 && ParseInt(args, &n) && n >= 0) {
        Stand.Options.Traffic =
            static_cast<uint32_t>(n > STAND_MAX_TRAFFIC ? STAND_MAX_TRAFFIC : n);
    } else if (std::strcmp(word, "set") == 0 && std::strrchr(args, '=') != nullptr) {
        const char* eq = std::strrchr(args, '=');
        char name[STAND_NAME_LEN];
        uint32_t len = static_cast<uint32_t>(eq - args);
        StandCopyText(name, len + 1 < sizeof name ? len + 1 : sizeof name, args);
        double value = 0.0;
        if (name[0] == '\0' || !ParseDouble(eq + 1, &value)) {
            return "bad";
        }
        return FlightSet(name, value) ? "ok" : "bad";
    } else if (std::strcmp(word, "generation") == 0 && ParseInt(args, &n) && (n == 0 || n == 1)) {
        Stand.Options.Generation = n == 1;
    } else if (std::strcmp(word, "cloud") == 0 && *args == '\0') {
        StandQueue(PENDING_CLOUD, 0, 0, 0, 0, "");
    } else if (std::strcmp(word, "reset") == 0 && *args == '\0') {
        StandRestart();
    } else {
        return "bad";
    }
    return "ok";
}

} // namespace

void StandJournalConfigure(const char* path, bool records, bool times) {
    std::lock_guard<StandLock> lock(JournalMutex);
    if (JournalFile != nullptr) {
        std::fclose(JournalFile);
        JournalFile = nullptr;
    }
    StandCopyText(JournalPath, sizeof JournalPath, path);
    JournalRecords = records;
    JournalTimes.store(times);
}

void StandJournalClose() {
    StandJournalConfigure("", false, false);
}

void StandJournal(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Stamp(line, sizeof line);
    std::lock_guard<StandLock> lock(JournalMutex);
    WriteLine(line);
}

void StandJournalDeliver(const uint8_t* message, uint32_t size) {
    std::lock_guard<StandLock> lock(JournalMutex);
    if (!OpenJournal()) {
        return;
    }
    uint32_t id = U32At(message, size, 8);
    bool data =
        id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA || id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE;
    uint32_t request = data || id == SIMCONNECT_RECV_ID_CLOUD_STATE ? U32At(message, size, 12) : 0;
    char line[256];
    int32_t n = std::snprintf(
        line, sizeof line, "DELIVER id=%u request=%u define=%u object=%u entry=%u size=%u", id,
        request, data ? U32At(message, size, 20) : 0, data ? U32At(message, size, 16) : 0,
        data ? U32At(message, size, 28) : 0, size);
    if (id == SIMCONNECT_RECV_ID_EVENT || id == SIMCONNECT_RECV_ID_EVENT_FILENAME) {
        n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " event=%u data=%u",
                           U32At(message, size, 16), U32At(message, size, 20));
    } else if (id == SIMCONNECT_RECV_ID_EXCEPTION) {
        n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " exception=%u",
                           U32At(message, size, 12));
    }
    Stamp(line, sizeof line);
    if (!JournalRecords) {
        WriteLine(line);
        return;
    }
    // Data messages show their record (from byte 40), all others the whole message.
    static const char DIGITS[] = "0123456789abcdef";
    uint32_t from =
        data ? static_cast<uint32_t>(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData)) : 0u;
    uint32_t to = size < STAND_MESSAGE_MAX ? size : STAND_MESSAGE_MAX;
    uint32_t bytes = to > from ? to - from : 0u;
    for (uint32_t i = 0; i < bytes; ++i) {
        HexBuffer[2 * i] = DIGITS[message[from + i] >> 4];
        HexBuffer[2 * i + 1] = DIGITS[message[from + i] & 0xF];
    }
    HexBuffer[2 * bytes] = '\0';
    std::fprintf(JournalFile, "%s hex=%s\n", line, HexBuffer);
    std::fflush(JournalFile);
}

void StandPollControl() {
    if (Stand.Options.ControlPath[0] == '\0') {
        return;
    }
    FILE* f = std::fopen(Stand.Options.ControlPath, "rb");
    if (f == nullptr) {
        return;
    }
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    if (size < Stand.ControlOffset) {
        Stand.ControlOffset = 0; // the file was replaced: start over
    }
    std::fseek(f, static_cast<long>(Stand.ControlOffset), SEEK_SET);
    char line[512];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        size_t n = std::strlen(line);
        if (n == 0 || line[n - 1] != '\n') {
            if (std::feof(f)) {
                break; // incomplete line: run it once it is finished
            }
            // Longer than any command: skip to its end.
            Stand.ControlOffset += static_cast<int64_t>(n);
            int c = 0;
            while ((c = std::fgetc(f)) != EOF && c != '\n') {
                ++Stand.ControlOffset;
            }
            Stand.ControlOffset += (c == '\n') ? 1 : 0;
            StandJournal("CONTROL (line too long) -> bad");
            continue;
        }
        Stand.ControlOffset += static_cast<int64_t>(n);
        while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) {
            line[--n] = '\0';
        }
        StandExecuteCommand(line);
    }
    std::fclose(f);
}

const char* StandExecuteCommand(const char* line) {
    const char* text = SkipBlanks(line);
    if (*text == '\0' || *text == '#') {
        return "ok";
    }
    const char* result = Execute(text);
    StandJournal("CONTROL %s -> %s", text, result);
    return result;
}

void StandApplyFailList(const char* list) {
    char item[128];
    while (list != nullptr && *list != '\0') {
        const char* end = std::strchr(list, ';');
        size_t len = end != nullptr ? static_cast<size_t>(end - list) : std::strlen(list);
        StandCopyText(item, static_cast<uint32_t>(len + 1 < sizeof item ? len + 1 : sizeof item),
                      list);
        char word[16];
        const char* args = SplitCommand(item, word, sizeof word);
        const char* text = std::strcmp(word, "fail") == 0 ? args : SkipBlanks(item);
        if (*text != '\0') {
            StandJournal("CONTROL fail %s -> %s", text, ApplyFail(text) ? "ok" : "bad");
        }
        list = end != nullptr ? end + 1 : nullptr;
    }
}
