// The record file: one machine-readable line per event, each flushed at once, for tests and
// for anyone who wants to look at a session afterwards.
#pragma once

#include <cstdint>

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
