// Our own declarations of the simulator client library's published API: the types, constants,
// received records and the 15 entry points this program takes by name at start-up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

using SC_DWORD = uint32_t;
using SC_HRESULT = int32_t; // 0 success, negative failure
using SC_BOOL = int32_t;
using SC_HANDLE = void*;
using SC_HWND = void*;

constexpr SC_DWORD SIMCONNECT_UNUSED = 0xFFFFFFFFu;
constexpr SC_DWORD SIMCONNECT_OBJECT_ID_USER = 0;
constexpr SC_DWORD SIMCONNECT_GROUP_PRIORITY_HIGHEST = 1;
constexpr SC_DWORD SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY = 0x10;
constexpr SC_DWORD SIMCONNECT_STATE_OFF = 0;
constexpr SC_DWORD SIMCONNECT_STATE_ON = 1;

// SIMCONNECT_DATATYPE
constexpr int32_t SIMCONNECT_DATATYPE_INT32 = 1;
constexpr int32_t SIMCONNECT_DATATYPE_FLOAT64 = 4;
constexpr int32_t SIMCONNECT_DATATYPE_STRING32 = 6;
constexpr int32_t SIMCONNECT_DATATYPE_LATLONALT = 15;

// SIMCONNECT_PERIOD
constexpr int32_t SIMCONNECT_PERIOD_NEVER = 0;
constexpr int32_t SIMCONNECT_PERIOD_ONCE = 1;
constexpr int32_t SIMCONNECT_PERIOD_VISUAL_FRAME = 2;
constexpr int32_t SIMCONNECT_PERIOD_SIM_FRAME = 3;
constexpr int32_t SIMCONNECT_PERIOD_SECOND = 4;

// SIMCONNECT_SIMOBJECT_TYPE
constexpr int32_t SIMCONNECT_SIMOBJECT_TYPE_USER = 0;
constexpr int32_t SIMCONNECT_SIMOBJECT_TYPE_ALL = 1;
constexpr int32_t SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2;

// SIMCONNECT_RECV_ID
constexpr SC_DWORD SIMCONNECT_RECV_ID_NULL = 0;
constexpr SC_DWORD SIMCONNECT_RECV_ID_EXCEPTION = 1;
constexpr SC_DWORD SIMCONNECT_RECV_ID_OPEN = 2;
constexpr SC_DWORD SIMCONNECT_RECV_ID_QUIT = 3;
constexpr SC_DWORD SIMCONNECT_RECV_ID_EVENT = 4;
constexpr SC_DWORD SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5;
constexpr SC_DWORD SIMCONNECT_RECV_ID_EVENT_FILENAME = 6;
constexpr SC_DWORD SIMCONNECT_RECV_ID_EVENT_FRAME = 7;
constexpr SC_DWORD SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8;
constexpr SC_DWORD SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9;
constexpr SC_DWORD SIMCONNECT_RECV_ID_WEATHER_OBSERVATION = 10;
constexpr SC_DWORD SIMCONNECT_RECV_ID_CLOUD_STATE = 11;

#pragma pack(push, 1)
struct SIMCONNECT_RECV {
    SC_DWORD dwSize;
    SC_DWORD dwVersion;
    SC_DWORD dwID;
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
struct SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE {
    SIMCONNECT_RECV_EVENT Event;
    int32_t eObjType;
};
struct SIMCONNECT_RECV_EVENT_FILENAME {
    SIMCONNECT_RECV_EVENT Event;
    char szFileName[260];
    SC_DWORD dwFlags;
};
struct SIMCONNECT_RECV_SIMOBJECT_DATA {
    SIMCONNECT_RECV Header;
    SC_DWORD dwRequestID;
    SC_DWORD dwObjectID;
    SC_DWORD dwDefineID;
    SC_DWORD dwFlags;
    SC_DWORD dwentrynumber;
    SC_DWORD dwoutof;
    SC_DWORD dwDefineCount;
    SC_DWORD dwData; // the delivered record begins here
};
struct SIMCONNECT_RECV_CLOUD_STATE {
    SIMCONNECT_RECV Header;
    SC_DWORD dwRequestID;
    SC_DWORD dwArraySize;
    uint8_t rgbData[1]; // dwArraySize bytes
};
#pragma pack(pop)

static_assert(sizeof(SIMCONNECT_RECV) == 12);
static_assert(offsetof(SIMCONNECT_RECV_EXCEPTION, dwException) == 12);
static_assert(offsetof(SIMCONNECT_RECV_EXCEPTION, dwSendID) == 16);
static_assert(offsetof(SIMCONNECT_RECV_EXCEPTION, dwIndex) == 20);
static_assert(offsetof(SIMCONNECT_RECV_EVENT, uGroupID) == 12);
static_assert(offsetof(SIMCONNECT_RECV_EVENT, uEventID) == 16);
static_assert(offsetof(SIMCONNECT_RECV_EVENT, dwData) == 20);
static_assert(offsetof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE, eObjType) == 24);
static_assert(offsetof(SIMCONNECT_RECV_EVENT_FILENAME, szFileName) == 24);
static_assert(offsetof(SIMCONNECT_RECV_EVENT_FILENAME, dwFlags) == 284);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwRequestID) == 12);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwObjectID) == 16);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwDefineID) == 20);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwFlags) == 24);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwentrynumber) == 28);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwoutof) == 32);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwDefineCount) == 36);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData) == 40);
static_assert(offsetof(SIMCONNECT_RECV_CLOUD_STATE, dwArraySize) == 16);
static_assert(offsetof(SIMCONNECT_RECV_CLOUD_STATE, rgbData) == 20);

