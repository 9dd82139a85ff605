// Applying network variables: ADF frequency forms, and every row group of both forms of
// ChangeVar against the fake library.
#include <cstring>
#include <utility>
#include <vector>

#include "net/blocks.h"
#include "sim/changevar.h"
#include "sim_fake.h"
#include "support/bcd.h"

namespace {

using Sent = std::vector<std::pair<uint32_t, int32_t>>; // (event, data)

Sent Transmitted() {
    Sent out;
    for (const FakeCall& c : FakeSimCallsOf("TransmitClientEvent")) {
        out.emplace_back(c.Args[1], static_cast<int32_t>(c.Args[2]));
    }
    return out;
}

void SetF64(Block& block, uint32_t offset, double value) {
    BlockPublish(block, offset, &value, sizeof(value));
}

class ChangeVarTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 1);
    }
    // Applies one integer change and returns what was sent.
    Sent Int(int32_t index, int32_t v) {
        FakeSimInstall();
        EXPECT_TRUE(ChangeVar(index, v)) << index;
        return Transmitted();
    }
    Sent Dbl(int32_t index, double x) {
        FakeSimInstall();
        EXPECT_TRUE(ChangeVar(index, x)) << index;
        return Transmitted();
    }
};

} // namespace

TEST(AdfFrequencyForm, FromBcd32ReadsFiveDigitGroups) {
    EXPECT_EQ(FromBcd32(0x03450000), 3450);
    EXPECT_EQ(FromBcd32(0x00001FFF), 1); // the low 12 bits do not count
    EXPECT_EQ(FromBcd32(static_cast<int32_t>(0x99999000u)), 99999);
    EXPECT_EQ(FromBcd32(static_cast<int32_t>(0x90000000u)), 90000); // not negative
    EXPECT_EQ(FromBcd32(0x0000A000), 10);                           // a group above 9 counts
    EXPECT_EQ(FromBcd32(static_cast<int32_t>(0xFFFFFFFFu)), 166665);
}

TEST(AdfFrequencyForm, ToBcd32IsTheInverseOnFiveDigitsAndHoldsOtherValuesToThem) {
    EXPECT_EQ(ToBcd32(17500), 0x17500000);
    EXPECT_EQ(ToBcd32(1900), 0x01900000);
    EXPECT_EQ(ToBcd32(3450), 0x03450000);
    for (int32_t n = 0; n <= 99999; ++n) {
        int32_t bcd = ToBcd32(n);
        ASSERT_EQ(bcd & 0xFFF, 0) << n;
        ASSERT_EQ(FromBcd32(bcd), n) << n;
    }
    EXPECT_EQ(ToBcd32(-1), 0);
    EXPECT_EQ(ToBcd32(INT32_MIN), 0);
    EXPECT_EQ(ToBcd32(100000), static_cast<int32_t>(0x99999000u));
    EXPECT_EQ(ToBcd32(INT32_MAX), static_cast<int32_t>(0x99999000u));
}

TEST_F(ChangeVarTest, NothingIsAppliedWhileTheSimulatorIsNotConnected) {
    BlockSetI32(Block2, BLOCK2_SIM_CONNECTED, 0);
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(ChangeVar(13, 1));
    EXPECT_TRUE(ChangeVar(100, 2));
    EXPECT_TRUE(ChangeVar(172, 0));
    EXPECT_TRUE(ChangeVar(0, 1.0));
    EXPECT_TRUE(ChangeVar(46, 0.5));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(FakeSimCalls().empty());
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 1);
}

