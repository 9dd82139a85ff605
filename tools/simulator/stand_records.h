// Building the messages the stand-in delivers: packed data records by declared datum types,
// and the plan of one dispatch (which messages go out, in which order).
//
// A dispatch first plans its messages under StandMutex, then builds and delivers them one at
// a time into one buffer owned by the library, releasing the mutex around each callback.
// Above the state, the flight and the replay, whose values the messages carry.
#pragma once

#include <cstdint>

#include "stand_state.h"

// Largest packed record of one definition, and the dispatch buffer that holds any message.
constexpr uint32_t STAND_MAX_RECORD = 8192;
constexpr uint32_t STAND_MESSAGE_MAX = STAND_MAX_RECORD + 64;
constexpr uint32_t STAND_MAX_WORK = 2048; // messages planned by one dispatch
constexpr uint32_t STAND_CLOUD_CELLS = 64 * 64;
constexpr uint32_t STAND_RECV_VERSION = 4;

// Layout of the OPEN message (the client reads only its header).
#pragma pack(push, 1)
struct StandRecvOpen {
    SIMCONNECT_RECV Header;
    char szApplicationName[256];
    SC_DWORD Versions[8];
    SC_DWORD Reserved[2];
};
#pragma pack(pop)
static_assert(sizeof(StandRecvOpen) == 308);

// Bytes of a datum of SIMCONNECT_DATATYPE `type` in a packed record; 0 for a type the
// stand-in does not deliver (STRINGV, INITPOSITION, MARKERSTATE, WAYPOINT).
uint32_t StandDatumSize(int32_t type);

// Writes the record of `def` for `object` at flight time `t` (def.RecordSize bytes).
void StandPackRecord(const StandDefinition& def, uint32_t object, double t, uint8_t* out);
// Fills `size` bytes with the 32-bit little-endian word `generation` repeated.
void StandFillGeneration(uint8_t* out, uint32_t size, uint32_t generation);

enum StandWorkKind : int32_t {
    WORK_OPEN,
    WORK_QUIT,
    WORK_EXCEPTION,
    WORK_EVENT,
    WORK_EVENT_FILENAME,
    WORK_DATA,   // SIMOBJECT_DATA
    WORK_BYTYPE, // SIMOBJECT_DATA_BYTYPE
    WORK_CLOUD,
};

// One planned message.
struct StandWork {
    StandWorkKind Kind;
    uint32_t Connection; // built only while this connection is open (not for QUIT)
    uint32_t Request;
    uint32_t Define;
    uint32_t Object;
    uint32_t Entry;
    uint32_t OutOf;
    uint32_t Group;     // EVENT
    uint32_t Event;     // EVENT: uEventID; EXCEPTION: the exception code
    uint32_t Data;      // EVENT: dwData; EXCEPTION: the send id of the call it reports
    uint32_t Index;     // EXCEPTION: the parameter index
    bool UseGeneration; // DATA in generation mode
    uint32_t Generation;
    uint32_t
        Replay;    // DATA, BYTYPE: its slot of the replay (stand_replay.h), from 1; 0: the flight's
    char File[64]; // EVENT_FILENAME
};

// A message of `kind` for `connection`: entry 1 of 1, no group, everything else 0.
StandWork StandNewWork(StandWorkKind kind, uint32_t connection);

// Plans one dispatch of the open connection at `nowMs` (caller holds StandMutex): takes the
// queued messages and the due requests. Returns the number of entries written to `work`.
uint32_t StandPlanDispatch(StandWork* work, uint32_t capacity, uint64_t nowMs);
// Builds the message of `w` into `buffer` (STAND_MESSAGE_MAX bytes; caller holds StandMutex).
// Returns its size, or 0 when it is no longer to be delivered.
uint32_t StandBuildMessage(const StandWork& w, uint8_t* buffer);
