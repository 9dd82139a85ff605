// The simulator stand-in's own logic, driven through its entry points as the program does.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "stand_control.h"
#include "stand_entry.h"
#include "stand_flight.h"
#include "sim/datadefs_table.h"
#include "stand_state.h"
#include "test_support.h"

namespace {

using Message = std::vector<uint8_t>;

void PLATFORM_STDCALL Collect(SIMCONNECT_RECV* data, SC_DWORD size, void* context) {
    auto* out = static_cast<std::vector<Message>*>(context);
    auto* bytes = reinterpret_cast<const uint8_t*>(data);
    out->emplace_back(bytes, bytes + size);
}

uint32_t U32(const Message& m, size_t offset) {
    uint32_t v = 0;
    std::memcpy(&v, m.data() + offset, 4);
    return v;
}

double F64(const Message& m, size_t offset) {
    double v = 0.0;
    std::memcpy(&v, m.data() + offset, 8);
    return v;
}

class SimulatorStandTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        StandResetForTest();
        std::lock_guard<std::mutex> lock(StandMutex);
        StandEnsureStarted();
        StandCopyText(Stand.Options.ControlPath, sizeof Stand.Options.ControlPath, "control.txt");
        StandJournalConfigure("journal.txt", false);
    }
    void TearDown() override {
        StandResetForTest();
        TempDirTest::TearDown();
    }

    SC_HANDLE Open() {
        SC_HANDLE h = nullptr;
        EXPECT_EQ(SimConnect_Open(&h, "VUVIze", nullptr, 0, nullptr, 0), 0);
        return h;
    }
    std::vector<Message> Dispatch(SC_HANDLE h, int32_t* result = nullptr) {
        std::vector<Message> out;
        int32_t r = SimConnect_CallDispatch(h, Collect, &out);
        if (result != nullptr) {
            *result = r;
        }
        return out;
    }
    std::string Command(const char* line) {
        std::lock_guard<std::mutex> lock(StandMutex);
        return StandExecuteCommand(line);
    }
    double Value(const char* name) {
        std::lock_guard<std::mutex> lock(StandMutex);
        return FlightValue(name, SIMCONNECT_OBJECT_ID_USER, StandFlightSeconds());
    }
    static std::vector<Message> OfId(const std::vector<Message>& all, uint32_t id) {
        std::vector<Message> out;
        for (const Message& m : all) {
            if (U32(m, 8) == id) {
                out.push_back(m);
            }
        }
        return out;
    }
};

