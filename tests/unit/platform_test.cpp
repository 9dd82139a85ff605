// What every platform backend must do alike: the program relies on these behaviours of the
// Win32 calls, and the POSIX backend has to reproduce them.
#include "test_support.h"

#include "platform/backend.h"

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// Waits (at most about 10 s) for `flag`; false when it did not come.
bool AwaitFlag(const std::atomic<bool>& flag) {
    for (int i = 0; i < 1000 && !flag.load(); ++i) {
        Os.SleepMs(10);
    }
    return flag.load();
}

// --- mutexes ----------------------------------------------------------------------------

// One thread's use of a mutex: it waits `Takes` times, holds it until `Go` (when Hold is
// set), then tries `Releases` releases. Probes are never freed: after a failed check a
// thread may still use one, and kept reachable they keep the leak checker quiet.
struct MutexProbe {
    PlatformMutex* Mutex;
    int32_t Takes, Releases;
    bool Hold;
    std::atomic<int32_t> FirstWait{-1}, LastWait{-1}, Released{0};
    std::atomic<bool> Held{false}, Go{false}, Done{false};
};

void RunProbe(void* param) {
    auto* p = static_cast<MutexProbe*>(param);
    for (int32_t i = 0; i < p->Takes; ++i) {
        (i == 0 ? p->FirstWait : p->LastWait) = Os.MutexWait(p->Mutex);
    }
    p->Held = true;
    if (p->Hold) {
        AwaitFlag(p->Go);
    }
    for (int32_t i = 0; i < p->Releases; ++i) {
        p->Released += Os.MutexRelease(p->Mutex) ? 1 : 0;
    }
    p->Done = true;
}

MutexProbe& StartProbe(PlatformMutex* mutex, int32_t takes, int32_t releases, bool hold) {
    // A plain array, not a vector: it must outlive the static destructors, which run before
    // the leak checker looks.
    [[maybe_unused]] static MutexProbe* kept[16];
    static size_t count = 0;
    MutexProbe* probe = new MutexProbe{mutex, takes, releases, hold};
    if (count < 16) {
        kept[count++] = probe;
    }
    EXPECT_TRUE(Os.StartThread(RunProbe, probe));
    return *probe;
}

// The owners work on threads of their own, so a backend that gets this wrong fails the test
// instead of hanging it.
TEST(PlatformMutexTest, RecursiveForTheOwnerNotReleasableByOthersAndAbandonedOnce) {
    static PlatformMutex* mutex = Os.MutexCreate(); // never destroyed, like the program's
    ASSERT_NE(mutex, nullptr);
    MutexProbe& owner = StartProbe(mutex, 2, 3, true);
    ASSERT_TRUE(AwaitFlag(owner.Held)) << "the owner could not take it a second time";
    EXPECT_EQ(owner.FirstWait, PLATFORM_WAIT_TAKEN);
    EXPECT_EQ(owner.LastWait, PLATFORM_WAIT_TAKEN);
    EXPECT_FALSE(Os.MutexRelease(mutex)) << "released by a thread that does not own it";
    owner.Go = true;
    ASSERT_TRUE(AwaitFlag(owner.Done));
    EXPECT_EQ(owner.Released, 2) << "released more or less often than taken";

    MutexProbe& next = StartProbe(mutex, 1, 0, false); // ends while holding it
    ASSERT_TRUE(AwaitFlag(next.Done)) << "still held after two releases";
    EXPECT_EQ(next.FirstWait, PLATFORM_WAIT_TAKEN);
    MutexProbe& heir = StartProbe(mutex, 1, 1, false);
    ASSERT_TRUE(AwaitFlag(heir.Done)) << "the wait did not end after the owner ended";
    EXPECT_EQ(heir.FirstWait, PLATFORM_WAIT_ABANDONED);
    EXPECT_EQ(heir.Released, 1) << "an abandoned wait still takes the mutex";
    MutexProbe& later = StartProbe(mutex, 1, 1, false);
    ASSERT_TRUE(AwaitFlag(later.Done));
    EXPECT_EQ(later.FirstWait, PLATFORM_WAIT_TAKEN);

    EXPECT_EQ(Os.MutexWait(nullptr), PLATFORM_WAIT_FAILED);
    EXPECT_FALSE(Os.MutexRelease(nullptr));
}

// --- time ---------------------------------------------------------------------------------

