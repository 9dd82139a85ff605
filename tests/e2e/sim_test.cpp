// The simulator side end to end: records reach the hub byte for byte, cockpit inputs reach the
// simulator as events, and the simulator's failures behave. (Traffic in Block2 is the wire
// test's.)
#include "harness.h"

#include <cstdlib>
#include <set>

namespace fs = std::filesystem;

namespace {

// Hex of the records the stand-in delivered for `request`.
std::set<std::string> DeliveredRecords(const fs::path& journal, int request) {
    std::set<std::string> out;
    for (const auto& line : ReadLines(journal, "DELIVER ")) {
        if (Field(line, "id") == "8" && Field(line, "request") == std::to_string(request)) {
            out.insert(Field(line, "hex"));
        }
    }
    return out;
}

uint32_t WordAt(const std::string& hex, size_t byteOffset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) |
                static_cast<uint32_t>(std::stoul(hex.substr(2 * (byteOffset + i), 2), nullptr, 16));
    }
    return value;
}

using SimTest = E2eTest;

TEST_F(SimTest, FrameRoadRecordsReachTheHubByteForByte) {
    Proc hub = StartHub({"--record-payload"});
    Proc kiv = StartKivfsx({{"KIVSIM_JOURNAL_RECORDS", "1"}});
    ASSERT_TRUE(WaitForText(HubRecord, "PAYLOAD n=1", 20000, 10)) << ReadText(KivOut);
    // Every block payload's record region is one of the records the simulator delivered.
    struct Road {
        int Block, Request;
        size_t RecordSize;
    };
    for (Road road : {Road{3, 0, 368}, Road{2, 2, 236}, Road{1, 3, 320}}) {
        std::set<std::string> delivered = DeliveredRecords(Journal, road.Request);
        ASSERT_FALSE(delivered.empty()) << "request " << road.Request;
        int matched = 0, nonzero = 0;
        for (const auto& line : ReadLines(HubRecord, "PAYLOAD n=" + std::to_string(road.Block))) {
            std::string region = Field(line, "hex").substr(0, 2 * road.RecordSize);
            if (region.find_first_not_of('0') == std::string::npos) {
                continue; // before the first record
            }
            ++nonzero;
            matched += delivered.count(region) != 0;
        }
        EXPECT_GT(nonzero, 0) << "block " << road.Block;
        EXPECT_EQ(matched, nonzero) << "block " << road.Block;
    }
    // The stand-in flies a "B738": AircraftType 1 in Block1 bytes 352-355 (payload 320).
    bool typed = false;
    for (const auto& line : ReadLines(HubRecord, "PAYLOAD n=1")) {
        typed = typed || WordAt(Field(line, "hex"), 320) == 1;
    }
    EXPECT_TRUE(typed);
    // SimConnected in Block2 bytes 912-915 (payload 880).
    std::string lastBlock2 = Field(ReadLines(HubRecord, "PAYLOAD n=2").back(), "hex");
    EXPECT_EQ(WordAt(lastBlock2, 880), 1u);
}

TEST_F(SimTest, InputRoadHeadingBugStepsAndWraps) {
    Control("set Autopilot Heading Lock Dir=355");
    Proc hub = StartHub({"--fields", "Autopilot Heading Lock Dir"});
    Proc kiv = StartKivfsx();
    ASSERT_TRUE(WaitForText(HubRecord, "value=355.000000", 20000)) << ReadText(KivOut);
    SendLine(hub, "set 100=2");
    ASSERT_TRUE(WaitForText(Journal, "sim=HEADING_BUG_SET data=5 ", 5000)) << ReadText(Journal);
    // The simulator applies it, and the next records carry it back to the hub.
    EXPECT_TRUE(WaitForText(HubRecord, "name=\"Autopilot Heading Lock Dir\" value=5.000000", 5000));
    ExpectLateExceptionRoad(hub);
}

TEST_F(SimTest, MissingLibraryPromptsAndExitsWith100) {
    fs::remove_all(Store);
    fs::create_directories(Store);
    Proc kiv = StartKivfsx();
    ASSERT_TRUE(WaitForText(KivOut, "Press \"Enter\" to exit...", 10000)) << ReadText(KivOut);
    EXPECT_NE(ReadText(KivOut).find("DLL not found\n"), std::string::npos);
    EXPECT_TRUE(Running(kiv)); // waits for Enter
    SendLine(kiv, "");
    EXPECT_EQ(WaitExit(kiv, 5000), 100);
    EXPECT_NE(ReadText(Dir / "KivFSX.log").find("No suitable Dll found\n"), std::string::npos);
}

} // namespace