TEST_F(ChangeVarTest, UnknownIndicesAreRefusedWithAConsoleLine) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ChangeVar(13, 1));
    EXPECT_FALSE(ChangeVar(0, 1.0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "bool/int Unknown index: 13\nChangeVar(double) - Unknown Index: 0  Val: 1.000000\n");
    // Integer indices of the variable list that this node does not apply, and the double
    // rows asked for in the wrong form.
    for (int32_t index :
         {24,  27,  35,  36,  39,  40,  55,  64,  65,  66,  67,  104, 105, 106, 107, 115,
          158, 160, 170, 171, 178, 179, 185, 186, 187, 188, 189, 20,  45,  114, -1,  68}) {
        testing::internal::CaptureStdout();
        EXPECT_FALSE(ChangeVar(index, 1)) << index;
        testing::internal::GetCapturedStdout();
    }
    for (int32_t index : {21, 42, 100, 176, 180}) {
        testing::internal::CaptureStdout();
        EXPECT_FALSE(ChangeVar(index, 1.0)) << index;
        testing::internal::GetCapturedStdout();
    }
    EXPECT_TRUE(FakeSimCalls().empty());
    EXPECT_EQ(Log().find("Unknown"), std::string::npos); // console only
}

TEST_F(ChangeVarTest, SwitchesAndDirectSettings) {
    struct Row {
        int32_t Index, V;
        uint32_t Event;
        int32_t Data;
    };
    const Row rows[] = {
        {21, 1, 6, 0},           {21, -7, 6, 0},   {21, 0, 7, 0},           {42, 5, 18, 1},
        {42, 0, 18, 0},          {52, 1, 14, 0},   {52, 2, 15, 0},          {52, 0, 15, 0},
        {53, 1, 8, 0},           {53, 0, 9, 0},    {54, 3, 8, 0},           {54, 0, 9, 0},
        {89, 1, 62, 0},          {89, 0, 61, 0},   {102, 1, 64, 0},         {102, 0, 65, 0},
        {103, 9, 66, 0},         {103, 0, 67, 0},  {108, 11090, 54, 11090}, {109, -4, 55, -4},
        {110, 12345, 56, 12345}, {111, 7, 57, 7},  {112, 275, 58, 275},     {113, 361, 59, 361},
        {166, 11150, 70, 11150}, {167, 5, 71, 5},  {175, 16383, 74, 16383}, {184, 1, 63, 1},
        {117, 12000, 10, 12000}, {117, -1, 10, 0}, {118, 250, 5, 250},      {118, -250, 5, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Int(r.Index, r.V), (Sent{{r.Event, r.Data}})) << r.Index << " v=" << r.V;
    }
    // The radio buttons: NAV 69 to 78 send 24 to 33, COM 79 to 88 send 36 to 45; v ignored.
    for (int32_t i = 0; i < 10; ++i) {
        EXPECT_EQ(Int(69 + i, 0), (Sent{{24u + i, 0}}));
        EXPECT_EQ(Int(79 + i, 77), (Sent{{36u + i, 0}}));
    }
}

TEST_F(ChangeVarTest, CodedRowsSendOnlyForTheirCodes) {
    EXPECT_EQ(Int(94, 1), (Sent{{21, 0}}));
    EXPECT_EQ(Int(94, 2), (Sent{{20, 0}}));
    EXPECT_EQ(Int(94, 3), (Sent{{22, 0}}));
    EXPECT_EQ(Int(94, 4), (Sent{{19, 0}}));
    EXPECT_EQ(Int(95, 1), (Sent{{48, 0}}));
    EXPECT_EQ(Int(95, 2), (Sent{{49, 0}}));
    EXPECT_EQ(Int(96, 1), (Sent{{50, 1}}));
    EXPECT_EQ(Int(96, 2), (Sent{{51, 0}}));
    for (int32_t v : {0, 5, -1}) {
        EXPECT_TRUE(Int(94, v).empty()) << v;
        EXPECT_TRUE(Int(95, v).empty()) << v;
        EXPECT_TRUE(Int(96, v).empty()) << v;
    }
    EXPECT_TRUE(Int(95, 3).empty());
}