TEST_F(SimulatorStandTest, RecordsArePackedInDeclaredOrderAndTypes) {
    SC_HANDLE h = Open();
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 7, "Plane Bank Degrees", "degrees",
                                             SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED),
              0);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 7, "Autopilot Master", "Bool",
                                             SIMCONNECT_DATATYPE_INT32, 0, SIMCONNECT_UNUSED),
              0);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 7, "ATC MODEL", nullptr,
                                             SIMCONNECT_DATATYPE_STRING32, 0, SIMCONNECT_UNUSED),
              0);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 7, "NAV VOR LATLONALT:1", nullptr,
                                             SIMCONNECT_DATATYPE_LATLONALT, 0, SIMCONNECT_UNUSED),
              0);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 7, "Unknown Datum", "number",
                                             SIMCONNECT_DATATYPE_INT32, 0, SIMCONNECT_UNUSED),
              0);
    // A type the stand-in cannot deliver is refused and leaves the layout alone.
    EXPECT_NE(SimConnect_AddToDataDefinition(h, 7, "Whatever", nullptr, 11, 0, SIMCONNECT_UNUSED),
              0);
    Command("set plane bank DEGREES=-12.5");
    Command("set Autopilot Master=1");
    Command("model A321");
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 9, 7, 0, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0), 0);

    auto data = OfId(Dispatch(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(data.size(), 1u);
    const Message& m = data[0];
    constexpr uint32_t RECORD = 8 + 4 + 32 + 24 + 4;
    ASSERT_EQ(m.size(), 40u + RECORD);
    EXPECT_EQ(U32(m, 0), 40u + RECORD); // dwSize
    EXPECT_EQ(U32(m, 12), 9u);          // request
    EXPECT_EQ(U32(m, 16), 0u);          // object
    EXPECT_EQ(U32(m, 20), 7u);          // definition
    EXPECT_EQ(U32(m, 28), 1u);          // entry 1 of 1
    EXPECT_EQ(U32(m, 32), 1u);
    EXPECT_EQ(F64(m, 40), -12.5);
    EXPECT_EQ(U32(m, 48), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(m.data() + 52), "A321");
    for (size_t i = 52 + 4; i < 52 + 32; ++i) {
        EXPECT_EQ(m[i], 0) << "STRING32 padding at " << i;
    }
    EXPECT_NEAR(F64(m, 84), 50.05, 0.1); // the VOR's latitude
    EXPECT_NEAR(F64(m, 92), 8.6, 0.1);
    EXPECT_EQ(U32(m, 108), 0u); // unknown names give 0

    // A once-request is answered once.
    EXPECT_TRUE(OfId(Dispatch(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA).empty());
}

// The program's own declarations find their values under the names and cases it uses.
TEST_F(SimulatorStandTest, TheProgramsDefinitionsGetFlightValues) {
    SC_HANDLE h = Open();
    for (const DataDatum& d : DATA_DATUMS) {
        ASSERT_EQ(SimConnect_AddToDataDefinition(h, d.Definition, d.Datum, d.Units, d.Type, 0,
                                                 SIMCONNECT_UNUSED),
                  0)
            << d.Datum;
    }
    for (uint32_t define : {0u, 1u, 2u, 4u, 5u}) {
        SimConnect_RequestDataOnSimObject(h, 10 + define, define, 0, SIMCONNECT_PERIOD_ONCE, 0, 0,
                                          0, 0);
    }
    auto data = OfId(Dispatch(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(data.size(), 5u);
    const Message& d0 = data[0];
    const Message& d1 = data[1];
    const Message& d2 = data[2];
    EXPECT_EQ(d0.size(), 40u + 368u);
    EXPECT_EQ(d1.size(), 40u + 236u);
    EXPECT_EQ(d2.size(), 40u + 320u);
    EXPECT_EQ(data[3].size(), 40u + 32u);
    EXPECT_EQ(data[4].size(), 40u + 24u);
    EXPECT_GT(F64(d0, 40 + 0), 100.0);           // Airspeed Indicated
    EXPECT_DOUBLE_EQ(F64(d0, 40 + 8), 29.92);    // Kohlsman setting hg
    EXPECT_DOUBLE_EQ(F64(d0, 40 + 88), 270.0);   // Autopilot Heading Lock Dir
    EXPECT_DOUBLE_EQ(F64(d0, 40 + 72), 250.0);   // Autopilot Airspeed Hold Var, FLOAT64
    EXPECT_EQ(U32(d0, 40 + 236), 250u);          // ... and INT32
    EXPECT_EQ(U32(d0, 40 + 344), 0x03450000u);   // ADF Active Frequency:1
    EXPECT_DOUBLE_EQ(F64(d1, 40 + 112), 118.70); // COM Active Frequency:1
    EXPECT_DOUBLE_EQ(F64(d1, 40 + 80), 250.0);   // NAV OBS:1
    EXPECT_EQ(U32(d1, 40 + 220), 8u);            // FLAPS NUM HANDLE POSITIONS
    EXPECT_LT(U32(d1, 40 + 224), 86400u);        // ZULU TIME
    EXPECT_NEAR(F64(d1, 40 + 0), 50.05, 0.1);    // NAV VOR LATLONALT:1
    EXPECT_GT(F64(d2, 40 + 32), 50.0);           // Turb Eng N1:1
    EXPECT_EQ(F64(d2, 40 + 48), 0.0);            // Turb Eng N1:3: two engines
    EXPECT_EQ(U32(d2, 40 + 304), 2u);            // Number Of Engines
    EXPECT_EQ(U32(d2, 40 + 308), 1u);            // Circuit General Panel On
    EXPECT_STREQ(reinterpret_cast<const char*>(data[3].data() + 40), "B738");
    EXPECT_GT(F64(data[4], 40 + 16), 1000.0); // the user flies well above the ground
}

TEST_F(SimulatorStandTest, FrequencyFormsConvertBothWays) {
    EXPECT_DOUBLE_EQ(StandBcd16ToMhz(0x2345), 123.45);
    EXPECT_DOUBLE_EQ(StandBcd16ToMhz(0x0800), 108.00);
    EXPECT_EQ(StandMhzToBcd16(117.95), 0x1795u);
    EXPECT_EQ(StandMhzToBcd16(121.5), 0x2150u);
    EXPECT_EQ(StandToBcd32(17500), 0x17500000u);
    EXPECT_EQ(StandToBcd32(1900), 0x01900000u);
    EXPECT_EQ(StandToBcd32(-5), 0u);
    for (int32_t n = 0; n <= 99999; n += 7) {
        ASSERT_EQ(StandFromBcd32(StandToBcd32(n)), n);
    }
}

TEST_F(SimulatorStandTest, ClientEventsChangeTheFlight) {
    SC_HANDLE h = Open();
    struct Case {
        const char* Event;
        uint32_t Data;
        const char* Datum;
        double Expected;
    };
    const Case cases[] = {
        {"HEADING_BUG_SET", 5, "Autopilot Heading Lock Dir", 5.0},
        {"HEADING_BUG_SET", 360, "Autopilot Heading Lock Dir", 0.0},
        {"AP_ALT_VAR_SET_ENGLISH", 12300, "Autopilot Altitude Lock Var", 12300.0},
        {"AP_VS_VAR_SET_ENGLISH", static_cast<uint32_t>(-800), "Autopilot Vertical Hold Var",
         -800.0},
        {"COM_STBY_RADIO_SET", 0x2345, "COM Standby Frequency:1", 123.45},
        {"COM2_STBY_RADIO_SET", 0x1800, "COM Standby Frequency:2", 118.00},
        {"NAV2_STBY_SET", 0x1395, "NAV Standby Frequency:2", 113.95},
        {"VOR2_SET", 123, "NAV OBS:2", 123.0},
        {"ADF2_COMPLETE_SET", 0x03450000, "ADF Active Frequency:2", double(0x03450000)},
        {"AUTOPILOT_OFF", 0, "Autopilot Master", 0.0},
        {"GEAR_SET", 1, "Gear Handle Position", 1.0},
        {"FLAPS_DOWN", 0, "Flaps Handle Index", 8.0},
        {"FLAPS_DECR", 0, "Flaps Handle Index", 7.0},
    };
    uint32_t id = 10;
    for (const Case& c : cases) {
        ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, id, c.Event), 0);
        ASSERT_EQ(SimConnect_TransmitClientEvent(h, 0, id, c.Data, 1, 16), 0);
        EXPECT_NEAR(Value(c.Datum), c.Expected, 1e-9) << c.Event;
        ++id;
    }
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, 60, "KOHLSMAN_SET"), 0);
    ASSERT_EQ(SimConnect_TransmitClientEvent(h, 0, 60, 16211, 1, 16), 0);
    EXPECT_NEAR(Value("Kohlsman setting hg"), 29.92, 0.005);

    // Toggles and swaps act on the current state.
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, 3, "PARKING_BRAKES"), 0);
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, 36, "COM_STBY_RADIO_SWAP"), 0);
    double brake = Value("Brake Parking Position");
    SimConnect_TransmitClientEvent(h, 0, 3, 0, 1, 16);
    EXPECT_NE(Value("Brake Parking Position"), brake);
    SimConnect_TransmitClientEvent(h, 0, 3, 0, 1, 16);
    EXPECT_EQ(Value("Brake Parking Position"), brake);
    double active = Value("COM Active Frequency:1");
    SimConnect_TransmitClientEvent(h, 0, 36, 0, 1, 16);
    EXPECT_DOUBLE_EQ(Value("COM Active Frequency:1"), 123.45);
    EXPECT_DOUBLE_EQ(Value("COM Standby Frequency:1"), active);

    // An unmapped id changes nothing and is journalled as such.
    EXPECT_EQ(SimConnect_TransmitClientEvent(h, 0, 99, 7, 1, 16), 0);
    EXPECT_NE(ReadFile("journal.txt")
                  .find("CALL TransmitClientEvent object=0 event=99 sim=? "
                        "data=7 group=1 flags=16 -> 0\n"),
              std::string::npos);
}

