// What every platform backend must do alike: the program relies on these behaviours of the
// Win32 calls, and the POSIX backend has to reproduce them.
#include "test_support.h"

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

// Mutexes are never destroyed; keeping them reachable keeps the leak checker quiet.
PlatformMutex* NewMutex() {
    static std::vector<PlatformMutex*> kept;
    kept.push_back(Os.MutexCreate());
    return kept.back();
}

struct MutexProbe {
    PlatformMutex* Mutex;
    std::atomic<bool> Done{false};
    std::atomic<int32_t> Wait{-1};
    std::atomic<bool> Released{false};
    // For TakeTwiceThenRelease only:
    std::atomic<int32_t> SecondWait{-1};
    std::atomic<bool> Held{false};
    std::atomic<bool> Go{false};
    std::atomic<int32_t> Releases{0}; // releases that succeeded, of three tried
};

// Probes outlive their test: after a failed check a thread may still be using one.
MutexProbe& NewProbe(PlatformMutex* mutex) {
    static std::vector<MutexProbe*> kept;
    kept.push_back(new MutexProbe{mutex});
    return *kept.back();
}

// Takes the mutex and ends while holding it.
void TakeAndEnd(void* param) {
    auto* probe = static_cast<MutexProbe*>(param);
    probe->Wait = Os.MutexWait(probe->Mutex);
    probe->Done = true;
}

// Waits for the mutex, then gives it back.
void WaitAndRelease(void* param) {
    auto* probe = static_cast<MutexProbe*>(param);
    probe->Wait = Os.MutexWait(probe->Mutex);
    probe->Released = Os.MutexRelease(probe->Mutex);
    probe->Done = true;
}

// Takes the mutex twice, holds it until told to go on, then tries to release it three times.
void TakeTwiceThenRelease(void* param) {
    auto* probe = static_cast<MutexProbe*>(param);
    probe->Wait = Os.MutexWait(probe->Mutex);
    probe->SecondWait = Os.MutexWait(probe->Mutex);
    probe->Held = true;
    AwaitFlag(probe->Go);
    for (int i = 0; i < 3; ++i) {
        probe->Releases += Os.MutexRelease(probe->Mutex) ? 1 : 0;
    }
    probe->Done = true;
}

// The owner works on a thread of its own, so a backend that gets this wrong fails the test
// instead of hanging it.
TEST(PlatformMutexTest, RecursiveForTheOwnerAndNotReleasableByOthers) {
    PlatformMutex* mutex = NewMutex();
    ASSERT_NE(mutex, nullptr);
    MutexProbe& owner = NewProbe(mutex);
    ASSERT_TRUE(Os.StartThread(TakeTwiceThenRelease, &owner));
    ASSERT_TRUE(AwaitFlag(owner.Held)) << "the owner could not take it a second time";
    EXPECT_EQ(owner.Wait, PLATFORM_WAIT_TAKEN);
    EXPECT_EQ(owner.SecondWait, PLATFORM_WAIT_TAKEN);

    EXPECT_FALSE(Os.MutexRelease(mutex)) << "released by a thread that does not own it";

    owner.Go = true;
    ASSERT_TRUE(AwaitFlag(owner.Done));
    EXPECT_EQ(owner.Releases, 2) << "released more or less often than taken";

    MutexProbe& next = NewProbe(mutex);
    ASSERT_TRUE(Os.StartThread(WaitAndRelease, &next));
    ASSERT_TRUE(AwaitFlag(next.Done)) << "still held after two releases";
    EXPECT_EQ(next.Wait, PLATFORM_WAIT_TAKEN);
    EXPECT_TRUE(next.Released);

    EXPECT_EQ(Os.MutexWait(nullptr), PLATFORM_WAIT_FAILED);
    EXPECT_FALSE(Os.MutexRelease(nullptr));
}

TEST(PlatformMutexTest, OwnerThatEndsLeavesItAbandonedOnce) {
    PlatformMutex* mutex = NewMutex();
    ASSERT_NE(mutex, nullptr);
    MutexProbe& owner = NewProbe(mutex);
    ASSERT_TRUE(Os.StartThread(TakeAndEnd, &owner));
    ASSERT_TRUE(AwaitFlag(owner.Done));
    ASSERT_EQ(owner.Wait, PLATFORM_WAIT_TAKEN);

    // The waits run on threads of their own, so a backend that never reports the
    // abandonment fails here instead of hanging the test.
    MutexProbe& heir = NewProbe(mutex);
    ASSERT_TRUE(Os.StartThread(WaitAndRelease, &heir));
    ASSERT_TRUE(AwaitFlag(heir.Done)) << "the wait did not end after the owner ended";
    EXPECT_EQ(heir.Wait, PLATFORM_WAIT_ABANDONED);
    EXPECT_TRUE(heir.Released) << "an abandoned wait still takes the mutex";

    MutexProbe& later = NewProbe(mutex);
    ASSERT_TRUE(Os.StartThread(WaitAndRelease, &later));
    ASSERT_TRUE(AwaitFlag(later.Done));
    EXPECT_EQ(later.Wait, PLATFORM_WAIT_TAKEN);
}