TEST_F(ChangeVarTest, SteppedCoursesAltitudesAndSpeeds) {
    SetF64(Block3, BLOCK3_AP_HEADING_LOCK_DIR, 355.0);
    EXPECT_EQ(Int(100, 2), (Sent{{4, 5}})); // 365 wraps to 5
    EXPECT_EQ(Int(100, 1), (Sent{{4, 356}}));
    EXPECT_EQ(Int(100, 9), (Sent{{4, 355}})); // unknown step: the value again
    SetF64(Block3, BLOCK3_AP_HEADING_LOCK_DIR, 3.0);
    EXPECT_EQ(Int(100, 4), (Sent{{4, 353}}));
    EXPECT_EQ(Int(100, 3), (Sent{{4, 2}}));
    SetF64(Block3, BLOCK3_AP_HEADING_LOCK_DIR, 350.0);
    EXPECT_EQ(Int(100, 2), (Sent{{4, 360}})); // 360 itself stays

    SetF64(Block2, BLOCK2_NAV_OBS1, 359.5);
    SetF64(Block2, BLOCK2_NAV_OBS2, 0.5);
    EXPECT_EQ(Int(97, 1), (Sent{{52, 0}})); // 360.5 wraps to 0.5, truncated
    EXPECT_EQ(Int(98, 3), (Sent{{53, 359}}));

    SetF64(Block3, BLOCK3_AP_ALT_LOCK_VAR, 50.0);
    EXPECT_EQ(Int(99, 3), (Sent{{10, 0}}));
    EXPECT_EQ(Int(99, 4), (Sent{{10, 0}}));
    EXPECT_EQ(Int(99, 1), (Sent{{10, 150}}));
    EXPECT_EQ(Int(99, 2), (Sent{{10, 1050}}));
    SetF64(Block3, BLOCK3_AP_ALT_LOCK_VAR, 50.7);
    EXPECT_EQ(Int(99, 7), (Sent{{10, 50}}));
    SetF64(Block3, BLOCK3_AP_ALT_LOCK_VAR, -20.0);
    EXPECT_EQ(Int(99, 0), (Sent{{10, -20}})); // no step, nothing raised

    SetF64(Block3, BLOCK3_AP_AIRSPEED_HOLD_VAR, 5.5);
    EXPECT_EQ(Int(101, 4), (Sent{{5, 0}}));
    EXPECT_EQ(Int(101, 2), (Sent{{5, 15}}));

    EXPECT_EQ(Int(116, -90), (Sent{{4, 270}}));
    EXPECT_EQ(Int(116, 400), (Sent{{4, 40}}));
    EXPECT_EQ(Int(116, 360), (Sent{{4, 360}}));
    EXPECT_EQ(Int(116, 725), (Sent{{4, 365}}));
}

TEST_F(ChangeVarTest, TogglesSendOnlyWhenTheSimulatorStateDiffers) {
    BlockSetI32(Block3, BLOCK3_AP_FD_ACTIVE, 1);
    EXPECT_TRUE(Int(164, 1).empty());
    EXPECT_EQ(Int(164, 0), (Sent{{2, 0}}));
    BlockSetI32(Block3, BLOCK3_AP_FD_ACTIVE, 0);
    EXPECT_EQ(Int(164, 3), (Sent{{2, 0}}));
    EXPECT_TRUE(Int(164, 0).empty());

    BlockSetI32(Block3, BLOCK3_AP_MASTER, 0);
    EXPECT_EQ(Int(165, 1), (Sent{{11, 0}}));
    EXPECT_TRUE(Int(165, 0).empty());
    BlockSetI32(Block3, BLOCK3_AP_MASTER, 1);
    EXPECT_EQ(Int(165, 0), (Sent{{12, 0}}));
    EXPECT_TRUE(Int(165, 1).empty());

    SetF64(Block3, BLOCK3_BRAKE_PARKING, 0.0);
    EXPECT_EQ(Dbl(45, 1.0), (Sent{{3, 0}}));
    EXPECT_TRUE(Dbl(45, 0.0).empty());
    EXPECT_TRUE(Dbl(45, 0.1).empty());
    SetF64(Block3, BLOCK3_BRAKE_PARKING, 1.0);
    EXPECT_TRUE(Dbl(45, 1.0).empty());
    EXPECT_EQ(Dbl(45, 0.0), (Sent{{3, 0}}));
    EXPECT_TRUE(Dbl(45, 0.1).empty());
}

