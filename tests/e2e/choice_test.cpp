// The settings that choose where discovery goes, on a host with two networks: the adapter of
// the first network chosen although the second one is listed last, and discovery sent straight
// to the hub by unicast; a relaunched instance keeps the settings.
#include "harness.h"

#include <fstream>

namespace fs = std::filesystem;

namespace {

struct ChoiceTest : E2eTest {
    void SetUp() override {
        E2eTest::SetUp();
        AddSecondNetwork();
    }
    void TearDown() override {
        E2eTest::TearDown();
        RemoveSecondNetwork();
    }
    // A hub that hears discovery only when it is sent to `listenAddress`.
    Proc StartListeningHub(const std::string& listenAddress, const std::string& dataPort,
                           const fs::path& record, const fs::path& out) {
        return Spawn({CommgrPath(), "--address", "10.77.0.3", "--listen-address", listenAddress,
                      "--data-port", dataPort, "--record", record.string(), "--summary-ms", "0"},
                     Dir, {}, out);
    }
};

TEST_F(ChoiceTest, TheChosenAdapterNotTheLastOneCarriesTheBroadcast) {
    std::ofstream(Dir / "kivfsx-settings.txt") << "# the cockpit's network\nadapter = v0\n";
    // One hub on each network's broadcast address.
    Proc hub = StartListeningHub("10.77.0.255", "9020", HubRecord, HubOut);
    fs::path otherRecord = Dir / "other-record.txt";
    Proc other = StartListeningHub("10.78.0.255", "9021", otherRecord, Dir / "other-out.txt");
    Proc kiv = StartKivfsx();
    ASSERT_TRUE(WaitForText(KivOut, "Connected to CommMgr\n", 20000)) << ReadText(KivOut);
    std::string shown = ReadText(KivOut);
    EXPECT_NE(shown.find("Setting adapter = v0: discovery, listening and announcing on the "
                         "adapter with this address or description\n"),
              std::string::npos)
        << shown;
    // The listing stays, marks v0, and names an adapter of the second network last.
    EXPECT_NE(shown.find("   Desc: \tv0\n     IP: \t10.77.0.2\n   Mask: \t255.255.255.0\n"
                         "    Use: \tthis adapter (setting adapter)\n"),
              std::string::npos)
        << shown;
    size_t lastIp = shown.rfind("     IP: \t");
    EXPECT_EQ(shown.substr(lastIp + 10, 8), "10.78.0.") << shown;
    EXPECT_NE(shown.find("    Net: \t10.77.0.0\n"), std::string::npos) << shown;
    EXPECT_EQ(Field(ReadLines(HubRecord, "DISCOVERY ").front(), "text"), "10.77.0.2 9030 1 1209");
    EXPECT_TRUE(WaitForText(HubRecord, "BLOCK ", 10000));
    EXPECT_TRUE(ReadLines(otherRecord, "DISCOVERY ").empty());
    EXPECT_TRUE(Running(kiv));
}

TEST_F(ChoiceTest, TheHubsAddressGetsDiscoveryByUnicastAlsoAfterARelaunch) {
    std::ofstream(Dir / "kivfsx-settings.txt") << "hub = 10.77.0.3\n";
    Proc hub = StartListeningHub("10.77.0.3", "9020", HubRecord, HubOut);
    Proc kiv = StartKivfsx();
    ASSERT_TRUE(WaitForText(HubRecord, "DISCOVERY ", 15000)) << ReadText(KivOut);
    ASSERT_TRUE(WaitForText(KivOut, "Connected to CommMgr\n", 10000)) << ReadText(KivOut);
    const std::string line = "Discovery goes to 10.77.0.3 port 9019 (setting hub)\n";
    EXPECT_EQ(CountOf(ReadText(KivOut), line), 1u);
    EXPECT_NE(ReadText(Dir / "KivFSX.log").find(line), std::string::npos);
    // An oversized datagram relaunches with the next count, the old log saved; the new instance
    // reads the same settings and finds the hub the same way.
    ASSERT_TRUE(WaitForText(HubRecord, "BLOCK ", 10000));
    SendLine(hub, "size 600");
    EXPECT_EQ(WaitExit(kiv, 5000), 0);
    EXPECT_NE(ReadText(Dir / "KivSaved.log").find("Buffer over run on DGRAM. Length = 600\n"),
              std::string::npos);
    ASSERT_TRUE(WaitForText(KivOut, " KivSim (1)\n", 5000)) << ReadText(KivOut);
    EXPECT_TRUE(WaitForText(KivOut, line, 10000, 2)) << ReadText(KivOut);
    EXPECT_TRUE(WaitForText(KivOut, "Connected to CommMgr\n", 15000, 2)) << ReadText(KivOut);
    EXPECT_NE(ReadText(Dir / "KivFSX.log").find("This is a restart.\n"), std::string::npos);
}

} // namespace
