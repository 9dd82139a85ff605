// The 15 exported entry points of the stand-in "SimConnect.dll".
//
// Each call takes StandMutex for its whole body, except CallDispatch, which releases it
// around every callback so that the client may call back into the library from its handler
// (and other threads may call it meanwhile). Failures return 0x80004005, as the vendor's
// library does; each call writes one CALL line to the journal.
// The top of the stand-in's layers (see stand_state.h): it uses every one below.
#include <atomic>
#include <cstring>

#include "stand_control.h"
#include "stand_entry.h"
#include "stand_flight.h"
#include "stand_journal.h"
#include "stand_lock.h"
#include "stand_records.h"
#include "stand_state.h"

namespace {

// Serialises whole dispatches and guards DispatchWork and DispatchBuffer; taken before
// StandMutex, never while it is held.
StandLock DispatchMutex;
StandWork DispatchWork[STAND_MAX_WORK];
alignas(8) uint8_t DispatchBuffer[STAND_MESSAGE_MAX];
// Set on the thread that is inside CallDispatch, so that a dispatch called from the handler
// fails rather than deadlocks.
thread_local bool InDispatch = false;

// Starts a call: reads the options once, consumes a scripted failure and checks the handle.
int32_t Begin(StandEntry entry, bool checkHandle, SC_HANDLE handle) {
    StandEnsureStarted();
    if (StandTakeFailure(entry) || (checkHandle && !StandHandleIsOpen(handle))) {
        return STAND_E_FAIL;
    }
    StandTakeLateFailure(entry);
    return 0;
}

const char* Text(const char* s) {
    return s != nullptr ? s : "";
}

bool AddClientEvent(uint32_t id, const char* name) {
    for (uint32_t i = 0; i < Stand.ClientEventCount; ++i) {
        if (Stand.ClientEvents[i].Id == id) {
            StandCopyText(Stand.ClientEvents[i].Name, STAND_NAME_LEN, name);
            return true;
        }
    }
    if (Stand.ClientEventCount >= STAND_MAX_CLIENT_EVENTS) {
        return false;
    }
    StandClientEvent& e = Stand.ClientEvents[Stand.ClientEventCount++];
    e.Id = id;
    StandCopyText(e.Name, STAND_NAME_LEN, name);
    return true;
}

// Sets the datums of `def` from one packed record (SetDataOnSimObject).
void UnpackRecord(const StandDefinition& def, const uint8_t* record) {
    for (uint32_t i = 0; i < def.Count; ++i) {
        const StandDatum& d = def.Datums[i];
        if (d.Type == SIMCONNECT_DATATYPE_INT32) {
            int32_t v = 0;
            std::memcpy(&v, record, 4);
            FlightSet(d.Name, v);
        } else if (d.Type == SIMCONNECT_DATATYPE_FLOAT64) {
            double v = 0.0;
            std::memcpy(&v, record, 8);
            FlightSet(d.Name, v);
        } else if (d.Type == SIMCONNECT_DATATYPE_STRING32 && StandSameText(d.Name, "ATC MODEL")) {
            char text[33] = {};
            std::memcpy(text, record, 32);
            StandCopyText(Stand.Options.Model, sizeof Stand.Options.Model, text);
        }
        record += d.Size;
    }
}

} // namespace

