// What the shared part of the platform layer and its two backends (posix/, win32/) say to
// each other. Nothing outside platform/ includes this.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// --- each backend provides -------------------------------------------------------------------
// Fill the backend's own entries of the table (the shared part fills the rest).
void BackendProcessReset(PlatformOs& os); // Exit, SpawnInstance, SleepMs, time, mutexes
void BackendFilesReset(PlatformOs& os);   // files, directory search, libraries
void BackendNetReset(PlatformOs& os);     // sockets, host look-up, adapter list
// Starts a detached native thread that runs PlatformRunThread(start); false when the system
// gives none.
bool BackendCreateThread(void* start);

// --- the shared part provides ----------------------------------------------------------------
// Body of every thread the program starts: runs the procedure that Os.StartThread was given.
void PlatformRunThread(void* start);
// Makes `vector` (count entries, narrow texts; a null entry reads as absent) the process's
// argument vector. The backend keeps ownership.
void PlatformArgsSet(int count, char** vector);
// Copies `name` with its terminator into `out`; false, copying nothing, when it does not fit.
bool PlatformCopyName(const char* name, char* out, size_t size);
// Widens a 32-bit millisecond count that wraps every 49.7 days into one that does not.
// `state` holds the widened count (start it at the first reading); any thread may call this,
// as long as some call comes at least once every 24 days.
uint64_t PlatformWidenTicks(std::atomic<uint64_t>* state, uint32_t now);
