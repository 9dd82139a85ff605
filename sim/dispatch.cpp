// The dispatch handler (see sim/dispatch.h).
//
// Message sizes: the library hands over each message with its length. Every kind is checked
// against the fixed size of the bytes the handler reads (the header and fields of its record,
// and for data messages the whole record of the definition) before anything is read; a
// shorter message is dropped without a word, as a damaged message should not reach the
// blocks nor flood the console. A longer one is accepted and only the record's own bytes
// are used.
#include "sim/dispatch.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "net/blocks.h"
#include "sim/events.h"
#include "sim/guarded.h"
#include "sim/session.h"
#include "sim/traffic.h"
#include "support/log.h"
#include "support/process.h"

// Main thread only: set from the model answers, copied into Block1 after each Block1 record.
int32_t AircraftType = AIRCRAFT_OTHER;

namespace {

constexpr int32_t DISPATCH_LOG_LEVEL = 10;
constexpr size_t EXCEPTION_TEXT_SIZE = 400;

// Where the delivered record starts inside a data message.
constexpr SC_DWORD DATA_RECORD_OFFSET = offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData);
// Records of the data definitions that do not go into a block.
constexpr SC_DWORD MODEL_RECORD_SIZE = 32;   // definition 4: one STRING32
constexpr SC_DWORD TRAFFIC_RECORD_SIZE = 24; // definition 5: three doubles
constexpr SC_DWORD CLOUD_HEADER_SIZE = offsetof(SIMCONNECT_RECV_CLOUD_STATE, rgbData);
constexpr uint32_t CLOUD_GRID_CELLS = CLOUD_GRID_SIDE * CLOUD_GRID_SIDE;

const uint8_t* Bytes(const SIMCONNECT_RECV* data) {
    return reinterpret_cast<const uint8_t*>(data);
}

// Reads a received record of type T (packed, any alignment) from the start of the message.
template <typename T> T ReadRecord(const SIMCONNECT_RECV* data) {
    T record;
    memcpy(&record, data, sizeof(T));
    return record;
}

void HandleException(const SIMCONNECT_RECV* data, SC_DWORD cbData) {
    if (cbData < sizeof(SIMCONNECT_RECV_EXCEPTION)) {
        return;
    }
    auto ex = ReadRecord<SIMCONNECT_RECV_EXCEPTION>(data);
    ConsolePrint("RECV_ID_EXCEPTION\n");
    char line[EXCEPTION_TEXT_SIZE];
    snprintf(line, sizeof(line), "EXCEPTION=%d  SendID=%d  Index=%d  cbData=%d\n",
             static_cast<int>(ex.dwException), static_cast<int>(ex.dwSendID),
             static_cast<int>(ex.dwIndex), static_cast<int>(cbData));
    SimLogLevel(DISPATCH_LOG_LEVEL, line);
}

void HandleQuit() {
    ConsolePrint("Quit received\n");
    // The connection is dropped, not closed: the simulator has ended it, and the other
    // threads may still be inside a call on this handle.
    hSimConnect.store(nullptr);
    SimQuit.store(true);
}

void HandleEvent(SC_DWORD eventId, SC_DWORD eventData) {
    switch (eventId) {
    case EVENT_SIM_START:
        SimLog("Sim start event.\n");
        SetInputState();
        break;
    case EVENT_MY_EVENT:
        ConsolePrint("MESSAGE RECEIVED EVENT\n");
        break;
    case EVENT_CRASHED:
        SimLog("Sim aircraft crash cvent\n");
        BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
        break;
    case EVENT_MY_KEY:
        ConsolePrint("Event KEY RECEIVED. EVT: %d\n", static_cast<int>(eventData));
        break;
    default:
        break;
    }
}

