// Applying network variables: the ADF frequency form, and both forms of ChangeVar as the
// simulator sees them: each example's event by the simulator event name the library mapped,
// and its data, from a simulator whose state the example sets first. Each example runs on a
// thread the platform starts, as the receive thread is, with that thread's arithmetic.
#include <cmath>
#include <cstdio>

#include "sim/changevar.h"
#include "sim_standin.h"
#include "support/bcd.h"

namespace {

// Given in the integer form unless IsDouble; nothing is sent when Event is null.
struct Example {
    int32_t Index;
    double Value;
    const char* Event;
    int64_t Data = 0;
    const char* Datum = nullptr; // the simulator state the row reads, set to State first
    double State = 0.0;
    bool IsDouble = false;
};

const char* const NONE = nullptr;
const char *const HDG = "Autopilot Heading Lock Dir", *const ALT = "Autopilot Altitude Lock Var",
                  *const SPD = "Autopilot Airspeed Hold Var",
                  *const FD = "Autopilot Flight Director Active", *const AP = "Autopilot Master",
                  *const BRAKE = "Brake Parking Position", *const ADF1 = "ADF Active Frequency:1",
                  *const ADF2 = "ADF Active Frequency:2";
const char *const BUG = "HEADING_BUG_SET", *const ALT_SET = "AP_ALT_VAR_SET_ENGLISH",
                  *const ADF_SET = "ADF_COMPLETE_SET", *const ADF2_SET = "ADF2_COMPLETE_SET",
                  *const VS_SET = "AP_VS_VAR_SET_ENGLISH", *const SPD_SET = "AP_SPD_VAR_SET";
const bool REAL = true;

// clang-format off
const Example EXAMPLES[] = {
    // Switches: one event for on, another for off. (The events that every row sends for the
    // values 0 to 4 are listed in the dissector's generated tables, held to the program's.)
    {21, 1, "AP_HDG_HOLD_ON"}, {21, -7, "AP_HDG_HOLD_ON"}, {21, 0, "AP_HDG_HOLD_OFF"},
    {89, 1, "PAUSE_OFF"}, {89, 0, "PAUSE_ON"}, {52, 1, "AP_PANEL_SPEED_ON"}, {52, 2, "AP_PANEL_SPEED_OFF"},
    {42, 5, "GEAR_SET", 1}, {42, 0, "GEAR_SET", 0},
    // Codes, each with its own event; other codes send nothing.
    {94, 1, "FLAPS_UP"}, {94, 2, "FLAPS_DECR"}, {94, 3, "FLAPS_DOWN"}, {94, 4, "FLAPS_INCR"},
    {94, 5, NONE}, {94, 0, NONE}, {96, 1, "KOHLSMAN_INC", 1}, {96, 2, "KOHLSMAN_DEC", 0}, {96, -1, NONE},
    // The ends of the radio button runs; the value is not looked at.
    {69, 0, "NAV1_RADIO_SWAP"}, {78, 5, "NAV2_RADIO_FRACT_DEC"}, {79, 0, "COM_STBY_RADIO_SWAP"},
    {88, 1, "COM2_RADIO_FRACT_DEC"},
    // Settings taken as given, some brought into range.
    {108, 4352, "NAV1_STBY_SET", 4352}, {109, -4, "NAV2_STBY_SET", -4},
    {110, 8960, "COM_STBY_RADIO_SET", 8960}, {111, 8448, "COM2_STBY_RADIO_SET", 8448},
    {112, 123, "VOR1_SET", 123}, {113, 45, "VOR2_SET", 45}, {166, 4144, "NAV1_RADIO_SET", 4144},
    {167, 4352, "NAV2_RADIO_SET", 4352}, {175, 16383, "THROTTLE_SET", 16383},
    {184, 1, "AUTO_THROTTLE_ARM", 1}, {116, -90, BUG, 270}, {116, 400, BUG, 40}, {116, 360, BUG, 360},
    {116, 725, BUG, 365}, {117, 12000, ALT_SET, 12000}, {117, -1, ALT_SET, 0}, {118, 250, SPD_SET, 250},
    {118, -250, SPD_SET, 0}, {176, 3450, ADF_SET, 0x03450000}, {176, -5, ADF_SET, 0},
    {177, 123456, ADF2_SET, 0x99999000}, {172, 42, NONE}, // 172 clears the flight change only
    // Steps from the simulator's current value: 1 and 2 add 1 and 10, 3 and 4 take them.
    {100, 2, BUG, 5, HDG, 355}, {100, 1, BUG, 356, HDG, 355}, {100, 9, BUG, 355, HDG, 355},
    {100, 4, BUG, 353, HDG, 3}, {100, 3, BUG, 2, HDG, 3}, {100, 2, BUG, 360, HDG, 350},
    {97, 1, "VOR1_SET", 0, "NAV OBS:1", 359.5}, {98, 3, "VOR2_SET", 359, "NAV OBS:2", 0.5},
    {99, 3, ALT_SET, 0, ALT, 50}, {99, 2, ALT_SET, 1050, ALT, 50}, {99, 7, ALT_SET, 50, ALT, 50.7},
    {99, 0, ALT_SET, -20, ALT, -20}, {99, 1, ALT_SET, -400, ALT, -500}, // only a take raises
    {101, 4, SPD_SET, 0, SPD, 5.5}, {101, 2, SPD_SET, 15, SPD, 5.5},
    {164, 1, NONE, 0, FD, 1}, {164, 0, "TOGGLE_FLIGHT_DIRECTOR", 0, FD, 1},
    {164, 3, "TOGGLE_FLIGHT_DIRECTOR", 0, FD, 0}, {165, 1, "AUTOPILOT_ON", 0, AP, 0},
    {165, 0, NONE, 0, AP, 0}, {165, 0, "AUTOPILOT_OFF", 0, AP, 1},
    {180, 100, ADF_SET, 0x17500000, ADF1, 0x17450000}, {180, 3, ADF_SET, 0x17453000, ADF1, 0x17450000},
    {180, INT32_MAX, ADF_SET, 0x01900000, ADF1, 0x02000000},
    {181, 15, ADF2_SET, 0x02015000, ADF2, 0x02000000}, {181, 1e6, ADF2_SET, 0x17500000, ADF2, 0x02000000},
    {182, 500, ADF_SET, 0x16950000, ADF1, 0x17450000}, {182, INT32_MIN, ADF_SET, 0x01900000, ADF1, 0x02000000},
    {183, 500, ADF2_SET, 0x01900000, ADF2, 0x02000000},
    // The double form; values beyond the data's range are held to it.
    {20, -1500.9, VS_SET, -1500, NONE, 0, REAL}, {20, 1e12, VS_SET, INT32_MAX, NONE, 0, REAL},
    {20, NAN, VS_SET, 0, NONE, 0, REAL}, {43, 2.99, "FLAPS_SET", 2, NONE, 0, REAL},
    {43, -1e12, "FLAPS_SET", INT32_MIN, NONE, 0, REAL}, {45, 1.0, "PARKING_BRAKES", 0, BRAKE, 0, REAL},
    {45, 0.1, NONE, 0, BRAKE, 0, REAL}, {45, 1.0, NONE, 0, BRAKE, 1, REAL},
    {45, 0.0, "PARKING_BRAKES", 0, BRAKE, 1, REAL}, {45, 0.1, NONE, 0, BRAKE, 1, REAL},
    {46, 0.5, "SPOILERS_SET", 8190, NONE, 0, REAL}, {46, 1.0, "SPOILERS_SET", 16380, NONE, 0, REAL},
    {46, 0.0, "SPOILERS_SET", 0, NONE, 0, REAL}, {46, 1.5, NONE, 0, NONE, 0, REAL},
    {114, 29.92, "KOHLSMAN_SET", 16211, NONE, 0, REAL},
    // Results that IEEE double arithmetic rounds onto a whole number, just above the integer
    // part that 64-bit (x87 extended) arithmetic would truncate to: one less in each case.
    // A step onto a whole degree, with and without the wrap:
    {100, 3, BUG, 360, HDG, 0.99999999999999}, {100, 1, BUG, 2, HDG, 0.9999999999999999},
    {97, 4, "VOR1_SET", 360, "NAV OBS:1", 9.999999999999998},
    {98, 2, "VOR2_SET", 20, "NAV OBS:2", 9.999999999999998},
    // onto whole hundreds of feet, and a whole knot:
    {99, 2, ALT_SET, 1100, ALT, 99.99999999999999}, {99, 1, ALT_SET, 1100, ALT, 999.9999999999999},
    {99, 2, ALT_SET, 1001, ALT, 0.9999999999999999}, {101, 2, SPD_SET, 11, SPD, 0.9999999999999999},
    // a handle position times 16380, and whole hectopascals given in inches of mercury
    // (1000, 1013 and 901 hPa divided by 33.8637526):
    {46, 0.15, "SPOILERS_SET", 2457, NONE, 0, REAL}, {46, 0.85, "SPOILERS_SET", 13923, NONE, 0, REAL},
    {114, 29.530099980709167, "KOHLSMAN_SET", 16000, NONE, 0, REAL},
    {114, 29.913991280458387, "KOHLSMAN_SET", 16208, NONE, 0, REAL},
    {114, 26.60662008261896, "KOHLSMAN_SET", 14416, NONE, 0, REAL},
};
// clang-format on

class ChangeVarTest : public SimTest, public testing::WithParamInterface<Example> {};
using ChangeVarRulesTest = SimTest;

} // namespace

