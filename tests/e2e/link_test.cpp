// The network link end to end: discovery, address, blocks, keep-alives, loss, the configured
// port, and a second instance on it. (A datagram that relaunches the program
// is the choice test's.)
#include "harness.h"

#include <fstream>

namespace fs = std::filesystem;

namespace {

// Checks a run of block records: all well-formed, in rotation, consecutive sequence numbers,
// and about one every 70 ms (a tolerant window: the check is that they are paced, not fast).
void ExpectHealthyBlocks(const std::vector<std::string>& blocks) {
    ASSERT_GE(blocks.size(), 12u);
    for (size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(Field(blocks[i], "ok"), "1") << blocks[i];
        if (i > 0) {
            int n0 = std::stoi(Field(blocks[i - 1], "n"));
            int n1 = std::stoi(Field(blocks[i], "n"));
            EXPECT_EQ(n1, n0 % 3 + 1) << blocks[i];
            int s0 = std::stoi(Field(blocks[i - 1], "seq"));
            int s1 = std::stoi(Field(blocks[i], "seq"));
            EXPECT_EQ(s1, (s0 + 1) % 1000) << blocks[i];
        }
    }
    double first = std::stod(Field(blocks.front(), "t"));
    double last = std::stod(Field(blocks.back(), "t"));
    double interval = (last - first) / static_cast<double>(blocks.size() - 1);
    EXPECT_GT(interval, 55.0);
    EXPECT_LT(interval, 140.0);
}

using LinkTest = E2eTest;

TEST_F(LinkTest, DiscoveryAddressBlocksKeepAliveAndLoss) {
    Proc hub = StartHub();
    Proc kiv = StartKivfsx();
    // Discovery: the exact text, to port 9019 of the network's broadcast address.
    ASSERT_TRUE(WaitForText(HubRecord, "DISCOVERY ", 15000)) << ReadText(KivOut);
    std::string discovery = ReadLines(HubRecord, "DISCOVERY ").front();
    EXPECT_EQ(Field(discovery, "text"), "10.77.0.2 9030 1 1209");
    EXPECT_EQ(Field(discovery, "len"), "54");
    EXPECT_EQ(Field(discovery, "class"), "2");
    EXPECT_EQ(Field(discovery, "type"), "9");
    EXPECT_EQ(Field(discovery, "version"), "503");
    EXPECT_EQ(Field(discovery, "source"), "14");
    ExpectAdapterShown(KivOut);

    // The address message brings the link up, and blocks flow.
    ASSERT_TRUE(
        WaitForText(KivOut, "Connected to CommMgr\n   Port: 9020\n     IP: 10.77.0.3", 5000))
        << ReadText(KivOut);
    ASSERT_TRUE(WaitForText(HubRecord, "BLOCK ", 10000, 40));
    ExpectHealthyBlocks(ReadLines(HubRecord, "BLOCK "));

    // Keep-alives hold the link: no discovery while it is up.
    size_t discoveries = ReadLines(HubRecord, "DISCOVERY ").size();
    SleepMs(2500);
    EXPECT_EQ(ReadLines(HubRecord, "DISCOVERY ").size(), discoveries);
    EXPECT_EQ(CountOf(ReadText(KivOut), "Connection with CommMgr lost"), 0u);

    // Six silent seconds declare it lost; the blocks stop; broadcasts resume at once.
    SendLine(hub, "pause");
    uint64_t paused = NowMs();
    ASSERT_TRUE(WaitForText(KivOut, "Connection with CommMgr lost\n", 12000));
    uint64_t lost = NowMs();
    EXPECT_GT(lost - paused, 4500u);
    EXPECT_LT(lost - paused, 9000u);
    EXPECT_TRUE(WaitForText(HubRecord, "DISCOVERY ", 1500, static_cast<int>(discoveries) + 1));
    size_t blocks = ReadLines(HubRecord, "BLOCK ").size();
    SleepMs(1000);
    EXPECT_LE(ReadLines(HubRecord, "BLOCK ").size(), blocks + 1);
    EXPECT_TRUE(Running(kiv));
}

// The configured port is bound and announced; a second instance configured the same cannot bind
// it and ends with 100.
TEST_F(LinkTest, TheConfiguredPortIsBoundAndAnnouncedAndASecondInstanceOnItEndsWith100) {
    fs::path second = Dir / "second";
    fs::create_directories(second);
    for (const fs::path& dir : {Dir, second}) {
        std::ofstream(dir / "kivfsx.cfg") << "port 9100\n";
    }
    Proc hub = StartHub();
    Proc kiv = StartKivfsx();
    ASSERT_TRUE(WaitForText(HubRecord, "DISCOVERY ", 15000));
    EXPECT_EQ(Field(ReadLines(HubRecord, "DISCOVERY ").front(), "text"), "10.77.0.2 9100 1 1209");
    EXPECT_TRUE(WaitForText(KivOut, "   Port: 9100\n", 1000));
    EXPECT_TRUE(WaitForText(HubRecord, "BLOCK ", 10000));
    Proc other = Spawn({KivfsxPath()}, second, SimEnv(), second / "out.txt");
    EXPECT_EQ(WaitExit(other, 10000), 100);
    std::string log = ReadText(second / "KivFSX.log");
    EXPECT_NE(log.find("InitUDP() - Monitor socket bind error\n"), std::string::npos) << log;
    EXPECT_NE(log.find("InitSimUDP() - failed\n"), std::string::npos) << log;
    EXPECT_TRUE(Running(kiv));
}

} // namespace
