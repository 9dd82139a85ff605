// The hub emulator's outgoing datagrams, above all the variable changes, whose value width
// follows the var type of each FsxIndex.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/commgr/messages.h"
#include "vars/vartables.h"

namespace {

// Gives a few slots known var types for the test and puts the table back afterwards.
class CommgrVarChange : public ::testing::Test {
  protected:
    void SetUp() override {
        memcpy(Saved, FsxVarTable, sizeof(Saved));
        FsxVarTable[100].VarType = VAR_TYPE_INT;
        FsxVarTable[5].VarType = VAR_TYPE_DOUBLE;
        FsxVarTable[6].VarType = VAR_TYPE_DOUBLE1;
        FsxVarTable[7].VarType = VAR_TYPE_UNKNOWN;
        FsxVarTable[16].VarType = VAR_TYPE_UNUSED;
    }
    void TearDown() override { memcpy(FsxVarTable, Saved, sizeof(Saved)); }

    bool Parse(const char* text, VarSetting* out) {
        return ParseVarSetting(text, out, Error, sizeof(Error));
    }
    char Error[160] = "";

  private:
    FsxVarRecord Saved[MAX_FSXS];
};

MsgHeader HeaderOf(const uint8_t* d) {
    MsgHeader h;
    memcpy(&h, d, sizeof(h));
    return h;
}

void ExpectFromHub(const MsgHeader& h, int32_t cls, int32_t type, int32_t count) {
    EXPECT_EQ(h.MsgClass, cls);
    EXPECT_EQ(h.MsgType, type);
    EXPECT_EQ(h.Count, count);
    EXPECT_EQ(h.Version, 503);
    EXPECT_EQ(h.Source, 2);
    EXPECT_EQ(h.Destination, 14);
}

} // namespace

TEST_F(CommgrVarChange, ValuesAreTypedByTheSlotsVarType) {
    VarSetting s[3];
    ASSERT_TRUE(Parse("100=-7", &s[0])) << Error;
    ASSERT_TRUE(Parse("5=118.25", &s[1])) << Error;
    ASSERT_TRUE(Parse("6=3", &s[2])) << Error; // var type 1 is a double too
    uint8_t out[COMMGR_MAX_VAR_MESSAGE];
    uint32_t len = BuildVarChange(s, 3, out);
    ASSERT_EQ(len, 32u + 8 + 12 + 12);
    ExpectFromHub(HeaderOf(out), 1, 2, 3);
    VarChangeInt i;
    memcpy(&i, out + 32, sizeof(i));
    EXPECT_EQ(i.Index, 100u);
    EXPECT_EQ(i.Value, -7);
    VarChangeDouble d;
    memcpy(&d, out + 40, sizeof(d));
    EXPECT_EQ(d.Index, 5u);
    EXPECT_EQ(d.Value, 118.25);
    memcpy(&d, out + 52, sizeof(d));
    EXPECT_EQ(d.Index, 6u);
    EXPECT_EQ(d.Value, 3.0);

    char text[200];
    FormatVarSettings(s, 3, text, sizeof(text));
    EXPECT_STREQ(text, "100:-7,5:118.250000,6:3.000000");
}

TEST_F(CommgrVarChange, RefusesWhatKivfsxCouldNotRead) {
    VarSetting s;
    EXPECT_FALSE(Parse("7=1", &s)); // var type 7: no wire width
    EXPECT_NE(std::string(Error).find("var type 7"), std::string::npos);
    EXPECT_FALSE(Parse("16=1", &s));    // a slot nobody uses
    EXPECT_FALSE(Parse("300=1", &s));   // outside the table
    EXPECT_FALSE(Parse("100=1.5", &s)); // an integer slot
    EXPECT_FALSE(Parse("100=2147483648", &s));
    EXPECT_TRUE(Parse("100=-2147483648", &s));
    EXPECT_FALSE(Parse("5=abc", &s));
    EXPECT_FALSE(Parse("5=", &s));
    EXPECT_FALSE(Parse("=5", &s));
    EXPECT_FALSE(Parse("x=5", &s));
}

TEST_F(CommgrVarChange, StaysUnderTheOverrunLimit) {
    // 58 integer entries make 496 bytes, the largest KivFSX takes; 59 would reach 504.
    std::vector<VarSetting> s(59);
    for (VarSetting& v : s) {
        ASSERT_TRUE(Parse("100=1", &v));
    }
    uint8_t out[COMMGR_MAX_VAR_MESSAGE];
    EXPECT_EQ(BuildVarChange(s.data(), 58, out), 496u);
    EXPECT_EQ(BuildVarChange(s.data(), 59, out), 0u);
}

TEST(CommgrMessages, AddressKeepAliveShutdownAndSized) {
    uint8_t out[COMMGR_MAX_SEND];
    char text[64];
    uint32_t len = BuildAddressMessage("10.1.2.3", 9020, out, text);
    EXPECT_STREQ(text, "10.1.2.3 9020");
    ASSERT_EQ(len, 32u + 13); // no NUL, no line end
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + 32, 13), "10.1.2.3 9020");
    ExpectFromHub(HeaderOf(out), 2, 5, 0);

    ASSERT_EQ(BuildKeepAlive(out), 32u);
    ExpectFromHub(HeaderOf(out), 2, 9, 0);
    ASSERT_EQ(BuildShutdown(out), 32u);
    ExpectFromHub(HeaderOf(out), 2, 12, 0);

    memset(out, 0xAA, sizeof(out));
    ASSERT_EQ(BuildSizedMessage(600, out), 600u);
    ExpectFromHub(HeaderOf(out), 1, 2, 0);
    EXPECT_EQ(std::vector<uint8_t>(out + 32, out + 600), std::vector<uint8_t>(568, 0));
    ASSERT_EQ(BuildSizedMessage(4, out), 4u); // the start of the header only
    int32_t cls;
    memcpy(&cls, out, 4);
    EXPECT_EQ(cls, 1);
}

TEST(CommgrMessages, HexBytesWithOrWithoutBlanks) {
    uint8_t out[4];
    uint32_t len = 0;
    ASSERT_TRUE(ParseHexBytes("01 0a FF", out, sizeof(out), &len));
    EXPECT_EQ(len, 3u);
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0x0a);
    EXPECT_EQ(out[2], 0xff);
    ASSERT_TRUE(ParseHexBytes("deadBEEF", out, sizeof(out), &len));
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(out[3], 0xef);
    EXPECT_FALSE(ParseHexBytes("0a0", out, sizeof(out), &len));  // odd
    EXPECT_FALSE(ParseHexBytes("0 a0", out, sizeof(out), &len)); // split byte
    EXPECT_FALSE(ParseHexBytes("0g", out, sizeof(out), &len));
    EXPECT_FALSE(ParseHexBytes("0102030405", out, sizeof(out), &len)); // too many
}
