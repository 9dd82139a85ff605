// The hub emulator's faulty network: how --faults reads its list.
#include <gtest/gtest.h>

#include <string>

#include "tools/commgr/faults.h"

namespace {

TEST(Faults, TheListNamesSharesInPercentAndDelaysInMilliseconds) {
    FaultPlan p;
    char error[128];
    ASSERT_TRUE(ParseFaults("loss=20,dup=5,reorder=10,corrupt=0.5,delay=3-40,reorder-ms=900", &p,
                            error, sizeof(error)))
        << error;
    EXPECT_EQ(p.LossPpm, 200000u);
    EXPECT_EQ(p.DupPpm, 50000u);
    EXPECT_EQ(p.ReorderPpm, 100000u);
    EXPECT_EQ(p.CorruptPpm, 5000u);
    EXPECT_EQ(p.DelayMinMs, 3u);
    EXPECT_EQ(p.DelayMaxMs, 40u);
    EXPECT_EQ(p.ReorderMaxMs, 900u);
    ASSERT_TRUE(ParseFaults("delay=7", &p, error, sizeof(error)));
    EXPECT_EQ(p.DelayMinMs + p.DelayMaxMs + p.LossPpm, 14u) << "what is not named is 0";
    EXPECT_EQ(p.ReorderMaxMs, 1200u);
    for (const char* bad : {"loss=101", "loss=-1", "loss", "drop=5", "delay=9-3", "dup=5x",
                            "reorder-ms=10"}) {
        EXPECT_FALSE(ParseFaults(bad, &p, error, sizeof(error))) << bad;
        EXPECT_NE(std::string(error), "") << bad;
    }
}

} // namespace