// --- command line -----------------------------------------------------------------------

TEST(PlatformArgTest, CopiesAreBoundedAndTellWhenCut) {
    // Windows ignores this vector and splits the test program's own command line; either
    // way argument 0 names the test program.
    static char program[] = "/opt/kiv fsx/kivfsx_unit";
    static char* argv[] = {program, nullptr};
    PlatformArgsInit(1, argv);
    ASSERT_GE(PlatformArgCount(), 1);

    char full[1024];
    ASSERT_TRUE(PlatformArg(0, full, sizeof(full)));
    std::string path = full;
    EXPECT_NE(path.find("kivfsx_unit"), std::string::npos) << path;

    std::vector<char> out(path.size() + 1, 'x');
    EXPECT_TRUE(PlatformArg(0, out.data(), out.size()));
    EXPECT_EQ(std::string(out.data()), path);
    EXPECT_FALSE(PlatformArg(0, out.data(), path.size()));
    EXPECT_EQ(std::string(out.data()), path.substr(0, path.size() - 1));
    EXPECT_FALSE(PlatformArg(0, out.data(), 1));
    EXPECT_STREQ(out.data(), "");

    strcpy(full, "stale");
    EXPECT_FALSE(PlatformArg(PlatformArgCount(), full, sizeof(full)));
    EXPECT_STREQ(full, "");
    strcpy(full, "stale");
    EXPECT_FALSE(PlatformArg(-1, full, sizeof(full)));
    EXPECT_STREQ(full, "");
    EXPECT_FALSE(PlatformArg(0, full, 0));
    PlatformArgsInit(0, nullptr);
}

// --- files ------------------------------------------------------------------------------

using PlatformFilesTest = TempDirTest;

std::set<std::string> FindAll(const std::string& prefix, size_t nameSize) {
    std::set<std::string> names;
    std::vector<char> name(nameSize);
    PlatformDirSearch* search = Os.FindFirst(prefix.c_str(), name.data(), name.size());
    if (search == nullptr) {
        return names;
    }
    names.insert(name.data());
    for (int i = 0; i < 100 && Os.FindNext(search, name.data(), name.size()); ++i) {
        names.insert(name.data());
    }
    Os.FindClose(search);
    return names;
}

TEST_F(PlatformFilesTest, FindYieldsBareNamesThatBeginWithThePrefix) {
    WriteFile("alpha1.txt", "1");
    WriteFile("alpha2", "2");
    WriteFile("beta.alpha", "3");
    std::filesystem::create_directory("alphadir");
    std::string dir = Dir.string() + PLATFORM_DIR_SEP;

    EXPECT_EQ(FindAll(dir + "alpha", 260),
              (std::set<std::string>{"alpha1.txt", "alpha2", "alphadir"}));
    EXPECT_EQ(FindAll(dir + "alpha1", 260), (std::set<std::string>{"alpha1.txt"}));
    EXPECT_TRUE(FindAll(dir + "gamma", 260).empty());
    EXPECT_TRUE(FindAll(dir + "nosuchdir" + PLATFORM_DIR_SEP + "alpha", 260).empty());
    // A name that does not fit is passed over, never cut.
    EXPECT_EQ(FindAll(dir + "alpha", 7), (std::set<std::string>{"alpha2"}));
}

TEST_F(PlatformFilesTest, RenameDeleteAndCurrentDir) {
    WriteFile("old.log", "kept");
    EXPECT_TRUE(Os.RenameFile("old.log", "new.log"));
    EXPECT_FALSE(std::filesystem::exists("old.log"));
    EXPECT_EQ(ReadFile("new.log"), "kept");
    EXPECT_FALSE(Os.RenameFile("old.log", "other.log"));

    EXPECT_TRUE(Os.DeleteFile("new.log"));
    EXPECT_FALSE(std::filesystem::exists("new.log"));
    EXPECT_FALSE(Os.DeleteFile("new.log"));

    char dir[1024];
    ASSERT_TRUE(Os.CurrentDir(dir, sizeof(dir)));
    EXPECT_TRUE(std::filesystem::equivalent(dir, Dir)) << dir;
    EXPECT_FALSE(Os.CurrentDir(dir, strlen(dir))) << "no room for the terminator";
}

