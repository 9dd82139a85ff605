// Guarded simulator calls: the traffic thread's timing and gating, the arguments each call
// passes, the failure reports, and the failure counts that relaunch on the sixth failure.
#include <string>
#include <vector>

#include "support/restart.h"
#include "net/blocks.h"
#include "sim/guarded.h"
#include "sim/session.h"
#include "sim_fake.h"

namespace {

struct StopPolling {};
std::vector<uint32_t> Sleeps;
size_t SleepLimit = 0;

void RecordingSleep(uint32_t ms) {
    Sleeps.push_back(ms);
    if (Sleeps.size() >= SleepLimit) {
        throw StopPolling{};
    }
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

class GuardedTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        hSimConnect.store(FakeHandle(1));
        Sleeps.clear();
    }
    // Runs the traffic thread's procedure on this thread until it has slept `sleeps` times.
    void RunTrafficPoll(size_t sleeps) {
        SleepLimit = sleeps;
        Os.SleepMs = RecordingSleep;
        EXPECT_THROW(TrafficPoll(nullptr), StopPolling);
    }
};

SC_HRESULT FailAll(const FakeCall&) {
    return -1;
}

} // namespace

TEST_F(GuardedTest, TrafficPollWaitsFirstAndRequestsOnlyWhileConnected) {
    RunTrafficPoll(4);
    EXPECT_EQ(Sleeps, (std::vector<uint32_t>{5000, 500, 500, 500}));
    EXPECT_TRUE(FakeSimCalls().empty());
    EXPECT_EQ(TrafficErrors.load(), 0);

    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 1);
    Sleeps.clear();
    RunTrafficPoll(3);
    std::vector<FakeCall> calls = FakeSimCallsOf("RequestDataOnSimObjectType");
    ASSERT_EQ(calls.size(), 2u); // none before the first wait
    EXPECT_EQ(calls[0].Args, (std::vector<uint32_t>{6, 5, 30000, 2}));
}

TEST_F(GuardedTest, TheSixthFailedTrafficRequestRelaunches) {
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 1);
    FakeSimScript(FailAll);
    testing::internal::CaptureStdout();
    for (int i = 0; i < 5; ++i) {
        TrafficPollTurn();
    }
    EXPECT_FALSE(RestartPending.load());
    TrafficPollTurn();
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Count(console, "RequestDataOnSimObjectType error\n"), 6u);
    EXPECT_TRUE(RestartPending.load());
    EXPECT_NE(FullLog().find("RequestDataOnSimObjectType error\n"
                             "RequestDataOnSimObjectType() - Restarting\n"),
              std::string::npos);
    EXPECT_EQ(TransmitErrors.load(), 0);
}

TEST_F(GuardedTest, TransmissionGoesToTheUserAircraftAndFailuresAddUpAcrossSuccesses) {
    hSimConnect.store(nullptr); // not connected: the call is still made
    EXPECT_EQ(TransmitClientEvent(77, -5), 0);
    std::vector<FakeCall> calls = FakeSimCallsOf("TransmitClientEvent");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Args, (std::vector<uint32_t>{0, 77, 0xFFFFFFFBu, 1, 0x10}));

    int call = 0;
    // Failures on every second call: the sixth failure is the eleventh call.
    FakeSimScript([&call](const FakeCall&) { return (call++ % 2 == 0) ? -1 : 0; });
    testing::internal::CaptureStdout();
    for (int i = 0; i < 10; ++i) {
        TransmitClientEvent(46, i);
    }
    EXPECT_FALSE(RestartPending.load());
    EXPECT_EQ(TransmitClientEvent(46, -1), -1);
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Count(console, "TransmitClientEvent() -Error, Event: 46 Object: 0\n"), 6u);
    EXPECT_EQ(TransmitErrors.load(), 6);
    EXPECT_TRUE(RestartPending.load());
    EXPECT_NE(FullLog().find("TransmitEvent error\nTransmitClientEvent() - Restarting\n"),
              std::string::npos);
}

TEST_F(GuardedTest, InputStateAndObjectRequestsReportButNeverCount) {
    EXPECT_EQ(SetInputState(), 0);
    EXPECT_EQ(RequestSimObjectData(1, 4242, 7, 6), 0);
    std::vector<FakeCall> calls = FakeSimCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Fn, "SetInputGroupState");
    EXPECT_EQ(calls[0].Args, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(calls[1].Args, (std::vector<uint32_t>{7, 6, 4242, 1, 0, 0, 0, 0}));

    FakeSimScript([](const FakeCall&) { return -3; });
    testing::internal::CaptureStdout();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(SetInputState(), -3);
        EXPECT_EQ(RequestSimObjectData(1, 1, 7, 6), -3);
    }
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Count(console, "SetInputState\n"), 8u);
    EXPECT_EQ(Count(Log(), "RequestSimObjectData error\n"), 8u);
    EXPECT_FALSE(RestartPending.load());
}
