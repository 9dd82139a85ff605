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
    int32_t PortAfterReading(const std::string& text) {
        WriteFile("kivfsx.cfg", text);
        ReadCfgFile();
        return ListenPort;
    }
};

TEST_F(ConfigTest, NoFileIsSilentAndKeepsTheDefault) {
    ReadCfgFile();
    EXPECT_EQ(ListenPort, 9030);
    EXPECT_EQ(LogText("KivFSX.log"), "Log started.\n");
}

TEST_F(ConfigTest, PortIsReadFromOneOrTwoLines) {
    EXPECT_EQ(PortAfterReading("port 9100"), 9100);
    EXPECT_EQ(LogText("KivFSX.log"),
              "Log started.\nConfig file \"kivfsx.cfg\" opened\nCfg file closed\n");
    EXPECT_EQ(PortAfterReading("port\n\t9101\n"), 9101);
}

TEST_F(ConfigTest, OnlyTheFirstPairIsRead) {
    EXPECT_EQ(PortAfterReading("port 9100\nport 9200\n"), 9100);
}

TEST_F(ConfigTest, ValuesAreReadAsAtoiWouldWithoutOverflow) {
    EXPECT_EQ(PortAfterReading("port abc"), 0);
    EXPECT_EQ(PortAfterReading("port 7x"), 7);
    EXPECT_EQ(PortAfterReading("port -12"), -12);
    EXPECT_EQ(PortAfterReading("port 99999999999999"), INT32_MAX);
}

TEST_F(ConfigTest, KeysAreCaseSensitive) {
    EXPECT_EQ(PortAfterReading("Port 9100"), 9030);
    EXPECT_NE(LogText("KivFSX.log").find("Unable to recognize: Port\n"), std::string::npos);
}

TEST_F(ConfigTest, AKeyWithoutValueKeepsThePortAndSaysSo) {
    EXPECT_EQ(PortAfterReading("port"), 9030);
    EXPECT_NE(LogText("KivFSX.log").find("No value for port\n"), std::string::npos);
    EXPECT_EQ(PortAfterReading(""), 9030);
}

TEST_F(ConfigTest, OverlongTokensAreCutAndNeverRunIntoTheValue) {
    // A 150-character key is cut for the message, which still ends its line; a 150-digit
    // value is cut to 99 characters and held in range.
    std::string longKey(150, 'k');
    EXPECT_EQ(PortAfterReading(longKey + " 9100"), 9030);
    std::string text = LogText("KivFSX.log");
    EXPECT_NE(text.find("Unable to recognize: " + std::string(77, 'k') + "\n"), std::string::npos);
    EXPECT_EQ(PortAfterReading("port " + std::string(150, '9')), INT32_MAX);
}

} // namespace
