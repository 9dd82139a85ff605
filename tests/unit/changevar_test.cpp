// Applying network variables: ADF frequency forms, and both forms of ChangeVar against the
// fake library, as one table of (index, simulator state, input) -> (event, data).
#include <cstring>
#include <vector>

#include "net/blocks.h"
#include "sim/changevar.h"
#include "sim_fake.h"
#include "support/bcd.h"

namespace {

// The simulator state a row presets: none, or one block field.
enum Field { NONE, HDG, OBS1, OBS2, ALT, SPD, FD, AP, BRAKE, ADF1, ADF2 };
struct FieldPlace {
    Block* B;
    uint32_t Offset;
    bool IsDouble;
};
const FieldPlace PLACES[] = {{nullptr, 0, false},
                             {&Block3, BLOCK3_AP_HEADING_LOCK_DIR, true},
                             {&Block2, BLOCK2_NAV_OBS1, true},
                             {&Block2, BLOCK2_NAV_OBS2, true},
                             {&Block3, BLOCK3_AP_ALT_LOCK_VAR, true},
                             {&Block3, BLOCK3_AP_AIRSPEED_HOLD_VAR, true},
                             {&Block3, BLOCK3_AP_FD_ACTIVE, false},
                             {&Block3, BLOCK3_AP_MASTER, false},
                             {&Block3, BLOCK3_BRAKE_PARKING, true},
                             {&Block3, BLOCK3_ADF_ACTIVE1, false},
                             {&Block3, BLOCK3_ADF_ACTIVE2, false}};

constexpr int64_t NOTHING = -1; // no event is sent
constexpr int32_t B(uint32_t bcd) {
    return static_cast<int32_t>(bcd);
}

struct Row {
    int32_t Index;
    Field Preset;
    double State;
    bool IsDouble; // the input's form
    double Input;
    int64_t Event;
    int32_t Data;
};

// Integer rows: switches, direct settings, coded and stepped values, toggles, ADF.
// clang-format off
const Row ROWS[] = {
    {21, NONE, 0, false, 1, 6, 0}, {21, NONE, 0, false, -7, 6, 0}, {21, NONE, 0, false, 0, 7, 0},
    {42, NONE, 0, false, 5, 18, 1}, {42, NONE, 0, false, 0, 18, 0}, {52, NONE, 0, false, 2, 15, 0},
    {52, NONE, 0, false, 0, 15, 0}, {53, NONE, 0, false, 1, 8, 0}, {54, NONE, 0, false, 0, 9, 0},
    {89, NONE, 0, false, 1, 62, 0}, {103, NONE, 0, false, 9, 66, 0},
    {103, NONE, 0, false, 0, 67, 0}, {109, NONE, 0, false, -4, 55, -4},
    {175, NONE, 0, false, 16383, 74, 16383}, {184, NONE, 0, false, 1, 63, 1},
    {117, NONE, 0, false, 12000, 10, 12000}, {117, NONE, 0, false, -1, 10, 0},
    {118, NONE, 0, false, -250, 5, 0}, {94, NONE, 0, false, 1, 21, 0},
    {94, NONE, 0, false, 4, 19, 0}, {95, NONE, 0, false, 2, 49, 0}, {96, NONE, 0, false, 1, 50, 1},
    {96, NONE, 0, false, 2, 51, 0}, {94, NONE, 0, false, 0, NOTHING, 0},
    {95, NONE, 0, false, 3, NOTHING, 0}, {96, NONE, 0, false, -1, NOTHING, 0},
    {100, HDG, 355, false, 2, 4, 5}, // 365 wraps to 5
    {100, HDG, 355, false, 1, 4, 356},
    {100, HDG, 355, false, 9, 4, 355}, // unknown step
    {100, HDG, 3, false, 4, 4, 353}, {100, HDG, 3, false, 3, 4, 2},
    {100, HDG, 350, false, 2, 4, 360}, // 360 itself stays
    {97, OBS1, 359.5, false, 1, 52, 0}, // 360.5 wraps to 0.5, truncated
    {98, OBS2, 0.5, false, 3, 53, 359}, {99, ALT, 50, false, 3, 10, 0},
    {99, ALT, 50, false, 2, 10, 1050}, {99, ALT, 50.7, false, 7, 10, 50},
    {99, ALT, -20, false, 0, 10, -20}, // no step, nothing raised
    {101, SPD, 5.5, false, 4, 5, 0}, {101, SPD, 5.5, false, 2, 5, 15},
    {116, NONE, 0, false, -90, 4, 270}, {116, NONE, 0, false, 400, 4, 40},
    {116, NONE, 0, false, 360, 4, 360}, {116, NONE, 0, false, 725, 4, 365},
    {164, FD, 1, false, 1, NOTHING, 0}, {164, FD, 1, false, 0, 2, 0}, {164, FD, 0, false, 3, 2, 0},
    {165, AP, 0, false, 1, 11, 0}, {165, AP, 0, false, 0, NOTHING, 0},
    {165, AP, 1, false, 0, 12, 0}, {180, ADF1, 0x17450000, false, 100, 77, B(0x17500000)},
    {180, ADF1, 0x17450000, false, 3, 77, B(0x17453000)},
    {182, ADF1, 0x17450000, false, 500, 77, B(0x16950000)},
    {183, ADF2, 0x02000000, false, 500, 78, B(0x01900000)},
    {181, ADF2, 0x02000000, false, 15, 78, B(0x02015000)},
    // Extreme steps neither overflow nor leave the band.
    {180, ADF1, 0x02000000, false, INT32_MAX, 77, B(0x01900000)},
    {182, ADF1, 0x02000000, false, INT32_MIN, 77, B(0x01900000)},
    {181, ADF2, 0x02000000, false, 1000000, 78, B(0x17500000)},
    {176, NONE, 0, false, 3450, 77, B(0x03450000)}, {176, NONE, 0, false, -5, 77, 0},
    {177, NONE, 0, false, 123456, 78, B(0x99999000)},
    {172, NONE, 0, false, 42, NOTHING, 0}, // clears the flight-changed flag only
    // Double rows.
    {45, BRAKE, 0, true, 1.0, 3, 0}, {45, BRAKE, 0, true, 0.1, NOTHING, 0},
    {45, BRAKE, 1, true, 1.0, NOTHING, 0}, {45, BRAKE, 1, true, 0.0, 3, 0},
    {45, BRAKE, 1, true, 0.1, NOTHING, 0}, {46, NONE, 0, true, 0.5, 17, 8190},
    {46, NONE, 0, true, 1.0, 17, 16380}, {46, NONE, 0, true, 1.5, NOTHING, 0},
    {114, NONE, 0, true, 29.92, 60, 16211}, {20, NONE, 0, true, -1500.9, 16, -1500},
    {43, NONE, 0, true, 2.99, 23, 2},
    // Values beyond the data's range are held to it rather than converted undefined.
    {20, NONE, 0, true, 1e12, 16, INT32_MAX}, {43, NONE, 0, true, -1e12, 23, INT32_MIN},
};
// clang-format on

class ChangeVarTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 1);
    }
};

} // namespace

