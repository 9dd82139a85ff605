// Mutex resources (see support/resource.h).
#include "support/resource.h"

#include <cstdio>

#include "app/process.h"
#include "support/log.h"

Resource RegisterResource(const char* label) {
    (void)label; // names the caller only; the platform mutex has no name
    Resource mutex = Os.MutexCreate();
    if (mutex == nullptr) {
        SimLog("RegisterResource() - NULL Mutex handle\n");
        ExitProcess(EXIT_NO_MUTEX);
    }
    return mutex;
}

bool GetResource(Resource resource, const char* caller) {
    if (Os.MutexWait(resource) == PLATFORM_WAIT_TAKEN) {
        return true;
    }
    char line[200];
    snprintf(line, sizeof(line), "GetResource() - Mutex wait timed out. Caller: %s\n", caller);
    SimLogNoLock(line);
    return false;
}

void ReleaseResource(Resource resource, const char* caller) {
    if (Os.MutexRelease(resource)) {
        return;
    }
    char line[100];
    snprintf(line, sizeof(line), "ReleaseResource() - Error. Caller: %s\n", caller);
    SimLog(line);
    ExitProcess(EXIT_FATAL);
}
