// The simulator library's published interface as the stand-in serves it: the numbers, the
// message layouts and the callback type of SimConnect, written down here on their own from the
// library's public documentation. The program keeps its own copy (sim/simconnect_api.h) and the
// stand-in never includes it: a number written wrong on either side then shows in the tests as
// a disagreement between the two, instead of the same slip on both sides.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h" // PLATFORM_STDCALL, the library's calling convention

// The Windows types of the documentation: DWORD, HRESULT, BOOL, HANDLE and HWND.
using SC_DWORD = uint32_t;
using SC_HRESULT = int32_t;
using SC_BOOL = int32_t;
using SC_HANDLE = void*;
using SC_HWND = void*;

// DWORD_MAX, "no value" in the documentation's parameters; object 0 is the user's aircraft.
constexpr SC_DWORD SIMCONNECT_UNUSED = 0xFFFFFFFFu;
constexpr SC_DWORD SIMCONNECT_OBJECT_ID_USER = 0u;

// SIMCONNECT_STATE
constexpr SC_DWORD SIMCONNECT_STATE_OFF = 0u;
constexpr SC_DWORD SIMCONNECT_STATE_ON = 1u;

// SIMCONNECT_DATATYPE, in the documentation's order: INVALID, INT32, INT64, FLOAT32, FLOAT64,
// STRING8, STRING32, STRING64, STRING128, STRING256, STRING260, STRINGV, INITPOSITION,
// MARKERSTATE, WAYPOINT, LATLONALT, XYZ.
enum StandDataType : int32_t {
    SIMCONNECT_DATATYPE_INVALID,
    SIMCONNECT_DATATYPE_INT32,
    SIMCONNECT_DATATYPE_INT64,
    SIMCONNECT_DATATYPE_FLOAT32,
    SIMCONNECT_DATATYPE_FLOAT64,
    SIMCONNECT_DATATYPE_STRING8,
    SIMCONNECT_DATATYPE_STRING32,
    SIMCONNECT_DATATYPE_STRING64,
    SIMCONNECT_DATATYPE_STRING128,
    SIMCONNECT_DATATYPE_STRING256,
    SIMCONNECT_DATATYPE_STRING260,
    SIMCONNECT_DATATYPE_STRINGV,
    SIMCONNECT_DATATYPE_INITPOSITION,
    SIMCONNECT_DATATYPE_MARKERSTATE,
    SIMCONNECT_DATATYPE_WAYPOINT,
    SIMCONNECT_DATATYPE_LATLONALT,
    SIMCONNECT_DATATYPE_XYZ,
};

// SIMCONNECT_PERIOD: NEVER, ONCE, VISUAL_FRAME, SIM_FRAME, SECOND.
enum StandPeriod : int32_t {
    SIMCONNECT_PERIOD_NEVER,
    SIMCONNECT_PERIOD_ONCE,
    SIMCONNECT_PERIOD_VISUAL_FRAME,
    SIMCONNECT_PERIOD_SIM_FRAME,
    SIMCONNECT_PERIOD_SECOND,
};

// SIMCONNECT_SIMOBJECT_TYPE: USER, ALL, AIRCRAFT, HELICOPTER, BOAT, GROUND.
enum StandObjectType : int32_t {
    SIMCONNECT_SIMOBJECT_TYPE_USER,
    SIMCONNECT_SIMOBJECT_TYPE_ALL,
    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT,
    SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER,
    SIMCONNECT_SIMOBJECT_TYPE_BOAT,
    SIMCONNECT_SIMOBJECT_TYPE_GROUND,
};

// SIMCONNECT_RECV_ID: NULL, EXCEPTION, OPEN, QUIT, EVENT, EVENT_OBJECT_ADDREMOVE, EVENT_FILENAME,
// EVENT_FRAME, SIMOBJECT_DATA, SIMOBJECT_DATA_BYTYPE, WEATHER_OBSERVATION, CLOUD_STATE, ...
enum StandRecvId : SC_DWORD {
    SIMCONNECT_RECV_ID_NULL,
    SIMCONNECT_RECV_ID_EXCEPTION,
    SIMCONNECT_RECV_ID_OPEN,
    SIMCONNECT_RECV_ID_QUIT,
    SIMCONNECT_RECV_ID_EVENT,
    SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE,
    SIMCONNECT_RECV_ID_EVENT_FILENAME,
    SIMCONNECT_RECV_ID_EVENT_FRAME,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE,
    SIMCONNECT_RECV_ID_WEATHER_OBSERVATION,
    SIMCONNECT_RECV_ID_CLOUD_STATE,
};

// The received messages: byte-packed, each beginning with the common three words.
#pragma pack(push, 1)
struct SIMCONNECT_RECV {
    SC_DWORD dwSize; // of the whole message
    SC_DWORD dwVersion;
    SC_DWORD dwID; // a SIMCONNECT_RECV_ID
};
struct SIMCONNECT_RECV_EXCEPTION {
    SIMCONNECT_RECV Header;
    SC_DWORD dwException;
    SC_DWORD dwSendID;
    SC_DWORD dwIndex;
};
struct SIMCONNECT_RECV_EVENT {
    SIMCONNECT_RECV Header;
    SC_DWORD uGroupID;
    SC_DWORD uEventID;
    SC_DWORD dwData;
};
struct SIMCONNECT_RECV_EVENT_FILENAME {
    SIMCONNECT_RECV_EVENT Event;
    char szFileName[260]; // MAX_PATH
    SC_DWORD dwFlags;
};
struct SIMCONNECT_RECV_SIMOBJECT_DATA { // also the by-type answers
    SIMCONNECT_RECV Header;
    SC_DWORD dwRequestID;
    SC_DWORD dwObjectID;
    SC_DWORD dwDefineID;
    SC_DWORD dwFlags;
    SC_DWORD dwentrynumber;
    SC_DWORD dwoutof;
    SC_DWORD dwDefineCount;
    SC_DWORD dwData; // first word of the record
};
struct SIMCONNECT_RECV_CLOUD_STATE {
    SIMCONNECT_RECV Header;
    SC_DWORD dwRequestID;
    SC_DWORD dwArraySize;
    uint8_t rgbData[1];
};
#pragma pack(pop)

// Sizes in bytes, counted from the documentation's field lists.
static_assert(sizeof(SIMCONNECT_RECV) == 3 * 4);
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION) == 6 * 4);
static_assert(sizeof(SIMCONNECT_RECV_EVENT) == 6 * 4);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FILENAME) == 6 * 4 + 260 + 4);
static_assert(sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) == 11 * 4);
static_assert(offsetof(SIMCONNECT_RECV_CLOUD_STATE, rgbData) == 5 * 4);

// The callback that SimConnect_CallDispatch runs for each waiting message.
using SimDispatchProc = void(PLATFORM_STDCALL*)(SIMCONNECT_RECV* data, SC_DWORD cbData,
                                                void* context);
