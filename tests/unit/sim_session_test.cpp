// The session with the simulator: data definitions, event map, the set-up of a connection,
// and the loop's connection, dispatch, quit, reconnection and relaunch rules.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/process.h"
#include "app/restart.h"
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

// The registrations in order: client event id and the simulator event it is tied to.
const uint32_t EXPECTED_MAP_IDS[79] = {
    85, 70, 71, 11, 12, 81, 82, 26, 27, 30, 31, 28, 29, 32, 33, 34, 35, 24, 25, 38,
    39, 42, 43, 40, 41, 44, 45, 46, 47, 36, 37, 2,  3,  4,  6,  7,  8,  9,  10, 5,
    17, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23, 48, 49, 50, 51, 52, 53, 54, 55, 56,
    57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 74, 77, 78, 79, 80, 1};
const char* const EXPECTED_MAP_NAMES =
    "My.KeyX NAV1_RADIO_SET NAV2_RADIO_SET AUTOPILOT_ON AUTOPILOT_OFF KOHLSMAN_INC KOHLSMAN_DEC "
    "NAV1_RADIO_WHOLE_INC NAV2_RADIO_WHOLE_INC NAV1_RADIO_WHOLE_DEC NAV2_RADIO_WHOLE_DEC "
    "NAV1_RADIO_FRACT_INC NAV2_RADIO_FRACT_INC NAV1_RADIO_FRACT_DEC NAV2_RADIO_FRACT_DEC "
    "NAV1_RADIO_SET NAV2_RADIO_SET NAV1_RADIO_SWAP NAV2_RADIO_SWAP COM_RADIO_WHOLE_INC "
    "COM2_RADIO_WHOLE_INC COM_RADIO_WHOLE_DEC COM2_RADIO_WHOLE_DEC COM_RADIO_FRACT_INC "
    "COM2_RADIO_FRACT_INC COM_RADIO_FRACT_DEC COM2_RADIO_FRACT_DEC COM_RADIO_SET COM2_RADIO_SET "
    "COM_STBY_RADIO_SWAP COM2_RADIO_SWAP TOGGLE_FLIGHT_DIRECTOR PARKING_BRAKES HEADING_BUG_SET "
    "AP_HDG_HOLD_ON AP_HDG_HOLD_OFF AP_ALT_HOLD_ON AP_ALT_HOLD_OFF AP_ALT_VAR_SET_ENGLISH "
    "AP_SPD_VAR_SET SPOILERS_SET AUTO_THROTTLE_ARM AP_PANEL_SPEED_ON AP_PANEL_SPEED_OFF "
    "AP_VS_VAR_SET_ENGLISH GEAR_SET FLAPS_INCR FLAPS_DECR FLAPS_UP FLAPS_DOWN FLAPS_SET "
    "INCREASE_DECISION_HEIGHT DECREASE_DECISION_HEIGHT KOHLSMAN_INC KOHLSMAN_DEC VOR1_SET VOR2_SET "
    "NAV1_STBY_SET NAV2_STBY_SET COM_STBY_RADIO_SET COM2_STBY_RADIO_SET VOR1_SET VOR2_SET "
    "KOHLSMAN_SET PAUSE_ON PAUSE_OFF AUTO_THROTTLE_ARM AP_APR_HOLD_ON AP_APR_HOLD_OFF "
    "AP_NAV1_HOLD_ON AP_NAV1_HOLD_OFF THROTTLE_90 THROTTLE_10 THROTTLE_SET ADF_COMPLETE_SET "
    "ADF2_COMPLETE_SET RADIO_VOR1_IDENT_ENABLE RADIO_ADF_IDENT_ENABLE My.event";

} // namespace

