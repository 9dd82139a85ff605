// Mutex resources: every lock of the program is created, taken and released through these,
// with a fixed message and reaction when the platform refuses.
#pragma once

#include "platform/platform.h"

using Resource = PlatformMutex*;

// Where failures are written. `Report` serves the creation and release failures; a failed
// wait goes to `ReportNoLock`, which must never wait on a lock (the failed mutex may be the
// log's own). The log installs its writers when it starts; before that, failures are not
// written anywhere.
struct ResourceReporter {
    void (*Report)(const char* text);
    void (*ReportNoLock)(const char* text);
};
void SetResourceReporter(ResourceReporter reporter);

// Creates an unowned, process-private mutex. Ends the process with 7765 when there is none,
// after "RegisterResource() - NULL Mutex handle".
Resource RegisterResource(const char* label);
// Waits for the mutex without time-out. True when taken normally; otherwise logs
// "GetResource() - Mutex wait timed out. Caller: <label>" through ReportNoLock, false.
bool GetResource(Resource resource, const char* caller);
// Releases the mutex; reports "ReleaseResource() - Error. Caller: <label>" and ends the
// process with 100 when the platform refuses.
void ReleaseResource(Resource resource, const char* caller);
