// Win32 backend: process, threads, time and mutexes.
#include "platform/backend.h"
#include "platform/platform.h"
#include "platform/win32/wide_win.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A PlatformMutex* is the Win32 mutex handle itself; the struct is never defined.

namespace {

[[noreturn]] void WinExit(int32_t code) {
    fflush(stdout);
    fflush(stderr);
    ::ExitProcess(static_cast<UINT>(code));
}

// The new instance gets a console of its own (CREATE_NO_WINDOW is ignored next to
// CREATE_NEW_CONSOLE), inherits no handles, and shares our environment and directory. The
// program file is the first argument of `commandLine`; the returned handles are not needed.
// The wide form carries a program folder whatever its characters.
bool WinSpawnInstance(const char*, const char* const[3], const char* commandLine) {
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    size_t count = strlen(commandLine) + 1;
    auto* line = static_cast<wchar_t*>(malloc(count * sizeof(wchar_t)));
    if (line == nullptr || !WinWiden(commandLine, line, count)) {
        free(line);
        return false;
    }
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info;
    memset(&info, 0, sizeof(info));
    BOOL created =
        CreateProcessW(nullptr, line, nullptr, nullptr, FALSE,
                       CREATE_NEW_CONSOLE | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
    free(line);
    if (!created) {
        return false;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

// SW_SHOWMINNOACTIVE minimises the window and leaves the active window active, so the focus
// stays where it is (with the simulator, when it started the program).
PlatformConsoleResult WinMinimiseConsole() {
    HWND window = GetConsoleWindow();
    if (window == nullptr) {
        return PLATFORM_CONSOLE_NO_WINDOW;
    }
    ShowWindow(window, SW_SHOWMINNOACTIVE); // its result is the earlier visibility, not success
    return PLATFORM_CONSOLE_MINIMISED;
}

void WinSleepMs(uint32_t ms) {
    Sleep(ms);
}

void WinLocalTime(int32_t* hour, int32_t* minute, int32_t* second, int32_t* millisecond) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    *hour = now.wHour;
    *minute = now.wMinute;
    *second = now.wSecond;
    *millisecond = now.wMilliseconds;
}

// GetTickCount, which every Windows has, widened past its wrap after 49.7 days.
uint64_t WinMonotonicMs() {
    static std::atomic<uint64_t> ticks{GetTickCount()};
    return PlatformWidenTicks(&ticks, GetTickCount());
}

// Unnamed, so private to the process; created unowned. Win32 mutexes are recursive for
// their owner, refuse a release by any other thread, and report abandonment to the next
// waiter when the owner thread ends while holding them.
PlatformMutex* WinMutexCreate() {
    return reinterpret_cast<PlatformMutex*>(CreateMutexA(nullptr, FALSE, nullptr));
}

PlatformWaitResult WinMutexWait(PlatformMutex* mutex) {
    if (mutex == nullptr) {
        return PLATFORM_WAIT_FAILED;
    }
    switch (WaitForSingleObject(reinterpret_cast<HANDLE>(mutex), INFINITE)) {
    case WAIT_OBJECT_0:
        return PLATFORM_WAIT_TAKEN;
    case WAIT_ABANDONED:
        return PLATFORM_WAIT_ABANDONED;
    default:
        return PLATFORM_WAIT_FAILED;
    }
}

bool WinMutexRelease(PlatformMutex* mutex) {
    return mutex != nullptr && ReleaseMutex(reinterpret_cast<HANDLE>(mutex)) != 0;
}

DWORD WINAPI ThreadEntry(LPVOID start) {
    PlatformRunThread(start);
    return 0;
}

} // namespace

// Default stack size. The handle is closed at once: nobody joins our threads, and closing
// it does not stop the thread.
bool BackendCreateThread(void* start) {
    HANDLE thread = CreateThread(nullptr, 0, ThreadEntry, start, 0, nullptr);
    if (thread == nullptr) {
        return false;
    }
    CloseHandle(thread);
    return true;
}

void BackendProcessReset(PlatformOs& os) {
    os.Exit = WinExit;
    os.SpawnInstance = WinSpawnInstance;
    os.MinimiseConsole = WinMinimiseConsole;
    os.SleepMs = WinSleepMs;
    os.LocalTime = WinLocalTime;
    os.MonotonicMs = WinMonotonicMs;
    os.MutexCreate = WinMutexCreate;
    os.MutexWait = WinMutexWait;
    os.MutexRelease = WinMutexRelease;
}

void PlatformConsoleInit() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
}
