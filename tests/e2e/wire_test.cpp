// Seeing and replaying the wire: a real session captured on the network and recorded by the
// hub emulator decodes in tshark with the dissector (tools/wireshark/kivnet.lua), every kind
// of message and the values the simulator set; the capture, replayed in a loop through the
// simulator stand-in, travels through the bridge again as the same flight.
#include "harness.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// One message as tshark's field output shows it: the fields asked for, by name; several
// occurrences joined by ','.
using Fields = std::map<std::string, std::string>;

struct WireTest : E2eTest {
    void SetUp() override {
        E2eTest::SetUp();
        if (std::system("{ command -v tshark && command -v dumpcap; } >/dev/null 2>&1") != 0) {
            if (getenv("CI") != nullptr && std::string(getenv("CI")) == "true") {
                FAIL() << "tshark and dumpcap are needed (Debian package tshark)";
            }
            GTEST_SKIP() << "tshark or dumpcap is not installed (Debian package tshark)";
        }
        const char* source = getenv("KIV_SOURCE_DIR");
        ASSERT_NE(source, nullptr);
        Dissector = fs::path(source) / "tools" / "wireshark" / "kivnet.lua";
        ASSERT_TRUE(fs::exists(Dissector));
    }

    // tshark with the dissector on `capture`: its output lines (standard error too).
    std::vector<std::string> RunTshark(const fs::path& capture,
                                       const std::vector<std::string>& args) {
        std::vector<std::string> all{"tshark",         "-n", "-r",
                                     capture.string(), "-X", "lua_script:" + Dissector.string()};
        all.insert(all.end(), args.begin(), args.end());
        fs::path out = Dir / ("tshark-" + std::to_string(Runs++) + ".txt");
        Proc tshark = Spawn(all, Dir, {}, out);
        EXPECT_EQ(WaitExit(tshark, 120000), 0) << ReadText(out);
        return ReadLines(out);
    }

    // The messages of `capture` that match `filter`, with the fields `names`.
    std::vector<Fields> Messages(const fs::path& capture, const std::string& filter,
                                 const std::vector<std::string>& names) {
        std::vector<std::string> args{"-Y", filter,        "-T", "fields",  "-E", "header=y",
                                      "-E", "separator=|", "-E", "quote=n", "-E", "aggregator=,"};
        for (const auto& name : names) {
            args.push_back("-e");
            args.push_back(name);
        }
        std::vector<Fields> out;
        bool header = false;
        for (const auto& line : RunTshark(capture, args)) {
            if (!header) {
                header = line.rfind(names.front() + "|", 0) == 0 || line == names.front();
                continue; // tshark's own notices come before the header line
            }
            Fields fields;
            std::istringstream values(line);
            std::string value;
            for (const auto& name : names) {
                std::getline(values, value, '|');
                fields[name] = value;
            }
            out.push_back(fields);
        }
        return out;
    }

    // Checks that every message of `capture` decodes without a dissector error.
    void ExpectCleanDecode(const fs::path& capture) {
        std::string text;
        for (const auto& line : RunTshark(capture, {"-V"})) {
            text += line + "\n";
        }
        EXPECT_GT(CountOf(text, "KivFSX cockpit network"), 0u) << capture;
        for (const char* bad : {"Lua Error", "Lua: Error", "Malformed", "Dissector bug"}) {
            EXPECT_EQ(CountOf(text, bad), 0u) << bad << " in " << capture;
        }
    }

    Proc StartCapture(const fs::path& file) {
        Proc dumpcap = Spawn({"dumpcap", "-i", "any", "-f", "udp", "-P", "-w", file.string()}, Dir,
                             {}, CaptureOut());
        EXPECT_TRUE(WaitForText(CaptureOut(), "Capturing on", 15000)) << ReadText(CaptureOut());
        return dumpcap;
    }

    // Stops the capture once it holds at least `packets` packets (the capture library hands
    // them over in batches, and an interrupted capture drops a batch not handed over yet).
    void StopCapture(Proc& dumpcap, size_t packets) {
        for (uint64_t end = NowMs() + 15000; CapturedCount() < packets && NowMs() < end;) {
            SleepMs(100);
        }
        kill(dumpcap.Pid, SIGINT);
        EXPECT_EQ(WaitExit(dumpcap, 10000), 0) << ReadText(CaptureOut());
    }

    fs::path CaptureOut() const { return Dir / "dumpcap-out.txt"; }

    // Waits until the hub has seen a traffic list (the bridge's requests start five seconds
    // after it connects).
    bool WaitForTraffic() const {
        for (uint64_t end = NowMs() + 25000; NowMs() < end; SleepMs(200)) {
            for (const auto& line : ReadLines(HubRecord)) {
                if (Field(line, "name") == "Traffic" && Field(line, "value") != "0") {
                    return true;
                }
            }
        }
        return false;
    }

