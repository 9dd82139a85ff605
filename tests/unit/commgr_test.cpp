// The hub emulator's own pieces: its checks of what KivFSX sends, the decoding
// of block fields, the datagrams it builds, its command line and console
// commands.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/commgr/checks.h"
#include "tools/commgr/commands.h"
#include "tools/commgr/fields.h"
#include "tools/commgr/messages.h"
#include "tools/commgr/options.h"
#include "vars/vartables.h"

namespace {

std::vector<uint8_t> Datagram(MsgHeader h, size_t size, const char* text = "") {
    std::vector<uint8_t> d(size + strlen(text), 0);
    memcpy(d.data(), &h, sizeof(h));
    memcpy(d.data() + size, text, strlen(text));
    return d;
}

std::vector<uint8_t> GoodBlock(int32_t n, uint32_t seq) {
    return Datagram(
        {MSG_CLASS_DATA, MSG_TYPE_BLOCK, seq, n, 0, 0, MSG_VERSION, NODE_ID, COMMGR_NODE},
        BLOCK_SIZES[n]);
}

std::string Reasons(const std::vector<uint8_t>& d, int32_t* n) {
    char text[128];
    FormatBlockErrors(CheckBlock(d.data(), static_cast<uint32_t>(d.size()), n), text, sizeof(text));
    return text;
}

Discovery Parse(const std::vector<uint8_t>& d, NetAddr from = {0x0100007F, 40000}) {
    Discovery out;
    ParseDiscovery(d.data(), static_cast<uint32_t>(d.size()), from, &out);
    return out;
}

std::vector<uint8_t> Announce(const char* text, int32_t cls = 2, int32_t type = 9,
                              int32_t version = 503, int16_t source = 14) {
    return Datagram({cls, type, 0, 0, 0, 0, version, source, 0}, 32, text);
}

template <typename T> void Put(std::vector<uint8_t>& d, uint32_t at, T v) {
    memcpy(d.data() + at, &v, sizeof(v));
}

template <typename T> T Get(const uint8_t* d) {
    T v;
    memcpy(&v, d, sizeof(v));
    return v;
}

void ExpectFromHub(const uint8_t* d, int32_t cls, int32_t type, int32_t count) {
    MsgHeader h = Get<MsgHeader>(d);
    EXPECT_EQ(h.MsgClass, cls);
    EXPECT_EQ(h.MsgType, type);
    EXPECT_EQ(h.Count, count);
    EXPECT_EQ(h.Version, 503);
    EXPECT_EQ(h.Source, 2);
    EXPECT_EQ(h.Destination, 14);
}

// Gives a few slots known var types for the test and puts the table back
// afterwards.
class CommgrVarTest : public ::testing::Test {
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

// Parses the arguments of `line`, separated by '|'.
bool ParseArgs(const std::string& line, CommgrOptions* o, std::string* error = nullptr) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; std::getline(in, word, '|');) {
        words.push_back(word);
    }
    std::vector<const char*> args;
    for (const std::string& w : words) {
        args.push_back(w.c_str());
    }
    char text[256];
    bool ok = ParseOptions(static_cast<int32_t>(args.size()), args.data(), o, text, sizeof(text));
    if (error != nullptr) {
        *error = text;
    }
    return ok;
}

} // namespace

// --- checks of what KivFSX sends
// --------------------------------------------------------

TEST(CommgrChecks, GoodBlocksPassAndEachHeaderFaultIsNamed) {
    int32_t n = 0;
    for (int32_t good = 1; good <= 3; ++good) {
        EXPECT_EQ(Reasons(GoodBlock(good, 999), &n), "") << good;
        EXPECT_EQ(n, good);
    }
    auto d = Datagram({2, 2, 1000, 2, 1, 920, 502, 2, 14}, BLOCK_SIZES[2]);
    EXPECT_EQ(Reasons(d, &n), "class,type,reserved,length,version,source,dest,seq");
    EXPECT_EQ(n, 2);
    // A Block1 header on a Block3-sized datagram: the header's number wins, the
    // size is wrong.
    d = GoodBlock(3, 1);
    Put(d, 12, int32_t{1});
    EXPECT_EQ(Reasons(d, &n), "size");
    EXPECT_EQ(n, 1);
    // A bad block number: the size tells which block it looks like.
    Put(d, 12, int32_t{4});
    EXPECT_EQ(Reasons(d, &n), "count");
    EXPECT_EQ(n, 3);
    d.resize(100);
    EXPECT_EQ(Reasons(d, &n), "size,count");
    d.resize(31);
    EXPECT_EQ(Reasons(d, &n), "short");
}

