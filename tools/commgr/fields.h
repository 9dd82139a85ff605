// Decoding the blocks' payloads by field name. The names are the datum names of the data
// definitions whose records are the payloads (definition 0 in Block3, 1 in Block2, 2 in
// Block1), plus the words KivFSX adds itself: AircraftType (Block1), SimConnected,
// FlightChanged and Traffic (Block2).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t FIELD_NAME_SIZE = 64;
// Room for any value text: a double printed with %.6f takes up to 317 characters.
constexpr uint32_t FIELD_VALUE_SIZE = 1024;
constexpr int32_t FIELD_TYPE_TRAFFIC = -1; // the traffic area: the count of occupied slots

struct FieldPlace {
    uint32_t Offset; // datagram byte of the value
    int32_t Type;    // SIMCONNECT_DATATYPE_*, FIELD_TYPE_TRAFFIC, or 0: not in this block
};

struct Field {
    char Name[FIELD_NAME_SIZE]; // as the table spells it
    FieldPlace Where[4];        // by block number 1 to 3 (index 0 unused)
};

// The name of the i-th word KivFSX writes outside the simulator records; null past the last.
const char* ExtraFieldName(uint32_t i);

// Finds `name` (letter case ignored) in every block that carries it. A name that occurs
// twice in one definition ("Autopilot Airspeed Hold Var") means its first declaration.
// False when no block carries it.
bool ResolveField(const char* name, Field* out);

// The value of `field` in a datagram of block `blockNumber` of `length` bytes: integers "%d",
// doubles "%.6f", a latitude/longitude/altitude triple "%.6f,%.6f,%.6f", text quoted, the
// traffic area as its count of occupied slots. False when this block does not carry it.
bool FormatFieldValue(const Field& field, int32_t blockNumber, const uint8_t* datagram,
                      uint32_t length, char* out, size_t size);

// The traffic slots of a Block2 datagram whose object id is not zero, one per line
// ("  traffic id=.. lat=.. lon=.. agl=..\n"); returns the number of such slots.
uint32_t FormatTraffic(const uint8_t* block2, uint32_t length, char* out, size_t size);

// Whether the record region of a block (Block3 payload bytes 0 to 367, Block2 0 to 235,
// Block1 0 to 319) holds one 32-bit word repeated throughout.
bool RecordIsUniform(int32_t blockNumber, const uint8_t* datagram, uint32_t length);