// The callback that CallDispatch runs once per received message.
using SimDispatchProc = void(PLATFORM_STDCALL*)(SIMCONNECT_RECV* data, SC_DWORD cbData,
                                                void* context);

// The 15 entry points, in the order they are bound.
extern "C" {
using SimOpenFn = SC_HRESULT(PLATFORM_STDCALL*)(SC_HANDLE* handle, const char* name, SC_HWND wnd,
                                                SC_DWORD userEvent, SC_HANDLE event,
                                                SC_DWORD configIndex);
using SimRetrieveStringFn = SC_HRESULT(PLATFORM_STDCALL*)(SIMCONNECT_RECV* data, SC_DWORD cbData,
                                                          void* stringV, char** out,
                                                          SC_DWORD* cbOut);
using SimWeatherRequestCloudStateFn = SC_HRESULT(PLATFORM_STDCALL*)(SC_HANDLE handle,
                                                                    SC_DWORD request, float minLat,
                                                                    float minLon, float minAlt,
                                                                    float maxLat, float maxLon,
                                                                    float maxAlt, SC_DWORD flags);
using SimSetInputGroupStateFn = SC_HRESULT(PLATFORM_STDCALL*)(SC_HANDLE handle, SC_DWORD group,
                                                              SC_DWORD state);
using SimSubscribeToSystemEventFn = SC_HRESULT(PLATFORM_STDCALL*)(SC_HANDLE handle, SC_DWORD event,
                                                                  const char* name);
using SimAddToDataDefinitionFn = SC_HRESULT(PLATFORM_STDCALL*)(SC_HANDLE handle, SC_DWORD define,
                                                               const char* datum, const char* units,
                                                               int32_t type, float epsilon,
                                                               SC_DWORD datumId);
using SimRequestDataOnSimObjectFn = SC_HRESULT(PLATFORM_STDCALL*)(
    SC_HANDLE handle, SC_DWORD request, SC_DWORD define, SC_DWORD object, int32_t period,
    SC_DWORD flags, SC_DWORD origin, SC_DWORD interval, SC_DWORD limit);
using SimMapInputEventToClientEventFn = SC_HRESULT(PLATFORM_STDCALL*)(
    SC_HANDLE handle, SC_DWORD group, const char* input, SC_DWORD downEvent, SC_DWORD downValue,
    SC_DWORD upEvent, SC_DWORD upValue, SC_BOOL maskable);
using SimMapClientEventToSimEventFn = SC_HRESULT(PLATFORM_STDCALL*)(SC_HANDLE handle,
                                                                    SC_DWORD event,
                                                                    const char* name);
using SimAddClientEventToNotificationGroupFn = SC_HRESULT(PLATFORM_STDCALL*)(SC_HANDLE handle,
                                                                             SC_DWORD group,
                                                                             SC_DWORD event,
                                                                             SC_BOOL maskable);
using SimCloseFn = SC_HRESULT(PLATFORM_STDCALL*)(SC_HANDLE handle);
using SimCallDispatchFn = SC_HRESULT(PLATFORM_STDCALL*)(SC_HANDLE handle, SimDispatchProc proc,
                                                        void* context);
using SimRequestDataOnSimObjectTypeFn = SC_HRESULT(PLATFORM_STDCALL*)(
    SC_HANDLE handle, SC_DWORD request, SC_DWORD define, SC_DWORD radius, int32_t type);
using SimSetDataOnSimObjectFn = SC_HRESULT(PLATFORM_STDCALL*)(SC_HANDLE handle, SC_DWORD define,
                                                              SC_DWORD object, SC_DWORD flags,
                                                              SC_DWORD count, SC_DWORD unitSize,
                                                              void* data);
using SimTransmitClientEventFn = SC_HRESULT(PLATFORM_STDCALL*)(SC_HANDLE handle, SC_DWORD object,
                                                               SC_DWORD event, SC_DWORD data,
                                                               SC_DWORD group, SC_DWORD flags);
}

// The entry points taken from the loaded library, in binding order. Written once by
// LoadSimConnect on the main thread before any worker thread exists; read by every thread.
struct SimApiTable {
    SimOpenFn Open;
    SimRetrieveStringFn RetrieveString;
    SimWeatherRequestCloudStateFn WeatherRequestCloudState;
    SimSetInputGroupStateFn SetInputGroupState;
    SimSubscribeToSystemEventFn SubscribeToSystemEvent;
    SimAddToDataDefinitionFn AddToDataDefinition;
    SimRequestDataOnSimObjectFn RequestDataOnSimObject;
    SimMapInputEventToClientEventFn MapInputEventToClientEvent;
    SimMapClientEventToSimEventFn MapClientEventToSimEvent;
    SimAddClientEventToNotificationGroupFn AddClientEventToNotificationGroup;
    SimCloseFn Close;
    SimCallDispatchFn CallDispatch;
    SimRequestDataOnSimObjectTypeFn RequestDataOnSimObjectType;
    SimSetDataOnSimObjectFn SetDataOnSimObject;
    SimTransmitClientEventFn TransmitClientEvent;
};

extern SimApiTable SimApi;