TEST(CommgrChecks, SequenceWrapsAt1000AndGapsAreReportedUnlessAfterASilence) {
    SeqTracker t{};
    uint32_t expected = 0;
    EXPECT_FALSE(SeqTrack(&t, 998, 0, &expected)); // the first number is taken as is
    EXPECT_FALSE(SeqTrack(&t, 999, 70, &expected));
    EXPECT_FALSE(SeqTrack(&t, 0, 140, &expected));
    EXPECT_TRUE(SeqTrack(&t, 3, 210, &expected));
    EXPECT_EQ(expected, 1u);
    EXPECT_FALSE(SeqTrack(&t, 4, 280, &expected)); // continues from the number received
    EXPECT_TRUE(SeqTrack(&t, 4, 350, &expected));  // a repeat is a gap too
    EXPECT_TRUE(SeqTrack(&t, 50, 350 + SEQ_RESYNC_SILENCE_MS, &expected));
    // After a longer silence the link was down: the jump is no gap.
    EXPECT_FALSE(SeqTrack(&t, 500, 351 + 2 * SEQ_RESYNC_SILENCE_MS, &expected));
    EXPECT_FALSE(SeqTrack(&t, 501, 420 + 2 * SEQ_RESYNC_SILENCE_MS, &expected));
}

TEST(CommgrChecks, DiscoveryIsAnsweredAtTheAnnouncedAddressOnly) {
    Discovery d = Parse(Announce("192.168.1.20 9030 1 1209\n"));
    ASSERT_TRUE(d.Valid) << d.Reason;
    EXPECT_EQ(d.Reply.Addr, PlatformInetAddr("192.168.1.20"));
    EXPECT_EQ(d.Reply.Port, 9030);
    EXPECT_STREQ(d.Text, "192.168.1.20 9030 1 1209");
    // KivFSX without a known own address announces 0.0.0.0: answer where it came
    // from.
    d = Parse(Announce("0.0.0.0 9031 1 1209\n"), {PlatformInetAddr("10.0.0.7"), 5555});
    ASSERT_TRUE(d.Valid);
    EXPECT_EQ(d.Reply.Addr, PlatformInetAddr("10.0.0.7"));

    const char* TEXT = "1.2.3.4 9030 1 1209\n";
    for (auto bad : {Announce(TEXT, 2, 5), Announce(TEXT, 1, 9), Announce(TEXT, 2, 9, 502),
                     Announce(TEXT, 2, 9, 503, 3), Announce(""), Announce("1.2.3.4\n"),
                     Announce("1.2.3.4 70000 1 1209\n"), Announce("host.example 9030 1 1209\n")}) {
        EXPECT_FALSE(Parse(bad).Valid) << Parse(bad).Text;
    }
    // Control characters and quotes cannot break the record line.
    EXPECT_STREQ(Parse(Announce("1.2.3.4 \"9030\"\t1")).Text, "1.2.3.4 .9030..1");
}

// --- block fields
// -----------------------------------------------------------------------

std::string Value(const char* name, int32_t block, const std::vector<uint8_t>& d) {
    Field f;
    if (!ResolveField(name, &f)) {
        return "<unknown>";
    }
    char out[FIELD_VALUE_SIZE];
    if (!FormatFieldValue(f, block, d.data(), static_cast<uint32_t>(d.size()), out, sizeof(out))) {
        return "<absent>";
    }
    return out;
}

TEST(CommgrFields, NamesFindTheirRecordInTheRightBlock) {
    std::vector<uint8_t> b1(BLOCK_SIZES[1]), b2(BLOCK_SIZES[2]), b3(BLOCK_SIZES[3]);
    Put(b3, 32 + 24, 47.5);        // "Plane Latitude"
    Put(b3, 32 + 72, 250.0);       // "Autopilot Airspeed Hold Var", the double
    Put(b3, 32 + 236, int32_t{7}); // ... and its integer twin
    Put(b3, 32 + 324, int32_t{1}); // "Nav Has DME:1" in Block3
    Put(b2, 32 + 24, 1.0);         // "NAV VOR LATLONALT:2"
    Put(b2, 32 + 32, -2.0);
    Put(b2, 32 + 40, 300.0);
    Put(b2, 912, int32_t{1});      // SimConnected
    Put(b1, 32 + 304, int32_t{2}); // "Number Of Engines"
    EXPECT_EQ(Value("plane latitude", 3, b3),
              "47.500000"); // letter case does not matter
    EXPECT_EQ(Value("Plane Latitude", 2, b2),
              "<absent>"); // Block2 does not carry it
    EXPECT_EQ(Value("Autopilot Airspeed Hold Var", 3, b3), "250.000000");
    EXPECT_EQ(Value("Nav Has DME:1", 3, b3), "1");
    EXPECT_EQ(Value("Nav Has DME:1", 2, b2), "0"); // carried by both blocks
    EXPECT_EQ(Value("NAV VOR LATLONALT:2", 2, b2), "1.000000,-2.000000,300.000000");
    EXPECT_EQ(Value("SimConnected", 2, b2), "1");
    EXPECT_EQ(Value("Number Of Engines", 1, b1), "2");
    EXPECT_EQ(Value("ATC MODEL", 1, b1),
              "<unknown>"); // other definitions are in no block
    b3.resize(32 + 24);     // too short for the field
    EXPECT_EQ(Value("Plane Latitude", 3, b3), "<absent>");
}