TEST(AdfFrequencyForm, Bcd32BothWays) {
    EXPECT_EQ(FromBcd32(0x00001FFF), 1);                           // the low 12 bits do not count
    EXPECT_EQ(FromBcd32(static_cast<int32_t>(0x90000000)), 90000); // not negative
    EXPECT_EQ(FromBcd32(0x0000A000), 10);                          // a group above 9 counts
    for (int32_t n = 0; n <= 99999; ++n) {
        int32_t bcd = ToBcd32(n);
        ASSERT_EQ(bcd & 0xFFF, 0) << n;
        ASSERT_EQ(FromBcd32(bcd), n) << n;
    }
}

TEST_P(ChangeVarTest, SendsTheEventOfItsRowForTheSimulatorsState) {
    const Example& e = GetParam();
    SCOPED_TRACE(testing::Message() << "index " << e.Index << " value " << e.Value);
    if (e.Datum != nullptr) {
        char state[32]; // every digit the double has
        snprintf(state, sizeof(state), "%.17g", e.State);
        Control({"set " + std::string(e.Datum) + "=" + state});
    }
    ASSERT_EQ(Turn(), "Connected to Simulator\n");
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
    std::string console = Console([&e] {
        TestThreads receive;
        receive.Start([&e] {
            EXPECT_TRUE(e.IsDouble ? ChangeVar(e.Index, e.Value)
                                   : ChangeVar(e.Index, static_cast<int32_t>(e.Value)));
        });
        EXPECT_TRUE(receive.Join());
    });
    std::vector<std::string> sent = Journal("CALL TransmitClientEvent ");
    ASSERT_EQ(sent.size(), e.Event != nullptr ? 1u : 0u);
    if (e.Event != nullptr) {
        EXPECT_EQ(Field(sent[0], "sim"), e.Event);
        EXPECT_EQ(Field(sent[0], "data"), std::to_string(static_cast<uint32_t>(e.Data)));
    }
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), e.Index == 172 ? 0 : 1);
    EXPECT_EQ(console,
              e.Index == 46 && e.Event == nullptr ? "Bad value for speedbrake: 1.500000\n" : "");
}

