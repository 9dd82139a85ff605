// The record file: one machine-readable line per event, each flushed at once, for tests and
// for anyone who wants to look at a session afterwards. And the packet recording: every
// datagram the hub receives and sends, in a pcap file that Wireshark reads (the format is
// tools/common/pcap_file.h).
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Largest record line (a Block2 payload in hex is 1776 characters).
constexpr uint32_t RECORD_LINE_SIZE = 4096;

// Creates (empties) the record file. Called once before any thread starts; false when the
// file cannot be created.
bool RecordOpen(const char* path);
// Whether a record file is open.
bool RecordActive();
// Writes one line (the line end is added); any thread. Does nothing without a record file.
void RecordLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Test hook: closes the record file.
void RecordClose();

// Creates (empties) the packet recording and writes its file header. Called once before any
// thread starts; false when the file cannot be created.
bool PcapOpen(const char* path);
// Appends one datagram with the time of now and IPv4 and UDP headers that carry `from` and
// `to`; any thread. Each packet is flushed as written. Does nothing without a recording.
void PcapPacket(NetAddr from, NetAddr to, const uint8_t* data, uint32_t length);
// Closes the packet recording.
void PcapClose();
