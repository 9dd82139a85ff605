// The hub's browser panel: where --panel binds it (this host only unless an address is given);
// its link figures, what the data thread notes of each datagram reaching the page's snapshot
// under the right block and reason; and a snapshot taken while datagrams arrive is whole (the
// TSan build checks that the two threads share nothing unguarded).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tools/commgr/checks.h"
#include "tools/commgr/hub.h"
#include "tools/commgr/options.h"
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