TEST_F(ChangeVarTest, AdfFrequenciesAreSetAndSteppedWithinTheBand) {
    BlockSetI32(Block3, BLOCK3_ADF_ACTIVE1, 0x17450000);
    BlockSetI32(Block3, BLOCK3_ADF_ACTIVE2, 0x02000000);
    EXPECT_EQ(Int(180, 100), (Sent{{77, 0x17500000}}));
    EXPECT_EQ(Int(180, 3), (Sent{{77, 0x17453000}}));
    EXPECT_EQ(Int(182, 500), (Sent{{77, 0x16950000}}));
    EXPECT_EQ(Int(183, 500), (Sent{{78, 0x01900000}}));
    EXPECT_EQ(Int(181, 15), (Sent{{78, 0x02015000}}));
    BlockSetI32(Block3, BLOCK3_ADF_ACTIVE1, 0x02000000);
    EXPECT_EQ(Int(182, 500), (Sent{{77, 0x01900000}}));
    // Extreme steps neither overflow nor leave the band.
    EXPECT_EQ(Int(180, INT32_MAX), (Sent{{77, 0x01900000}})); // wraps negative, held low
    EXPECT_EQ(Int(182, INT32_MIN), (Sent{{77, 0x01900000}}));
    EXPECT_EQ(Int(181, 1000000), (Sent{{78, 0x17500000}}));

    EXPECT_EQ(Int(176, 3450), (Sent{{77, 0x03450000}}));
    EXPECT_EQ(Int(177, 17500), (Sent{{78, 0x17500000}}));
    EXPECT_EQ(Int(176, -5), (Sent{{77, 0}}));
    EXPECT_EQ(Int(177, 123456), (Sent{{78, static_cast<int32_t>(0x99999000u)}}));
}

TEST_F(ChangeVarTest, DoubleRows) {
    EXPECT_EQ(Dbl(46, 0.5), (Sent{{17, 8190}}));
    EXPECT_EQ(Dbl(46, 0.0), (Sent{{17, 0}}));
    EXPECT_EQ(Dbl(46, 1.0), (Sent{{17, 16380}}));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Dbl(46, 1.5).empty());
    EXPECT_TRUE(Dbl(46, -0.01).empty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Bad value for speedbrake: 1.500000\nBad value for speedbrake: -0.010000\n");

    EXPECT_EQ(Dbl(114, 29.92), (Sent{{60, 16211}}));
    EXPECT_EQ(Dbl(20, -1500.9), (Sent{{16, -1500}}));
    EXPECT_EQ(Dbl(43, 2.99), (Sent{{23, 2}}));
    // Values beyond the data's range are held to it rather than converted undefined.
    EXPECT_EQ(Dbl(20, 1e12), (Sent{{16, INT32_MAX}}));
    EXPECT_EQ(Dbl(43, -1e12), (Sent{{23, INT32_MIN}}));
}

TEST_F(ChangeVarTest, FlightChangedIsClearedWithoutAnEvent) {
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
    EXPECT_TRUE(Int(172, 42).empty());
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 0);
}

TEST_F(ChangeVarTest, AFailedTransmissionStillCountsAsApplied) {
    FakeSimScript([](const FakeCall&) { return -1; });
    testing::internal::CaptureStdout();
    EXPECT_TRUE(ChangeVar(42, 1));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(FakeSimCallsOf("TransmitClientEvent").size(), 1u);
}