TEST(AdfFrequencyForm, Bcd32BothWays) {
    EXPECT_EQ(FromBcd32(0x00001FFF), 1);        // the low 12 bits do not count
    EXPECT_EQ(FromBcd32(B(0x90000000)), 90000); // not negative
    EXPECT_EQ(FromBcd32(0x0000A000), 10);       // a group above 9 counts
    for (int32_t n = 0; n <= 99999; ++n) {
        int32_t bcd = ToBcd32(n);
        ASSERT_EQ(bcd & 0xFFF, 0) << n;
        ASSERT_EQ(FromBcd32(bcd), n) << n;
    }
    EXPECT_EQ(ToBcd32(1900), 0x01900000);
    EXPECT_EQ(ToBcd32(INT32_MIN), 0);
    EXPECT_EQ(ToBcd32(INT32_MAX), B(0x99999000));
}

TEST_F(ChangeVarTest, EachRowSendsItsEventForTheState) {
    for (const Row& r : ROWS) {
        FakeSimInstall();
        BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
        const FieldPlace& p = PLACES[r.Preset];
        if (p.IsDouble) {
            BlockPublish(*p.B, p.Offset, &r.State, sizeof r.State);
        } else if (p.B != nullptr) {
            BlockSetI32(*p.B, p.Offset, static_cast<int32_t>(static_cast<int64_t>(r.State)));
        }
        testing::internal::CaptureStdout();
        bool known = r.IsDouble ? ChangeVar(r.Index, r.Input)
                                : ChangeVar(r.Index, static_cast<int32_t>(r.Input));
        std::string console = testing::internal::GetCapturedStdout();
        std::vector<FakeCall> sent = FakeSimCallsOf("TransmitClientEvent");
        SCOPED_TRACE(testing::Message() << "index " << r.Index << " input " << r.Input);
        EXPECT_TRUE(known);
        ASSERT_EQ(sent.size(), r.Event == NOTHING ? 0u : 1u);
        if (r.Event != NOTHING) {
            EXPECT_EQ(sent[0].Args[1], static_cast<uint32_t>(r.Event));
            EXPECT_EQ(static_cast<int32_t>(sent[0].Args[2]), r.Data);
        }
        EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), r.Index == 172 ? 0 : 1);
        EXPECT_EQ(console, r.Index == 46 && r.Event == NOTHING
                               ? "Bad value for speedbrake: 1.500000\n"
                               : "");
    }
    // The radio buttons: NAV 69 to 78 send 24 to 33, COM 79 to 88 send 36 to 45; v ignored.
    FakeSimInstall();
    for (int32_t i = 0; i < 10; ++i) {
        ChangeVar(69 + i, 0);
        ChangeVar(79 + i, 77);
    }
    std::vector<FakeCall> sent = FakeSimCallsOf("TransmitClientEvent");
    ASSERT_EQ(sent.size(), 20u);
    for (uint32_t i = 0; i < 10; ++i) {
        EXPECT_EQ(sent[2 * i].Args[1], 24 + i);
        EXPECT_EQ(sent[2 * i + 1].Args[1], 36 + i);
    }
    // A failed transmission still counts as applied.
    FakeSimScript([](const FakeCall&) { return -1; });
    testing::internal::CaptureStdout();
    EXPECT_TRUE(ChangeVar(42, 1));
    testing::internal::GetCapturedStdout();
}

TEST_F(ChangeVarTest, UnknownIndicesAreRefusedUnlessTheSimulatorIsAway) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ChangeVar(13, 1));
    EXPECT_FALSE(ChangeVar(0, 1.0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "bool/int Unknown index: 13\nChangeVar(double) - Unknown Index: 0  Val: 1.000000\n");
    // Integer indices of the variable list that this node does not apply, and the double
    // rows asked for in the wrong form.
    testing::internal::CaptureStdout();
    for (int32_t index : {24, 35, 55, 64, 104, 115, 158, 170, 178, 185, 189, 20, 45, 114, -1}) {
        EXPECT_FALSE(ChangeVar(index, 1)) << index;
    }
    for (int32_t index : {21, 42, 100, 176, 180}) {
        EXPECT_FALSE(ChangeVar(index, 1.0)) << index;
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(Log().find("Unknown"), std::string::npos); // console only

    // With the simulator away every change is taken and nothing happens.
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 0);
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(ChangeVar(13, 1) && ChangeVar(100, 2) && ChangeVar(172, 0));
    EXPECT_TRUE(ChangeVar(0, 1.0) && ChangeVar(46, 0.5));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(FakeSimCalls().empty());
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 1);
}