// --- network ----------------------------------------------------------------------------

TEST(PlatformNetTest, AdapterListTellsTheSizeItNeedsThenWalks) {
    uint64_t tiny = 0;
    uint32_t size = 1;
    uint32_t rc = Os.GetAdaptersInfo(&tiny, &size);
    if (rc == 232) {
        GTEST_SKIP() << "this host has no network adapter besides loopback";
    }
    ASSERT_EQ(rc, PLATFORM_ADAPTERS_BUFFER_OVERFLOW);
    ASSERT_GT(size, 1u);

    std::vector<uint64_t> buffer(size / sizeof(uint64_t) + 1); // aligned for the records
    ASSERT_EQ(Os.GetAdaptersInfo(buffer.data(), &size), PLATFORM_ADAPTERS_OK);
    int count = 0;
    for (const void* a = PlatformAdapterFirst(buffer.data()); a != nullptr && count < 100;
         a = PlatformAdapterNext(a), ++count) {
        EXPECT_STRNE(PlatformAdapterDescription(a), "");
        for (const char* text : {PlatformAdapterIp(a), PlatformAdapterMask(a)}) {
            char again[16];
            PlatformInetNtoa(PlatformInetAddr(text), again);
            EXPECT_STREQ(again, text) << "not a dotted address";
        }
    }
    EXPECT_GE(count, 1);
    EXPECT_LT(count, 100);
}

TEST(PlatformNetTest, DottedAddressesAreInNetworkOrder) {
    uint32_t addr = PlatformInetAddr("192.168.1.20");
    const auto* bytes = reinterpret_cast<const uint8_t*>(&addr);
    EXPECT_EQ(bytes[0], 192);
    EXPECT_EQ(bytes[3], 20);
    char text[16];
    PlatformInetNtoa(addr, text);
    EXPECT_STREQ(text, "192.168.1.20");
    EXPECT_EQ(PlatformInetAddr("not an address"), PLATFORM_INADDR_NONE);
}

// Loopback only. The datagrams are sent before each receive, so no receive waits.
TEST(PlatformNetTest, DatagramsRoundTripAndAnOversizedOneIsAnErrorAndGone) {
    ASSERT_TRUE(Os.SocketsStart());
    uint32_t loopback = PlatformInetAddr("127.0.0.1");
    PlatformSocket receiver = Os.UdpSocket(true);
    PlatformSocket sender = Os.UdpSocket(false);
    ASSERT_NE(receiver, PLATFORM_NO_SOCKET);
    ASSERT_NE(sender, PLATFORM_NO_SOCKET);
    NetAddr to{loopback, 0};
    for (uint16_t port = 47310; port < 47330 && to.Port == 0; ++port) {
        if (Os.Bind(receiver, NetAddr{loopback, port})) {
            to.Port = port;
        }
    }
    ASSERT_NE(to.Port, 0) << "no free loopback port";
    EXPECT_TRUE(Os.SetBroadcast(sender, 32));

    char big[600] = "hello";
    char in[500];
    NetAddr from{};
    ASSERT_EQ(Os.SendTo(sender, big, 5, to), 5);
    ASSERT_EQ(Os.RecvFrom(receiver, in, sizeof(in), &from), 5);
    EXPECT_EQ(std::string(in, 5), "hello");
    EXPECT_EQ(from.Addr, loopback);
    EXPECT_NE(from.Port, 0);

    ASSERT_EQ(Os.SendTo(sender, big, sizeof(big), to), static_cast<int32_t>(sizeof(big)));
    ASSERT_EQ(Os.SendTo(sender, "next", 4, to), 4);
    EXPECT_EQ(Os.RecvFrom(receiver, in, sizeof(in), &from), -1);
    EXPECT_EQ(Os.RecvFrom(receiver, in, sizeof(in), &from), 4);
    EXPECT_EQ(std::string(in, 4), "next");

    EXPECT_TRUE(Os.CloseSocket(receiver));
    EXPECT_TRUE(Os.CloseSocket(sender));
    EXPECT_EQ(Os.SendTo(PLATFORM_NO_SOCKET, big, 5, to), -1);
}

} // namespace
