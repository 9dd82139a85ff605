// POSIX backend: process, threads, time and mutexes.
#include "platform/backend.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

struct PlatformMutex {
    pthread_mutex_t Handle; // recursive
    int32_t Depth;          // how often its owner holds it; written by the owner only
    bool Abandoned;         // its last owner ended while holding it
};

namespace {

[[noreturn]] void PosixExit(int32_t code) {
    fflush(stdout);
    fflush(stderr);
    _exit(code);
}

bool PosixSpawnInstance(const char* programPath, const char* const argv[3], const char*) {
    pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        // The new instance runs in a session of its own (the nearest thing to a new console),
        // keeps stdout/stderr, and inherits no other descriptor.
        setsid();
        long maxFd = sysconf(_SC_OPEN_MAX);
        for (long fd = 3; fd < maxFd && fd < 65536; ++fd) {
            close(static_cast<int>(fd));
        }
        char* args[4] = {const_cast<char*>(argv[0]), const_cast<char*>(argv[1]),
                         const_cast<char*>(argv[2]), nullptr};
        execv(programPath, args);
        _exit(127);
    }
    return true;
}

// A POSIX program writes to a terminal, or to a pipe, that is not its own window.
PlatformConsoleResult PosixMinimiseConsole() {
    return PLATFORM_CONSOLE_NOT_SUPPORTED;
}

void PosixSleepMs(uint32_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void PosixLocalTime(int32_t* hour, int32_t* minute, int32_t* second, int32_t* millisecond) {
    timeval tv;
    gettimeofday(&tv, nullptr);
    time_t now = tv.tv_sec;
    tm local;
    localtime_r(&now, &local);
    *hour = local.tm_hour;
    *minute = local.tm_min;
    *second = local.tm_sec;
    *millisecond = static_cast<int32_t>(tv.tv_usec / 1000);
}

uint64_t PosixMonotonicMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

// A recursive mutex behaves like a Win32 mutex: the owner may take it again, and a release by a
// thread that does not own it fails. Abandonment is the backend's own: a thread that ends while
// holding mutexes hands each of them on, marked, and the next wait reports it. (Robust mutexes
// would do it in the kernel, but an emulator such as qemu-user may not pass their list on.)
PlatformMutex* PosixMutexCreate() {
    auto* mutex = static_cast<PlatformMutex*>(malloc(sizeof(PlatformMutex)));
    if (mutex == nullptr) {
        return nullptr;
    }
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(&mutex->Handle, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        free(mutex);
        return nullptr;
    }
    mutex->Depth = 0;
    mutex->Abandoned = false;
    return mutex;
}

// The mutexes this thread holds, each once. The program holds at most two at a time.
constexpr int HELD_MAX = 16;
thread_local PlatformMutex* Held[HELD_MAX];
thread_local int HeldCount = 0;
pthread_key_t heldKey; // its destructor runs when a thread that took one ends
pthread_once_t heldKeyOnce = PTHREAD_ONCE_INIT;

// Runs on a thread that ends: whatever it still holds is abandoned to the next waiter.
void AbandonHeld(void*) {
    while (HeldCount > 0) {
        PlatformMutex* mutex = Held[--HeldCount];
        int depth = mutex->Depth;
        mutex->Depth = 0;
        mutex->Abandoned = true;
        for (int i = 0; i < depth; ++i) {
            pthread_mutex_unlock(&mutex->Handle);
        }
    }
}

PlatformWaitResult PosixMutexWait(PlatformMutex* mutex) {
    if (mutex == nullptr || pthread_mutex_lock(&mutex->Handle) != 0) {
        return PLATFORM_WAIT_FAILED;
    }
    if (mutex->Depth++ > 0) {
        return PLATFORM_WAIT_TAKEN; // taken again by its owner
    }
    if (HeldCount == HELD_MAX) { // beyond what the program does: not tracked, never abandoned
        return PLATFORM_WAIT_TAKEN;
    }
    pthread_once(&heldKeyOnce, [] { pthread_key_create(&heldKey, AbandonHeld); });
    pthread_setspecific(heldKey, Held);
    Held[HeldCount++] = mutex;
    if (mutex->Abandoned) {
        mutex->Abandoned = false;
        return PLATFORM_WAIT_ABANDONED;
    }
    return PLATFORM_WAIT_TAKEN;
}

bool PosixMutexRelease(PlatformMutex* mutex) {
    // The owner's own fields are read only by the owner: the lock's answer says who owns it.
    if (mutex == nullptr || pthread_mutex_trylock(&mutex->Handle) != 0) {
        return false;
    }
    if (mutex->Depth == 0) { // it was free: taken just now by the trylock
        pthread_mutex_unlock(&mutex->Handle);
        return false;
    }
    pthread_mutex_unlock(&mutex->Handle); // the trylock's own hold
    if (--mutex->Depth == 0) {
        for (int i = 0; i < HeldCount; ++i) {
            if (Held[i] == mutex) {
                Held[i] = Held[--HeldCount];
                break;
            }
        }
    }
    return pthread_mutex_unlock(&mutex->Handle) == 0;
}

void* ThreadEntry(void* start) {
    PlatformRunThread(start);
    return nullptr;
}

} // namespace

bool BackendCreateThread(void* start) {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, ThreadEntry, start) != 0) {
        return false;
    }
    pthread_detach(thread);
    return true;
}

void BackendProcessReset(PlatformOs& os) {
    os.Exit = PosixExit;
    os.SpawnInstance = PosixSpawnInstance;
    os.MinimiseConsole = PosixMinimiseConsole;
    os.SleepMs = PosixSleepMs;
    os.LocalTime = PosixLocalTime;
    os.MonotonicMs = PosixMonotonicMs;
    os.MutexCreate = PosixMutexCreate;
    os.MutexWait = PosixMutexWait;
    os.MutexRelease = PosixMutexRelease;
}

void PlatformConsoleInit() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    signal(SIGPIPE, SIG_IGN);
}
