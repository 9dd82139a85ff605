// UDP start-up through replaced socket calls (the failure table, the port, the host address)
// and on a real loopback socket (PollUDP handles what was sent).
#include "net_fixture.h"

#include "net/receive.h"

namespace {

uint32_t LookupAddr = 0;
bool LookupOk = true;
int SocketsMade = 0;
int FailSocketAt = -1; // index of the UdpSocket call that fails
bool BindOk = true;
NetAddr BoundTo{};
int32_t BroadcastValue = 0;
uint32_t Paused = 0;

bool StubLookup(const char*, char* official, size_t size, uint32_t* addr, bool* has) {
    snprintf(official, size, "cockpit-pc.local");
    *addr = LookupAddr;
    *has = true;
    return LookupOk;
}
PlatformSocket StubSocket(bool) {
    int n = SocketsMade++;
    return n == FailSocketAt ? PLATFORM_NO_SOCKET : 100 + n;
}
// No adapters; the adapter buffer stays allocated for the life of a process, so tests lend
// a static one.
alignas(16) uint8_t AdapterArena[4096];
void NoAdapterMemoryKept() {
    Os.GetAdaptersInfo = [](void*, uint32_t*) { return uint32_t{232}; };
    Os.Alloc = [](size_t size) {
        return size <= sizeof(AdapterArena) ? (void*)AdapterArena : nullptr;
    };
    Os.Free = [](void*) {};
}

struct UdpTest : NetTest {
    void SetUp() override {
        NetTest::SetUp();
        LookupAddr = Dotted("192.168.1.20");
        LookupOk = true;
        SocketsMade = 0;
        FailSocketAt = -1;
        BindOk = true;
        Os.HostName = [](char* out, size_t size) { return snprintf(out, size, "pc") > 0; };
        Os.LookupHost = StubLookup;
        Os.UdpSocket = StubSocket;
        Os.Bind = [](PlatformSocket, NetAddr addr) { return (BoundTo = addr, BindOk); };
        Os.SetBroadcast = [](PlatformSocket, int32_t value) {
            return (BroadcastValue = value) != 0;
        };
        NoAdapterMemoryKept();
    }
};

TEST_F(UdpTest, StartsOnTheHostAddressWithTheLow16BitsOfThePort) {
    CaptureConsole();
    ASSERT_TRUE(InitUDP(70000));
    EXPECT_STREQ(HostIP, "192.168.1.20");
    EXPECT_EQ(BoundTo.Addr, Dotted("192.168.1.20"));
    EXPECT_EQ(BoundTo.Port, 4464);
    EXPECT_EQ(MonitorSocket, 100);
    EXPECT_EQ(BroadcastSocket, 101);
    EXPECT_EQ(BroadcastValue, 32);
    EXPECT_FALSE(HaveBroadcastAddr); // no adapters: started all the same
    std::string console = Console();
    EXPECT_EQ(console.substr(0, 38), "     IP: 192.168.1.20\n   Port: 70000\n\n");
    std::string log = Log();
    EXPECT_NE(log.find("Starting UDP Services\nHost Name: cockpit-pc.local\n     Port: 70000\n"
                       "Host IP: 192.168.1.20\n"),
              std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 49), "UDP services ver. 0.027 successfully initialized\n");

    ResetNetState();
    LookupOk = false; // a failed lookup binds the any address
    ASSERT_TRUE(InitUDP(DEFAULT_LISTEN_PORT));
    EXPECT_STREQ(HostIP, "0.0.0.0");
    EXPECT_EQ(BoundTo.Addr, 0u);
    EXPECT_NE(Log().find("InitUDP() - gethostbyname() failureHost IP: 0.0.0.0\n"),
              std::string::npos);
}

TEST_F(UdpTest, EachFailureEndsTheStartUpWithItsMessage) {
    struct Case {
        int failSocketAt;
        bool bindOk;
        const char* hostIp;
        const char* message;
    } cases[] = {
        {0, true, "192.168.1.20", "InitUDP() - InitUdp() - Error creating monitor socket.\n"},
        {-1, true, "255.255.255.255", "InitUDP() - Bad IP address\n"},
        {-1, false, "192.168.1.20", "InitUDP() - Monitor socket bind error\n"},
        {1, true, "192.168.1.20", "PhoneHome() - Broadcast Socket Open Failure\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        SocketsMade = 0;
        FailSocketAt = c.failSocketAt;
        BindOk = c.bindOk;
        LookupAddr = Dotted(c.hostIp);
        EXPECT_FALSE(InitUDP(DEFAULT_LISTEN_PORT));
        std::string log = Log();
        EXPECT_EQ(log.substr(log.size() - strlen(c.message)), c.message);
    }
}

// PollUDP hands what one receive gives to the handlers; a receive that keeps failing after a
// relaunch was requested pauses instead of spinning.
TEST_F(UdpTest, PollUdpHandlesEachReceiveAndPausesOnErrorsOnceRelaunching) {
    Os.RecvFrom = [](PlatformSocket, void* data, size_t size, NetAddr*) {
        std::vector<uint8_t> ka = MakeMsg(2, 9);
        memcpy(data, ka.data(), ka.size());
        return size > ka.size() ? static_cast<int32_t>(ka.size()) : -1;
    };
    Os.SleepMs = [](uint32_t ms) { Paused += ms; };
    Paused = 0;
    PollUDP();
    EXPECT_EQ(CommMgrHeard.load(), 1);
    Os.RecvFrom = [](PlatformSocket, void*, size_t, NetAddr*) { return int32_t{-1}; };
    CaptureConsole();
    PollUDP(); // asks for the relaunch, then pauses
    PollUDP();
    EXPECT_EQ(Console(), "Zero Length msg received\nZero Length msg received\n");
    EXPECT_EQ(Paused, 2 * RECEIVE_ERROR_PAUSE_MS);
    EXPECT_EQ(NetSpawns.load(), 1);
}

} // namespace