    // The count of captured packets that dumpcap showed last ("Packets: N").
    size_t CapturedCount() const {
        std::string text = ReadText(CaptureOut());
        size_t at = text.rfind("Packets: ");
        return at == std::string::npos ? 0 : std::stoul(text.substr(at + 9));
    }

    void StopHub(Proc& hub) {
        SendLine(hub, "quit");
        EXPECT_EQ(WaitExit(hub, 5000), 0);
    }

    fs::path Dissector;
    int Runs = 0;
};

bool HasValue(const std::vector<Fields>& messages, const std::string& field,
              const std::string& value) {
    return std::any_of(messages.begin(), messages.end(), [&](const Fields& m) {
        return ("," + m.at(field) + ",").find("," + value + ",") != std::string::npos;
    });
}

// A 32-byte header in hex, as the hub's `raw` command takes it.
std::string HeaderHex(uint32_t msgClass, uint32_t msgType, uint32_t count, uint32_t version,
                      uint16_t source, uint16_t destination) {
    const uint32_t words[8] = {msgClass, msgType, 0,       count,
                               0,        0,       version, source | uint32_t{destination} << 16};
    std::string out;
    char pair[4];
    for (size_t i = 0; i < sizeof(words); ++i) {
        snprintf(pair, sizeof(pair), "%02x ", (words[i / 4] >> (8 * (i % 4))) & 0xffu);
        out += pair;
    }
    return out;
}

// The simulator's records and traffic lists as the hub saw them, each run of equal ones once,
// and the bridge's own words of the last block of each.
struct Flight {
    std::map<int, std::vector<std::string>> Records; // by block number; empty records left out
    std::vector<std::string> Traffic;                // the listed aircraft of Block2
    std::string SimConnected, AircraftType;
};

Flight FlightOf(WireTest& test, const fs::path& capture) {
    Flight flight;
    for (const auto& m :
         test.Messages(capture, "kivnet.block",
                       {"kivnet.block", "kivnet.record", "kivnet.traffic.object_id",
                        "kivnet.traffic.lat", "kivnet.traffic.lon", "kivnet.traffic.agl",
                        "kivnet.block2.sim_connected", "kivnet.block1.aircraft_type"})) {
        int block = std::stoi(m.at("kivnet.block"));
        const std::string& record = m.at("kivnet.record");
        auto& records = flight.Records[block];
        if (record.find_first_not_of('0') != std::string::npos &&
            (records.empty() || records.back() != record)) {
            records.push_back(record);
        }
        std::string traffic = m.at("kivnet.traffic.object_id") + "/" + m.at("kivnet.traffic.lat") +
                              "/" + m.at("kivnet.traffic.lon") + "/" + m.at("kivnet.traffic.agl");
        if (!m.at("kivnet.traffic.object_id").empty() &&
            (flight.Traffic.empty() || flight.Traffic.back() != traffic)) {
            flight.Traffic.push_back(traffic);
        }
        if (block == 2) {
            flight.SimConnected = m.at("kivnet.block2.sim_connected");
        } else if (block == 1) {
            flight.AircraftType = m.at("kivnet.block1.aircraft_type");
        }
    }
    return flight;
}

