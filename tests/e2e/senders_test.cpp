// The opt-in sender filter on the Linux build: with senders = hub only the hub's datagrams
// are handled; without the setting a stranger's are too (the Windows build under Wine takes
// the same road in wine_test.cpp).
#include "harness.h"

#include <fstream>

namespace {

struct SendersTest : E2eTest, ::testing::WithParamInterface<bool> {};

TEST_P(SendersTest, OnlyTheAcceptedSendersReachTheSimulatorTheLinkAndTheExit) {
    std::ofstream(Dir / "kivfsx-settings.txt") << "hub = 10.77.0.3\n"
                                               << (GetParam() ? "senders = hub\n" : "");
    Proc hub = StartHub({"--listen-address", "10.77.0.3", "--send-address", "10.77.0.3"});
    Proc kiv = StartKivfsx();
    ExpectSenderFilterRoad(GetParam(), hub, kiv);
}

INSTANTIATE_TEST_SUITE_P(Setting, SendersTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "senders" : "without"; });

} // namespace
