// The link monitor, tick by tick, and the discovery broadcast's failures (what it sends is the
// end-to-end link test's); then the link's threads run together over their shared flags (for
// the thread sanitizer).
#include "net_fixture.h"

#include "net/receive.h"

namespace {

int Broadcasts = 0; // sends of the broadcast
bool SendFails = false;

int32_t CaptureSend(PlatformSocket, const void*, size_t size, NetAddr) {
    ++Broadcasts;
    return SendFails ? -1 : static_cast<int32_t>(size);
}

struct MonitorTest : NetTest {
    void SetUp() override {
        NetTest::SetUp();
        Broadcasts = 0;
        SendFails = false;
        Os.SendTo = CaptureSend;
        HaveBroadcastAddr = true;
    }
    // Runs `ticks` ticks with the console captured; returns what they printed.
    std::string Ticks(int ticks, bool heardEach = false) {
        CaptureConsole();
        for (int i = 0; i < ticks; ++i) {
            if (heardEach) {
                CommMgrHeard = 1;
            }
            MonitorTick(9100);
        }
        return Console();
    }
};

TEST_F(MonitorTest, ABroadcastFailureIsReportedEachTick) {
    Ticks(1);
    ASSERT_EQ(Broadcasts, 1);
    SendFails = true;
    EXPECT_EQ(Ticks(1), "Broadcast send error\n");
    HaveBroadcastAddr = false; // no broadcast address: nothing to send to, the same report
    EXPECT_EQ(Ticks(1), "Broadcast send error\n");
    EXPECT_EQ(Broadcasts, 2);
    EXPECT_EQ(Log(), "Log started.\nBroadcast send error\nBroadcast send error\n");
}

TEST_F(MonitorTest, SixSilentTicksDeclareTheLinkLostAndBroadcastingResumesAtOnce) {
    // Signs of life without an address do not bring the link up.
    EXPECT_EQ(Ticks(2, true), "Connected to CommMgr\nConnected to CommMgr\n");
    EXPECT_EQ(CommMgrConnected.load(), 0);
    EXPECT_EQ(CommMgrHeard.load(), 0);
    Broadcasts = 0;

    CommMgrConnected = 1;
    EXPECT_EQ(Ticks(10, true), "");
    EXPECT_EQ(Ticks(5), "");
    // One sign of life after five silent ticks starts the count again.
    EXPECT_EQ(Ticks(1, true), "");
    EXPECT_EQ(Ticks(5), "");
    EXPECT_EQ(Broadcasts, 0);
    EXPECT_EQ(Ticks(1), "Connection with CommMgr lost\n");
    EXPECT_EQ(CommMgrConnected.load(), 0);
    EXPECT_EQ(Broadcasts, 1);
}

// The receive path, the sender and the monitor share the link flags, the client socket and
// the destination. Each runs a bounded number of rounds on its own thread; under the thread
// sanitizer any unguarded access among them is reported.
std::atomic<int> SocketsMade{0};

TEST_F(MonitorTest, TheLinkThreadsShareTheirStateSafely) {
    Os.SendTo = [](PlatformSocket, const void*, size_t size, NetAddr) { return int32_t(size); };
    Os.UdpSocket = [](bool) { return PlatformSocket(1000 + SocketsMade.fetch_add(1)); };
    Os.CloseSocket = [](PlatformSocket) { return true; };
    constexpr int ROUNDS = 300;
    SocketsMade = 0;
    CaptureConsole();
    TestThreads threads;
    threads.Start([] {
        std::vector<uint8_t> address = MakeMsg(2, 5);
        AppendText(address, "127.0.0.1 9021");
        std::vector<uint8_t> keepAlive = MakeMsg(2, 9);
        for (int i = 0; i < ROUNDS; ++i) {
            std::vector<uint8_t> d = (i % 4 == 0) ? address : keepAlive;
            d.push_back(0);
            HandleDatagram(d.data(), static_cast<int32_t>(d.size()) - 1);
        }
    });
    threads.Start([] {
        for (int i = 0; i < ROUNDS; ++i) {
            UDPSend(i % 2 ? Block2 : Block1);
        }
    });
    for (int i = 0; i < ROUNDS; ++i) {
        MonitorTick(DEFAULT_LISTEN_PORT);
    }
    ASSERT_TRUE(threads.Join());
    Console();
    EXPECT_EQ(SocketsMade.load(), ROUNDS / 4);
    EXPECT_EQ(UnpackNetAddr(CommMgrAddr.load()).Port, 9021);
}

} // namespace