void HandleObjectAddRemove(const SIMCONNECT_RECV* data, SC_DWORD cbData) {
    if (cbData < sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE)) {
        return;
    }
    auto msg = ReadRecord<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(data);
    int objectId = static_cast<int>(msg.Event.dwData);
    if (msg.Event.uEventID == EVENT_OBJECT_ADDED) {
        ConsolePrint("AI object added: Type=%d, ObjectID=%d\n", static_cast<int>(msg.eObjType),
                     objectId);
        if (msg.eObjType == SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) {
            RequestSimObjectData(SIMCONNECT_PERIOD_ONCE, msg.Event.dwData, REQUEST_AI_OBJECT,
                                 DEFINITION_AI_OBJECT);
        }
    } else if (msg.Event.uEventID == EVENT_OBJECT_REMOVED) {
        ConsolePrint("AI object removed: Type=%d, ObjectID=%d\n", static_cast<int>(msg.eObjType),
                     objectId);
    }
}

void HandleFileName(const SIMCONNECT_RECV* data, SC_DWORD cbData) {
    // Only the event fields are read; the file name is not used.
    if (cbData < sizeof(SIMCONNECT_RECV_EVENT)) {
        return;
    }
    auto msg = ReadRecord<SIMCONNECT_RECV_EVENT>(data);
    if (msg.uEventID == EVENT_FLIGHT_LOADED) {
        BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 1);
        SimLog("Sim flight loaded event.\n");
    } else if (msg.uEventID == EVENT_AIRCRAFT_LOADED) {
        SimLog("Sim aircraft loaded event.\n");
    } else {
        HandleEvent(msg.uEventID, msg.dwData);
    }
}

// The model text, compared with each name and its terminator; at most that many bytes of it
// are read.
int32_t AircraftTypeOf(const char* text) {
    for (const AircraftModel& model : AIRCRAFT_MODELS) {
        if (strncmp(text, model.Name, strlen(model.Name) + 1) == 0) {
            return model.Code;
        }
    }
    return AIRCRAFT_OTHER;
}

void HandleModel(SIMCONNECT_RECV* data, SC_DWORD cbData) {
    if (cbData < DATA_RECORD_OFFSET + MODEL_RECORD_SIZE) {
        return;
    }
    void* field = const_cast<uint8_t*>(Bytes(data)) + DATA_RECORD_OFFSET;
    char* text = nullptr;
    SC_DWORD length = 0;
    if (SimApi.RetrieveString(data, cbData, field, &text, &length) < 0 || text == nullptr) {
        return;
    }
    AircraftType = AircraftTypeOf(text);
}

// The session's four requests on the user's aircraft.
bool IsUserAircraftRequest(SC_DWORD request) {
    return request == REQUEST_BLOCK3 || request == REQUEST_BLOCK2 || request == REQUEST_BLOCK1 ||
           request == REQUEST_MODEL;
}

void HandleObjectData(SIMCONNECT_RECV* data, SC_DWORD cbData) {
    if (cbData < sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA)) {
        return;
    }
    auto msg = ReadRecord<SIMCONNECT_RECV_SIMOBJECT_DATA>(data);
    const uint8_t* record = Bytes(data) + DATA_RECORD_OFFSET;
    if (TrafficSetting.UserById && IsUserAircraftRequest(msg.dwRequestID)) {
        NoteUserObjectId(msg.dwObjectID); // the setting user-aircraft-id
    }
    switch (msg.dwRequestID) {
    case REQUEST_BLOCK3:
        if (cbData >= DATA_RECORD_OFFSET + BLOCK3_RECORD_SIZE) {
            BlockPublish(Block3, BLOCK_PAYLOAD, record, BLOCK3_RECORD_SIZE);
        }
        break;
    case REQUEST_BLOCK2:
        if (cbData >= DATA_RECORD_OFFSET + BLOCK2_RECORD_SIZE) {
            BlockPublish(Block2, BLOCK_PAYLOAD, record, BLOCK2_RECORD_SIZE);
        }
        break;
    case REQUEST_BLOCK1:
        if (cbData >= DATA_RECORD_OFFSET + BLOCK1_RECORD_SIZE) {
            BlockPublish(Block1, BLOCK_PAYLOAD, record, BLOCK1_RECORD_SIZE);
            BlockSetI32(Block1, BLOCK1_AIRCRAFT_TYPE, AircraftType);
        }
        break;
    case REQUEST_MODEL:
        HandleModel(data, cbData);
        break;
    default:
        break;
    }
}

