// Mutex resources: every lock of the program is created, taken and released through these,
// with a fixed message and reaction when the platform refuses.
#pragma once

#include "platform/platform.h"

using Resource = PlatformMutex*;

// Creates an unowned, process-private mutex. Ends the process with 7765 when there is none.
Resource RegisterResource(const char* label);
// Waits for the mutex without time-out. True when taken normally; otherwise logs
// "GetResource() - Mutex wait timed out. Caller: <label>" without the log lock, false.
bool GetResource(Resource resource, const char* caller);
// Releases the mutex; logs and ends the process with 100 when the platform refuses.
void ReleaseResource(Resource resource, const char* caller);