TEST(CommgrFields, TrafficShowsTheSlotsInUseAndUniformRecordsAreFound) {
    std::vector<uint8_t> b2(BLOCK_SIZES[2]);
    Put(b2, 272 + 32 * 0 + 0, 48.0);
    Put(b2, 272 + 32 * 0 + 24, uint32_t{11});
    Put(b2, 272 + 32 * 5 + 0, 49.0); // a free slot keeps old coordinates, id 0
    Put(b2, 272 + 32 * 19 + 24, uint32_t{99});
    EXPECT_EQ(Value("Traffic", 2, b2), "2");
    char text[2048];
    EXPECT_EQ(FormatTraffic(b2.data(), static_cast<uint32_t>(b2.size()), text, sizeof(text)), 2u);
    EXPECT_NE(std::string(text).find("slot 0: id=11 lat=48.000000"), std::string::npos);
    EXPECT_NE(std::string(text).find("slot 19: id=99"), std::string::npos);
    EXPECT_EQ(std::string(text).find("slot 5"), std::string::npos);

    for (int32_t n = 1; n <= 3; ++n) {
        static const uint32_t RECORD[4] = {0, 320, 236, 368};
        std::vector<uint8_t> d(BLOCK_SIZES[n], 0x55);
        for (uint32_t at = 32; at < 32 + RECORD[n]; at += 4) {
            Put(d, at, 0xDEADBEEFu);
        }
        EXPECT_TRUE(RecordIsUniform(n, d.data(), static_cast<uint32_t>(d.size()))) << n;
        Put(d, 32 + RECORD[n] - 4,
            0xDEADBEEEu); // the last word of the record differs
        EXPECT_FALSE(RecordIsUniform(n, d.data(), static_cast<uint32_t>(d.size()))) << n;
    }
}

// --- datagrams the hub sends
// ------------------------------------------------------------

TEST_F(CommgrVarTest, ValuesAreTypedByTheSlotsVarType) {
    VarSetting s[3];
    ASSERT_TRUE(Parse("100=-7", &s[0])) << Error;
    ASSERT_TRUE(Parse("5=118.25", &s[1])) << Error;
    ASSERT_TRUE(Parse("6=3", &s[2])) << Error; // var type 1 is a double too
    uint8_t out[COMMGR_MAX_VAR_MESSAGE];
    ASSERT_EQ(BuildVarChange(s, 3, out), 32u + 8 + 12 + 12);
    ExpectFromHub(out, 1, 2, 3);
    EXPECT_EQ(Get<uint32_t>(out + 32), 100u);
    EXPECT_EQ(Get<int32_t>(out + 36), -7);
    EXPECT_EQ(Get<uint32_t>(out + 40), 5u);
    EXPECT_EQ(Get<double>(out + 44), 118.25);
    EXPECT_EQ(Get<uint32_t>(out + 52), 6u);
    EXPECT_EQ(Get<double>(out + 56), 3.0);
    char text[200];
    FormatVarSettings(s, 3, text, sizeof(text));
    EXPECT_STREQ(text, "100:-7,5:118.250000,6:3.000000");
}

TEST_F(CommgrVarTest, RefusesWhatKivfsxCouldNotReadAndStaysUnderTheOverrunLimit) {
    VarSetting s;
    EXPECT_FALSE(Parse("7=1", &s)); // var type 7: no wire width
    EXPECT_NE(std::string(Error).find("var type 7"), std::string::npos);
    // A slot nobody uses, one outside the table, a fraction or too large a number
    // for an integer slot, malformed entries.
    for (const char* bad :
         {"16=1", "300=1", "100=1.5", "100=2147483648", "5=abc", "5=", "=5", "x=5"}) {
        EXPECT_FALSE(Parse(bad, &s)) << bad;
    }
    EXPECT_TRUE(Parse("100=-2147483648", &s));

    // 58 integer entries make 496 bytes, the largest KivFSX takes; 59 would reach
    // 504.
    std::vector<VarSetting> many(59, s);
    uint8_t out[COMMGR_MAX_VAR_MESSAGE];
    EXPECT_EQ(BuildVarChange(many.data(), 58, out), 496u);
    EXPECT_EQ(BuildVarChange(many.data(), 59, out), 0u);
}