void HandleTraffic(const SIMCONNECT_RECV* data, SC_DWORD cbData) {
    if (cbData < DATA_RECORD_OFFSET + TRAFFIC_RECORD_SIZE) {
        return;
    }
    auto msg = ReadRecord<SIMCONNECT_RECV_SIMOBJECT_DATA>(data);
    if (msg.dwRequestID != REQUEST_TRAFFIC) {
        return;
    }
    double position[3];
    memcpy(position, Bytes(data) + DATA_RECORD_OFFSET, sizeof(position));
    if (msg.dwentrynumber == 1) {
        TransferTraffic();
    }
    // A height that is not a number fails the comparison and is not listed; the user's own
    // aircraft, which the library answers with too, is left out by the table (object 1, and
    // with the setting user-aircraft-id the id of the user-aircraft answers).
    if (position[2] > TRAFFIC_MIN_ALTITUDE_FT) {
        AddTraffic(msg.dwObjectID, position[0], position[1], position[2]);
    }
}

// Prints the cells that the message really holds: no more than dwArraySize, no more than
// fit in cbData, no more than the 64 x 64 grid. Rows are 64 cells; a short last row is
// printed as far as it goes, and the blank line closes the grid in every case.
void HandleCloudState(const SIMCONNECT_RECV* data, SC_DWORD cbData) {
    if (cbData < CLOUD_HEADER_SIZE) {
        return;
    }
    SC_DWORD arraySize;
    memcpy(&arraySize, Bytes(data) + offsetof(SIMCONNECT_RECV_CLOUD_STATE, dwArraySize),
           sizeof(arraySize));
    ConsolePrint("%d\n", static_cast<int>(arraySize));
    uint32_t cells = cbData - CLOUD_HEADER_SIZE;
    if (arraySize < cells) {
        cells = arraySize;
    }
    if (CLOUD_GRID_CELLS < cells) {
        cells = CLOUD_GRID_CELLS;
    }
    const uint8_t* grid = Bytes(data) + CLOUD_HEADER_SIZE;
    char line[CLOUD_GRID_SIDE + 1];
    for (uint32_t row = 0; row * CLOUD_GRID_SIDE < cells; ++row) {
        uint32_t n = 0;
        for (uint32_t col = 0; col < CLOUD_GRID_SIDE && row * CLOUD_GRID_SIDE + col < cells;
             ++col) {
            uint8_t cell = grid[row * CLOUD_GRID_SIDE + col];
            line[n++] = static_cast<char>('0' + static_cast<int>(cell / 25.6));
        }
        line[n] = '\0';
        ConsolePrint("%s\n", line);
    }
    ConsolePrint("\n");
}

} // namespace

void PLATFORM_STDCALL HandleSimMsgs(SIMCONNECT_RECV* data, SC_DWORD cbData, void* context) {
    (void)context;
    if (data == nullptr || cbData < sizeof(SIMCONNECT_RECV)) {
        return;
    }
    switch (ReadRecord<SIMCONNECT_RECV>(data).dwID) {
    case SIMCONNECT_RECV_ID_EXCEPTION:
        HandleException(data, cbData);
        break;
    case SIMCONNECT_RECV_ID_OPEN:
        SimLogLevel(DISPATCH_LOG_LEVEL, "SimConnect Open Event received\n");
        break;
    case SIMCONNECT_RECV_ID_QUIT:
        HandleQuit();
        break;
    case SIMCONNECT_RECV_ID_EVENT:
        if (cbData >= sizeof(SIMCONNECT_RECV_EVENT)) {
            auto msg = ReadRecord<SIMCONNECT_RECV_EVENT>(data);
            HandleEvent(msg.uEventID, msg.dwData);
        }
        break;
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
        HandleObjectAddRemove(data, cbData);
        break;
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
        HandleFileName(data, cbData);
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        HandleObjectData(data, cbData);
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
        HandleTraffic(data, cbData);
        break;
    case SIMCONNECT_RECV_ID_CLOUD_STATE:
        HandleCloudState(data, cbData);
        break;
    default:
        break;
    }
}