// The Windows clock is a 32-bit count that wraps after 49.7 days; the program runs for weeks.
TEST(PlatformTimeTest, TheWidenedClockRunsOnPastTheWrapAndNeverBack) {
    std::atomic<uint64_t> state{0xFFFFFF00u};
    EXPECT_EQ(PlatformWidenTicks(&state, 0xFFFFFFF0u), 0xFFFFFFF0u);
    EXPECT_EQ(PlatformWidenTicks(&state, 0x00000010u), 0x100000010u); // wrapped
    EXPECT_EQ(PlatformWidenTicks(&state, 0x00000008u), 0x100000010u); // an older reading
    EXPECT_EQ(PlatformWidenTicks(&state, 0x7FFFFFFFu), 0x17FFFFFFFu);
    EXPECT_EQ(PlatformWidenTicks(&state, 0xF0000000u), 0x1F0000000u);
    EXPECT_EQ(PlatformWidenTicks(&state, 0x00000010u), 0x200000010u); // wrapped again
    // The backend's clock never goes back and does move on. How far it moves in a given sleep
    // is not asked: Windows ticks are 10 to 16 ms apart, and Wine's shared tick can lag far
    // behind on a busy machine.
    const uint64_t first = Os.MonotonicMs();
    uint64_t last = first;
    int readings = 0;
    for (; readings < 1000 && (readings < 20 || last == first); ++readings) {
        Os.SleepMs(10);
        uint64_t now = Os.MonotonicMs();
        ASSERT_GE(now, last) << "the clock went back after " << readings << " readings";
        last = now;
    }
    EXPECT_GT(last, first) << "the clock stood still for " << readings << " sleeps of 10 ms";
}

// --- command line and files ---------------------------------------------------------------

TEST(PlatformArgTest, CopiesAreBoundedAndTellWhenCut) {
    // Windows ignores this vector and splits the test program's own command line; either
    // way argument 0 names the test program.
    static char program[] = "/opt/kiv fsx/kivfsx_unit";
    static char* argv[] = {program, nullptr};
    PlatformArgsInit(1, argv);
    char full[1024];
    ASSERT_TRUE(PlatformArg(0, full, sizeof(full)));
    std::string path = full;
    EXPECT_NE(path.find("kivfsx_unit"), std::string::npos) << path;
    EXPECT_TRUE(PlatformArg(0, full, path.size() + 1));
    EXPECT_FALSE(PlatformArg(0, full, path.size()));
    EXPECT_EQ(std::string(full), path.substr(0, path.size() - 1));
    strcpy(full, "stale");
    EXPECT_FALSE(PlatformArg(PlatformArgCount(), full, sizeof(full)));
    EXPECT_STREQ(full, "");
    EXPECT_FALSE(PlatformArg(-1, full, sizeof(full)));
    PlatformArgsInit(0, nullptr);
}

using PlatformFilesTest = TempDirTest;

std::set<std::string> FindAll(const std::string& prefix, size_t nameSize) {
    std::set<std::string> names;
    std::vector<char> name(nameSize);
    PlatformDirSearch* search = Os.FindFirst(prefix.c_str(), name.data(), name.size());
    for (int i = 0; search != nullptr && i < 100; ++i) {
        names.insert(name.data());
        if (!Os.FindNext(search, name.data(), name.size())) {
            Os.FindClose(search);
            break;
        }
    }
    return names;
}

TEST_F(PlatformFilesTest, FindYieldsBareNamesThatBeginWithThePrefix) {
    WriteFile("alpha1.txt", "1");
    WriteFile("alpha2", "2");
    WriteFile("alphaXY", "7"); // exactly as long as the smaller name buffer below
    WriteFile("beta.alpha", "3");
    std::filesystem::create_directory("alphadir");
    std::string dir = Dir.string() + PLATFORM_DIR_SEP;
    EXPECT_EQ(FindAll(dir + "alpha", 260),
              (std::set<std::string>{"alpha1.txt", "alpha2", "alphaXY", "alphadir"}));
    EXPECT_TRUE(FindAll(dir + "nosuchdir" + PLATFORM_DIR_SEP + "alpha", 260).empty());
    // A name that does not fit is passed over, never cut.
    EXPECT_EQ(FindAll(dir + "alpha", 7), (std::set<std::string>{"alpha2"}));
    // A prefix longer than any name the system allows matches nothing, whatever its length.
    for (size_t length : {259, 260, 261}) {
        EXPECT_TRUE(FindAll(dir + std::string(length, 'a'), 260).empty()) << length;
    }
    // The store is a directory that names are appended to.
    std::string store = PlatformStoreDir();
    ASSERT_FALSE(store.empty());
    EXPECT_EQ(store.back(), PLATFORM_DIR_SEP);
#ifndef _WIN32
    // Here the store is the folder KIVFSX_WINSXS names, taken whole while it fits the 1024-byte
    // buffer with its separator and terminator, and cut to fit beyond.
    const char* before = getenv("KIVFSX_WINSXS");
    std::string saved = before != nullptr ? before : "";
    for (auto [given, taken] : {std::pair{std::string(1022, 's'), std::string(1022, 's') + "/"},
                                {std::string(1022, 's') + "/", std::string(1022, 's') + "/"},
                                {std::string(1023, 's'), std::string(1022, 's') + "/"}}) {
        setenv("KIVFSX_WINSXS", given.c_str(), 1);
        EXPECT_EQ(PlatformStoreDir(), taken) << given.size();
    }
    before != nullptr ? setenv("KIVFSX_WINSXS", saved.c_str(), 1) : unsetenv("KIVFSX_WINSXS");
#endif
}

