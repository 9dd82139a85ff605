// The program's log: one text file in the working directory (line ends as the platform's
// text files have them), written by every thread. Each
// entry is opened, written and closed on its own, so the file is complete on disk at all
// times and can be moved aside while the program runs.
#pragma once

#include <cstdint>

// Level at or above which SimLogLevel writes.
constexpr int32_t LOG_THRESHOLD = 3;

// Starts the log in `fileName` (relative to the working directory), emptying the file.
// True when the file was created.
bool SimLogInit(const char* fileName);
// Writes one entry: time stamp, one blank, then `text` verbatim (no line end added).
void SimLog(const char* text);
// Writes through SimLog when `level` is at least LOG_THRESHOLD.
void SimLogLevel(int32_t level, const char* text);
// The same entry as SimLog without taking the log's mutex (for the mutex's own failures).
void SimLogNoLock(const char* text);
// "%02d:%02d:%02d:%03d " of the local time now, in a buffer shared by all callers.
const char* SimLogTime();
// Renames the current log file to `newName` in the working directory, replacing an older one.
// Holds the log's lock, so no entry is being written meanwhile.
void SimLogRename(const char* newName);
// Writes `lastEntry` as SimLog does and renames the log as SimLogRename does, under one hold
// of the lock: the saved file ends with that entry, whatever other threads log meanwhile.
void SimLogSaveAs(const char* lastEntry, const char* newName);

// printf-style helpers for the callers' fixed-size message lines: the text is formatted
// into a local buffer of `N` bytes (cut at its end, never overflowing) and then logged.
void SimLogf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void SimLogLevelf(int32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The same line on the console and in the log (formatted into a line of at most 1199 bytes; a
// longer one is cut, and keeps the line end of its format).
void ConsoleAndLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Test hook: forget the started log (file name, flag, mutex), as at process start.
void SimLogResetForTest();
// The full path of the current log file.
const char* SimLogPath();
