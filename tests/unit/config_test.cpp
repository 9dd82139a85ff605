// The configuration file "kivfsx.cfg".
#include "test_support.h"

#include "app/config.h"
#include "support/log.h"

namespace {

struct ConfigTest : TempDirTest {
    void SetUp() override {
        TempDirTest::SetUp();
        ListenPort = DEFAULT_LISTEN_PORT;
        ASSERT_TRUE(SimLogInit("KivFSX.log"));
    }
    void TearDown() override {
        ListenPort = DEFAULT_LISTEN_PORT;
        TempDirTest::TearDown();
    }
};

TEST_F(ConfigTest, NoFileIsSilentAndKeepsTheDefault) {
    ReadCfgFile();
    EXPECT_EQ(ListenPort, 9030);
    EXPECT_EQ(LogText("KivFSX.log"), "Log started.\n");
}

// What the file holds, the port it leaves, and what is logged between the lines of opening
// and closing it.
TEST_F(ConfigTest, ThePortIsTheValueOfTheFirstPairReadAsAtoiWouldWithoutOverflow) {
    const struct {
        std::string Text;
        int32_t Port;
        std::string Logged;
    } cases[] = {
        {"port 9100", 9100, ""},
        {"port\n\t9101\n", 9101, ""},
        {"port 9100\nport 9200\n", 9100, ""},
        {"port abc", 0, ""},
        {"port 7x", 7, ""},
        {"port -12", -12, ""},
        {"port 99999999999999", INT32_MAX, ""},
        {"port " + std::string(150, '9'), INT32_MAX, ""}, // cut to 99 digits, held in range
        {"Port 9100", 9030, "Unable to recognize: Port\n"},
        {"port", 9030, "ReadCfgFile() - No value for port\n"},
        {"", 9030, ""},
        // The message keeps 77 characters of a long key and still ends its line; the rest of
        // the key never runs into the value.
        {std::string(150, 'k') + " 9100", 9030,
         "Unable to recognize: " + std::string(77, 'k') + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text.substr(0, 30));
        ListenPort = DEFAULT_LISTEN_PORT;
        WriteFile("kivfsx.cfg", c.Text);
        const std::string before = LogText("KivFSX.log");
        ReadCfgFile();
        EXPECT_EQ(ListenPort, c.Port);
        EXPECT_EQ(LogText("KivFSX.log").substr(before.size()),
                  "Config file \"kivfsx.cfg\" opened\n" + c.Logged + "Cfg file closed\n");
    }
}

} // namespace
