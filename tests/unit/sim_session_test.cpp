// The session with the simulator: the set-up of a new connection, and the loop's connection,
// dispatch, quit, reconnection and relaunch rules.
#include <algorithm>
#include <set>

#include "sim/datadefs_table.h"
#include "sim_standin.h"

using SessionTest = SimTest;

TEST_F(SessionTest, SetUpDeclaresPackedRecordsMapsEveryEventAndClearsTheFlightChange) {
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
    Control({"set Circuit General Panel On=7", "set FLAPS NUM HANDLE POSITIONS=5"});
    EXPECT_EQ(Turn(), "Connected to Simulator\n"); // set up, and dispatched in the same turn
    std::vector<std::string> calls = Journal("CALL ");
    ASSERT_GT(calls.size(), DATA_DATUM_COUNT + 3);
    EXPECT_EQ(calls[0], "CALL Open name=VUVIze -> 0");
    // Every datum in table order (where each lies is checked where the table is written).
    for (uint32_t i = 0; i < DATA_DATUM_COUNT; ++i) {
        const DataDatum& d = DATA_DATUMS[i];
        std::string units = d.Units == nullptr ? "null" : "\"" + std::string(d.Units) + "\"";
        EXPECT_EQ(calls[1 + i], "CALL AddToDataDefinition define=" + std::to_string(d.Definition) +
                                    " datum=\"" + d.Datum + "\" units=" + units +
                                    " type=" + std::to_string(d.Type) + " -> 0");
    }
    // The records that the library builds from them are those of the block payloads.
    std::string sizes;
    for (const std::string& record : Journal("DELIVER id=8 ")) {
        sizes += Field(record, "request") + ":" + Field(record, "size") + " ";
    }
    EXPECT_EQ(sizes, "5:72 3:" + std::to_string(40 + BLOCK1_RECORD_SIZE) +
                         " 2:" + std::to_string(40 + BLOCK2_RECORD_SIZE) +
                         " 0:" + std::to_string(40 + BLOCK3_RECORD_SIZE) + " ");
    EXPECT_EQ(BlockGetI32(Block1, BLOCK1_PANEL_ON), 7);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLAPS_POSITIONS), 5);
    // The button comes first, with its own event and group; then every other mapped id once.
    const size_t at = 1 + DATA_DATUM_COUNT;
    EXPECT_EQ(calls[at], "CALL MapClientEventToSimEvent event=85 name=My.KeyX -> 0");
    EXPECT_EQ(calls[at + 1], "CALL MapInputEventToClientEvent group=0 input=joystick:0:button:6 "
                             "down=85 downvalue=10 up=4294967295 upvalue=20 maskable=0 -> 0");
    EXPECT_EQ(calls[at + 2], "CALL AddClientEventToNotificationGroup group=1 event=85 "
                             "maskable=0 -> 0");
    std::set<std::string> mapped;
    for (const std::string& line : Journal("CALL MapClientEventToSimEvent ")) {
        EXPECT_TRUE(mapped.insert(Field(line, "event")).second) << line;
        EXPECT_EQ(line.substr(line.size() - 5), " -> 0") << line;
    }
    EXPECT_EQ(mapped.size(), 79u);
    // The model once a second, the records every visual frame.
    for (const std::string& r : Journal("CALL RequestDataOnSimObject ")) {
        EXPECT_EQ(Field(r, "period"), Field(r, "define") == "4" ? "4" : "2") << r;
    }
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 0);
    EXPECT_EQ(Log(), "Log started.\nConnected to Flight Simulator.\nData Defs successfully added\n"
                     "Events successfully mapped\nSimConnect Open Event received\n");
}

TEST_F(SessionTest, EveryFailedRegistrationIsReportedAndTheRestStillMade) {
    Control({"fail AddToDataDefinition -1", "fail MapClientEventToSimEvent -1",
             "fail MapInputEventToClientEvent -1", "fail AddClientEventToNotificationGroup -1",
             "fail RequestDataOnSimObject -1", "fail SubscribeToSystemEvent -1"});
    std::string console = Turn();
    const size_t failed = 134 + 79 + 1 + 2 + 4 + 4;
    EXPECT_EQ(Journal("CALL ").size(), 1 + failed + 1); // the open, then the dispatch
    // One line for each on the console and in the log, e.g.:
    EXPECT_EQ(CountOf(console, "\n"), 1 + failed);
    EXPECT_EQ(CountOf(Log(), "\n"), 5 + failed);
    EXPECT_EQ(CountOf(console, "AddToData returned error\n"), 134u);
    EXPECT_EQ(CountOf(Log(), "AddToData error\n"), 134u);
    EXPECT_EQ(CountOf(console, "Subscribe error\n"), 4u);
    EXPECT_EQ(CountOf(Log(), "Sibscribe Error.\n"), 4u);
}

