// The session with the simulator: data definitions, event map, the set-up of a connection,
// and the loop's connection, dispatch, quit, reconnection and relaunch rules.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/process.h"
#include "support/restart.h"
#include "net/blocks.h"
#include "sim/datadefs.h"
#include "sim/datadefs_table.h"
#include "sim/events.h"
#include "sim/session.h"
#include "sim_fake.h"

namespace {

struct StopLoop {};
std::vector<uint32_t> Sleeps;
size_t SleepLimit = 0;

void RecordingSleep(uint32_t ms) {
    Sleeps.push_back(ms);
    if (Sleeps.size() >= SleepLimit) {
        throw StopLoop{};
    }
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

SC_HRESULT FailAll(const FakeCall&) {
    return -1;
}

class SessionTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        Sleeps.clear();
        SleepLimit = 1000000;
        Os.SleepMs = RecordingSleep;
    }
    // One loop turn with the console captured into Console.
    void Turn() {
        testing::internal::CaptureStdout();
        SimConnectLoopTurn();
        Console += testing::internal::GetCapturedStdout();
    }
    std::string Console;
};

} // namespace

TEST_F(SessionTest, SetUpDeclaresPackedRecordsMapsRequestsAndSubscribes) {
    hSimConnect.store(FakeHandle(3));
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
    InitSimSession();
    std::vector<FakeCall> calls = FakeSimCalls();
    ASSERT_EQ(calls.size(), 134u + 81u + 4u + 4u + 1u);
    for (const FakeCall& c : calls) {
        EXPECT_EQ(c.Handle, FakeHandle(3)) << c.Fn;
    }
    // Definitions 5, 4, 2, 1, 0 in turn; each datum starts where the one before ended, and
    // the records have the sizes of the block payloads they fill.
    const uint32_t order[5] = {5, 4, 2, 1, 0};
    const uint32_t sizes[5] = {24, 32, 320, 236, 368};
    size_t i = 0;
    for (int d = 0; d < 5; ++d) {
        uint32_t offset = 0;
        for (; i < 134 && calls[i].Args[0] == order[d]; ++i) {
            const DataDatum& datum = DATA_DATUMS[i];
            EXPECT_EQ(calls[i].Text, datum.Datum);
            EXPECT_EQ(calls[i].Units, datum.Units);
            EXPECT_EQ(calls[i].Args[1], static_cast<uint32_t>(datum.Type));
            EXPECT_EQ(datum.Offset, offset) << datum.Datum;
            offset += DataTypeSize(datum.Type);
        }
        EXPECT_EQ(offset, sizes[d]) << "definition " << order[d];
    }
    EXPECT_EQ(i, 134u);
    // The block positions that the program reads and presets are those of the records.
    const std::pair<uint32_t, const DataDatum*> positions[] = {
        {BLOCK1_PANEL_ON, FindDatum(2, "Circuit General Panel On")},
        {BLOCK2_FLAPS_POSITIONS, FindDatum(1, "FLAPS NUM HANDLE POSITIONS")},
        {BLOCK2_NAV_OBS2, FindDatum(1, "NAV OBS:2")},
        {BLOCK3_AP_AIRSPEED_HOLD_VAR, FindDatum(0, "Autopilot Airspeed Hold Var")},
        {BLOCK3_AP_MASTER, FindDatum(0, "Autopilot Master")},
        {BLOCK3_ADF_ACTIVE2, FindDatum(0, "ADF Active Frequency:2")},
    };
    for (const auto& p : positions) {
        ASSERT_NE(p.second, nullptr);
        EXPECT_EQ(p.first, BLOCK_PAYLOAD + p.second->Offset) << p.second->Datum;
    }
    // The button is mapped to its own event and group; 79 simulator events follow.
    EXPECT_EQ(calls[135].Text, "joystick:0:button:6");
    EXPECT_EQ(calls[135].Args, (std::vector<uint32_t>{0, 85, 10, SIMCONNECT_UNUSED, 20, 0}));
    EXPECT_EQ(calls[136].Args, (std::vector<uint32_t>{1, 85, 0}));
    EXPECT_EQ(FakeSimCallsOf("MapClientEventToSimEvent").size(), 79u);
    const std::vector<uint32_t> requests[4] = {{5, 4, 0, 4, 0, 0, 0, 0},
                                               {3, 2, 0, 2, 0, 0, 0, 0},
                                               {2, 1, 0, 2, 0, 0, 0, 0},
                                               {0, 0, 0, 2, 0, 0, 0, 0}};
    const std::pair<uint32_t, const char*> events[4] = {
        {0, "SimStart"}, {72, "Crashed"}, {83, "FlightLoaded"}, {84, "AircraftLoaded"}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(calls[215 + k].Fn, "RequestDataOnSimObject");
        EXPECT_EQ(calls[215 + k].Args, requests[k]);
        EXPECT_EQ(calls[219 + k].Args[0], events[k].first);
        EXPECT_EQ(calls[219 + k].Text, events[k].second);
        EXPECT_EQ(EVENT_NAMES[events[k].first], nullptr); // system events are never mapped
    }
    EXPECT_EQ(calls[223].Args, (std::vector<uint32_t>{0, 1, 0}));
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 0);
    EXPECT_EQ(Log(), "Log started.\nConnected to Flight Simulator.\n"
                     "Data Defs successfully added\nEvents successfully mapped\n");
}