TEST_F(SessionTest, DataDefinitionsAreDeclaredInOrderAsPackedRecords) {
    hSimConnect.store(FakeHandle(1));
    AddDataDefs();
    std::vector<FakeCall> calls = FakeSimCallsOf("AddToDataDefinition");
    ASSERT_EQ(calls.size(), 134u);
    // Definitions 5, 4, 2, 1, 0 in turn; each datum starts where the one before ended, and
    // the records have the sizes of the block payloads they fill.
    const uint32_t order[5] = {5, 4, 2, 1, 0};
    const uint32_t sizes[5] = {24, 32, 320, 236, 368};
    size_t i = 0;
    for (int d = 0; d < 5; ++d) {
        uint32_t offset = 0;
        for (; i < calls.size() && calls[i].Args[0] == order[d]; ++i) {
            const DataDatum& datum = DATA_DATUMS[i];
            EXPECT_EQ(calls[i].Handle, FakeHandle(1));
            EXPECT_EQ(calls[i].Text, datum.Datum);
            EXPECT_EQ(calls[i].Units, datum.Units);
            EXPECT_EQ(calls[i].Args[1], static_cast<uint32_t>(datum.Type));
            EXPECT_EQ(calls[i].Args[2], SIMCONNECT_UNUSED);
            EXPECT_EQ(calls[i].Epsilon, 0.0f);
            EXPECT_EQ(datum.Offset, offset) << datum.Datum;
            bool unitless = datum.Type == SIMCONNECT_DATATYPE_LATLONALT ||
                            datum.Type == SIMCONNECT_DATATYPE_STRING32;
            EXPECT_EQ(datum.Units == nullptr, unitless) << datum.Datum;
            offset += DataTypeSize(datum.Type);
        }
        EXPECT_EQ(offset, sizes[d]) << "definition " << order[d];
    }
    EXPECT_EQ(i, calls.size());
    // "Autopilot Airspeed Hold Var" is declared twice in definition 0, in two forms.
    const DataDatum& second = DATA_DATUMS[134 - 57 + 34];
    EXPECT_STREQ(second.Datum, "Autopilot Airspeed Hold Var");
    EXPECT_EQ(second.Type, SIMCONNECT_DATATYPE_INT32);
    EXPECT_EQ(second.Offset, 236u);
    // The block positions that the program reads and presets are those of the records.
    const std::pair<uint32_t, const DataDatum*> positions[] = {
        {BLOCK1_PANEL_ON, FindDatum(2, "Circuit General Panel On")},
        {BLOCK2_FLAPS_POSITIONS, FindDatum(1, "FLAPS NUM HANDLE POSITIONS")},
        {BLOCK2_NAV_OBS1, FindDatum(1, "NAV OBS:1")},
        {BLOCK2_NAV_OBS2, FindDatum(1, "NAV OBS:2")},
        {BLOCK3_AP_ALT_LOCK_VAR, FindDatum(0, "Autopilot Altitude Lock Var")},
        {BLOCK3_AP_AIRSPEED_HOLD_VAR, FindDatum(0, "Autopilot Airspeed Hold Var")},
        {BLOCK3_AP_HEADING_LOCK_DIR, FindDatum(0, "Autopilot Heading Lock Dir")},
        {BLOCK3_AP_FD_ACTIVE, FindDatum(0, "Autopilot Flight Director Active")},
        {BLOCK3_AP_MASTER, FindDatum(0, "Autopilot Master")},
        {BLOCK3_BRAKE_PARKING, FindDatum(0, "Brake Parking Position")},
        {BLOCK3_ADF_ACTIVE1, FindDatum(0, "ADF Active Frequency:1")},
        {BLOCK3_ADF_ACTIVE2, FindDatum(0, "ADF Active Frequency:2")},
    };
    for (const auto& p : positions) {
        ASSERT_NE(p.second, nullptr);
        EXPECT_EQ(p.first, BLOCK_PAYLOAD + p.second->Offset) << p.second->Datum;
    }
    EXPECT_EQ(Log(), "Log started.\nData Defs successfully added\n");
}

TEST_F(SessionTest, EveryFailedDeclarationIsReportedAndTheRestStillMade) {
    FakeSimScript(FailAll);
    testing::internal::CaptureStdout();
    AddDataDefs();
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(FakeSimCalls().size(), 134u);
    EXPECT_EQ(Count(console, "AddToData returned error\n"), 134u);
    std::string log = Log();
    EXPECT_EQ(Count(log, "AddToData error\n"), 134u);
    EXPECT_EQ(log.substr(log.size() - strlen("AddToData error\nData Defs successfully added\n")),
              "AddToData error\nData Defs successfully added\n");
}

