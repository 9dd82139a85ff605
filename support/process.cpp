// Start-up state, the command line, and the ways the process ends.
#include "support/process.h"

#include <cstdarg>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

char ProgramPath[PROGRAM_PATH_SIZE];
bool ProgramPathComplete = false;
int32_t RestartCount = 0;

void ParseCommandLine() {
    // A program path longer than the buffer is cut; Restart then refuses to relaunch a path
    // it cannot reproduce (it rebuilds the command line and checks that it fits).
    ProgramPathComplete = PlatformArg(0, ProgramPath, sizeof(ProgramPath));
    RestartCount = 0;
    if (PlatformArgCount() == 3) {
        char count[50];
        // A longer count argument is cut to its first 49 characters, as atoi would read them.
        PlatformArg(2, count, sizeof(count));
        RestartCount = DecimalValue(count);
    }
}

int32_t DecimalValue(const char* text) {
    long long value = strtoll(text, nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

void ExitProcess(int32_t code) {
    Os.Exit(code);
    abort(); // the platform's exit does not come back
}

void PressEnterExit() {
    ConsolePrint("\nPress \"Enter\" to exit...");
    Os.ReadConsoleChar();
    ExitProcess(EXIT_FATAL);
}

void ConsolePrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}

void ShownValue(const char* value, size_t length, char* out) {
    if (length <= SHOWN_VALUE_MAX) {
        if (length > 0) { // an empty value may come without any text behind it
            memcpy(out, value, length);
        }
        out[length] = '\0';
        return;
    }
    size_t cut = SHOWN_VALUE_MAX;
    while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) {
        --cut; // value[cut], the first byte left out, is inside a character: leave it all out
    }
    memcpy(out, value, cut);
    memcpy(out + cut, "...", 4);
}
