// The block sender: headers, the shared sequence, and sending only while the link is up (the
// 70 ms rotation is the end-to-end link test's).
#include "net_fixture.h"

namespace {

struct Sent {
    PlatformSocket Sock;
    std::vector<uint8_t> Data;
    NetAddr To;
};
std::vector<Sent> Captured;
int FailSendAt = -1; // index of the SendTo call that fails

int32_t CaptureSend(PlatformSocket s, const void* data, size_t size, NetAddr to) {
    const auto* p = static_cast<const uint8_t*>(data);
    Captured.push_back({s, std::vector<uint8_t>(p, p + size), to});
    return static_cast<int>(Captured.size()) - 1 == FailSendAt ? -1 : static_cast<int32_t>(size);
}

struct SenderTest : NetTest {
    void SetUp() override {
        NetTest::SetUp();
        Captured.clear();
        FailSendAt = -1;
        Os.SendTo = CaptureSend;
    }
    void Connect() {
        ClientSocket = 77;
        CommMgrAddr = PackNetAddr(NetAddr{Dotted("127.0.0.1"), 9021});
        CommMgrConnected = 1;
    }
};

TEST_F(SenderTest, NothingLeavesWhileDownTheSequenceWrapsAfter999AndErrorsAreLogged) {
    BlockSequence = 997;
    UDPSend(Block3);
    EXPECT_TRUE(Captured.empty());
    EXPECT_EQ(BlockGetI32(Block3, 8), 997); // the block's own header is stamped all the same
    Connect();
    FailSendAt = 1;
    for (Block* b : {&Block1, &Block2, &Block3}) {
        UDPSend(*b);
    }
    ASSERT_EQ(Captured.size(), 3u);
    EXPECT_EQ(FieldAt<uint32_t>(Captured[0].Data, 8), 998u);
    EXPECT_EQ(FieldAt<uint32_t>(Captured[1].Data, 8), 999u);
    EXPECT_EQ(FieldAt<uint32_t>(Captured[2].Data, 8), 0u);
    EXPECT_EQ(Log(), "Log started.\nUDPSend() - Client send error\n");
}

TEST_F(SenderTest, EachBlockGoesWholeWithItsHeaderToTheCommMgr) {
    BlockSetI32(Block1, BLOCK1_PANEL_ON, 1); // as start-up leaves it
    Connect();
    for (Block* b : {&Block1, &Block2, &Block3}) {
        UDPSend(*b);
    }
    ASSERT_EQ(Captured.size(), 3u);
    const size_t sizes[] = {360, 920, 400};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::vector<uint8_t>& d = Captured[i].Data;
        ASSERT_EQ(d.size(), sizes[i]);
        EXPECT_EQ(Captured[i].Sock, 77);
        EXPECT_EQ(Captured[i].To.Port, 9021);
        MsgHeader h{1, 1, uint32_t(i), i + 1, 0, 0, 503, 14, 2}; // reserved, length zero
        EXPECT_EQ(memcmp(d.data(), &h, sizeof(h)), 0);
    }
    // Payload as the blocks hold it: before any simulator data only the panel flag is set.
    std::vector<uint8_t> expected(328, 0);
    expected[340 - 32] = 1;
    EXPECT_EQ(std::vector<uint8_t>(Captured[0].Data.begin() + 32, Captured[0].Data.end()),
              expected);
    EXPECT_EQ(BlockGetI32(Block2, 24), 0); // the last header fields are stamped in the copy only
}

} // namespace