TEST_F(SessionTest, TheEventMapIsRegisteredInOrder) {
    hSimConnect.store(FakeHandle(2));
    MapEvents();
    std::vector<FakeCall> calls = FakeSimCalls();
    ASSERT_EQ(calls.size(), 81u);
    EXPECT_EQ(calls[1].Fn, "MapInputEventToClientEvent");
    EXPECT_EQ(calls[1].Text, "joystick:0:button:6");
    EXPECT_EQ(calls[1].Args, (std::vector<uint32_t>{0, 85, 10, SIMCONNECT_UNUSED, 20, 0}));
    EXPECT_EQ(calls[2].Fn, "AddClientEventToNotificationGroup");
    EXPECT_EQ(calls[2].Args, (std::vector<uint32_t>{1, 85, 0}));
    std::vector<FakeCall> maps = FakeSimCallsOf("MapClientEventToSimEvent");
    ASSERT_EQ(maps.size(), 79u);
    EXPECT_EQ(calls[0].Fn, "MapClientEventToSimEvent");
    std::string names;
    for (size_t i = 0; i < maps.size(); ++i) {
        EXPECT_EQ(maps[i].Handle, FakeHandle(2));
        EXPECT_EQ(maps[i].Args[0], EXPECTED_MAP_IDS[i]) << i;
        names += (i == 0 ? "" : " ") + maps[i].Text;
    }
    EXPECT_EQ(names, EXPECTED_MAP_NAMES);
    // Ids that are subscribed or tested as system events are never mapped.
    for (uint32_t id : {0u, 72u, 73u, 75u, 76u, 83u, 84u}) {
        EXPECT_EQ(EVENT_NAMES[id], nullptr) << id;
    }
    EXPECT_EQ(Log(), "Log started.\nEvents successfully mapped\n");
}

TEST_F(SessionTest, EveryFailedEventRegistrationIsReported) {
    FakeSimScript(FailAll);
    testing::internal::CaptureStdout();
    MapEvents();
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Count(console, "AddClientEvent returned error\n"), 79u);
    EXPECT_EQ(Count(console, "MapInputEventToClientEvent error\n"), 1u);
    EXPECT_EQ(Count(console, "AddClientEvent error\n"), 1u);
    std::string log = Log();
    EXPECT_EQ(Count(log, "AddClientEvent returned error\n"), 79u);
    EXPECT_EQ(Count(log, "MapInputEventToClientEvent Error.\n"), 1u);
    EXPECT_EQ(Count(log, "AddClientEvent Error.\n"), 1u);
    EXPECT_NE(log.find("AddClientEvent returned error\nEvents successfully mapped\n"),
              std::string::npos);
}

TEST_F(SessionTest, SetUpDeclaresMapsRequestsAndSubscribesInOrder) {
    hSimConnect.store(FakeHandle(3));
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
    InitSimSession();
    std::vector<FakeCall> calls = FakeSimCalls();
    ASSERT_EQ(calls.size(), 134u + 81u + 4u + 4u + 1u);
    EXPECT_EQ(calls[0].Fn, "AddToDataDefinition");
    EXPECT_EQ(calls[134].Fn, "MapClientEventToSimEvent");
    const std::vector<uint32_t> requests[4] = {{5, 4, 0, 4, 0, 0, 0, 0},
                                               {3, 2, 0, 2, 0, 0, 0, 0},
                                               {2, 1, 0, 2, 0, 0, 0, 0},
                                               {0, 0, 0, 2, 0, 0, 0, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(calls[215 + i].Fn, "RequestDataOnSimObject");
        EXPECT_EQ(calls[215 + i].Args, requests[i]);
    }
    const std::pair<uint32_t, const char*> events[4] = {
        {0, "SimStart"}, {72, "Crashed"}, {83, "FlightLoaded"}, {84, "AircraftLoaded"}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(calls[219 + i].Fn, "SubscribeToSystemEvent");
        EXPECT_EQ(calls[219 + i].Args[0], events[i].first);
        EXPECT_EQ(calls[219 + i].Text, events[i].second);
    }
    EXPECT_EQ(calls[223].Fn, "AddClientEventToNotificationGroup");
    EXPECT_EQ(calls[223].Args, (std::vector<uint32_t>{0, 1, 0}));
    for (const FakeCall& c : calls) {
        EXPECT_EQ(c.Handle, FakeHandle(3)) << c.Fn;
    }
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 0);
    EXPECT_EQ(Log(), "Log started.\nConnected to Flight Simulator.\n"
                     "Data Defs successfully added\nEvents successfully mapped\n");
}

