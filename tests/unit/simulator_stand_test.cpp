// The simulator stand-in's record packing and control parsing; the rest of the stand-in is
// exercised by the end-to-end tests through the real program.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "stand_control.h"
#include "stand_entry.h"
#include "stand_state.h"
#include "test_support.h"

namespace {

using Message = std::vector<uint8_t>;

void PLATFORM_STDCALL Collect(SIMCONNECT_RECV* data, SC_DWORD size, void* context) {
    auto* bytes = reinterpret_cast<const uint8_t*>(data);
    static_cast<std::vector<Message>*>(context)->emplace_back(bytes, bytes + size);
}

template <typename T> T At(const Message& m, size_t offset) {
    T v{};
    std::memcpy(&v, m.data() + offset, sizeof v);
    return v;
}

class SimulatorStandTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        StandResetForTest();
        {
            std::lock_guard<std::mutex> lock(StandMutex);
            StandEnsureStarted();
            StandCopyText(Stand.Options.ControlPath, sizeof Stand.Options.ControlPath,
                          "control.txt");
            StandJournalConfigure("journal.txt", false);
        }
        EXPECT_EQ(SimConnect_Open(&H, "VUVIze", nullptr, 0, nullptr, 0), 0);
    }
    void TearDown() override {
        StandResetForTest();
        TempDirTest::TearDown();
    }
    // The data records of one dispatch, and the dispatch result.
    std::vector<Message> Data(int32_t* result = nullptr) {
        std::vector<Message> all, out;
        int32_t r = SimConnect_CallDispatch(H, Collect, &all);
        if (result != nullptr) {
            *result = r;
        }
        for (const Message& m : all) {
            if (At<uint32_t>(m, 8) == SIMCONNECT_RECV_ID_SIMOBJECT_DATA) {
                out.push_back(m);
            }
        }
        return out;
    }
    std::string Command(const char* line) {
        std::lock_guard<std::mutex> lock(StandMutex);
        return StandExecuteCommand(line);
    }
    SC_HANDLE H = nullptr;
};

TEST_F(SimulatorStandTest, RecordsArePackedInDeclaredOrderAndTypes) {
    struct Datum {
        const char* Name;
        uint32_t Type;
    };
    const Datum layout[] = {{"Plane Bank Degrees", SIMCONNECT_DATATYPE_FLOAT64},
                            {"Autopilot Master", SIMCONNECT_DATATYPE_INT32},
                            {"ATC MODEL", SIMCONNECT_DATATYPE_STRING32},
                            {"NAV VOR LATLONALT:1", SIMCONNECT_DATATYPE_LATLONALT},
                            {"Unknown Datum", SIMCONNECT_DATATYPE_INT32}};
    for (const Datum& d : layout) {
        ASSERT_EQ(SimConnect_AddToDataDefinition(H, 7, d.Name, "", d.Type, 0, SIMCONNECT_UNUSED),
                  0);
    }
    // A type the stand-in cannot deliver is refused and leaves the layout alone.
    EXPECT_NE(SimConnect_AddToDataDefinition(H, 7, "Whatever", nullptr, 11, 0, SIMCONNECT_UNUSED),
              0);
    Command("set plane bank DEGREES=-12.5");
    Command("set Autopilot Master=1");
    Command("model A321");
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(H, 9, 7, 0, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0), 0);

    auto data = Data();
    ASSERT_EQ(data.size(), 1u);
    const Message& m = data[0];
    ASSERT_EQ(m.size(), 40u + 8 + 4 + 32 + 24 + 4);
    EXPECT_EQ(At<uint32_t>(m, 0), m.size());
    EXPECT_EQ(At<uint32_t>(m, 12), 9u); // request
    EXPECT_EQ(At<uint32_t>(m, 20), 7u); // definition
    EXPECT_EQ(At<double>(m, 40), -12.5);
    EXPECT_EQ(At<uint32_t>(m, 48), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.data() + 52), 32),
              std::string("A321") + std::string(28, '\0'));
    EXPECT_NEAR(At<double>(m, 84), 50.05, 0.1); // the VOR's latitude
    EXPECT_EQ(At<uint32_t>(m, 108), 0u);        // unknown names give 0
    EXPECT_TRUE(Data().empty());                // a once-request is answered once
}

TEST_F(SimulatorStandTest, ControlFileRunsEachCompleteLineOnce) {
    WriteFile("control.txt", "fail TransmitClientEvent 2\nfail Close -1\nfail CallDispatch");
    Data();
    EXPECT_NE(SimConnect_TransmitClientEvent(H, 0, 1, 0, 1, 16), 0);
    EXPECT_NE(SimConnect_TransmitClientEvent(H, 0, 1, 0, 1, 16), 0);
    EXPECT_EQ(SimConnect_TransmitClientEvent(H, 0, 1, 0, 1, 16), 0);
    // The unfinished last line waits; finished, it runs (with its count) exactly once.
    int32_t r = 0;
    Data(&r);
    EXPECT_EQ(r, 0);
    WriteFile("control.txt",
              "fail TransmitClientEvent 2\nfail Close -1\nfail CallDispatch 1\nbogus 1\n");
    Data(&r);
    EXPECT_NE(r, 0);
    Data(&r);
    EXPECT_EQ(r, 0);
    EXPECT_NE(SimConnect_Close(H), 0);
    EXPECT_NE(SimConnect_Close(H), 0); // -1: always

    std::string journal = ReadFile("journal.txt");
    EXPECT_NE(journal.find("CONTROL fail CallDispatch 1 -> ok\n"), std::string::npos);
    EXPECT_NE(journal.find("CONTROL bogus 1 -> bad\n"), std::string::npos);
    EXPECT_EQ(journal.find("CONTROL fail CallDispatch\n"), std::string::npos);
    EXPECT_EQ(journal.find("CONTROL fail TransmitClientEvent 2 -> ok\n"),
              journal.rfind("CONTROL fail TransmitClientEvent 2 -> ok\n"));

    // Commands are matched without regard to case; malformed ones are refused.
    const std::pair<const char*, const char*> commands[] = {
        {"fail simconnect_close 0", "ok"},
        {"fail NoSuchEntry 1", "bad"},
        {"running 2", "bad"},
        {"set =3", "bad"},
        {"set Autopilot Heading Lock Dir = 12x", "bad"},
        {"set Autopilot Heading Lock Dir = 355", "ok"},
        {"button joystick:0:button:6", "ignored"}};
    for (const auto& [line, answer] : commands) {
        EXPECT_EQ(Command(line), answer) << line;
    }
    EXPECT_EQ(SimConnect_Close(H), 0);
    {
        std::lock_guard<std::mutex> lock(StandMutex);
        StandApplyFailList("Open 1; fail RequestDataOnSimObjectType -1;junk");
        EXPECT_EQ(Stand.FailLeft[ENTRY_OPEN], 1);
        EXPECT_EQ(Stand.FailLeft[ENTRY_REQUEST_DATA_ON_SIM_OBJECT_TYPE], -1);
    }
}

} // namespace
