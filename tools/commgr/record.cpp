// The record file.
#include "tools/commgr/record.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "tools/common/pcap_file.h"

namespace {
// The open record file, or null. Set by RecordOpen before the hub's threads start (and by
// RecordClose in tests); written to by every thread under RecordLock, one whole line at a
// time, so lines never interleave.
FILE* RecordFile = nullptr;
std::mutex RecordLock;

// The open packet recording, or null, and the IPv4 id of its next packet. Set by PcapOpen
// before the hub's threads start; written by every thread under PcapLock, one whole packet
// at a time. A lock of its own, so that a packet never waits for a record line.
FILE* PcapFile = nullptr;
uint16_t PcapNextId = 0;
std::mutex PcapLock;
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

bool PcapOpen(const char* path) {
    std::lock_guard<std::mutex> hold(PcapLock);
    if (PcapFile != nullptr) {
        fclose(PcapFile);
    }
    PcapFile = fopen(path, "wb");
    if (PcapFile == nullptr) {
        return false;
    }
    PcapFileHeader header = PcapRecordingHeader();
    if (fwrite(&header, sizeof(header), 1, PcapFile) != 1 || fflush(PcapFile) != 0) {
        fclose(PcapFile);
        PcapFile = nullptr;
        return false;
    }
    return true;
}

void PcapPacket(NetAddr from, NetAddr to, const uint8_t* data, uint32_t length) {
    if (length > PCAP_MAX_MESSAGE) {
        return; // no datagram the hub handles is that long
    }
    std::lock_guard<std::mutex> hold(PcapLock);
    if (PcapFile == nullptr) {
        return;
    }
    // Taken under the lock, so that the packets of the file are in the order of their times.
    auto since = std::chrono::system_clock::now().time_since_epoch();
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(since).count();
    PcapUdpPacket packet =
        PcapBuildPacket(static_cast<uint32_t>(us / 1000000), static_cast<uint32_t>(us % 1000000),
                        from.Addr, from.Port, to.Addr, to.Port, PcapNextId++, length);
    fwrite(&packet, sizeof(packet), 1, PcapFile);
    fwrite(data, 1, length, PcapFile);
    fflush(PcapFile);
}

void PcapClose() {
    std::lock_guard<std::mutex> hold(PcapLock);
    if (PcapFile != nullptr) {
        fclose(PcapFile);
        PcapFile = nullptr;
    }
}
