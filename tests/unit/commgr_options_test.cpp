// The hub emulator's command line and its console commands.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/commgr/commands.h"
#include "tools/commgr/options.h"
#include "vars/vartables.h"

namespace {

bool Parse(std::vector<const char*> args, CommgrOptions* o, std::string* error = nullptr) {
    char text[256];
    bool ok = ParseOptions(static_cast<int32_t>(args.size()), args.data(), o, text, sizeof(text));
    if (error != nullptr) {
        *error = text;
    }
    return ok;
}

} // namespace

TEST(CommgrOptions, DefaultsAndEveryOption) {
    static CommgrOptions o;
    ASSERT_TRUE(Parse({}, &o));
    EXPECT_EQ(o.ListenPort, 9019);
    EXPECT_EQ(o.DataPort, 9020);
    EXPECT_EQ(o.KeepAliveMs, 1000u);
    EXPECT_EQ(o.SummaryMs, 1000u);
    EXPECT_EQ(o.DurationS, 0u);
    EXPECT_STREQ(o.Address, "");
    EXPECT_EQ(o.FieldCount, COMMGR_DEFAULT_FIELD_COUNT);

    ASSERT_TRUE(Parse({"--listen-port",
                       "1",
                       "--data-port=65535",
                       "--address",
                       "127.0.0.1",
                       "--keepalive-ms",
                       "50",
                       "--record",
                       "r.txt",
                       "--record-payload",
                       "--summary-ms",
                       "0",
                       "--fields",
                       " Plane Latitude ,, NAV OBS:1",
                       "--check-uniform",
                       "--duration-s",
                       "3",
                       "--set",
                       "100=2",
                       "5=1.5",
                       "--set=13=1",
                       "--quiet"},
                      &o));
    EXPECT_EQ(o.ListenPort, 1);
    EXPECT_EQ(o.DataPort, 65535);
    EXPECT_STREQ(o.Address, "127.0.0.1");
    EXPECT_EQ(o.KeepAliveMs, 50u);
    EXPECT_STREQ(o.RecordPath, "r.txt");
    EXPECT_TRUE(o.RecordPayload && o.CheckUniform && o.Quiet);
    EXPECT_EQ(o.SummaryMs, 0u);
    ASSERT_EQ(o.FieldCount, 2u);
    EXPECT_STREQ(o.Fields[0], "Plane Latitude");
    EXPECT_STREQ(o.Fields[1], "NAV OBS:1");
    EXPECT_EQ(o.DurationS, 3u);
    ASSERT_EQ(o.SetCount, 3u);
    EXPECT_STREQ(o.Sets[1], "5=1.5");
    EXPECT_STREQ(o.Sets[2], "13=1");
}

TEST(CommgrOptions, BadValuesAreRefused) {
    static CommgrOptions o;
    std::string error;
    EXPECT_FALSE(Parse({"--listen-port", "0"}, &o, &error));
    EXPECT_FALSE(Parse({"--data-port", "65536"}, &o));
    EXPECT_FALSE(Parse({"--data-port"}, &o));
    EXPECT_FALSE(Parse({"--keepalive-ms", "0"}, &o));
    EXPECT_FALSE(Parse({"--keepalive-ms", "-5"}, &o));
    EXPECT_FALSE(Parse({"--address", "10.0.0"}, &o));
    EXPECT_FALSE(Parse({"--address", "10.0.0.256"}, &o));
    EXPECT_FALSE(Parse({"--address", "0x7f.0.0.1"}, &o));
    EXPECT_FALSE(Parse({"--set"}, &o));
    EXPECT_FALSE(Parse({"--set", "a=1"}, &o));
    EXPECT_FALSE(Parse({"--set", "5"}, &o));
    EXPECT_FALSE(Parse({"--bogus"}, &o, &error));
    EXPECT_NE(error.find("--bogus"), std::string::npos);
}

TEST(CommgrCommands, EachCommandParses) {
    static Command c;
    int32_t saved = FsxVarTable[100].VarType;
    FsxVarTable[100].VarType = VAR_TYPE_INT;

    ParseCommand("   ", &c);
    EXPECT_EQ(c.Kind, CMD_EMPTY);
    ParseCommand("pause\r", &c);
    EXPECT_EQ(c.Kind, CMD_PAUSE);
    ParseCommand(" resume ", &c);
    EXPECT_EQ(c.Kind, CMD_RESUME);
    ParseCommand("shutdown", &c);
    EXPECT_EQ(c.Kind, CMD_SHUTDOWN);
    ParseCommand("address", &c);
    EXPECT_EQ(c.Kind, CMD_ADDRESS);
    ParseCommand("quit", &c);
    EXPECT_EQ(c.Kind, CMD_QUIT);
    ParseCommand("set 100=2   100=-1", &c);
    ASSERT_EQ(c.Kind, CMD_SET);
    ASSERT_EQ(c.SettingCount, 2u);
    EXPECT_EQ(c.Settings[1].IntValue, -1);
    ParseCommand("raw 0c 00 00 00", &c);
    ASSERT_EQ(c.Kind, CMD_RAW);
    EXPECT_EQ(c.Size, 4u);
    EXPECT_EQ(c.Bytes[0], 0x0c);
    ParseCommand("size 0", &c);
    ASSERT_EQ(c.Kind, CMD_SIZE);
    EXPECT_EQ(c.Size, 0u);
    ParseCommand("size 4096", &c);
    EXPECT_EQ(c.Kind, CMD_SIZE);

    FsxVarTable[100].VarType = saved;
}

TEST(CommgrCommands, MistakesAreExplainedNotSent) {
    static Command c;
    for (const char* line : {"paused", "pause now", "set", "set 100", "set 300=1", "raw", "raw 0",
                             "size", "size -1", "size 4097", "size 12x", "hello"}) {
        ParseCommand(line, &c);
        EXPECT_EQ(c.Kind, CMD_INVALID) << line;
        EXPECT_STRNE(c.Error, "") << line;
    }
}
