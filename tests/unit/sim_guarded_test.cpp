// Guarded simulator calls: the traffic thread's timing and gating, the arguments each call
// passes, the failure reports, and the failure counts that relaunch on the sixth failure. A
// call fails as it does for real: on a connection that the simulator does not have.
#include "sim_standin.h"

using GuardedTest = SimTest;

TEST_F(GuardedTest, TrafficPollWaitsFirstAndRequestsOnlyWhileConnected) {
    SleepLimit = 4;
    EXPECT_THROW(TrafficPoll(nullptr), StopLoop);
    EXPECT_EQ(Sleeps, (std::vector<uint32_t>{5000, 500, 500, 500}));
    EXPECT_TRUE(Journal("CALL ").empty());
    SleepLimit = SIZE_MAX;
    Turn();
    Sleeps.clear();
    SleepLimit = 3;
    EXPECT_THROW(TrafficPoll(nullptr), StopLoop);
    EXPECT_EQ(
        Journal("CALL RequestDataOnSimObjectType "),
        std::vector<std::string>(
            2, "CALL RequestDataOnSimObjectType request=6 define=5 radius=30000 type=2 -> 0"));
    EXPECT_EQ(TrafficErrors.load(), 0);
}

TEST_F(GuardedTest, TheSixthFailedTrafficRequestRelaunches) {
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 1);
    std::string console = Console([] {
        for (int i = 0; i < 5; ++i) {
            TrafficPollTurn();
        }
        EXPECT_FALSE(RestartPending.load());
        TrafficPollTurn();
    });
    EXPECT_EQ(CountOf(console, "RequestDataOnSimObjectType error\n"), 6u);
    EXPECT_TRUE(RestartPending.load());
    EXPECT_NE(Log().find("RequestDataOnSimObjectType error\n"
                         "RequestDataOnSimObjectType() - Restarting\n"),
              std::string::npos);
    EXPECT_EQ(TransmitErrors.load(), 0);
}

TEST_F(GuardedTest, TransmissionGoesToTheUserAircraftAndFailuresAddUpAcrossSuccesses) {
    Turn();
    const SC_HANDLE connection = hSimConnect.load();
    EXPECT_EQ(TransmitClientEvent(77, -5), 0);
    EXPECT_EQ(Journal("CALL TransmitClientEvent ").back(),
              "CALL TransmitClientEvent object=0 event=77 sim=ADF_COMPLETE_SET data=4294967291 "
              "group=1 flags=16 -> 0");
    // Every second call is made without a connection: the sixth failure is the eleventh call.
    std::string console = Console([connection] {
        for (int i = 0; i < 11; ++i) {
            EXPECT_FALSE(RestartPending.load());
            hSimConnect.store(i % 2 == 0 ? nullptr : connection);
            EXPECT_EQ(TransmitClientEvent(46, i) != 0, i % 2 == 0);
        }
    });
    EXPECT_EQ(CountOf(console, "TransmitClientEvent() -Error, Event: 46 Object: 0\n"), 6u);
    EXPECT_EQ(Journal("CALL TransmitClientEvent ").size(), 12u);
    EXPECT_EQ(TransmitErrors.load(), 6);
    EXPECT_TRUE(RestartPending.load());
    EXPECT_NE(Log().find("TransmitEvent error\nTransmitClientEvent() - Restarting\n"),
              std::string::npos);
}

TEST_F(GuardedTest, InputStateAndObjectRequestsReportButNeverCount) {
    Turn();
    EXPECT_EQ(SetInputState(), 0);
    EXPECT_EQ(RequestSimObjectData(1, 4242, 7, 6), 0);
    std::vector<std::string> calls = Journal("CALL ");
    EXPECT_EQ(calls[calls.size() - 2], "CALL SetInputGroupState group=0 state=1 -> 0");
    EXPECT_EQ(calls.back(),
              "CALL RequestDataOnSimObject request=7 define=6 object=4242 period=1 -> 0");
    hSimConnect.store(nullptr);
    std::string console = Console([] {
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(SetInputState(), static_cast<SC_HRESULT>(0x80004005u));
            EXPECT_EQ(RequestSimObjectData(1, 1, 7, 6), static_cast<SC_HRESULT>(0x80004005u));
        }
    });
    EXPECT_EQ(CountOf(console, "SetInputState\n"), 8u);
    EXPECT_EQ(CountOf(console, "RequestSimObjectData error\n"), 8u);
    EXPECT_EQ(CountOf(Log(), "SetInputState Error.\n"), 8u);
    EXPECT_EQ(CountOf(Log(), "RequestSimObjectData error\n"), 8u);
    EXPECT_FALSE(RestartPending.load());
}
