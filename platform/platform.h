// The operating system behind one narrow interface.
//
// Everything KivFSX needs from the OS is reached through the table `Os` below, whose entries
// the backend fills (platform/win32: the real Win32 calls; platform/posix: our stand-in for
// development and tests). A test may replace an entry to make a call fail or to take time
// out of a protocol, and must put the defaults back with PlatformOsReset() when done.
//
// No other file of the program includes an OS header or tests which OS it is built for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Calling convention of the simulator library's entry points and callbacks: __stdcall on
// 32-bit Windows, the default convention everywhere else.
#if defined(_WIN32) && !defined(_WIN64)
#define PLATFORM_STDCALL __stdcall
#else
#define PLATFORM_STDCALL
#endif

// Separator that joins a directory and a file name in the paths the program builds.
#if defined(_WIN32)
constexpr char PLATFORM_DIR_SEP = '\\';
#else
constexpr char PLATFORM_DIR_SEP = '/';
#endif

// Line end of the text files the program writes (its log): what the C runtime's text mode
// writes for "\n", CR LF on Windows, LF elsewhere.
#if defined(_WIN32)
constexpr const char* PLATFORM_LINE_END = "\r\n";
#else
constexpr const char* PLATFORM_LINE_END = "\n";
#endif

// The system the program runs on, for the lines that say a setting has no effect there.
#if defined(_WIN32)
constexpr const char* PLATFORM_SYSTEM_NAME = "Windows";
#elif defined(__linux__)
constexpr const char* PLATFORM_SYSTEM_NAME = "Linux";
#else
constexpr const char* PLATFORM_SYSTEM_NAME = "this system";
#endif

// Narrow texts that name files (paths, the command line) are UTF-8 everywhere; the Win32
// backend hands them to the wide forms of the calls, so a path is never limited to the
// characters of the ANSI code page.

// A UDP socket; PLATFORM_NO_SOCKET is "none".
using PlatformSocket = intptr_t;
constexpr PlatformSocket PLATFORM_NO_SOCKET = -1;

// An IPv4 endpoint. Addr is in network byte order (as inet_addr gives it); Port in host order.
struct NetAddr {
    uint32_t Addr;
    uint16_t Port;
};

// Value of PlatformInetAddr for text that is not a dotted IPv4 address (all bits set).
constexpr uint32_t PLATFORM_INADDR_NONE = 0xFFFFFFFFu;

// Results of a mutex wait.
enum PlatformWaitResult : int32_t {
    PLATFORM_WAIT_TAKEN = 0,     // taken normally
    PLATFORM_WAIT_ABANDONED = 1, // taken, but its previous owner ended while holding it
    PLATFORM_WAIT_FAILED = 2,    // not taken (invalid handle, system error)
};

// LibraryLoadError codes, as Windows numbers them: the file is missing; the file is not an
// executable image this process can load (a 32-bit library in a 64-bit process, the other way
// round, or no library at all).
constexpr uint32_t PLATFORM_LOAD_NOT_FOUND = 126;
constexpr uint32_t PLATFORM_LOAD_BAD_FORMAT = 193;

// Results of PlatformGetAdaptersInfo, as the IP Helper API gives them.
constexpr uint32_t PLATFORM_ADAPTERS_OK = 0;
constexpr uint32_t PLATFORM_ADAPTERS_BUFFER_OVERFLOW = 111;

// Results of MinimiseConsole.
enum PlatformConsoleResult : int32_t {
    PLATFORM_CONSOLE_MINIMISED = 0,     // the console window is minimised, the focus kept
    PLATFORM_CONSOLE_NO_WINDOW = 1,     // the process has no console window (Windows)
    PLATFORM_CONSOLE_NOT_SUPPORTED = 2, // the system has no console window to minimise (POSIX)
};

struct PlatformMutex;     // an owned, recursive, process-private mutex
struct PlatformDirSearch; // an open directory enumeration

using PlatformThreadProc = void (*)(void* param);