TEST(CommgrMessages, AddressShutdownSizedAndHexBytes) {
    uint8_t out[COMMGR_MAX_SEND];
    char text[64];
    ASSERT_EQ(BuildAddressMessage("10.1.2.3", 9020, out, text),
              32u + 13); // no NUL, no line end
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + 32, 13), "10.1.2.3 9020");
    ExpectFromHub(out, 2, 5, 0);
    ASSERT_EQ(BuildShutdown(out), 32u);
    ExpectFromHub(out, 2, 12, 0);
    memset(out, 0xAA, sizeof(out));
    ASSERT_EQ(BuildSizedMessage(600, out), 600u);
    ExpectFromHub(out, 1, 2, 0);
    EXPECT_EQ(std::vector<uint8_t>(out + 32, out + 600), std::vector<uint8_t>(568, 0));

    uint32_t len = 0;
    ASSERT_TRUE(ParseHexBytes("01 0a FF", out, 4, &len));
    EXPECT_EQ(std::vector<uint8_t>(out, out + len), (std::vector<uint8_t>{1, 10, 255}));
    ASSERT_TRUE(ParseHexBytes("deadBEEF", out, 4, &len));
    EXPECT_EQ(len, 4u);
    // Odd, a split byte, not hex, too many.
    for (const char* bad : {"0a0", "0 a0", "0g", "0102030405"}) {
        EXPECT_FALSE(ParseHexBytes(bad, out, 4, &len)) << bad;
    }
}

// --- command line and console commands
// ----------------------------------------------------

TEST(CommgrOptions, DefaultsEveryOptionAndRefusals) {
    static CommgrOptions o;
    ASSERT_TRUE(ParseArgs("", &o));
    EXPECT_EQ(o.ListenPort, 9019);
    EXPECT_EQ(o.DataPort, 9020);
    EXPECT_EQ(o.FieldCount, COMMGR_DEFAULT_FIELD_COUNT);
    ASSERT_TRUE(ParseArgs("--listen-port|1|--data-port=65535|--address|127.0.0.1|--keepalive-ms|"
                          "50|--record|r.txt|--record-payload|--summary-ms|0|--fields| Plane "
                          "Latitude ,, NAV OBS:1|--check-uniform|--duration-s|3|--set|100=2|"
                          "5=1.5|--set=13=1|--quiet",
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
    EXPECT_STREQ(o.Sets[2], "13=1");
    for (const char* bad : {"--listen-port|0", "--data-port|65536", "--data-port",
                            "--keepalive-ms|-5", "--address|10.0.0", "--address|10.0.0.256",
                            "--address|0x7f.0.0.1", "--set", "--set|a=1", "--set|5"}) {
        EXPECT_FALSE(ParseArgs(bad, &o)) << bad;
    }
    std::string error;
    EXPECT_FALSE(ParseArgs("--bogus", &o, &error));
    EXPECT_NE(error.find("--bogus"), std::string::npos);
}

TEST_F(CommgrVarTest, EachCommandParsesAndMistakesAreExplained) {
    static Command c;
    const std::pair<const char*, CommandKind> kinds[] = {
        {"   ", CMD_EMPTY},         {"pause\r", CMD_PAUSE},   {" resume ", CMD_RESUME},
        {"shutdown", CMD_SHUTDOWN}, {"address", CMD_ADDRESS}, {"quit", CMD_QUIT},
        {"size 4096", CMD_SIZE}};
    for (auto [line, kind] : kinds) {
        ParseCommand(line, &c);
        EXPECT_EQ(c.Kind, kind) << line;
    }
    ParseCommand("set 100=2   100=-1", &c);
    ASSERT_EQ(c.Kind, CMD_SET);
    ASSERT_EQ(c.SettingCount, 2u);
    EXPECT_EQ(c.Settings[1].IntValue, -1);
    ParseCommand("raw 0c 00 00 00", &c);
    ASSERT_EQ(c.Kind, CMD_RAW);
    EXPECT_EQ(c.Size, 4u);
    EXPECT_EQ(c.Bytes[0], 0x0c);
    for (const char* line : {"paused", "pause now", "set", "set 100", "set 300=1", "raw", "raw 0",
                             "size", "size -1", "size 4097", "size 12x", "hello"}) {
        ParseCommand(line, &c);
        EXPECT_EQ(c.Kind, CMD_INVALID) << line;
        EXPECT_STRNE(c.Error, "") << line;
    }
}