TEST_F(SimulatorStandTest, ControlFileRunsEachCompleteLineOnce) {
    SC_HANDLE h = Open();
    WriteFile("control.txt", "fail TransmitClientEvent 2\nfail Close -1\nfail CallDispatch");
    Dispatch(h);
    EXPECT_NE(SimConnect_TransmitClientEvent(h, 0, 1, 0, 1, 16), 0);
    EXPECT_NE(SimConnect_TransmitClientEvent(h, 0, 1, 0, 1, 16), 0);
    EXPECT_EQ(SimConnect_TransmitClientEvent(h, 0, 1, 0, 1, 16), 0);
    // The unfinished last line waits; finished, it runs (with its count) exactly once.
    int32_t r = 0;
    Dispatch(h, &r);
    EXPECT_EQ(r, 0);
    WriteFile("control.txt",
              "fail TransmitClientEvent 2\nfail Close -1\nfail CallDispatch 1\nbogus 1\n");
    Dispatch(h, &r);
    EXPECT_NE(r, 0);
    Dispatch(h, &r);
    EXPECT_EQ(r, 0);
    EXPECT_NE(SimConnect_Close(h), 0);
    EXPECT_NE(SimConnect_Close(h), 0); // -1: always

    EXPECT_EQ(Command("fail simconnect_close 0"), "ok");
    EXPECT_EQ(Command("fail NoSuchEntry 1"), "bad");
    EXPECT_EQ(Command("running 2"), "bad");
    EXPECT_EQ(Command("set =3"), "bad");
    EXPECT_EQ(Command("set Autopilot Heading Lock Dir = 12x"), "bad");
    EXPECT_EQ(Command("set Autopilot Heading Lock Dir = 355"), "ok");
    EXPECT_EQ(Value("autopilot heading lock dir"), 355.0);
    EXPECT_EQ(Command("button joystick:0:button:6"), "ignored"); // nothing mapped
    EXPECT_EQ(SimConnect_Close(h), 0);

    std::string journal = ReadFile("journal.txt");
    EXPECT_NE(journal.find("CONTROL fail CallDispatch 1 -> ok\n"), std::string::npos);
    EXPECT_NE(journal.find("CONTROL bogus 1 -> bad\n"), std::string::npos);
    EXPECT_EQ(journal.find("CONTROL fail CallDispatch\n"), std::string::npos);
    EXPECT_EQ(journal.find("CONTROL fail TransmitClientEvent 2 -> ok\n"),
              journal.rfind("CONTROL fail TransmitClientEvent 2 -> ok\n"));
}