TEST_F(SessionTest, WithoutASimulatorTheLoopOnlyTriesToOpenEveryTurn) {
    Control({"running 0"});
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 1);
    SleepLimit = 6;
    OpenLimit = 10;
    EXPECT_EQ(Console([] { EXPECT_THROW(SimConnectLoop(), StopLoop); }), "");
    EXPECT_EQ(Sleeps, std::vector<uint32_t>(6, 90));
    EXPECT_EQ(Journal("CALL "),
              std::vector<std::string>(5, "CALL Open name=VUVIze -> -2147467259"));
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_SIM_CONNECTED), 0);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLAPS_POSITIONS), 1);
    // A pending relaunch ends the loop (and a turn) with code 0.
    RestartPending.store(true);
    Sleeps.clear();
    SleepLimit = SIZE_MAX;
    EXPECT_EQ(ExitCodeOf([] { SimConnectLoop(); }), 0);
    EXPECT_EQ(Sleeps, std::vector<uint32_t>{90}); // before any open
    EXPECT_EQ(ExitCodeOf(SimConnectLoopTurn), 0);
}

TEST_F(SessionTest, AfterAQuitTheFirstNewConnectionIsDiscardedAndTheSecondSetUp) {
    std::string console = Turn();
    Control({"quit"});
    console += Turn();
    EXPECT_EQ(hSimConnect.load(), nullptr);
    EXPECT_FALSE(SimQuit.load());
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_SIM_CONNECTED), 0);
    Control({"running 1"});
    console += Turn(); // the first open after the quit: dropped
    EXPECT_EQ(hSimConnect.load(), nullptr);
    EXPECT_FALSE(SessionReady);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_SIM_CONNECTED), 1);
    console += Turn(); // the second: set up
    EXPECT_NE(hSimConnect.load(), nullptr);
    EXPECT_TRUE(SessionReady);
    EXPECT_EQ(console, "Connected to Simulator\nQuit received\nConnected to Simulator\n"
                       "Connected to Simulator\n");
    // Nothing is asked on the discarded connection, and dropped connections are never closed
    // (another thread may still be using the handle).
    std::vector<std::string> calls = Journal("CALL ");
    auto second = std::find(calls.begin() + 1, calls.end(), "CALL Open name=VUVIze -> 0");
    ASSERT_NE(second, calls.end());
    EXPECT_EQ(second[1], "CALL Open name=VUVIze -> 0");
    EXPECT_TRUE(Journal("CALL Close").empty());
    EXPECT_EQ(Journal("CALL AddToDataDefinition").size(), 268u);
    std::string log = Log();
    EXPECT_GT(log.rfind("Connected to Flight Simulator.\n"),
              log.find("Closing and reopening SimConnect\n"));
}

TEST_F(SessionTest, AFailedDispatchRelaunchesAndTheTurnEndsTheProcess) {
    Turn();
    Control({"fail CallDispatch 1"});
    Sleeps.clear();
    Console([] { EXPECT_EQ(ExitCodeOf(SimConnectLoopTurn), 0); });
    EXPECT_TRUE(RestartPending.load());
    EXPECT_EQ(Sleeps, (std::vector<uint32_t>{100, 90})); // the turn is finished first
    EXPECT_NE(Log().find("Dispatch returned error\n"), std::string::npos);
    // With the relaunch limit reached the process ends with 100 instead.
    RestartResetForTest();
    int32_t saved = RestartCount;
    RestartCount = RESTART_LIMIT;
    Control({"fail CallDispatch 1"});
    Console([] { EXPECT_EQ(ExitCodeOf(SimConnectLoopTurn), 100); });
    RestartCount = saved;
}

// With the setting end-with-simulator the process ends with the simulator: at its quit message,
// or when a dispatch fails and it takes no new connection. A failed dispatch of a simulator
// that still runs relaunches as without the setting; without it a simulator that has gone
// relaunches too.
TEST_F(SessionTest, WithTheSettingTheProcessEndsWithTheSimulator) {
    const std::string ends = ": KivFSX ends with it (setting end-with-simulator, exit code 50)\n";
    auto reconnect = [this] {
        RestartResetForTest();
        hSimConnect.store(nullptr);
        SimQuit.store(false);
        SessionReady = false;
        Control({"running 1"});
        Turn();
        ASSERT_NE(hSimConnect.load(), nullptr);
    };
    SessionSetting.EndWithSimulator = true;
    reconnect();
    Control({"quit"});
    std::string shown = Console([] { EXPECT_EQ(ExitCodeOf(SimConnectLoopTurn), 50); });
    EXPECT_EQ(shown, "Quit received\nThe simulator quit" + ends);
    EXPECT_NE(Log().find("The simulator quit" + ends), std::string::npos);

    const std::string gone =
        "The simulator has gone (its dispatch failed and it takes no new connection)" + ends;
    reconnect();
    Control({"crash"});
    EXPECT_EQ(Console([] { EXPECT_EQ(ExitCodeOf(SimConnectLoopTurn), 50); }), gone);
    EXPECT_FALSE(RestartPending.load());

    // Still running: the one connection opened to ask is closed again, and the relaunch goes on.
    reconnect();
    Control({"fail CallDispatch 1"});
    EXPECT_EQ(Console([] { EXPECT_EQ(ExitCodeOf(SimConnectLoopTurn), 0); }), "");
    EXPECT_TRUE(RestartPending.load());
    EXPECT_EQ(Journal("CALL Close ").size(), 1u);

    SessionSetting.EndWithSimulator = false;
    reconnect();
    Control({"crash"});
    EXPECT_EQ(Console([] { EXPECT_EQ(ExitCodeOf(SimConnectLoopTurn), 0); }), "");
    EXPECT_TRUE(RestartPending.load());
    EXPECT_EQ(Journal("CALL Close ").size(), 1u);
}
