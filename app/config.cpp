// The configuration file "kivfsx.cfg".
#include "app/config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "support/log.h"
#include "support/process.h"

int32_t ListenPort = DEFAULT_LISTEN_PORT;

namespace {

constexpr size_t TOKEN_SIZE = 100; // a token of at most 99 characters

// Reads the next white-space separated token. A longer token is cut to its first 99
// characters and the rest of it is skipped, so it never runs into the next token.
bool ReadToken(FILE* f, char* token) {
    int c;
    do {
        c = fgetc(f);
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f');
    if (c == EOF) {
        return false;
    }
    size_t len = 0;
    while (c != EOF && c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f') {
        if (len < TOKEN_SIZE - 1) {
            token[len++] = static_cast<char>(c);
        }
        c = fgetc(f);
    }
    token[len] = '\0';
    return true;
}

} // namespace

void ReadCfgFile() {
    FILE* f = Os.OpenFile("kivfsx.cfg", "r");
    if (f == nullptr) {
        return;
    }
    SimLog("Config file \"kivfsx.cfg\" opened\n");
    char key[TOKEN_SIZE];
    char value[TOKEN_SIZE];
    bool haveKey = ReadToken(f, key);
    bool haveValue = haveKey && ReadToken(f, value);
    if (!haveKey) {
        // An empty file says nothing: the default port stays.
    } else if (strcmp(key, "port") != 0) {
        // The message line holds 100 bytes: a key of more than 77 characters is cut so
        // that the line still ends with its line end.
        SimLogf("Unable to recognize: %.77s\n", key);
    } else if (!haveValue) {
        SimLog("ReadCfgFile() - No value for port\n");
    } else {
        ListenPort = DecimalValue(value);
    }
    fclose(f);
    SimLog("Cfg file closed\n");
}