TEST_F(SessionTest, EveryFailedRegistrationIsReportedAndTheRestStillMade) {
    FakeSimScript(FailAll);
    testing::internal::CaptureStdout();
    InitSimSession();
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(FakeSimCalls().size(), 224u);
    const std::pair<const char*, size_t> shown[] = {
        {"AddToData returned error\n", 134},       {"AddClientEvent returned error\n", 79},
        {"MapInputEventToClientEvent error\n", 1}, {"AddClientEvent error\n", 2},
        {"RequestSimObjectData error\n", 4},       {"Subscribe error\n", 4}};
    for (const auto& [text, n] : shown) {
        EXPECT_EQ(Count(console, text), n) << text;
    }
    std::string log = Log();
    const std::pair<const char*, size_t> logged[] = {
        {"AddToData error\nData Defs successfully added\n", 1},
        {"AddClientEvent returned error\n", 79},
        {"MapInputEventToClientEvent Error.\n", 1},
        {"AddClientEvent Error.\n", 2},
        {"RequestSimObjectData error\n", 4},
        {"Sibscribe Error.\n", 4}};
    for (const auto& [text, n] : logged) {
        EXPECT_EQ(Count(log, text), n) << text;
    }
}

TEST_F(SessionTest, WithoutASimulatorTheLoopOnlyTriesToOpenEveryTurn) {
    FakeSimScript(FailAll);
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 1);
    SleepLimit = 6;
    testing::internal::CaptureStdout();
    EXPECT_THROW(SimConnectLoop(), StopLoop);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(Sleeps, (std::vector<uint32_t>(6, 90)));
    std::vector<FakeCall> opens = FakeSimCallsOf("Open");
    ASSERT_EQ(opens.size(), 5u);
    EXPECT_EQ(FakeSimCalls().size(), 5u);
    EXPECT_EQ(opens[0].Text, "VUVIze");
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_SIM_CONNECTED), 0);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLAPS_POSITIONS), 1);

    // A pending relaunch ends the loop (and a turn) with code 0.
    RestartPending.store(true);
    Sleeps.clear();
    EXPECT_EQ(ExitCodeOf([] { SimConnectLoop(); }), 0);
    EXPECT_EQ(Sleeps, (std::vector<uint32_t>{90})); // before any open
    EXPECT_EQ(ExitCodeOf([] { SimConnectLoopTurn(); }), 0);
}

