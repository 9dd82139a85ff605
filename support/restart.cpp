// Recovery by relaunch (see support/restart.h).
#include "support/restart.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "support/log.h"
#include "support/process.h"

std::atomic<bool> RestartPending{false};

namespace {
// Set by the first caller that gets past the limit check; the only one that launches.
std::atomic<bool> RestartClaimed{false};

constexpr unsigned COMMAND_LINE_SIZE = 500; // at most 499 characters
} // namespace

bool BuildRelaunchCommandLine(const char* programPath, int next, char* out, unsigned size) {
    // The path is quoted when it holds blanks, so the new instance splits the line into
    // exactly three arguments.
    bool quote = strchr(programPath, ' ') != nullptr || strchr(programPath, '\t') != nullptr;
    int n = snprintf(out, size, quote ? "\"%s\" -rx %d " : "%s -rx %d ", programPath, next);
    return n > 0 && static_cast<unsigned>(n) < size;
}

void Restart() {
    if (RestartCount >= RESTART_LIMIT) {
        SimLog("Restart() - KivFsx has already been reloaded. Exiting\n");
        ExitProcess(EXIT_FATAL);
    }
    // One new instance per process: the receive path calls this once per bad datagram and
    // other threads may call it at the same moment. Later calls return at once and leave the
    // saved log as the first call made it.
    if (RestartClaimed.exchange(true)) {
        return;
    }
    SimLogSaveAs("Renaming Log File\n", "KivSaved.log");

    int next = RestartCount + 1;
    char commandLine[COMMAND_LINE_SIZE];
    char count[16];
    snprintf(count, sizeof(count), "%d", next);
    const char* argv[3] = {ProgramPath, "-rx", count};
    if (ProgramPathComplete &&
        BuildRelaunchCommandLine(ProgramPath, next, commandLine, sizeof(commandLine))) {
        Os.SpawnInstance(ProgramPath, argv, commandLine);
    } else {
        // A path that was cut, or a command line that does not fit, would start a different program
        // or lose the count: nothing is launched, and this instance still ends as a relaunch would.
        SimLog("Restart() - Command line too long; no new instance\n");
    }
    RestartPending.store(true);
}

void RestartResetForTest() {
    RestartClaimed.store(false);
    RestartPending.store(false);
}
