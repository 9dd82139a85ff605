// Mutex resources (see support/resource.h).
#include "support/resource.h"

#include <cstdio>

#include "support/process.h"

namespace {
void ReportNowhere(const char*) {}

// Written by SetResourceReporter (the log's start, on the main thread before other threads
// exist); read by every thread that meets a failure.
ResourceReporter Reporter = {ReportNowhere, ReportNowhere};
} // namespace

void SetResourceReporter(ResourceReporter reporter) {
    Reporter = reporter;
}

Resource RegisterResource(const char* label) {
    (void)label; // names the caller only; the platform mutex has no name
    Resource mutex = Os.MutexCreate();
    if (mutex == nullptr) {
        Reporter.Report("RegisterResource() - NULL Mutex handle\n");
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
    Reporter.ReportNoLock(line);
    return false;
}

void ReleaseResource(Resource resource, const char* caller) {
    if (Os.MutexRelease(resource)) {
        return;
    }
    char line[100];
    snprintf(line, sizeof(line), "ReleaseResource() - Error. Caller: %s\n", caller);
    Reporter.Report(line);
    ExitProcess(EXIT_FATAL);
}