// The replaceable table of OS calls. Every entry is non-null after PlatformOsReset().
struct PlatformOs {
    // --- process ---------------------------------------------------------------------
    // Ends the process at once with the given code; console output is flushed first.
    void (*Exit)(int32_t code);
    // Starts a new instance: `argv` (3 entries) on POSIX, `commandLine` on Windows; the new
    // process gets its own session/console, inherits no handles, and shares the environment
    // and the working directory. True when the process was created.
    bool (*SpawnInstance)(const char* programPath, const char* const argv[3],
                          const char* commandLine);
    // Reads one character from standard input; -1 at end of input.
    int32_t (*ReadConsoleChar)();
    // Minimises the process's console window without activating it, so the focus stays
    // where it is (Windows: ShowWindow(GetConsoleWindow(), SW_SHOWMINNOACTIVE)).
    PlatformConsoleResult (*MinimiseConsole)();

    // --- threads and time ------------------------------------------------------------
    bool (*StartThread)(PlatformThreadProc proc, void* param);
    void (*SleepMs)(uint32_t ms);
    // Local time of day: hour 0-23, minute, second, millisecond.
    void (*LocalTime)(int32_t* hour, int32_t* minute, int32_t* second, int32_t* millisecond);
    // Milliseconds from an arbitrary start, never going back (also past 49.7 days).
    uint64_t (*MonotonicMs)();

    // --- mutexes -----------------------------------------------------------------------
    PlatformMutex* (*MutexCreate)(); // null when the system gives none
    PlatformWaitResult (*MutexWait)(PlatformMutex* mutex);
    bool (*MutexRelease)(PlatformMutex* mutex); // false when the caller does not own it

    // --- files ---------------------------------------------------------------------------
    bool (*CurrentDir)(char* out, size_t size); // false when it does not fit
    // fopen: "r", "w" and "a" open text files (line ends as PLATFORM_LINE_END).
    FILE* (*OpenFile)(const char* path, const char* mode);
    // The target must not exist: Windows refuses to replace a file (POSIX would replace it).
    bool (*RenameFile)(const char* from, const char* to);
    bool (*DeleteFile)(const char* path);
    // `path` made whole by the system's own rules (relative to the working directory;
    // Windows: GetFullPathNameW, which also resolves "." and ".." and drive-relative paths),
    // into `out`. False when it cannot be made whole or does not fit.
    bool (*FullPath)(const char* path, char* out, size_t size);
    // Directory search for every entry whose path begins with `prefix` (Windows: the
    // pattern prefix + "*.*"). Returns null when nothing matches; otherwise the bare name
    // of the first entry in `name`.
    PlatformDirSearch* (*FindFirst)(const char* prefix, char* name, size_t size);
    bool (*FindNext)(PlatformDirSearch* search, char* name, size_t size);
    void (*FindClose)(PlatformDirSearch* search);

    // --- dynamic libraries -------------------------------------------------------------
    void* (*LoadLibraryPath)(const char* path); // null when it does not load
    void* (*LibrarySymbol)(void* library, const char* name);
    // The system's reason why the last LoadLibraryPath of the loading thread gave null, as
    // Windows numbers it (PLATFORM_LOAD_BAD_FORMAT: not a library of this process's bitness).
    uint32_t (*LibraryLoadError)();
    // The bitness of the simulator libraries the store (PlatformStoreDir) holds: 32 on
    // Windows, whose store entries are the x86_ builds; on POSIX the stand-in's store holds
    // libraries of the program's own bitness. A test that redirects the store replaces it.
    int32_t (*StoreLibraryBits)();

    // --- network -------------------------------------------------------------------------
    bool (*SocketsStart)();
    bool (*HostName)(char* out, size_t size);
    // Looks a host name up: the official name and the first IPv4 address (network order).
    bool (*LookupHost)(const char* name, char* officialName, size_t size, uint32_t* firstAddr,
                       bool* hasAddr);
    // An IPv4 datagram socket; `udpProtocol` names IPPROTO_UDP, otherwise protocol 0.
    PlatformSocket (*UdpSocket)(bool udpProtocol);
    bool (*Bind)(PlatformSocket sock, NetAddr addr);
    bool (*SetBroadcast)(PlatformSocket sock, int32_t value);
    // Sends one datagram; the byte count, or -1 on error.
    int32_t (*SendTo)(PlatformSocket sock, const void* data, size_t size, NetAddr to);
    // Receives one datagram (blocking); the byte count, or -1 on error. A datagram larger
    // than `size` is an error and is consumed; `from` then still names its sender, while any
    // other error leaves `from` as it was.
    int32_t (*RecvFrom)(PlatformSocket sock, void* data, size_t size, NetAddr* from);
    bool (*CloseSocket)(PlatformSocket sock);
    // Fills `buffer` with the adapter list; *size is the buffer size in, the needed size out
    // when the answer is PLATFORM_ADAPTERS_BUFFER_OVERFLOW.
    uint32_t (*GetAdaptersInfo)(void* buffer, uint32_t* size);
    // Memory for the adapter list (a test can make it fail).
    void* (*Alloc)(size_t size);
    void (*Free)(void* block);
};

