#include "stand_control.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "stand_flight.h"
#include "stand_journal.h"
#include "stand_replay.h"
#include "stand_state.h"

namespace {

bool ParseDouble(const char* text, double* out) {
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || *StandSkipBlanks(end) != '\0') {
        return false;
    }
    *out = v;
    return true;
}

// "late-fail <Entry> <n> <code>": the next n calls of Entry succeed, and each is answered by
// an EXCEPTION with `code` and its send id at a later dispatch.
bool ApplyLateFail(const char* args) {
    char name[64];
    char count[32];
    const char* code = StandSplitWord(StandSplitWord(args, name, sizeof name), count, sizeof count);
    int32_t entry = StandEntryByName(name);
    int64_t n = 0;
    int64_t c = 0;
    if (entry < 0 || !StandParseInt(count, &n) || n < -1 || n > 1000000000 ||
        !StandParseInt(code, &c) || c < 0 || c > 0xFFFFFFFFLL) {
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
    const char* args = StandSplitWord(line, word, sizeof word);
    int64_t n = 0;
    if (std::strcmp(word, "running") == 0 && StandParseInt(args, &n) && (n == 0 || n == 1)) {
        Stand.Options.Running = n == 1;
    } else if (std::strcmp(word, "quit") == 0 && *args == '\0') {
        if (Stand.Conn.Serial != 0) {
            StandQueue(PENDING_QUIT, Stand.Conn.Serial, 0, 0, 0, "");
        } else {
            Stand.Options.Running = false;
        }
    } else if (std::strcmp(word, "crash") == 0 && *args == '\0') {
        // Gone without a quit message: every call on the connection fails from now on.
        StandDropConnection();
        Stand.Options.Running = false;
    } else if (std::strcmp(word, "user-id") == 0 && StandParseInt(args, &n) && n >= 1 &&
               n < STAND_AI_FIRST_ID) {
        Stand.Options.UserId = static_cast<uint32_t>(n);
    } else if (std::strcmp(word, "fail") == 0) {
        return StandScriptFailure(args) ? "ok" : "bad";
    } else if (std::strcmp(word, "exception") == 0 && StandParseInt(args, &n)) {
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
    } else if (std::strcmp(word, "traffic") == 0 && StandParseInt(args, &n) && n >= 0) {
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
    } else if (std::strcmp(word, "generation") == 0 && StandParseInt(args, &n) &&
               (n == 0 || n == 1)) {
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
    const char* text = StandSkipBlanks(line);
    if (*text == '\0' || *text == '#') {
        return "ok";
    }
    const char* result = Execute(text);
    StandJournal("CONTROL %s -> %s", text, result);
    return result;
}

void StandRestart() {
    int64_t executed = Stand.ControlOffset;
    StandForget();
    FlightReset();
    StandReplayReset();
    StandEnsureStarted();
    Stand.ControlOffset = executed;
}
