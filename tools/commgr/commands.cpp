// The commands the hub takes on standard input.
#include "tools/commgr/commands.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static_assert(COMMGR_MAX_SEND == 4096, "the messages below name the limit");

namespace {

// True when `line` starts with the word `word` followed by a blank or the end; `rest` then
// points past the blanks after it.
bool Word(const char* line, const char* word, const char** rest) {
    size_t n = strlen(word);
    if (strncmp(line, word, n) != 0 || (line[n] != '\0' && !isspace((unsigned char)line[n]))) {
        return false;
    }
    const char* p = line + n;
    while (isspace(static_cast<unsigned char>(*p))) {
        ++p;
    }
    *rest = p;
    return true;
}

void Invalid(Command* out, const char* format, const char* what) {
    out->Kind = CMD_INVALID;
    snprintf(out->Error, sizeof(out->Error), format, what);
}

void ParseSet(const char* args, Command* out) {
    out->SettingCount = 0;
    const char* p = args;
    while (*p != '\0') {
        char item[80];
        size_t n = 0;
        while (p[n] != '\0' && !isspace(static_cast<unsigned char>(p[n]))) {
            ++n;
        }
        if (n >= sizeof(item)) {
            Invalid(out, "set: \"%.40s...\" is too long", p);
            return;
        }
        memcpy(item, p, n);
        item[n] = '\0';
        if (out->SettingCount >= COMMAND_MAX_SETTINGS) {
            Invalid(out, "set: too many entries%s", "");
            return;
        }
        char error[120];
        if (!ParseVarSetting(item, &out->Settings[out->SettingCount], error, sizeof(error))) {
            Invalid(out, "set refused: %s", error);
            return;
        }
        ++out->SettingCount;
        p += n;
        while (isspace(static_cast<unsigned char>(*p))) {
            ++p;
        }
    }
    if (out->SettingCount == 0) {
        Invalid(out, "set needs IDX=VALUE [IDX=VALUE...]%s", "");
        return;
    }
    out->Kind = CMD_SET;
}

} // namespace

void ParseCommand(const char* line, Command* out) {
    out->Kind = CMD_EMPTY;
    out->SettingCount = 0;
    out->Size = 0;
    out->Error[0] = '\0';

    // The line without leading blanks and without trailing blanks (and '\r').
    char text[COMMAND_LINE_SIZE];
    while (isspace(static_cast<unsigned char>(*line))) {
        ++line;
    }
    size_t len = strlen(line);
    if (len >= sizeof(text)) {
        Invalid(out, "line too long%s", "");
        return;
    }
    memcpy(text, line, len + 1);
    while (len > 0 && isspace(static_cast<unsigned char>(text[len - 1]))) {
        text[--len] = '\0';
    }
    if (len == 0) {
        return;
    }

    const char* rest = nullptr;
    struct Simple {
        const char* Name;
        CommandKind Kind;
    };
    static const Simple SIMPLE[] = {
        {"pause", CMD_PAUSE},     {"resume", CMD_RESUME}, {"shutdown", CMD_SHUTDOWN},
        {"address", CMD_ADDRESS}, {"quit", CMD_QUIT},     {"help", CMD_HELP},
    };
    for (const Simple& s : SIMPLE) {
        if (Word(text, s.Name, &rest)) {
            if (*rest != '\0') {
                Invalid(out, "%s takes no arguments", s.Name);
                return;
            }
            out->Kind = s.Kind;
            return;
        }
    }
    if (Word(text, "set", &rest)) {
        ParseSet(rest, out);
    } else if (Word(text, "raw", &rest)) {
        if (*rest == '\0' || !ParseHexBytes(rest, out->Bytes, COMMGR_MAX_SEND, &out->Size)) {
            Invalid(out,
                    "raw needs hex bytes (\"01 00 00 00 ...\" or \"010000...\"), at most "
                    "%s bytes",
                    "4096");
            return;
        }
        out->Kind = CMD_RAW;
    } else if (Word(text, "size", &rest)) {
        char* end = nullptr;
        unsigned long n = strtoul(rest, &end, 10);
        if (!isdigit(static_cast<unsigned char>(*rest)) || *end != '\0' || n > COMMGR_MAX_SEND) {
            Invalid(out, "size needs a byte count 0 to %s", "4096");
            return;
        }
        out->Kind = CMD_SIZE;
        out->Size = static_cast<uint32_t>(n);
    } else {
        Invalid(out, "unknown command \"%.60s\" (try help)", text);
    }
}
