// A preloaded counter of heap allocations (LD_PRELOAD): every malloc, calloc, realloc and
// aligned allocation of the process (operator new comes through malloc) adds one. On SIGUSR2
// the count is written, as decimal text, to the file named by KIVBENCH_ALLOC_FILE.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {
// Added to by every thread; read by the signal handler.
std::atomic<unsigned long long> Allocations{0};
// Set once at load, before any thread starts.
const char* DumpPath = nullptr;

void Dump(int) {
    char text[24];
    int n = 0;
    char digits[24];
    unsigned long long v = Allocations.load();
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 && n < 23);
    for (int i = 0; i < n; ++i) {
        text[i] = digits[n - 1 - i];
    }
    int fd = open(DumpPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        ssize_t w = write(fd, text, static_cast<size_t>(n));
        (void)w;
        close(fd);
    }
}

__attribute__((constructor)) void Install() {
    DumpPath = getenv("KIVBENCH_ALLOC_FILE");
    if (DumpPath != nullptr) {
        signal(SIGUSR2, Dump);
    }
}
} // namespace

extern "C" {
void* malloc(size_t size) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    return memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    *out = memalign(alignment, size);
    return *out != nullptr ? 0 : 12; // ENOMEM
}
}
