#include "stand_journal.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "stand_api.h"
#include "stand_lock.h"

namespace {

// The journal: path, option and open file. Written by StandJournalConfigure/Close and the
// writers, all under JournalMutex.
StandLock JournalMutex;
char JournalPath[260];
bool JournalRecords = false;
// Whether lines carry their time; atomic because Stamp reads it before taking the lock.
std::atomic<bool> JournalTimes{false};
FILE* JournalFile = nullptr;

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

// Writes `size` bytes as hex digits, a piece at a time (no buffer as large as a message).
void WriteHex(const uint8_t* bytes, uint32_t size) {
    static const char DIGITS[] = "0123456789abcdef";
    char piece[513];
    uint32_t n = 0;
    for (uint32_t i = 0; i < size; ++i) {
        piece[n++] = DIGITS[bytes[i] >> 4];
        piece[n++] = DIGITS[bytes[i] & 0xF];
        if (n == sizeof piece - 1 || i + 1 == size) {
            piece[n] = '\0';
            std::fputs(piece, JournalFile);
            n = 0;
        }
    }
}

} // namespace

void StandJournalConfigure(const char* path, bool records, bool times) {
    std::lock_guard<StandLock> lock(JournalMutex);
    if (JournalFile != nullptr) {
        std::fclose(JournalFile);
        JournalFile = nullptr;
    }
    std::snprintf(JournalPath, sizeof JournalPath, "%s", path != nullptr ? path : "");
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
    uint32_t from =
        data ? static_cast<uint32_t>(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData)) : 0u;
    std::fputs(line, JournalFile);
    std::fputs(" hex=", JournalFile);
    WriteHex(message + from, size > from ? size - from : 0u);
    std::fputc('\n', JournalFile);
    std::fflush(JournalFile);
}