// --- network ----------------------------------------------------------------------------

// Loopback only. The datagrams are sent before each receive, so no receive waits.
TEST(PlatformNetTest, DatagramsRoundTripAndAnOversizedOneIsAnErrorAndGone) {
    uint32_t loopback = PlatformInetAddr("127.0.0.1");
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&loopback)[0], 127) << "not in network order";
    EXPECT_EQ(PlatformInetAddr("not an address"), PLATFORM_INADDR_NONE);
    ASSERT_TRUE(Os.SocketsStart());
    PlatformSocket receiver = Os.UdpSocket(true);
    PlatformSocket sender = Os.UdpSocket(false);
    ASSERT_NE(receiver, PLATFORM_NO_SOCKET);
    ASSERT_NE(sender, PLATFORM_NO_SOCKET);
    NetAddr to{loopback, 0};
    for (uint16_t port = 47310; port < 47330 && to.Port == 0; ++port) {
        to.Port = Os.Bind(receiver, NetAddr{loopback, port}) ? port : 0;
    }
    ASSERT_NE(to.Port, 0) << "no free loopback port";
    EXPECT_TRUE(Os.SetBroadcast(sender, 32));
    uint16_t senderPort = 0;
    for (uint16_t port = 47340; port < 47360 && senderPort == 0; ++port) {
        senderPort = Os.Bind(sender, NetAddr{loopback, port}) ? port : 0;
    }
    ASSERT_NE(senderPort, 0) << "no free loopback port";

    char big[600] = "hello";
    char in[500];
    NetAddr from{};
    ASSERT_EQ(Os.SendTo(sender, big, 5, to), 5);
    ASSERT_EQ(Os.RecvFrom(receiver, in, sizeof(in), &from), 5);
    EXPECT_EQ(std::string(in, 5), "hello");
    EXPECT_EQ(from.Addr, loopback);
    EXPECT_EQ(from.Port, senderPort);
    // A datagram that fills the buffer exactly is whole; one byte more is an error.
    ASSERT_EQ(Os.SendTo(sender, big, sizeof(in), to), static_cast<int32_t>(sizeof(in)));
    EXPECT_EQ(Os.RecvFrom(receiver, in, sizeof(in), &from), static_cast<int32_t>(sizeof(in)));
    ASSERT_EQ(Os.SendTo(sender, big, sizeof(in) + 1, to), static_cast<int32_t>(sizeof(in) + 1));
    ASSERT_EQ(Os.SendTo(sender, "next", 4, to), 4);
    from = NetAddr{};
    EXPECT_EQ(Os.RecvFrom(receiver, in, sizeof(in), &from), -1);
    EXPECT_EQ(from.Addr, loopback) << "the sender of a datagram too large is known";
    EXPECT_EQ(Os.RecvFrom(receiver, in, sizeof(in), &from), 4);
    EXPECT_EQ(std::string(in, 4), "next");
    EXPECT_TRUE(Os.CloseSocket(receiver));
    EXPECT_TRUE(Os.CloseSocket(sender));
}

// --- paths and texts ----------------------------------------------------------------------

// A relative path is made whole in the working folder, an absolute one stays as it is; a text
// of the system's code page becomes UTF-8 (Windows: IP Helper's descriptions), cut before a
// character when it does not fit.
TEST_F(PlatformFilesTest, PathsAreMadeWholeAndSystemTextsBecomeUtf8) {
    char whole[1024];
    const std::string here = NativePath(std::filesystem::current_path());
    const std::string sep(1, PLATFORM_DIR_SEP);
    ASSERT_TRUE(Os.FullPath("SimConnect.dll", whole, sizeof(whole)));
    EXPECT_EQ(std::string(whole), here + sep + "SimConnect.dll");
    const std::string absolute = here + sep + "Zo\xC3\xAB" + sep + "SimConnect.dll";
    ASSERT_TRUE(Os.FullPath(absolute.c_str(), whole, sizeof(whole)));
    EXPECT_EQ(std::string(whole), absolute);
    EXPECT_FALSE(Os.FullPath("SimConnect.dll", whole, here.size() + 2));

    char text[16];
    ASSERT_TRUE(PlatformAnsiToUtf8("Intel(R) LAN", text, sizeof(text)));
    EXPECT_STREQ(text, "Intel(R) LAN");
    // Windows' code page here is 1252 (Wine's for an English or C locale): 0xE9 is e acute.
    const bool windows = std::string(PLATFORM_SYSTEM_NAME) == "Windows";
    const char* ansi = windows ? "Caf\xE9 LAN" : "Caf\xC3\xA9 LAN";
    ASSERT_TRUE(PlatformAnsiToUtf8(ansi, text, sizeof(text)));
    EXPECT_STREQ(text, "Caf\xC3\xA9 LAN");
    EXPECT_FALSE(PlatformAnsiToUtf8(ansi, text, 5));
    EXPECT_STREQ(text, "Caf"); // not half of the letter
}

} // namespace