TEST_F(WireTest, ACapturedFlightDecodesAndReplaysThroughTheBridge) {
    Control("set Autopilot Heading Lock Dir=271.5");
    Control("set Turb Eng N1:1=77.25");
    Control("set NAV OBS:1=123.5");
    fs::path wire = Dir / "wire.pcap";
    fs::path recording = Dir / "hub.pcap";
    Proc dumpcap = StartCapture(wire);
    Proc hub = StartHub({"--record-pcap", recording.string(), "--record-payload"});
    Proc kiv = StartKivfsx();
    ASSERT_TRUE(WaitForTraffic()) << ReadText(KivOut);
    ExpectTrafficWithoutTheUser();

    SendLine(hub, "set 100=2 114=29.5");
    // A variable without a width on the wire (FsxIndex 7 has var type 7), a kind nobody
    // sends, and a keep-alive of another version.
    SendLine(hub, "raw " + HeaderHex(1, 2, 1, 503, 2, 14) + "07 00 00 00 01 00 00 00");
    SendLine(hub, "raw " + HeaderHex(7, 3, 0, 503, 2, 14) + "aa bb");
    SendLine(hub, "raw " + HeaderHex(2, 9, 0, 502, 2, 14));
    ASSERT_TRUE(WaitForText(Journal, "sim=HEADING_BUG_SET", 5000)) << ReadText(Journal);
    ASSERT_TRUE(WaitForText(KivOut, "PollUDP() - Unhandled MSG CLASS: 7", 5000));
    SendLine(hub, "shutdown");
    EXPECT_EQ(WaitExit(kiv, 5000), 100);
    StopHub(hub);
    // Every datagram the hub recorded crossed the network the capture watches.
    StopCapture(dumpcap, Messages(recording, "kivnet", {"kivnet.kind"}).size());

    for (const fs::path& capture : {wire, recording}) {
        SCOPED_TRACE(capture.string());
        ExpectCleanDecode(capture);
        auto messages =
            Messages(capture, "kivnet",
                     {"kivnet.kind", "kivnet.block", "kivnet.version", "kivnet.port",
                      "kivnet.block3.autopilot_heading_lock_dir", "kivnet.block1.turb_eng_n1_1",
                      "kivnet.block2.nav_obs_1", "kivnet.var.index", "kivnet.var.name",
                      "kivnet.var.int", "kivnet.var.double", "_ws.expert.message"});
        for (const char* kind : {"Block", "Variable changes", "Keep-alive", "Discovery", "Address",
                                 "Shutdown", "Unknown"}) {
            EXPECT_TRUE(HasValue(messages, "kivnet.kind", kind)) << kind;
        }
        // The discovery announces KivFSX's port, the address message the hub's; the blocks
        // carry what the simulator set (their numbers are the replay's check below); each
        // change has the width of its variable.
        const std::pair<const char*, const char*> values[] = {
            {"kivnet.port", "9030"},
            {"kivnet.port", "9020"},
            {"kivnet.block3.autopilot_heading_lock_dir", "271.5"},
            {"kivnet.block1.turb_eng_n1_1", "77.25"},
            {"kivnet.block2.nav_obs_1", "123.5"},
            {"kivnet.var.index", "100"},
            {"kivnet.var.name", "HEADING_BUG_SET"},
            {"kivnet.var.int", "2"},
            {"kivnet.var.double", "29.5"}};
        for (const auto& [field, value] : values) {
            EXPECT_TRUE(HasValue(messages, field, value)) << field << " " << value;
        }
        bool widthNote = false, versionWarning = false;
        for (const auto& m : messages) {
            const std::string& note = m.at("_ws.expert.message");
            widthNote = widthNote || note.find("FsxIndex 7 has var type 7") != std::string::npos;
            versionWarning = versionWarning || (m.at("kivnet.version") == "502" &&
                                                note.find("Version 502") != std::string::npos);
        }
        EXPECT_TRUE(widthNote);
        EXPECT_TRUE(versionWarning);
    }

    // The capture (Linux "any" device), looped through the stand-in and recorded again.
    fs::path replayed = Dir / "replayed.pcap";
    fs::remove(HubRecord);
    hub = StartHub({"--record-pcap", replayed.string()});
    kiv = StartKivfsx({{"KIVSIM_REPLAY", wire.string()}, {"KIVSIM_REPLAY_LOOP", "1"}});
    ASSERT_TRUE(WaitForText(Journal, "REPLAY loop ", 60000)) << ReadText(Journal);
    // The flight starts over, and the bridge's next request for traffic (every few seconds)
    // meets the replayed list.
    SleepMs(1500);
    EXPECT_TRUE(WaitForTraffic()) << ReadText(Journal);
    StopHub(hub);
    kill(kiv.Pid, SIGKILL);
    WaitExit(kiv, 5000);
    EXPECT_EQ(CountOf(ReadText(Journal), "REPLAY error"), 0u);
    EXPECT_EQ(CountOf(ReadText(Journal), "REPLAY end "), 0u);

    Flight before = FlightOf(*this, wire);
    Flight after = FlightOf(*this, replayed);
    for (int block : {1, 2, 3}) {
        SCOPED_TRACE("block " + std::to_string(block));
        const auto& was = before.Records[block];
        const auto& is = after.Records[block];
        ASSERT_GE(was.size(), 3u);
        ASSERT_FALSE(is.empty());
        // Every record came from the capture, most of them made it (a record the bridge
        // replaced before its turn to be sent is missing), and the flight started over.
        int restarts = 0, last = -1;
        for (const auto& record : is) {
            auto at = std::find(was.begin(), was.end(), record);
            ASSERT_NE(at, was.end());
            restarts += at - was.begin() < last ? 1 : 0;
            last = static_cast<int>(at - was.begin());
        }
        EXPECT_GE(std::set<std::string>(is.begin(), is.end()).size() * 3, was.size());
        EXPECT_GE(restarts, 1);
    }
    ASSERT_FALSE(after.Traffic.empty());
    for (const auto& listed : after.Traffic) {
        EXPECT_NE(std::find(before.Traffic.begin(), before.Traffic.end(), listed),
                  before.Traffic.end());
    }
    EXPECT_EQ(after.SimConnected, "1");
    EXPECT_EQ(after.AircraftType, before.AircraftType);
}

} // namespace