TEST_F(SessionTest, FailedRequestsSubscriptionsAndGroupAreReported) {
    hSimConnect.store(FakeHandle(3));
    FakeSimScript([](const FakeCall& c) {
        return (c.Fn == "RequestDataOnSimObject" || c.Fn == "SubscribeToSystemEvent" ||
                (c.Fn == "AddClientEventToNotificationGroup" && c.Args[0] == 0))
                   ? -1
                   : 0;
    });
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
    testing::internal::CaptureStdout();
    InitSimSession();
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, "RequestSimObjectData error\nRequestSimObjectData error\n"
                       "RequestSimObjectData error\nRequestSimObjectData error\n"
                       "Subscribe error\nSubscribe error\nSubscribe error\nSubscribe error\n"
                       "AddClientEvent error\n");
    std::string log = Log();
    EXPECT_EQ(Count(log, "RequestSimObjectData error\n"), 4u);
    EXPECT_EQ(Count(log, "Sibscribe Error.\n"), 4u);
    EXPECT_EQ(Count(log, "AddClientEvent Error.\n"), 1u);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 0);
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
    EXPECT_EQ(opens[0].Args, (std::vector<uint32_t>{0, 0, 0, 0}));
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_SIM_CONNECTED), 0);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLAPS_POSITIONS), 1);
    EXPECT_EQ(Log(), "Log started.\n");
}

TEST_F(SessionTest, ARelaunchEndsTheLoopWithCodeZero) {
    FakeSimScript(FailAll);
    RestartPending.store(true);
    EXPECT_EQ(ExitCodeOf([] { SimConnectLoop(); }), 0);
    EXPECT_EQ(Sleeps, (std::vector<uint32_t>{90})); // before any open
    RestartPending.store(false);
    EXPECT_EQ(ExitCodeOf([] { SimConnectLoopTurn(); }), -1);
    RestartPending.store(true);
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
    EXPECT_EQ(hSimConnect.load(), FakeHandle(1));
    EXPECT_TRUE(SessionReady);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_SIM_CONNECTED), 1);
    EXPECT_EQ(FakeSimCallsOf("AddToDataDefinition").size(), 134u);
    EXPECT_EQ(FakeSimCallsOf("CallDispatch").size(), 1u); // in the same turn
    EXPECT_EQ(FakeSimCallsOf("CallDispatch")[0].Handle, FakeHandle(1));
    EXPECT_EQ(FakeSimCallsOf("CallDispatch")[0].Args[0], 0u); // no context
    EXPECT_EQ(Sleeps, (std::vector<uint32_t>{100, 90}));
    EXPECT_EQ(BlockGetI32(Block3, BLOCK_PAYLOAD), static_cast<int32_t>(0xABABABABu));
    Turn();
    Turn();
    EXPECT_EQ(FakeSimCallsOf("Open").size(), 3u);
    EXPECT_EQ(FakeSimCallsOf("CallDispatch").size(), 3u);
    EXPECT_EQ(FakeSimCallsOf("AddToDataDefinition").size(), 134u);
    EXPECT_EQ(Console, "Connected to Simulator\n");
}

TEST_F(SessionTest, AfterAQuitTheFirstNewConnectionIsDiscardedAndTheSecondSetUp) {
    Turn(); // connected and set up
    ASSERT_TRUE(SessionReady);
    FakeSimQueueMessage(MsgHeaderOnly(SIMCONNECT_RECV_ID_QUIT));
    Turn();
    EXPECT_EQ(hSimConnect.load(), nullptr);
    EXPECT_FALSE(SimQuit.load());
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_SIM_CONNECTED), 0);
    EXPECT_TRUE(SessionReady); // survives the quit

    Turn(); // the first open after the quit: dropped
    EXPECT_EQ(hSimConnect.load(), nullptr);
    EXPECT_FALSE(SessionReady);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_SIM_CONNECTED), 1);
    EXPECT_EQ(FakeSimCallsOf("AddToDataDefinition").size(), 134u);
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
    EXPECT_EQ(Count(log, "Connected to Flight Simulator.\n"), 2u);
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
