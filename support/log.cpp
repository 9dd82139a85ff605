// The log file (see support/log.h).
#include "support/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "support/process.h"
#include "support/resource.h"

namespace {

constexpr size_t LOG_PATH_SIZE = 400;
constexpr size_t RENAME_PATH_SIZE = 500;
constexpr size_t LOG_LINE_SIZE = 400;

// Full path of the current log file. Written only by SimLogInit: on the main thread before
// other threads exist, or inside SimLog under LogMutex. Read by the writers.
char LogPath[LOG_PATH_SIZE] = "KIVCom.log";
// Set by the first SimLogInit that creates its file; never cleared.
std::atomic<bool> LogReady{false};
// Serialises entries. Created by the first SimLogInit; never closed.
std::atomic<Resource> LogMutex{nullptr};
// Time stamp text, overwritten by every SimLogTime (under LogMutex but for SimLogNoLock).
char TimeStamp[200];

// Current directory + separator + name into `out`; false when it does not fit (then `out`
// is left empty so that nothing is written to a cut path).
bool JoinWithCurrentDir(const char* name, char* out, size_t size) {
    char dir[LOG_PATH_SIZE];
    out[0] = '\0';
    if (!Os.CurrentDir(dir, sizeof(dir))) {
        return false;
    }
    int n = snprintf(out, size, "%s%c%s", dir, PLATFORM_DIR_SEP, name);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

void WriteEntry(const char* text) {
    if (!LogReady.load()) {
        SimLogInit("KIVDefault.log");
    }
    if (LogPath[0] == '\0') {
        return;
    }
    FILE* f = Os.OpenFile(LogPath, "a");
    if (f == nullptr) {
        return;
    }
    fputs(SimLogTime(), f);
    fputc(' ', f);
    fputs(text, f);
    fclose(f);
}

} // namespace

bool SimLogInit(const char* fileName) {
    // Set while this thread creates the mutex: if that fails, RegisterResource logs through
    // SimLog, which comes back here and must not try to create it again.
    static thread_local bool creatingMutex = false;
    bool startedBefore = LogMutex.load() != nullptr;
    if (!startedBefore && !creatingMutex) {
        SetResourceReporter(ResourceReporter{SimLog, SimLogNoLock});
        creatingMutex = true;
        LogMutex.store(RegisterResource("SimLogInit()"));
        creatingMutex = false;
    }
    // A working directory too long for the path leaves no usable path: the log then stays
    // unstarted rather than writing somewhere the operator would not look.
    if (!JoinWithCurrentDir(fileName, LogPath, sizeof(LogPath))) {
        return false;
    }
    FILE* f = Os.OpenFile(LogPath, "w");
    if (f == nullptr) {
        return false;
    }
    LogReady.store(true);
    fputs(startedBefore ? "Log Started - Already initialized\n" : "Log started.\n", f);
    fclose(f);
    return true;
}

void SimLog(const char* text) {
    Resource mutex = LogMutex.load();
    if (mutex == nullptr) {
        // Nothing has started the log yet (start-up, one thread): this entry starts the
        // default log, which creates the mutex.
        WriteEntry(text);
        return;
    }
    GetResource(mutex, "SimLog");
    WriteEntry(text);
    ReleaseResource(mutex, "SimLog()");
}

void SimLogLevel(int32_t level, const char* text) {
    if (level >= LOG_THRESHOLD) {
        SimLog(text);
    }
}

void SimLogNoLock(const char* text) {
    WriteEntry(text);
}

const char* SimLogTime() {
    int32_t hour, minute, second, millisecond;
    Os.LocalTime(&hour, &minute, &second, &millisecond);
    snprintf(TimeStamp, sizeof(TimeStamp), "%02d:%02d:%02d:%03d ", hour, minute, second,
             millisecond);
    return TimeStamp;
}

namespace {

void RenameUnlocked(const char* newName) {
    FILE* current = Os.OpenFile(LogPath, "r");
    if (current == nullptr) {
        return;
    }
    fclose(current);
    if (newName == nullptr || newName[0] == '\0') {
        return;
    }
    char target[RENAME_PATH_SIZE];
    if (!JoinWithCurrentDir(newName, target, sizeof(target))) {
        return;
    }
    FILE* old = Os.OpenFile(target, "r");
    if (old != nullptr) {
        fclose(old);
        Os.DeleteFile(target);
    }
    Os.RenameFile(LogPath, target);
}

} // namespace

void SimLogRename(const char* newName) {
    // Windows refuses to rename a file that another thread has open, so the rename waits for
    // an entry in progress to be closed.
    Resource mutex = LogMutex.load();
    if (mutex == nullptr) {
        RenameUnlocked(newName);
        return;
    }
    GetResource(mutex, "SimLogRename");
    RenameUnlocked(newName);
    ReleaseResource(mutex, "SimLogRename()");
}

void SimLogSaveAs(const char* lastEntry, const char* newName) {
    Resource mutex = LogMutex.load();
    if (mutex == nullptr) {
        WriteEntry(lastEntry);
        RenameUnlocked(newName);
        return;
    }
    GetResource(mutex, "SimLog");
    WriteEntry(lastEntry);
    RenameUnlocked(newName);
    ReleaseResource(mutex, "SimLog()");
}

void SimLogf(const char* format, ...) {
    char line[LOG_LINE_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    SimLog(line);
}

void SimLogLevelf(int32_t level, const char* format, ...) {
    char line[LOG_LINE_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    SimLogLevel(level, line);
}

void SimLogResetForTest() {
    LogReady.store(false);
    LogMutex.store(nullptr);
    strcpy(LogPath, "KIVCom.log");
}

const char* SimLogPath() {
    return LogPath;
}

void ConsoleAndLog(const char* format, ...) {
    char line[1200];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    size_t formatLength = strlen(format);
    if (n >= static_cast<int>(sizeof(line)) && formatLength > 0 &&
        format[formatLength - 1] == '\n') {
        line[sizeof(line) - 2] = '\n'; // cut short, the line still ends
    }
    ConsolePrint("%s", line);
    SimLog(line);
}