extern PlatformOs Os;

// Puts every entry of `Os` back to the backend's own call.
void PlatformOsReset();

// --- console and command line (called once by main) -------------------------------------
// Makes console output reach a pipe at once (no buffering across lines).
void PlatformConsoleInit();
// Takes the process's argument vector: Windows reads GetCommandLineW and splits it with
// CommandLineToArgvW (the runtime's argv is ignored); POSIX takes argv as given.
void PlatformArgsInit(int argc, char** argv);
int32_t PlatformArgCount();
// Copies argument `index` as narrow text into `out`; false when absent or when it does not
// fit (then `out` holds as much as fits, NUL-terminated).
bool PlatformArg(int32_t index, char* out, size_t size);

// --- adapter list walking ------------------------------------------------------------------
// Walks the list that GetAdaptersInfo wrote: the first adapter of `buffer`, then the next
// one of an adapter, null at the end. The texts are those of the adapter's first IPv4
// address entry.
const void* PlatformAdapterFirst(const void* buffer);
const void* PlatformAdapterNext(const void* adapter);
// The description in UTF-8 (Windows converts it from the ANSI code page that IP Helper uses);
// the text stays valid until the next call of this function (start-up, main thread only).
const char* PlatformAdapterDescription(const void* adapter);
const char* PlatformAdapterIp(const void* adapter);
const char* PlatformAdapterMask(const void* adapter);

// --- simulator library store -------------------------------------------------------------------
// The side-by-side store that holds the simulator library builds, ending in a separator:
// "c:\Windows\winsxs\" on Windows; on POSIX the directory named by KIVFSX_WINSXS, or
// "winsxs" in the working directory.
const char* PlatformStoreDir();
// The same store as the listing prefix names it (Windows: "\Windows\winsxs\", no drive).
const char* PlatformStoreListingDir();

// --- floating point ----------------------------------------------------------------------------
// The program's arithmetic is IEEE double: every result rounded to 53 bits. A 32-bit x86 build
// keeps its doubles in the x87's 80-bit registers, which round to whatever precision the
// thread's control word holds: Windows starts each thread it creates at 53 bits, but MinGW's
// start-up sets the main thread to 64 bits, and so does Linux for every thread. Then 128 / 25.6
// is 4.99999... instead of 5 and its integer part is 4. PlatformFloatInit sets the calling
// thread to 53 bits, round to nearest, every exception masked; on builds whose doubles are
// SSE2's it does nothing. It runs before main on the main thread (so in every program and
// test that links the platform), on every thread that Os.StartThread starts before its
// procedure, and after each library load (a library's start-up code runs on the loading thread
// and may set the control word to its own liking).
void PlatformFloatInit();

// --- text ---------------------------------------------------------------------------------
// Text of the system's ANSI code page (what the IP Helper and the A calls give) as UTF-8, into
// `out`; false when it does not fit (then `out` holds as much as fits). POSIX system texts are
// UTF-8 already: copied.
bool PlatformAnsiToUtf8(const char* text, char* out, size_t size);

// --- pure helpers ---------------------------------------------------------------------------
// Standard dotted-decimal conversion (inet_addr): PLATFORM_INADDR_NONE for invalid text.
uint32_t PlatformInetAddr(const char* text);
// Dotted form of an address in network order into `out` (at least 16 bytes).
void PlatformInetNtoa(uint32_t addr, char* out);