extern "C" {

SC_HRESULT PLATFORM_STDCALL SimConnect_Open(SC_HANDLE* handle, const char* name, SC_HWND wnd,
                                            SC_DWORD userEvent, SC_HANDLE event,
                                            SC_DWORD configIndex) {
    std::lock_guard<StandLock> lock(StandMutex);
    StandEnsureStarted();
    StandPollControl();
    int32_t r = Begin(ENTRY_OPEN, false, nullptr);
    if (r == 0 && (!Stand.Options.Running || handle == nullptr)) {
        r = STAND_E_FAIL;
    }
    if (r == 0) {
        // One client at a time: a new connection replaces the one before.
        StandDropConnection();
        Stand.Conn.Serial = Stand.NextSerial++;
        Stand.Conn.SimStartPending = true;
        StandQueue(PENDING_OPEN, Stand.Conn.Serial, 0, 0, 0, "");
        *handle = StandHandleOf(Stand.Conn.Serial);
    } else if (handle != nullptr) {
        *handle = nullptr;
    }
    StandJournal("CALL Open name=%s -> %d", Text(name), r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_RetrieveString(SIMCONNECT_RECV* data, SC_DWORD cbData,
                                                      void* stringV, char** out, SC_DWORD* cbOut) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_RETRIEVE_STRING, false, nullptr);
    auto base = reinterpret_cast<uintptr_t>(data);
    auto at = reinterpret_cast<uintptr_t>(stringV);
    long long offset = static_cast<long long>(at - base);
    if (r == 0 && (data == nullptr || stringV == nullptr || out == nullptr || at < base ||
                   at >= base + cbData)) {
        r = STAND_E_FAIL;
    }
    if (r == 0) {
        // The text must end inside the message.
        auto text = static_cast<const char*>(stringV);
        size_t room = static_cast<size_t>(base + cbData - at);
        const void* end = std::memchr(text, '\0', room);
        if (end == nullptr) {
            r = STAND_E_FAIL;
        } else {
            *out = const_cast<char*>(text);
            if (cbOut != nullptr) {
                *cbOut = static_cast<SC_DWORD>(static_cast<const char*>(end) - text + 1);
            }
        }
    }
    StandJournal("CALL RetrieveString size=%u offset=%lld -> %d", cbData, offset, r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_WeatherRequestCloudState(SC_HANDLE handle, SC_DWORD request,
                                                                float minLat, float minLon,
                                                                float minAlt, float maxLat,
                                                                float maxLon, float maxAlt,
                                                                SC_DWORD flags) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_WEATHER_REQUEST_CLOUD_STATE, true, handle);
    if (r == 0 && !StandQueue(PENDING_CLOUD, Stand.Conn.Serial, request, 0, 0, "")) {
        r = STAND_E_FAIL;
    }
    StandJournal("CALL WeatherRequestCloudState request=%u -> %d", request, r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_SetInputGroupState(SC_HANDLE handle, SC_DWORD group,
                                                          SC_DWORD state) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_SET_INPUT_GROUP_STATE, true, handle);
    if (r == 0) {
        uint32_t i = 0;
        while (i < Stand.GroupStateCount && Stand.GroupStates[i].Group != group) {
            ++i;
        }
        if (i == STAND_MAX_GROUPS) {
            r = STAND_E_FAIL;
        } else {
            Stand.GroupStates[i] = StandGroupState{group, state};
            Stand.GroupStateCount += (i == Stand.GroupStateCount) ? 1 : 0;
        }
    }
    StandJournal("CALL SetInputGroupState group=%u state=%u -> %d", group, state, r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_SubscribeToSystemEvent(SC_HANDLE handle, SC_DWORD event,
                                                              const char* name) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_SUBSCRIBE_TO_SYSTEM_EVENT, true, handle);
    if (r == 0 && (name == nullptr || Stand.SubscriptionCount >= STAND_MAX_SUBSCRIPTIONS)) {
        r = STAND_E_FAIL;
    }
    if (r == 0) {
        StandSubscription& s = Stand.Subscriptions[Stand.SubscriptionCount++];
        s.Id = event;
        StandCopyText(s.Name, sizeof s.Name, name);
    }
    StandJournal("CALL SubscribeToSystemEvent event=%u name=%s -> %d", event, Text(name), r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_AddToDataDefinition(SC_HANDLE handle, SC_DWORD define,
                                                           const char* datum, const char* units,
                                                           int32_t type, float epsilon,
                                                           SC_DWORD datumId) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_ADD_TO_DATA_DEFINITION, true, handle);
    uint32_t size = StandDatumSize(type);
    StandDefinition* def = nullptr;
    if (r == 0 && datum != nullptr && size != 0) {
        def = StandFindDefinition(define, true);
    }
    if (def == nullptr || def->Count >= STAND_MAX_DATUMS ||
        def->RecordSize + size > STAND_MAX_RECORD) {
        r = STAND_E_FAIL;
    }
    if (r == 0) {
        StandDatum& d = def->Datums[def->Count++];
        StandCopyText(d.Name, sizeof d.Name, datum);
        StandCopyText(d.Units, sizeof d.Units, Text(units));
        d.Type = type;
        d.Size = size;
        def->RecordSize += size;
    }
    // Units given as no pointer at all show as units=null, an empty text as units="".
    if (units == nullptr) {
        StandJournal("CALL AddToDataDefinition define=%u datum=\"%s\" units=null type=%d -> %d",
                     define, Text(datum), type, r);
    } else {
        StandJournal("CALL AddToDataDefinition define=%u datum=\"%s\" units=\"%s\" type=%d -> %d",
                     define, Text(datum), units, type, r);
    }
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_RequestDataOnSimObject(SC_HANDLE handle, SC_DWORD request,
                                                              SC_DWORD define, SC_DWORD object,
                                                              int32_t period, SC_DWORD flags,
                                                              SC_DWORD origin, SC_DWORD interval,
                                                              SC_DWORD limit) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_REQUEST_DATA_ON_SIM_OBJECT, true, handle);
    if (r == 0 && (period < SIMCONNECT_PERIOD_NEVER || period > SIMCONNECT_PERIOD_SECOND)) {
        r = STAND_E_FAIL;
    }
    if (r == 0 && period == SIMCONNECT_PERIOD_NEVER) {
        if (StandRequest* old = StandFindRequest(request, false)) {
            old->Used = false;
        }
    } else if (r == 0) {
        // A request id asked again replaces its earlier request.
        StandRequest* req = StandFindRequest(request, true);
        if (req == nullptr) {
            r = STAND_E_FAIL;
        } else {
            *req = StandRequest{true, request, define, object, period, false, 0, 0};
        }
    }
    StandJournal("CALL RequestDataOnSimObject request=%u define=%u object=%u period=%d -> %d",
                 request, define, object, period, r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_MapInputEventToClientEvent(
    SC_HANDLE handle, SC_DWORD group, const char* input, SC_DWORD downEvent, SC_DWORD downValue,
    SC_DWORD upEvent, SC_DWORD upValue, SC_BOOL maskable) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_MAP_INPUT_EVENT_TO_CLIENT_EVENT, true, handle);
    if (r == 0 && (input == nullptr || Stand.InputCount >= STAND_MAX_INPUTS)) {
        r = STAND_E_FAIL;
    }
    if (r == 0) {
        StandInput& in = Stand.Inputs[Stand.InputCount++];
        in = StandInput{group, {}, downEvent, downValue, upEvent, upValue};
        StandCopyText(in.Input, sizeof in.Input, input);
    }
    StandJournal("CALL MapInputEventToClientEvent group=%u input=%s down=%u downvalue=%u up=%u "
                 "upvalue=%u maskable=%d -> %d",
                 group, Text(input), downEvent, downValue, upEvent, upValue, maskable, r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_MapClientEventToSimEvent(SC_HANDLE handle, SC_DWORD event,
                                                                const char* name) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_MAP_CLIENT_EVENT_TO_SIM_EVENT, true, handle);
    if (r == 0 && (name == nullptr || !AddClientEvent(event, name))) {
        r = STAND_E_FAIL;
    }
    StandJournal("CALL MapClientEventToSimEvent event=%u name=%s -> %d", event, Text(name), r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_AddClientEventToNotificationGroup(SC_HANDLE handle,
                                                                         SC_DWORD group,
                                                                         SC_DWORD event,
                                                                         SC_BOOL maskable) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_ADD_CLIENT_EVENT_TO_NOTIFICATION_GROUP, true, handle);
    if (r == 0 && Stand.MemberCount >= STAND_MAX_GROUPS) {
        r = STAND_E_FAIL;
    }
    if (r == 0) {
        Stand.Members[Stand.MemberCount++] = StandGroupMember{group, event};
    }
    StandJournal("CALL AddClientEventToNotificationGroup group=%u event=%u maskable=%d -> %d",
                 group, event, maskable, r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_Close(SC_HANDLE handle) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_CLOSE, true, handle);
    if (r == 0) {
        StandDropConnection();
    }
    StandJournal("CALL Close -> %d", r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_CallDispatch(SC_HANDLE handle, SimDispatchProc proc,
                                                    void* context) {
    if (InDispatch) {
        std::lock_guard<StandLock> lock(StandMutex);
        StandJournal("CALL CallDispatch nested=1 -> %d", STAND_E_FAIL);
        return STAND_E_FAIL;
    }
    std::lock_guard<StandLock> dispatchLock(DispatchMutex);
    uint32_t count = 0;
    {
        std::lock_guard<StandLock> lock(StandMutex);
        StandEnsureStarted();
        StandPollControl();
        int32_t r = Begin(ENTRY_CALL_DISPATCH, true, handle);
        if (r == 0 && proc == nullptr) {
            r = STAND_E_FAIL;
        }
        StandJournal("CALL CallDispatch -> %d", r);
        if (r != 0) {
            return r;
        }
        count = StandPlanDispatch(DispatchWork, STAND_MAX_WORK, StandNowMs());
        ++Stand.Conn.Dispatches;
    }
    InDispatch = true;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        {
            std::lock_guard<StandLock> lock(StandMutex);
            size = StandBuildMessage(DispatchWork[i], DispatchBuffer);
        }
        if (size == 0) {
            continue;
        }
        StandJournalDeliver(DispatchBuffer, size);
        proc(reinterpret_cast<SIMCONNECT_RECV*>(DispatchBuffer), size, context);
    }
    InDispatch = false;
    return 0;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_RequestDataOnSimObjectType(SC_HANDLE handle,
                                                                  SC_DWORD request, SC_DWORD define,
                                                                  SC_DWORD radius, int32_t type) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_REQUEST_DATA_ON_SIM_OBJECT_TYPE, true, handle);
    if (r == 0) {
        // A request still waiting for its answer is answered once.
        bool waiting = false;
        for (uint32_t i = 0; i < Stand.PendingCount; ++i) {
            const StandPending& p = Stand.Pending[i];
            waiting |= p.Kind == PENDING_BYTYPE && p.Connection == Stand.Conn.Serial &&
                       p.A == request && p.B == define;
        }
        if (!waiting && !StandQueue(PENDING_BYTYPE, Stand.Conn.Serial, request, define, radius, "",
                                    static_cast<uint32_t>(type))) {
            r = STAND_E_FAIL;
        }
    }
    StandJournal("CALL RequestDataOnSimObjectType request=%u define=%u radius=%u type=%d -> %d",
                 request, define, radius, type, r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_SetDataOnSimObject(SC_HANDLE handle, SC_DWORD define,
                                                          SC_DWORD object, SC_DWORD flags,
                                                          SC_DWORD count, SC_DWORD unitSize,
                                                          void* data) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_SET_DATA_ON_SIM_OBJECT, true, handle);
    const StandDefinition* def = StandFindDefinition(define, false);
    if (r == 0 && (def == nullptr || data == nullptr || count == 0 ||
                   static_cast<uint64_t>(count) * unitSize < def->RecordSize)) {
        r = STAND_E_FAIL;
    }
    if (r == 0 && (object == SIMCONNECT_OBJECT_ID_USER || object == Stand.Options.UserId)) {
        UnpackRecord(*def, static_cast<const uint8_t*>(data));
    }
    StandJournal("CALL SetDataOnSimObject define=%u object=%u flags=%u count=%u unitsize=%u -> %d",
                 define, object, flags, count, unitSize, r);
    return r;
}

SC_HRESULT PLATFORM_STDCALL SimConnect_TransmitClientEvent(SC_HANDLE handle, SC_DWORD object,
                                                           SC_DWORD event, SC_DWORD data,
                                                           SC_DWORD group, SC_DWORD flags) {
    std::lock_guard<StandLock> lock(StandMutex);
    int32_t r = Begin(ENTRY_TRANSMIT_CLIENT_EVENT, true, handle);
    const char* name = StandClientEventName(event);
    if (r == 0 && name != nullptr) {
        FlightApplyEvent(name, data, StandFlightSeconds());
        // Clients that put the event into a notification group hear it back.
        uint32_t notify = StandNotificationGroupOf(event);
        if (notify != SIMCONNECT_UNUSED) {
            StandQueue(PENDING_CLIENT_EVENT, Stand.Conn.Serial, event, data, notify, "");
        }
    }
    // An id that was never mapped shows as sim=? and changes nothing.
    StandJournal("CALL TransmitClientEvent object=%u event=%u sim=%s data=%u group=%u flags=%u "
                 "-> %d",
                 object, event, name != nullptr ? name : "?", data, group, flags, r);
    return r;
}

} // extern "C"
