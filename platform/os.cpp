// The table of OS calls, and the entries that are the same on every platform.
#include "platform/backend.h"

#include <cstdio>
#include <cstdlib>

namespace {

int32_t ReadConsoleChar() {
    int c = getchar();
    return c == EOF ? -1 : c;
}

struct ThreadStart {
    PlatformThreadProc Proc;
    void* Param;
};

// The start record lives on the heap until the new thread has taken its copy.
bool StartThread(PlatformThreadProc proc, void* param) {
    auto* start = static_cast<ThreadStart*>(malloc(sizeof(ThreadStart)));
    if (start == nullptr) {
        return false;
    }
    start->Proc = proc;
    start->Param = param;
    if (!BackendCreateThread(start)) {
        free(start);
        return false;
    }
    return true;
}

void* Alloc(size_t size) {
    return malloc(size);
}

void Free(void* block) {
    free(block);
}

} // namespace

void PlatformRunThread(void* start) {
    ThreadStart copy = *static_cast<ThreadStart*>(start);
    free(start);
    PlatformFloatInit();
    copy.Proc(copy.Param);
}

// The table of OS calls. Filled before main runs (below) and by PlatformOsReset; tests
// replace entries on the test thread while no other thread of the program runs. Read by
// every thread.
PlatformOs Os;

void PlatformOsReset() {
    Os.ReadConsoleChar = ReadConsoleChar;
    Os.StartThread = StartThread;
    Os.Alloc = Alloc;
    Os.Free = Free;
    BackendProcessReset(Os);
    BackendFilesReset(Os);
    BackendNetReset(Os);
}

// The table is filled before main runs, so that even static initialisers may use it; the main
// thread gets its double arithmetic then too.
namespace {
struct OsInit {
    OsInit() {
        PlatformFloatInit();
        PlatformOsReset();
    }
} osInit;
} // namespace
