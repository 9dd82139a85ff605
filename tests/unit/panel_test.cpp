// The hub's browser panel: where --panel binds it (this host only unless an address is given);
// its link figures, what the data thread notes of each datagram reaching the page's snapshot
// under the right block and reason; and a snapshot taken while datagrams arrive is whole (the
// TSan build checks that the two threads share nothing unguarded).
#include <gtest/gtest.h>

#include <strings.h>

#include <atomic>
#include <string>
#include <thread>

#include "tools/commgr/checks.h"
#include "tools/commgr/hub.h"
#include "tools/commgr/options.h"
#include "tools/commgr/panel_guard.h"
#include "tools/commgr/panel_readings.h"
#include "tools/commgr/panel_state.h"

namespace {

std::string Snapshot(uint64_t nowMs) {
    static char text[PANEL_SNAPSHOT_SIZE];
    size_t length = PanelSnapshot(nowMs, text, sizeof(text));
    return std::string(text, length);
}

TEST(PanelOption, BindsToLoopbackUnlessGivenAnAddress) {
    struct Case {
        const char* Text;
        const char* Address; // null: refused
        uint16_t Port;
    };
    const Case CASES[] = {
        {"8080", "127.0.0.1", 8080},
        {"0.0.0.0:80", "0.0.0.0", 80},
        {"192.168.1.5:65535", "192.168.1.5", 65535},
        {"0", nullptr, 0},
        {"65536", nullptr, 0},
        {"1.2.3:80", nullptr, 0},
        {"localhost:80", nullptr, 0},
        {"10.0.0.5:", nullptr, 0},
        {"255.255.255.255.1:80", nullptr, 0},
    };
    static CommgrOptions options;
    for (const Case& c : CASES) {
        const char* args[] = {"--panel", c.Text};
        char error[128];
        bool ok = ParseOptions(2, args, &options, error, sizeof(error));
        EXPECT_EQ(ok, c.Address != nullptr) << c.Text << ": " << error;
        if (ok && c.Address != nullptr) {
            EXPECT_STREQ(options.PanelAddress, c.Address) << c.Text;
            EXPECT_EQ(options.PanelPort, c.Port) << c.Text;
        }
    }
    const char* none[] = {"--quiet"};
    char error[128];
    ASSERT_TRUE(ParseOptions(1, none, &options, error, sizeof(error)));
    EXPECT_EQ(options.PanelPort, 0) << "no panel unless asked for";
}

TEST(PanelState, FiguresLandUnderTheirBlockAndReason) {
    PanelNoteDatagram(3, 0, false, 1000);
    PanelNoteDatagram(1, 0, true, 1100);
    PanelNoteDatagram(2, BLOCK_ERR_VERSION | BLOCK_ERR_SOURCE, false, 1150);
    PanelNoteDatagram(0, BLOCK_ERR_SIZE | BLOCK_ERR_COUNT, false, 1200);
    uint8_t block3[400] = {0x01, 0x00, 0xab};
    StoreLatestBlock(3, block3, sizeof(block3));

    std::string s = Snapshot(1250);
    EXPECT_NE(s.find("{\"n\":3,\"count\":0,\"age\":250,\"gaps\":0,\"refused\":0}"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("{\"n\":1,\"count\":0,\"age\":150,\"gaps\":1,\"refused\":0}"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("{\"n\":2,\"count\":0,\"age\":100,\"gaps\":0,\"refused\":1}"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("\"refusedBy\":{\"size\":1,\"count\":1,\"version\":1,\"source\":1}"),
              std::string::npos)
        << s;
    // Block 3's datagram in hex, whole; the others not received yet.
    EXPECT_NE(s.find("\"raw\":[\"\",\"\",\"0100ab" + std::string(2 * 397, '0') + "\"]}"),
              std::string::npos)
        << s;
}

TEST(PanelState, AnAgeIsNeverNegative) {
    // The data thread noted a datagram after the page's update read the time.
    PanelNoteDatagram(1, 0, false, 5000);
    std::string s = Snapshot(4990);
    EXPECT_NE(s.find("{\"n\":1,\"count\":0,\"age\":0,"), std::string::npos) << s;
    EXPECT_NE(Snapshot(5250).find("{\"n\":1,\"count\":0,\"age\":250,"), std::string::npos);
}

// Every reading shows its value in the unit the page names: what the simulator delivers, in
// the unit the data definition asks for, against what a pilot reads.
TEST(PanelReadings, EachShowsItsValueInTheUnitThePageNames) {
    const struct {
        const char* DataUnits;
        double Delivered;
        const char* Shown;
        double Reads;
    } FACTS[] = {
        {"percent", 100, "%", 100},             // nose gear down
        {"percent over 100", 0.3, "%", 30},     // flaps at 30 %
        {"Feet per second", 10, "ft/min", 600}, // a climb of 600 ft/min
        {"Feet/minute", -700, "ft/min", -700},
        {"feet", 3500, "ft", 3500},
        {"knots", 250, "kt", 250},
        {"degrees", 271, "\u00b0", 271},
        {"inHg", 29.92, "inHg", 29.92},
        {"mhz", 118.7, "MHz", 118.7},
        {"Frequency ADF BCD32", 1, "kHz", 1},
        {"bool", 1, "", 1},
        {"number", 3, "", 3},
        {"position", 1, "", 1},
        {"", 1, "", 1},
    };
    for (uint32_t i = 0; i < PANEL_READING_COUNT; ++i) {
        const PanelReading& r = PANEL_READINGS[i];
        SCOPED_TRACE(r.Datum);
        PanelReadingPlace place;
        ASSERT_TRUE(PanelPlaceReading(r, &place));
        bool known = false;
        for (const auto& f : FACTS) {
            if (strcasecmp(f.DataUnits, place.DataUnits) == 0) {
                known = true;
                EXPECT_STREQ(place.Unit->Shown, f.Shown);
                EXPECT_DOUBLE_EQ(f.Delivered * place.Unit->Scale, f.Reads);
            }
        }
        EXPECT_TRUE(known) << "no fact for the unit " << place.DataUnits;
    }
}

// The panel answers its own host names only, and takes a change only from its own page.
TEST(PanelGuard, OnlyItsOwnHostAndItsOwnPageCanUseIt) {
    PanelHostsInit("127.0.0.1", 8080, "cockpit.lan");
    const char* own = "http://127.0.0.1:8080";
    const struct {
        const char* Method;
        const char* Host;
        const char* Origin;
        bool Marked;
        const char* Type;
        int32_t Status;
    } CASES[] = {
        {"GET", "127.0.0.1:8080", nullptr, false, nullptr, 0},
        {"GET", "LocalHost:8080", nullptr, false, nullptr, 0},
        {"GET", "cockpit.lan:8080", nullptr, false, nullptr, 0},
        {"GET", "127.0.0.1:8080", own, false, nullptr, 0},
        {"GET", "evil.example:8080", nullptr, false, nullptr, 403}, // DNS rebinding
        {"GET", "evil.example:8080", "http://evil.example:8080", false, nullptr, 403},
        {"GET", "127.0.0.1:8081", nullptr, false, nullptr, 403},
        {"GET", "127.0.0.1", nullptr, false, nullptr, 403},
        {"GET", nullptr, nullptr, false, nullptr, 403},
        {"GET", "127.0.0.1:8080", "http://evil.example", false, nullptr, 403}, // cross-site read
        {"POST", "127.0.0.1:8080", own, true, nullptr, 0},
        {"POST", "cockpit.lan:8080", "http://cockpit.lan:8080", true, nullptr, 0},
        {"POST", "127.0.0.1:8080", "http://cockpit.lan:8080", true, nullptr, 403},
        {"POST", "127.0.0.1:8080", nullptr, true, nullptr, 403},
        {"POST", "127.0.0.1:8080", own, false, nullptr, 403},
        {"POST", "127.0.0.1:8080", "http://evil.example", true, nullptr, 403},
        {"POST", "127.0.0.1:8080", own, true, "application/x-www-form-urlencoded", 415},
        {"POST", "127.0.0.1:8080", own, true, "Multipart/Form-Data; boundary=x", 415},
        {"POST", "127.0.0.1:8080", own, true, "text/plain;charset=UTF-8", 415},
        {"OPTIONS", "127.0.0.1:8080", "http://evil.example", false, nullptr, 403},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(std::string(c.Method) + " " + (c.Host ? c.Host : "-") + " " +
                     (c.Origin ? c.Origin : "-"));
        EXPECT_EQ(PanelCheckRequest(c.Method, c.Host, c.Origin, c.Marked, c.Type).Status, c.Status);
    }
    // Bound to another address, or to every one (this host's addresses then count).
    PanelHostsInit("10.77.0.3", 80, "");
    EXPECT_EQ(PanelCheckRequest("GET", "10.77.0.3", nullptr, false, nullptr).Status, 0);
    EXPECT_EQ(PanelCheckRequest("GET", "127.0.0.1:80", nullptr, false, nullptr).Status, 403);
    PanelHostsInit("0.0.0.0", 8080, "");
    EXPECT_EQ(PanelCheckRequest("GET", "127.0.0.1:8080", nullptr, false, nullptr).Status, 0);
}

TEST(PanelState, SnapshotsWhileDatagramsArriveAreWhole) {
    std::atomic<bool> stop{false};
    std::thread data([&] {
        uint8_t block[920] = {};
        for (uint32_t i = 0; i < 20000 && !stop.load(); ++i) {
            block[0] = static_cast<uint8_t>(i);
            StoreLatestBlock(2, block, sizeof(block));
            PanelNoteDatagram(2, (i % 7 == 0) ? BLOCK_ERR_SEQ : 0, i % 5 == 0, 2000 + i);
        }
    });
    for (int i = 0; i < 200; ++i) {
        std::string s = Snapshot(100000);
        ASSERT_FALSE(s.empty());
        ASSERT_EQ(s.back(), '}');
    }
    stop.store(true);
    data.join();
}

} // namespace
