// The short names by which the generated tables (the dissector's, the panel's) give the type
// of each block field.
#pragma once

#include <cstdint>

#include "sim/simconnect_api.h"

// "i32", "f64", "latlonalt", "string32"; null for a type no block field has.
constexpr const char* KindOfDataType(int32_t type) {
    switch (type) {
    case SIMCONNECT_DATATYPE_INT32:
        return "i32";
    case SIMCONNECT_DATATYPE_FLOAT64:
        return "f64";
    case SIMCONNECT_DATATYPE_LATLONALT:
        return "latlonalt";
    case SIMCONNECT_DATATYPE_STRING32:
        return "string32";
    default:
        return nullptr;
    }
}
