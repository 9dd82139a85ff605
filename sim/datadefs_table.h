// The simulation variables this node declares to the simulator, in declaration order. The
// records of definitions 0, 1 and 2 are, byte for byte, the payloads of Block3, Block2 and
// Block1, so this table is also the payload layout the cockpit network decodes.
#pragma once

#include <cstdint>

struct DataDatum {
    uint32_t Definition;
    const char* Datum;
    const char* Units; // null: declared without units
    int32_t Type;      // SIMCONNECT_DATATYPE_*
    uint32_t Offset;   // byte offset inside the definition's record
};

constexpr uint32_t DATA_DATUM_COUNT = 134;
extern const DataDatum DATA_DATUMS[DATA_DATUM_COUNT];

// Size in bytes of one datum of the given type (0 for a type this table does not use).
uint32_t DataTypeSize(int32_t type);
// The datum of `definition` whose name is `datum` (the first one declared), or null.
const DataDatum* FindDatum(uint32_t definition, const char* datum);
