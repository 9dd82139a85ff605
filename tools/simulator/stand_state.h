// The simulator stand-in's process-wide state: options, the one client connection, the data
// definitions and requests of that connection, its event maps and subscriptions, the queue of
// messages waiting for the next dispatch, and the scripted failures.
//
// The stand-in's files stand in layers, each using only those below it: the journal
// (stand_journal) and this state at the bottom, then the flight (stand_flight) and the replay
// (stand_replay), the messages of a dispatch (stand_records), the control channel
// (stand_control) and the entry points (stand_entry) on top. Nothing here calls up: what the
// layers above keep of their own (the flight's set values, the replay) they forget in their own
// resets, which the control channel's `reset` calls together with StandForget.
//
// Every record here is guarded by StandMutex: each entry point takes it for its whole body,
// except while the client's dispatch callback runs (CallDispatch releases it around every
// callback). The flight's own values live in stand_flight.cpp under the same mutex.
#pragma once

#include <cstdint>
#include "stand_lock.h"

#include "stand_api.h"

constexpr int32_t STAND_E_FAIL = static_cast<int32_t>(0x80004005u);

constexpr uint32_t STAND_NAME_LEN = 64; // datum names, units, event and input names
constexpr uint32_t STAND_MAX_DEFINITIONS = 16;
constexpr uint32_t STAND_MAX_DATUMS = 128; // per definition
constexpr uint32_t STAND_MAX_REQUESTS = 32;
constexpr uint32_t STAND_MAX_CLIENT_EVENTS = 256;
constexpr uint32_t STAND_MAX_SUBSCRIPTIONS = 32;
constexpr uint32_t STAND_MAX_INPUTS = 16;
constexpr uint32_t STAND_MAX_GROUPS = 16; // input groups and notification-group members
constexpr uint32_t STAND_MAX_PENDING = 256;
constexpr uint32_t STAND_MAX_TRAFFIC = 100;
constexpr uint32_t STAND_GENERATION_BURST = 50; // records per visual-frame request and dispatch

// The entry points, in the order of the client's binding table; indexes StandFailLeft.
enum StandEntry : int32_t {
    ENTRY_OPEN,
    ENTRY_RETRIEVE_STRING,
    ENTRY_WEATHER_REQUEST_CLOUD_STATE,
    ENTRY_SET_INPUT_GROUP_STATE,
    ENTRY_SUBSCRIBE_TO_SYSTEM_EVENT,
    ENTRY_ADD_TO_DATA_DEFINITION,
    ENTRY_REQUEST_DATA_ON_SIM_OBJECT,
    ENTRY_MAP_INPUT_EVENT_TO_CLIENT_EVENT,
    ENTRY_MAP_CLIENT_EVENT_TO_SIM_EVENT,
    ENTRY_ADD_CLIENT_EVENT_TO_NOTIFICATION_GROUP,
    ENTRY_CLOSE,
    ENTRY_CALL_DISPATCH,
    ENTRY_REQUEST_DATA_ON_SIM_OBJECT_TYPE,
    ENTRY_SET_DATA_ON_SIM_OBJECT,
    ENTRY_TRANSMIT_CLIENT_EVENT,
    ENTRY_COUNT,
};
// Entry point names without the "SimConnect_" prefix, as the journal and `fail` use them.
extern const char* const STAND_ENTRY_NAMES[ENTRY_COUNT];

struct StandDatum {
    char Name[STAND_NAME_LEN];  // as declared
    char Units[STAND_NAME_LEN]; // as declared; empty when declared without units
    int32_t Type;               // SIMCONNECT_DATATYPE number
    uint32_t Size;              // bytes in the packed record
};

struct StandDefinition {
    bool Used;
    uint32_t Id;
    uint32_t Count;
    uint32_t RecordSize; // sum of the datum sizes
    StandDatum Datums[STAND_MAX_DATUMS];
};

struct StandRequest {
    bool Used;
    uint32_t Id;
    uint32_t Define;
    uint32_t Object;
    int32_t Period;
    bool Delivered;  // at least one record went out
    uint64_t LastMs; // time of the last record
    uint64_t Frame;  // every-frame mode: the visual frame of the last record
};

struct StandClientEvent {
    uint32_t Id;
    char Name[STAND_NAME_LEN];
};

struct StandSubscription {
    uint32_t Id;
    char Name[STAND_NAME_LEN];
};

struct StandInput {
    uint32_t Group;
    char Input[STAND_NAME_LEN];
    uint32_t DownEvent;
    uint32_t DownValue;
    uint32_t UpEvent;
    uint32_t UpValue;
};

struct StandGroupState {
    uint32_t Group;
    uint32_t State;
};

struct StandGroupMember {
    uint32_t Group;
    uint32_t Event;
};

// A message waiting for the next dispatch. Records are built only when they are delivered.
enum StandPendingKind : int32_t {
    PENDING_OPEN,
    PENDING_QUIT,
    PENDING_EXCEPTION,    // A = exception code, B = send id, C = parameter index
    PENDING_SYSTEM_EVENT, // Name = system event name; delivered only when subscribed
    PENDING_CLIENT_EVENT, // A = client event id, B = data, C = group
    PENDING_BYTYPE,       // A = request, B = definition, C = radius in metres, D = object type
    PENDING_CLOUD,        // A = request
};

struct StandPending {
    StandPendingKind Kind;
    uint32_t Connection; // the connection it belongs to; 0 = whichever is open when delivered
    uint32_t A;
    uint32_t B;
    uint32_t C;
    uint32_t D;
    char Name[32];
};

