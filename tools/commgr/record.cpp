// The record file.
#include "tools/commgr/record.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {
// The open record file, or null. Set by RecordOpen before the hub's threads start (and by
// RecordClose in tests); written to by every thread under RecordLock, one whole line at a
// time, so lines never interleave.
FILE* RecordFile = nullptr;
std::mutex RecordLock;
} // namespace

bool RecordOpen(const char* path) {
    std::lock_guard<std::mutex> hold(RecordLock);
    if (RecordFile != nullptr) {
        fclose(RecordFile);
    }
    RecordFile = fopen(path, "w");
    return RecordFile != nullptr;
}

bool RecordActive() {
    std::lock_guard<std::mutex> hold(RecordLock);
    return RecordFile != nullptr;
}

void RecordLine(const char* format, ...) {
    char line[RECORD_LINE_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    std::lock_guard<std::mutex> hold(RecordLock);
    if (RecordFile == nullptr) {
        return;
    }
    fputs(line, RecordFile);
    fputc('\n', RecordFile);
    fflush(RecordFile);
}

void RecordClose() {
    std::lock_guard<std::mutex> hold(RecordLock);
    if (RecordFile != nullptr) {
        fclose(RecordFile);
        RecordFile = nullptr;
    }
}
