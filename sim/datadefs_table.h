// The simulation variables this node declares to the simulator, in declaration order. The
// records of definitions 0, 1 and 2 are, byte for byte, the payloads of Block3, Block2 and
// Block1, so this table is also the payload layout the cockpit network decodes.
#pragma once

#include <cstdint>

#include "sim/simconnect_api.h"

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
constexpr uint32_t DataTypeSize(int32_t type) {
    switch (type) {
    case SIMCONNECT_DATATYPE_INT32:
        return 4;
    case SIMCONNECT_DATATYPE_FLOAT64:
        return 8;
    case SIMCONNECT_DATATYPE_LATLONALT:
        return 24;
    case SIMCONNECT_DATATYPE_STRING32:
        return 32;
    default:
        return 0;
    }
}
