// The hub emulator's decoding of block payloads by field name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/commgr/checks.h"
#include "tools/commgr/fields.h"

namespace {

std::string Value(const char* name, int32_t block, const std::vector<uint8_t>& d) {
    Field f;
    if (!ResolveField(name, &f)) {
        return "<unknown>";
    }
    char out[FIELD_VALUE_SIZE];
    if (!FormatFieldValue(f, block, d.data(), static_cast<uint32_t>(d.size()), out, sizeof(out))) {
        return "<absent>";
    }
    return out;
}

template <typename T> void Put(std::vector<uint8_t>& d, uint32_t at, T v) {
    memcpy(d.data() + at, &v, sizeof(v));
}

} // namespace

TEST(CommgrFields, NamesFindTheirRecordInTheRightBlock) {
    std::vector<uint8_t> b1(BLOCK_SIZES[1]), b2(BLOCK_SIZES[2]), b3(BLOCK_SIZES[3]);
    Put(b3, 32 + 24, 47.5);        // "Plane Latitude"
    Put(b3, 32 + 72, 250.0);       // "Autopilot Airspeed Hold Var", the double
    Put(b3, 32 + 236, int32_t{7}); // ... and its integer twin
    Put(b3, 32 + 324, int32_t{1}); // "Nav Has DME:1" in Block3
    Put(b2, 32 + 136, 121.5);      // "COM Standby Frequency:2"
    Put(b2, 32 + 24, 1.0);         // "NAV VOR LATLONALT:2"
    Put(b2, 32 + 32, -2.0);
    Put(b2, 32 + 40, 300.0);
    Put(b2, 912, int32_t{1});      // SimConnected
    Put(b1, 32 + 304, int32_t{2}); // "Number Of Engines"
    Put(b1, 352, int32_t{2});      // AircraftType

    EXPECT_EQ(Value("Plane Latitude", 3, b3), "47.500000");
    EXPECT_EQ(Value("plane latitude", 3, b3), "47.500000"); // letter case does not matter
    EXPECT_EQ(Value("Plane Latitude", 2, b2), "<absent>");  // Block2 does not carry it
    EXPECT_EQ(Value("Autopilot Airspeed Hold Var", 3, b3), "250.000000");
    EXPECT_EQ(Value("Nav Has DME:1", 3, b3), "1");
    EXPECT_EQ(Value("Nav Has DME:1", 2, b2), "0"); // carried by both blocks
    EXPECT_EQ(Value("COM Standby Frequency:2", 2, b2), "121.500000");
    EXPECT_EQ(Value("NAV VOR LATLONALT:2", 2, b2), "1.000000,-2.000000,300.000000");
    EXPECT_EQ(Value("SimConnected", 2, b2), "1");
    EXPECT_EQ(Value("Number Of Engines", 1, b1), "2");
    EXPECT_EQ(Value("AircraftType", 1, b1), "2");
    // Names of the other definitions are not in any block.
    EXPECT_EQ(Value("ATC MODEL", 1, b1), "<unknown>");
    EXPECT_EQ(Value("No Such Datum", 3, b3), "<unknown>");
    // A datagram too short for the field gives nothing.
    b3.resize(32 + 24);
    EXPECT_EQ(Value("Plane Latitude", 3, b3), "<absent>");
}

TEST(CommgrFields, TrafficShowsTheSlotsInUse) {
    std::vector<uint8_t> b2(BLOCK_SIZES[2]);
    Put(b2, 272 + 32 * 0 + 0, 48.0);
    Put(b2, 272 + 32 * 0 + 24, uint32_t{11});
    Put(b2, 272 + 32 * 5 + 0, 49.0); // a free slot keeps old coordinates, id 0
    Put(b2, 272 + 32 * 19 + 24, uint32_t{99});
    EXPECT_EQ(Value("Traffic", 2, b2), "2");
    char text[2048];
    EXPECT_EQ(FormatTraffic(b2.data(), static_cast<uint32_t>(b2.size()), text, sizeof(text)), 2u);
    EXPECT_NE(std::string(text).find("slot 0: id=11 lat=48.000000"), std::string::npos);
    EXPECT_NE(std::string(text).find("slot 19: id=99"), std::string::npos);
    EXPECT_EQ(std::string(text).find("slot 5"), std::string::npos);
}

TEST(CommgrFields, UniformRecordRegionsOnly) {
    for (int32_t n = 1; n <= 3; ++n) {
        static const uint32_t RECORD[4] = {0, 320, 236, 368};
        std::vector<uint8_t> d(BLOCK_SIZES[n], 0x55);
        for (uint32_t at = 32; at < 32 + RECORD[n]; at += 4) {
            Put(d, at, 0xDEADBEEFu);
        }
        EXPECT_TRUE(RecordIsUniform(n, d.data(), static_cast<uint32_t>(d.size()))) << n;
        Put(d, 32 + RECORD[n] - 4, 0xDEADBEEEu); // the last word of the record differs
        EXPECT_FALSE(RecordIsUniform(n, d.data(), static_cast<uint32_t>(d.size()))) << n;
    }
}