TEST_F(SimulatorStandTest, FailListAcceptsTheCommandsOfTheEnvironment) {
    {
        std::lock_guard<std::mutex> lock(StandMutex);
        StandApplyFailList("Open 1; fail RequestDataOnSimObjectType -1;junk");
        EXPECT_EQ(Stand.FailLeft[ENTRY_OPEN], 1);
        EXPECT_EQ(Stand.FailLeft[ENTRY_REQUEST_DATA_ON_SIM_OBJECT_TYPE], -1);
    }
    SC_HANDLE h = nullptr;
    EXPECT_NE(SimConnect_Open(&h, "VUVIze", nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(h, nullptr);
    h = Open();
    EXPECT_NE(SimConnect_RequestDataOnSimObjectType(h, 6, 5, 30000, 2), 0);
}

TEST_F(SimulatorStandTest, SessionMessagesArriveInTheirOrder) {
    SC_HANDLE h = Open();
    SimConnect_SubscribeToSystemEvent(h, 0, "SimStart");
    SimConnect_SubscribeToSystemEvent(h, 83, "FlightLoaded");
    SimConnect_MapClientEventToSimEvent(h, 85, "My.KeyX");
    SimConnect_MapInputEventToClientEvent(h, 0, "joystick:0:button:6", 85, 10, SIMCONNECT_UNUSED,
                                          20, 0);
    SimConnect_AddClientEventToNotificationGroup(h, 1, 85, 0);

    // A wrong handle neither fails the session nor receives anything.
    int32_t r = 0;
    EXPECT_TRUE(Dispatch(reinterpret_cast<SC_HANDLE>(0x1234), &r).empty());
    EXPECT_NE(r, 0);

    auto first = Dispatch(h);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(U32(first[0], 8), SIMCONNECT_RECV_ID_OPEN);
    // The button is not heard while its input group is off.
    EXPECT_EQ(Command("button joystick:0:button:6"), "ignored");
    auto second = Dispatch(h);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(U32(second[0], 8), SIMCONNECT_RECV_ID_EVENT);
    EXPECT_EQ(U32(second[0], 12), SIMCONNECT_UNUSED);
    EXPECT_EQ(U32(second[0], 16), 0u); // SimStart's client id

    ASSERT_EQ(SimConnect_SetInputGroupState(h, 0, SIMCONNECT_STATE_ON), 0);
    EXPECT_EQ(Command("button JOYSTICK:0:button:6"), "ok");
    EXPECT_EQ(Command("event flightloaded"), "ok");
    EXPECT_EQ(Command("event Crashed"), "ok"); // not subscribed: dropped
    EXPECT_EQ(Command("exception 7"), "ok");
    auto third = Dispatch(h);
    ASSERT_EQ(third.size(), 3u);
    EXPECT_EQ(U32(third[0], 8), SIMCONNECT_RECV_ID_EVENT);
    EXPECT_EQ(U32(third[0], 12), 1u);  // notification group
    EXPECT_EQ(U32(third[0], 16), 85u); // client event
    EXPECT_EQ(U32(third[0], 20), 10u); // down value
    EXPECT_EQ(U32(third[1], 8), SIMCONNECT_RECV_ID_EVENT_FILENAME);
    EXPECT_EQ(third[1].size(), sizeof(SIMCONNECT_RECV_EVENT_FILENAME));
    EXPECT_EQ(U32(third[1], 16), 83u);
    EXPECT_EQ(U32(third[2], 8), SIMCONNECT_RECV_ID_EXCEPTION);
    EXPECT_EQ(U32(third[2], 12), 7u);
    EXPECT_EQ(U32(third[2], 16), 1u);
    EXPECT_EQ(U32(third[2], 20), 2u);
}

TEST_F(SimulatorStandTest, TrafficAnswersOnceWithNumberedEntries) {
    SC_HANDLE h = Open();
    SimConnect_AddToDataDefinition(h, 5, "Plane Latitude", "degrees", 4, 0, SIMCONNECT_UNUSED);
    SimConnect_AddToDataDefinition(h, 5, "Plane Longitude", "degrees", 4, 0, SIMCONNECT_UNUSED);
    SimConnect_AddToDataDefinition(h, 5, "Plane Alt Above Ground", "feet", 4, 0, SIMCONNECT_UNUSED);
    Command("traffic 4");
    // Two polls before the dispatch get one answer.
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(h, 6, 5, 30000, 2), 0);
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(h, 6, 5, 30000, 2), 0);
    auto byType = OfId(Dispatch(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE);
    ASSERT_EQ(byType.size(), 4u);
    uint32_t above50 = 0;
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(byType[i].size(), 64u);
        EXPECT_EQ(U32(byType[i], 12), 6u);
        EXPECT_EQ(U32(byType[i], 16), STAND_AI_FIRST_ID + i);
        EXPECT_EQ(U32(byType[i], 28), i + 1);
        EXPECT_EQ(U32(byType[i], 32), 4u);
        EXPECT_NEAR(F64(byType[i], 40), 50.29, 0.35); // around the user's circle
        above50 += F64(byType[i], 56) > 50.0 ? 1 : 0;
    }
    EXPECT_GT(above50, 0u);
    EXPECT_LT(above50, 4u);
    EXPECT_TRUE(OfId(Dispatch(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE).empty());
    // Nothing lies within a few metres of the user.
    SimConnect_RequestDataOnSimObjectType(h, 6, 5, 10, 2);
    EXPECT_TRUE(OfId(Dispatch(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE).empty());
}

TEST_F(SimulatorStandTest, GenerationModeFillsEveryWordWithARisingCounter) {
    SC_HANDLE h = Open();
    for (int32_t i = 0; i < 5; ++i) {
        SimConnect_AddToDataDefinition(h, 0, "Airspeed Indicated", "knots", 4, 0,
                                       SIMCONNECT_UNUSED);
        SimConnect_AddToDataDefinition(h, 0, "Autopilot Master", "bool", 1, 0, SIMCONNECT_UNUSED);
    }
    SimConnect_RequestDataOnSimObject(h, 0, 0, 0, SIMCONNECT_PERIOD_VISUAL_FRAME, 0, 0, 0, 0);
    EXPECT_EQ(Command("generation 1"), "ok");
    uint32_t expected = 0;
    for (int32_t round = 0; round < 2; ++round) {
        auto data = OfId(Dispatch(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
        ASSERT_EQ(data.size(), STAND_GENERATION_BURST);
        for (const Message& m : data) {
            ASSERT_EQ(m.size(), 40u + 60u);
            for (size_t off = 40; off < m.size(); off += 4) {
                ASSERT_EQ(U32(m, off), expected) << "word at " << off;
            }
            ++expected;
        }
    }
}

TEST_F(SimulatorStandTest, QuitEndsTheConnectionUntilTheSimulatorRuns) {
    SC_HANDLE h = Open();
    Dispatch(h);
    EXPECT_EQ(Command("quit"), "ok");
    auto quit = Dispatch(h);
    ASSERT_EQ(quit.size(), 1u);
    EXPECT_EQ(U32(quit[0], 8), SIMCONNECT_RECV_ID_QUIT);
    EXPECT_EQ(quit[0].size(), 12u);
    int32_t r = 0;
    Dispatch(h, &r);
    EXPECT_NE(r, 0);
    SC_HANDLE again = nullptr;
    EXPECT_NE(SimConnect_Open(&again, "VUVIze", nullptr, 0, nullptr, 0), 0);
    Command("running 1");
    SC_HANDLE first = Open();
    SC_HANDLE second = Open(); // replaces the first
    EXPECT_NE(first, second);
    EXPECT_NE(SimConnect_SetInputGroupState(first, 0, 1), 0);
    EXPECT_EQ(SimConnect_SetInputGroupState(second, 0, 1), 0);
}

TEST_F(SimulatorStandTest, RetrieveStringStaysInsideTheMessage) {
    uint8_t message[48] = {};
    std::memcpy(message + 40, "B738", 5);
    auto* recv = reinterpret_cast<SIMCONNECT_RECV*>(message);
    char* text = nullptr;
    SC_DWORD length = 0;
    ASSERT_EQ(SimConnect_RetrieveString(recv, 48, message + 40, &text, &length), 0);
    EXPECT_STREQ(text, "B738");
    EXPECT_EQ(length, 5u);
    EXPECT_LT(SimConnect_RetrieveString(recv, 48, message + 48, &text, &length), 0);
    EXPECT_LT(SimConnect_RetrieveString(recv, 40, message + 40, &text, &length), 0);
    std::memset(message + 40, 'x', 8); // no terminator before the end
    EXPECT_LT(SimConnect_RetrieveString(recv, 48, message + 40, &text, &length), 0);
}

// Three threads use one connection as the program does; run under TSan this finds races.
TEST_F(SimulatorStandTest, ConcurrentCallersShareOneConnection) {
    SC_HANDLE h = Open();
    SimConnect_AddToDataDefinition(h, 5, "Plane Latitude", "degrees", 4, 0, SIMCONNECT_UNUSED);
    SimConnect_AddToDataDefinition(h, 0, "Autopilot Heading Lock Dir", "Degrees", 4, 0,
                                   SIMCONNECT_UNUSED);
    SimConnect_MapClientEventToSimEvent(h, 4, "HEADING_BUG_SET");
    SimConnect_RequestDataOnSimObject(h, 0, 0, 0, SIMCONNECT_PERIOD_VISUAL_FRAME, 0, 0, 0, 0);
    std::atomic<bool> stop{false};
    std::thread transmit([&] {
        for (uint32_t i = 0; i < 300 && !stop; ++i) {
            SimConnect_TransmitClientEvent(h, 0, 4, i % 360, 1, 16);
        }
    });
    std::thread traffic([&] {
        for (uint32_t i = 0; i < 300 && !stop; ++i) {
            SimConnect_RequestDataOnSimObjectType(h, 6, 5, 30000, 2);
        }
    });
    size_t delivered = 0;
    for (int32_t i = 0; i < 100; ++i) {
        int32_t r = 0;
        delivered += Dispatch(h, &r).size();
        EXPECT_EQ(r, 0);
    }
    stop = true;
    transmit.join();
    traffic.join();
    EXPECT_GT(delivered, 0u);
}

} // namespace