INSTANTIATE_TEST_SUITE_P(Examples, ChangeVarTest, testing::ValuesIn(EXAMPLES));

TEST_F(ChangeVarRulesTest, UnknownIndicesAreRefusedUnlessTheSimulatorIsAway) {
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 1);
    EXPECT_EQ(Console([] { EXPECT_FALSE(ChangeVar(13, 1) || ChangeVar(0, 1.0)); }),
              "bool/int Unknown index: 13\nChangeVar(double) - Unknown Index: 0  Val: 1.000000\n");
    // Each row answers in its own form only. A transmission that fails (here: for want of a
    // connection) still counts as applied.
    Console([] {
        EXPECT_FALSE(ChangeVar(20, 1) || ChangeVar(114, 1) || ChangeVar(21, 1.0) ||
                     ChangeVar(180, 1.0));
        EXPECT_TRUE(ChangeVar(42, 1));
    });
    EXPECT_EQ(TransmitErrors.load(), 1);
    EXPECT_EQ(Log().find("Unknown"), std::string::npos); // console only
    // With the simulator away every change is taken and nothing happens.
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 0);
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
    EXPECT_EQ(Console([] {
                  EXPECT_TRUE(ChangeVar(13, 1) && ChangeVar(100, 2) && ChangeVar(172, 0));
                  EXPECT_TRUE(ChangeVar(0, 1.0) && ChangeVar(46, 0.5));
              }),
              "");
    EXPECT_EQ(Journal("CALL TransmitClientEvent ").size(), 1u);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 1);
}
