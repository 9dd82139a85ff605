// The link monitor, tick by tick, and the discovery broadcast; then the link's threads run
// together over their shared flags (for the thread sanitizer).
#include "net_fixture.h"

#include <thread>

#include "net/receive.h"

namespace {

std::vector<std::vector<uint8_t>> Broadcasts;
std::vector<NetAddr> BroadcastTo;
bool SendFails = false;

int32_t CaptureSend(PlatformSocket s, const void* data, size_t size, NetAddr to) {
    const auto* p = static_cast<const uint8_t*>(data);
    Broadcasts.emplace_back(p, p + size);
    BroadcastTo.push_back(to);
    return SendFails ? -1 : static_cast<int32_t>(size);
}

struct MonitorTest : NetTest {
    void SetUp() override {
        NetTest::SetUp();
        Broadcasts.clear();
        BroadcastTo.clear();
        SendFails = false;
        Os.SendTo = CaptureSend;
        snprintf(HostIP, sizeof(HostIP), "192.168.1.20");
        BroadcastSocket = 55;
        BroadcastAddr = NetAddr{Dotted("192.168.1.255"), 9019};
        HaveBroadcastAddr = true;
    }
    // Runs `ticks` ticks with the console captured; returns what they printed.
    std::string Ticks(int ticks, bool heardEach = false) {
        CaptureConsole();
        for (int i = 0; i < ticks; ++i) {
            if (heardEach) {
                CommMgrHeard = 1;
            }
            MonitorTick();
        }
        return Console();
    }
};

TEST_F(MonitorTest, TheBroadcastAnnouncesHostPortAndConstants) {
    Ticks(1);
    ASSERT_EQ(Broadcasts.size(), 1u);
    const std::vector<uint8_t>& d = Broadcasts[0];
    ASSERT_EQ(d.size(), 57u);
    EXPECT_EQ(std::string(d.begin() + 32, d.end()), "192.168.1.20 9030 1 1209\n");
    EXPECT_EQ(FieldAt<int32_t>(d, 0), 2);
    EXPECT_EQ(FieldAt<int32_t>(d, 4), 9);
    EXPECT_EQ(FieldAt<int32_t>(d, 24), 503);
    EXPECT_EQ(FieldAt<int16_t>(d, 28), 14);
    EXPECT_EQ(BroadcastTo[0].Addr, Dotted("192.168.1.255"));
    EXPECT_EQ(BroadcastTo[0].Port, 9019);
}

TEST_F(MonitorTest, SixSilentTicksDeclareTheLinkLostAndBroadcastingResumesAtOnce) {
    CommMgrConnected = 1;
    EXPECT_EQ(Ticks(10, true), "");
    EXPECT_EQ(MissCount, 0);
    EXPECT_EQ(Ticks(5), "");
    EXPECT_EQ(CommMgrConnected.load(), 1);
    // One sign of life after five silent ticks starts the count again.
    EXPECT_EQ(Ticks(1, true), "");
    EXPECT_EQ(Ticks(5), "");
    EXPECT_TRUE(Broadcasts.empty());
    EXPECT_EQ(Ticks(1), "Connection with CommMgr lost\n");
    EXPECT_EQ(CommMgrConnected.load(), 0);
    EXPECT_EQ(Broadcasts.size(), 1u);
    EXPECT_EQ(MissCount, 6);
}

TEST_F(MonitorTest, SignsOfLifeWithoutAnAddressDoNotBringTheLinkUp) {
    EXPECT_EQ(Ticks(3, true), "Connected to CommMgr\nConnected to CommMgr\nConnected to CommMgr\n");
    EXPECT_EQ(CommMgrConnected.load(), 0);
    EXPECT_EQ(Broadcasts.size(), 3u);
    EXPECT_EQ(CommMgrHeard.load(), 0);
}

TEST_F(MonitorTest, AFailedBroadcastIsReportedEveryTick) {
    SendFails = true;
    EXPECT_EQ(Ticks(2), "Broadcast send error\nBroadcast send error\n");
    HaveBroadcastAddr = false; // no broadcast address: nothing to send to, the same report
    EXPECT_EQ(Ticks(1), "Broadcast send error\n");
    EXPECT_EQ(Broadcasts.size(), 2u);
    EXPECT_EQ(Log(), "Log started.\nBroadcast send error\nBroadcast send error\n"
                     "Broadcast send error\n");
}

TEST_F(MonitorTest, TheMonitorWaitsOneSecondBeforeEachTick) {
    static std::vector<size_t> sentAtSleep;
    sentAtSleep.clear();
    Os.SleepMs = [](uint32_t ms) {
        EXPECT_EQ(ms, 1000u);
        sentAtSleep.push_back(Broadcasts.size());
        if (sentAtSleep.size() == 3) {
            Os.Exit(0);
        }
    };
    EXPECT_EQ(ExitCodeOf([] { Monitor(nullptr); }), 0);
    EXPECT_EQ(sentAtSleep, (std::vector<size_t>{0, 1, 2}));
    EXPECT_EQ(Log(), "Log started.\nMonitor has started\n");
}

// The receive path, the sender and the monitor share the link flags, the client socket and
// the destination. Each runs a bounded number of rounds on its own thread; under the thread
// sanitizer any unguarded access among them is reported.
std::atomic<int> SocketsMade{0};
PlatformSocket CountingSocket(bool) {
    return 1000 + SocketsMade.fetch_add(1);
}
bool QuietClose(PlatformSocket) {
    return true;
}
int32_t QuietSend(PlatformSocket, const void*, size_t size, NetAddr) {
    return static_cast<int32_t>(size);
}

TEST_F(MonitorTest, TheLinkThreadsShareTheirStateSafely) {
    Os.SendTo = QuietSend;
    Os.UdpSocket = CountingSocket;
    Os.CloseSocket = QuietClose;
    constexpr int ROUNDS = 300;
    SocketsMade = 0;
    CaptureConsole();
    std::thread receiver([] {
        std::vector<uint8_t> address = MakeMsg(2, 5);
        AppendText(address, "127.0.0.1 9021");
        std::vector<uint8_t> keepAlive = MakeMsg(2, 9);
        for (int i = 0; i < ROUNDS; ++i) {
            std::vector<uint8_t> d = (i % 4 == 0) ? address : keepAlive;
            d.push_back(0);
            HandleDatagram(d.data(), static_cast<int32_t>(d.size()) - 1);
        }
    });
    std::thread sender([] {
        for (int i = 0; i < ROUNDS; ++i) {
            UDPSend(i % 2 ? Block2 : Block1);
        }
    });
    for (int i = 0; i < ROUNDS; ++i) {
        MonitorTick();
    }
    receiver.join();
    sender.join();
    Console();
    EXPECT_EQ(SocketsMade.load(), ROUNDS / 4);
    EXPECT_EQ(UnpackNetAddr(CommMgrAddr.load()).Port, 9021);
}

} // namespace
