// The hub emulator's checks of what KivFSX sends: block headers, sequence continuity and the
// discovery broadcast.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tools/commgr/checks.h"

namespace {

std::vector<uint8_t> GoodBlock(int32_t n, uint32_t seq) {
    std::vector<uint8_t> d(BLOCK_SIZES[n], 0);
    MsgHeader h{MSG_CLASS_DATA, MSG_TYPE_BLOCK, seq, n, 0, 0, MSG_VERSION, NODE_ID, COMMGR_NODE};
    memcpy(d.data(), &h, sizeof(h));
    return d;
}

MsgHeader* Header(std::vector<uint8_t>& d) {
    return reinterpret_cast<MsgHeader*>(d.data());
}

std::string Reasons(const std::vector<uint8_t>& d, int32_t* n) {
    char text[128];
    FormatBlockErrors(CheckBlock(d.data(), static_cast<uint32_t>(d.size()), n), text, sizeof(text));
    return text;
}

} // namespace

TEST(CommgrBlockCheck, GoodBlocksOfEachNumberPass) {
    for (int32_t n = 1; n <= 3; ++n) {
        auto d = GoodBlock(n, 999);
        int32_t number = -1;
        EXPECT_EQ(CheckBlock(d.data(), static_cast<uint32_t>(d.size()), &number), 0u) << n;
        EXPECT_EQ(number, n);
    }
}

TEST(CommgrBlockCheck, EachHeaderFaultIsNamed) {
    int32_t n = 0;
    auto d = GoodBlock(2, 1);
    Header(d)->MsgClass = 2;
    Header(d)->MsgType = 2;
    Header(d)->Reserved = 1;
    Header(d)->Length = 920;
    Header(d)->Version = 502;
    Header(d)->Source = 2;
    Header(d)->Destination = 14;
    Header(d)->Sequence = 1000;
    EXPECT_EQ(Reasons(d, &n), "class,type,reserved,length,version,source,dest,seq");
    EXPECT_EQ(n, 2);

    // A Block1 header on a Block3-sized datagram: the header's number wins, the size is wrong.
    d = GoodBlock(3, 1);
    Header(d)->Count = 1;
    EXPECT_EQ(Reasons(d, &n), "size");
    EXPECT_EQ(n, 1);

    // A bad block number: the size tells which block it looks like.
    d = GoodBlock(3, 1);
    Header(d)->Count = 4;
    EXPECT_EQ(Reasons(d, &n), "count");
    EXPECT_EQ(n, 3);
    d.resize(100);
    EXPECT_EQ(Reasons(d, &n), "size,count");
    EXPECT_EQ(n, 0);

    d.resize(31);
    EXPECT_EQ(Reasons(d, &n), "short");
}

TEST(CommgrSequence, ConsecutiveNumbersWrapAt1000AndGapsAreReported) {
    SeqTracker t{};
    uint32_t expected = 0;
    EXPECT_FALSE(SeqTrack(&t, 997, 0, &expected)); // the first number is taken as is
    EXPECT_FALSE(SeqTrack(&t, 998, 70, &expected));
    EXPECT_FALSE(SeqTrack(&t, 999, 140, &expected));
    EXPECT_FALSE(SeqTrack(&t, 0, 210, &expected));
    EXPECT_TRUE(SeqTrack(&t, 3, 280, &expected));
    EXPECT_EQ(expected, 1u);
    EXPECT_FALSE(SeqTrack(&t, 4, 350, &expected)); // continues from the number received
    EXPECT_TRUE(SeqTrack(&t, 4, 420, &expected));  // a repeat is a gap too
    EXPECT_EQ(expected, 5u);
}

TEST(CommgrSequence, AfterASilenceTheLinkWasDownAndTheJumpIsNoGap) {
    SeqTracker t{};
    uint32_t expected = 0;
    SeqTrack(&t, 10, 1000, &expected);
    EXPECT_TRUE(SeqTrack(&t, 50, 1000 + SEQ_RESYNC_SILENCE_MS, &expected));
    EXPECT_FALSE(SeqTrack(&t, 500, 1001 + 2 * SEQ_RESYNC_SILENCE_MS, &expected));
    EXPECT_FALSE(SeqTrack(&t, 501, 1070 + 2 * SEQ_RESYNC_SILENCE_MS, &expected));
}

namespace {

std::vector<uint8_t> DiscoveryBytes(const char* text, int32_t cls = 2, int32_t type = 9,
                                    int32_t version = 503, int16_t source = 14) {
    std::vector<uint8_t> d(32 + strlen(text), 0);
    MsgHeader h{};
    h.MsgClass = cls;
    h.MsgType = type;
    h.Version = version;
    h.Source = source;
    memcpy(d.data(), &h, sizeof(h));
    memcpy(d.data() + 32, text, strlen(text));
    return d;
}

Discovery Parse(const std::vector<uint8_t>& d, NetAddr from = {0x0100007F, 40000}) {
    Discovery out;
    ParseDiscovery(d.data(), static_cast<uint32_t>(d.size()), from, &out);
    return out;
}

} // namespace

TEST(CommgrDiscovery, AnswersGoToTheAnnouncedAddressAndPort) {
    Discovery d = Parse(DiscoveryBytes("192.168.1.20 9030 1 1209\n"));
    ASSERT_TRUE(d.Valid) << d.Reason;
    EXPECT_EQ(d.Reply.Addr, PlatformInetAddr("192.168.1.20"));
    EXPECT_EQ(d.Reply.Port, 9030);
    EXPECT_STREQ(d.Text, "192.168.1.20 9030 1 1209");

    // KivFSX without a known own address announces 0.0.0.0: answer where it came from.
    d = Parse(DiscoveryBytes("0.0.0.0 9031 1 1209\n"), {PlatformInetAddr("10.0.0.7"), 5555});
    ASSERT_TRUE(d.Valid);
    EXPECT_EQ(d.Reply.Addr, PlatformInetAddr("10.0.0.7"));
    EXPECT_EQ(d.Reply.Port, 9031);
}

TEST(CommgrDiscovery, AnythingElseIsNotAnswered) {
    EXPECT_FALSE(Parse(DiscoveryBytes("1.2.3.4 9030 1 1209\n", 2, 5)).Valid);
    EXPECT_FALSE(Parse(DiscoveryBytes("1.2.3.4 9030 1 1209\n", 1, 9)).Valid);
    EXPECT_FALSE(Parse(DiscoveryBytes("1.2.3.4 9030 1 1209\n", 2, 9, 502)).Valid);
    EXPECT_FALSE(Parse(DiscoveryBytes("1.2.3.4 9030 1 1209\n", 2, 9, 503, 3)).Valid);
    EXPECT_FALSE(Parse(DiscoveryBytes("")).Valid);
    EXPECT_FALSE(Parse(DiscoveryBytes("1.2.3.4\n")).Valid);
    EXPECT_FALSE(Parse(DiscoveryBytes("1.2.3.4 70000 1 1209\n")).Valid);
    EXPECT_FALSE(Parse(DiscoveryBytes("host.example 9030 1 1209\n")).Valid);
    // Control characters and quotes cannot break the record line.
    Discovery d = Parse(DiscoveryBytes("1.2.3.4 \"9030\"\t1"));
    EXPECT_STREQ(d.Text, "1.2.3.4 .9030..1");
}