TEST_F(SessionTest, AConnectionIsSetUpOnceAndDispatchedEveryTurn) {
    int opens = 0;
    FakeSimScript([&opens](const FakeCall& c) { return c.Fn == "Open" && ++opens <= 2 ? -1 : 0; });
    Turn();
    Turn();
    EXPECT_EQ(Console, "");
    uint8_t record[BLOCK3_RECORD_SIZE];
    memset(record, 0xAB, sizeof(record));
    FakeSimQueueMessage(
        MsgData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 0, 1, 1, record, sizeof(record)));
    Sleeps.clear();
    Turn();
    EXPECT_EQ(Console, "Connected to Simulator\n");
    EXPECT_TRUE(SessionReady);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_SIM_CONNECTED), 1);
    EXPECT_EQ(FakeSimCallsOf("CallDispatch").size(), 1u); // in the same turn
    EXPECT_EQ(FakeSimCallsOf("CallDispatch")[0].Handle, FakeHandle(1));
    EXPECT_EQ(Sleeps, (std::vector<uint32_t>{100, 90}));
    EXPECT_EQ(BlockGetI32(Block3, BLOCK_PAYLOAD), static_cast<int32_t>(0xABABABABu));
    Turn();
    Turn();
    EXPECT_EQ(FakeSimCallsOf("Open").size(), 3u);
    EXPECT_EQ(FakeSimCallsOf("CallDispatch").size(), 3u);
    EXPECT_EQ(FakeSimCallsOf("AddToDataDefinition").size(), 134u);
}

TEST_F(SessionTest, AfterAQuitTheFirstNewConnectionIsDiscardedAndTheSecondSetUp) {
    Turn(); // connected and set up
    FakeSimQueueMessage(MsgHeaderOnly(SIMCONNECT_RECV_ID_QUIT));
    Turn();
    EXPECT_EQ(hSimConnect.load(), nullptr);
    EXPECT_FALSE(SimQuit.load());
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_SIM_CONNECTED), 0);

    Turn(); // the first open after the quit: dropped
    EXPECT_EQ(hSimConnect.load(), nullptr);
    EXPECT_FALSE(SessionReady);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_SIM_CONNECTED), 1);
    EXPECT_EQ(FakeSimCallsOf("CallDispatch").size(), 2u);

    Turn(); // the second: set up
    EXPECT_EQ(hSimConnect.load(), FakeHandle(3));
    EXPECT_TRUE(SessionReady);
    EXPECT_EQ(FakeSimCallsOf("AddToDataDefinition").size(), 268u);
    for (const FakeCall& c : FakeSimCallsOf("AddToDataDefinition")) {
        EXPECT_NE(c.Handle, FakeHandle(2)); // nothing on the discarded connection
    }
    EXPECT_EQ(Console, "Connected to Simulator\nQuit received\nConnected to Simulator\n"
                       "Connected to Simulator\n");
    std::string log = Log();
    size_t closing = log.find("Closing and reopening SimConnect\n");
    ASSERT_NE(closing, std::string::npos);
    EXPECT_GT(log.rfind("Connected to Flight Simulator.\n"), closing);
    // Dropped connections are never closed (another thread may still be using the handle).
    EXPECT_TRUE(FakeSimCallsOf("Close").empty());
}

TEST_F(SessionTest, AFailedDispatchRelaunchesAndTheTurnEndsTheProcess) {
    Turn();
    FakeSimScript([](const FakeCall& c) { return c.Fn == "CallDispatch" ? -1 : 0; });
    testing::internal::CaptureStdout();
    Sleeps.clear();
    EXPECT_EQ(ExitCodeOf([] { SimConnectLoopTurn(); }), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(RestartPending.load());
    EXPECT_EQ(Sleeps, (std::vector<uint32_t>{100, 90})); // the turn is finished first
    EXPECT_NE(FullLog().find("Dispatch returned error\n"), std::string::npos);

    // With the relaunch limit reached the process ends with 100 instead.
    RestartResetForTest();
    int32_t saved = RestartCount;
    RestartCount = 3;
    EXPECT_EQ(ExitCodeOf([] { SimConnectLoopTurn(); }), 100);
    RestartCount = saved;
}