// Options from the environment (read once, at the first call) and the control channel.
struct StandOptions {
    bool Running;          // false: Open fails and an open connection receives nothing
    int32_t FrameHz;       // visual frames per second
    char Model[32];        // "ATC MODEL" text
    uint32_t Traffic;      // AI aircraft count
    bool Generation;       // generation mode (records filled with a rising counter)
    char JournalPath[260]; // empty: no journal
    bool JournalRecords;   // journal each delivered message's bytes as hex
    bool JournalTimes;     // end each journal line with its wall-clock time in microseconds
    bool EveryFrame;       // one record per visual frame since the last, not one per dispatch
    char ControlPath[260]; // empty: no control channel
    uint32_t UserId;       // the user's aircraft's object id in the answers (1 at start)
};

struct StandConnection {
    uint32_t Serial;      // 0 = no connection; else the handle's number
    uint32_t Dispatches;  // dispatch calls on this connection so far
    bool SimStartPending; // "SimStart" still to be sent
};

// All of the above. Guarded by StandMutex.
struct StandState {
    bool Started;     // options read
    uint64_t StartMs; // steady clock at start, the flight's time zero
    StandOptions Options;
    StandConnection Conn;
    uint32_t NextSerial;
    int32_t FailLeft[ENTRY_COUNT]; // scripted failures: >0 count, -1 always, 0 none
    // Scripted late failures, as the real library reports a bad request: the call succeeds
    // and an EXCEPTION naming its send id comes with a later dispatch. Counts as FailLeft.
    int32_t LateFailLeft[ENTRY_COUNT];
    uint32_t LateFailCode[ENTRY_COUNT]; // the exception code each one reports
    uint32_t LastSendId;                // every call is one packet sent; numbered from 1
    StandDefinition Definitions[STAND_MAX_DEFINITIONS];
    StandRequest Requests[STAND_MAX_REQUESTS];
    StandClientEvent ClientEvents[STAND_MAX_CLIENT_EVENTS];
    uint32_t ClientEventCount;
    StandSubscription Subscriptions[STAND_MAX_SUBSCRIPTIONS];
    uint32_t SubscriptionCount;
    StandInput Inputs[STAND_MAX_INPUTS];
    uint32_t InputCount;
    StandGroupState GroupStates[STAND_MAX_GROUPS];
    uint32_t GroupStateCount;
    StandGroupMember Members[STAND_MAX_GROUPS];
    uint32_t MemberCount;
    StandPending Pending[STAND_MAX_PENDING];
    uint32_t PendingCount;
    uint32_t GenerationCounter; // next generation number (generation mode)
    int64_t ControlOffset;      // bytes of the control file already executed
};

// The stand-in's state; written and read by every entry point, always under StandMutex.
extern StandState Stand;
// Guards Stand and the flight values; never held while the client's callback runs.
extern StandLock StandMutex;

// Milliseconds of the steady clock.
uint64_t StandNowMs();
// Seconds of flight since the start.
double StandFlightSeconds();
// Reads the options from the environment at the first call, opens the journal and applies
// KIVSIM_FAIL (caller holds StandMutex).
void StandEnsureStarted();
// Forgets this state, as at load time; the environment is read again at the next call.
void StandForget();
// Ends the open connection and clears everything that belongs to it (caller holds the lock).
void StandDropConnection();
// True when `handle` is the open connection's handle.
bool StandHandleIsOpen(SC_HANDLE handle);
SC_HANDLE StandHandleOf(uint32_t serial);

// Appends a message for the next dispatch; false when the queue is full.
bool StandQueue(StandPendingKind kind, uint32_t connection, uint32_t a, uint32_t b, uint32_t c,
                const char* name, uint32_t d = 0);

// Lookups on the open connection; null when absent.
StandDefinition* StandFindDefinition(uint32_t id, bool create);
StandRequest* StandFindRequest(uint32_t id, bool create);
const char* StandClientEventName(uint32_t id);
const StandSubscription* StandFindSubscription(const char* name);
uint32_t StandInputGroupState(uint32_t group);
// The notification group holding `event`, or SIMCONNECT_UNUSED.
uint32_t StandNotificationGroupOf(uint32_t event);

// Consumes one scripted failure of `entry`; true when this call is to fail.
bool StandTakeFailure(StandEntry entry);
// Scripts failures from the arguments of a `fail` command, "<Entry> <n>": the next n calls of
// Entry fail (-1: all, 0: none). False when they are not understood.
bool StandScriptFailure(const char* args);
// Applies a list of `fail` commands separated by ';' ("Open 2;CallDispatch -1"; the word
// "fail" in front of each is optional), each journalled as a CONTROL line.
void StandApplyFailList(const char* list);
// Numbers this call's packet and consumes one scripted late failure of `entry`, queueing its
// EXCEPTION; the call itself succeeds.
void StandTakeLateFailure(StandEntry entry);
// Entry index for a name (case-insensitive, with or without "SimConnect_"); -1 if unknown.
int32_t StandEntryByName(const char* name);

// Case-insensitive string comparison and bounded copy.
bool StandSameText(const char* a, const char* b);
void StandCopyText(char* dst, uint32_t size, const char* src);
// Command texts: `s` past its blanks; the first word of `line` (lower case, into `word` of
// `size` bytes) and the text after it; a whole text as an integer (decimal, or hex with 0x).
const char* StandSkipBlanks(const char* s);
const char* StandSplitWord(const char* line, char* word, uint32_t size);
bool StandParseInt(const char* text, int64_t* out);
