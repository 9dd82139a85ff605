// What the shared part of the platform layer and its two backends (posix/, win32/) say to
// each other. Nothing outside platform/ includes this.
#pragma once

#include <cstddef>

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
