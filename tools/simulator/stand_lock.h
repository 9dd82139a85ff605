// The stand-in's locks: std::mutex where the C++ runtime has one. The i686 release build uses
// the runtime without POSIX threads (so the release needs nothing newer than Windows XP), and
// that runtime has no std::mutex; there a Windows critical section serves, with the lock and
// unlock that std::lock_guard calls.
#pragma once

#include <mutex>

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#define NOSERVICE // its SC_HANDLE is not the simulator library's
#include <windows.h>

struct StandLock {
    StandLock() { InitializeCriticalSection(&Section); }
    void lock() { EnterCriticalSection(&Section); }
    void unlock() { LeaveCriticalSection(&Section); }
    CRITICAL_SECTION Section;
};
#else
using StandLock = std::mutex;
#endif
