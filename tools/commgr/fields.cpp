// Decoding the blocks' payloads by field name.
#include "tools/commgr/fields.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "net/blocks.h"
#include "sim/datadefs_table.h"
#include "sim/simconnect_api.h"
#include "tools/common/block_records.h"

namespace {

bool SameName(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (tolower(static_cast<unsigned char>(*a)) != tolower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

// The words KivFSX writes outside the simulator records.
struct ExtraField {
    const char* Name;
    int32_t Block;
    uint32_t Offset;
    int32_t Type;
};
const ExtraField EXTRA_FIELDS[] = {
    {"AircraftType", 1, BLOCK1_AIRCRAFT_TYPE, SIMCONNECT_DATATYPE_INT32},
    {"SimConnected", 2, BLOCK2_SIM_CONNECTED, SIMCONNECT_DATATYPE_INT32},
    {"FlightChanged", 2, BLOCK2_FLIGHT_CHANGED, SIMCONNECT_DATATYPE_INT32},
    {"Traffic", 2, BLOCK2_TRAFFIC, FIELD_TYPE_TRAFFIC},
};

// The block whose payload is the record of a data definition; 0 for the others.
int32_t BlockOfDefinition(uint32_t definition) {
    const BlockRecordPlace* place = BlockPlaceOfDefinition(definition);
    return place != nullptr ? place->Block : 0;
}

uint32_t RecordSize(int32_t blockNumber) {
    const BlockRecordPlace* place = BlockPlaceOfNumber(blockNumber);
    return place != nullptr ? place->RecordSize : 0;
}

uint32_t PlaceSize(int32_t type) {
    return type == FIELD_TYPE_TRAFFIC ? BLOCK2_TRAFFIC_SIZE : DataTypeSize(type);
}

double ReadF64(const uint8_t* p) {
    double v;
    memcpy(&v, p, sizeof(v));
    return v;
}

int32_t ReadI32(const uint8_t* p) {
    int32_t v;
    memcpy(&v, p, sizeof(v));
    return v;
}

} // namespace

const char* ExtraFieldName(uint32_t i) {
    return i < sizeof(EXTRA_FIELDS) / sizeof(EXTRA_FIELDS[0]) ? EXTRA_FIELDS[i].Name : nullptr;
}

bool ResolveField(const char* name, Field* out) {
    memset(out, 0, sizeof(*out));
    bool found = false;
    for (const ExtraField& e : EXTRA_FIELDS) {
        if (SameName(e.Name, name)) {
            snprintf(out->Name, sizeof(out->Name), "%s", e.Name);
            out->Where[e.Block] = {e.Offset, e.Type};
            found = true;
        }
    }
    for (const DataDatum& d : DATA_DATUMS) {
        int32_t block = BlockOfDefinition(d.Definition);
        if (block == 0 || out->Where[block].Type != 0 || !SameName(d.Datum, name)) {
            continue;
        }
        snprintf(out->Name, sizeof(out->Name), "%s", d.Datum);
        out->Where[block] = {BLOCK_PAYLOAD + d.Offset, d.Type};
        found = true;
    }
    return found;
}

bool FormatFieldValue(const Field& field, int32_t blockNumber, const uint8_t* datagram,
                      uint32_t length, char* out, size_t size) {
    if (blockNumber < 1 || blockNumber > 3) {
        return false;
    }
    const FieldPlace& at = field.Where[blockNumber];
    if (at.Type == 0 || at.Offset + PlaceSize(at.Type) > length) {
        return false;
    }
    const uint8_t* p = datagram + at.Offset;
    switch (at.Type) {
    case SIMCONNECT_DATATYPE_INT32:
        snprintf(out, size, "%d", ReadI32(p));
        return true;
    case SIMCONNECT_DATATYPE_FLOAT64:
        snprintf(out, size, "%.6f", ReadF64(p));
        return true;
    case SIMCONNECT_DATATYPE_LATLONALT:
        snprintf(out, size, "%.6f,%.6f,%.6f", ReadF64(p), ReadF64(p + 8), ReadF64(p + 16));
        return true;
    case SIMCONNECT_DATATYPE_STRING32: {
        char text[33];
        memcpy(text, p, 32);
        text[32] = '\0';
        snprintf(out, size, "\"%s\"", text);
        return true;
    }
    case FIELD_TYPE_TRAFFIC: {
        uint32_t used = 0;
        for (uint32_t k = 0; k < 20; ++k) {
            used += (ReadI32(p + 32 * k + 24) != 0) ? 1 : 0;
        }
        snprintf(out, size, "%u", used);
        return true;
    }
    default:
        return false;
    }
}

uint32_t FormatTraffic(const uint8_t* block2, uint32_t length, char* out, size_t size) {
    out[0] = '\0';
    if (length < BLOCK2_TRAFFIC + BLOCK2_TRAFFIC_SIZE) {
        return 0;
    }
    uint32_t used = 0;
    size_t written = 0;
    for (uint32_t k = 0; k < 20; ++k) {
        TrafficSlot slot;
        memcpy(&slot, block2 + BLOCK2_TRAFFIC + 32 * k, sizeof(slot));
        if (slot.ObjectId == 0) {
            continue;
        }
        ++used;
        if (written + 1 < size) {
            int n =
                snprintf(out + written, size - written,
                         "  traffic slot %u: id=%u lat=%.6f lon=%.6f agl=%.1f ft\n", k,
                         slot.ObjectId, slot.Latitude, slot.Longitude, slot.AltitudeAboveGround);
            written = (n < 0) ? size : written + static_cast<size_t>(n);
        }
    }
    return used;
}

bool RecordIsUniform(int32_t blockNumber, const uint8_t* datagram, uint32_t length) {
    uint32_t size = RecordSize(blockNumber);
    if (size == 0 || length < BLOCK_PAYLOAD + size) {
        return false;
    }
    const uint8_t* record = datagram + BLOCK_PAYLOAD;
    return memcmp(record, record + 4, size - 4) == 0; // every word equals its neighbour
}
