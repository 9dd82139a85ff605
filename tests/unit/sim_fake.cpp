#include "sim_fake.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

#include "support/restart.h"
#include "net/blocks.h"
#include "sim/dispatch.h"
#include "sim/guarded.h"
#include "sim/session.h"
#include "sim/traffic.h"
#include "support/log.h"

namespace {

// The fakes may be called from a second thread in some tests.
std::mutex FakeLock;
std::vector<FakeCall> Journal;
std::vector<std::vector<uint8_t>> Queue;
FakeScript Script;
uint32_t OpenCount = 0;

SC_HRESULT Record(FakeCall call) {
    FakeScript script;
    {
        std::lock_guard<std::mutex> lock(FakeLock);
        Journal.push_back(call);
        script = Script;
    }
    return script ? script(call) : 0;
}

FakeCall Call(const char* fn, SC_HANDLE handle, std::vector<uint32_t> args,
              const char* text = nullptr) {
    return FakeCall{fn, handle, std::move(args), text ? text : "", nullptr};
}

SC_HRESULT PLATFORM_STDCALL FakeOpen(SC_HANDLE* handle, const char* name, SC_HWND wnd,
                                     SC_DWORD userEvent, SC_HANDLE event, SC_DWORD config) {
    FakeCall call =
        Call("Open", nullptr,
             {wnd == nullptr ? 0u : 1u, userEvent, event == nullptr ? 0u : 1u, config}, name);
    SC_HRESULT result = Record(call);
    if (result == 0) {
        std::lock_guard<std::mutex> lock(FakeLock);
        *handle = FakeHandle(++OpenCount);
    }
    return result;
}

SC_HRESULT PLATFORM_STDCALL FakeRetrieveString(SIMCONNECT_RECV* data, SC_DWORD cbData,
                                               void* stringV, char** out, SC_DWORD* cbOut) {
    SC_HRESULT result = Record(Call("RetrieveString", nullptr, {cbData}));
    if (result >= 0) {
        *out = static_cast<char*>(stringV);
        *cbOut = static_cast<SC_DWORD>(strnlen(*out, 32) + 1);
    }
    return result;
}

SC_HRESULT PLATFORM_STDCALL FakeCloud(SC_HANDLE h, SC_DWORD, float, float, float, float, float,
                                      float, SC_DWORD) {
    return Record(Call("WeatherRequestCloudState", h, {}));
}

SC_HRESULT PLATFORM_STDCALL FakeSetInputGroupState(SC_HANDLE h, SC_DWORD group, SC_DWORD state) {
    return Record(Call("SetInputGroupState", h, {group, state}));
}

SC_HRESULT PLATFORM_STDCALL FakeSubscribe(SC_HANDLE h, SC_DWORD event, const char* name) {
    return Record(Call("SubscribeToSystemEvent", h, {event}, name));
}

SC_HRESULT PLATFORM_STDCALL FakeAddToData(SC_HANDLE h, SC_DWORD define, const char* datum,
                                          const char* units, int32_t type, float epsilon,
                                          SC_DWORD datumId) {
    FakeCall call =
        Call("AddToDataDefinition", h, {define, static_cast<uint32_t>(type), datumId}, datum);
    call.Units = units;
    return Record(call);
}

SC_HRESULT PLATFORM_STDCALL FakeRequestData(SC_HANDLE h, SC_DWORD request, SC_DWORD define,
                                            SC_DWORD object, int32_t period, SC_DWORD flags,
                                            SC_DWORD origin, SC_DWORD interval, SC_DWORD limit) {
    return Record(Call(
        "RequestDataOnSimObject", h,
        {request, define, object, static_cast<uint32_t>(period), flags, origin, interval, limit}));
}

SC_HRESULT PLATFORM_STDCALL FakeMapInput(SC_HANDLE h, SC_DWORD group, const char* input,
                                         SC_DWORD down, SC_DWORD downValue, SC_DWORD up,
                                         SC_DWORD upValue, SC_BOOL maskable) {
    return Record(Call("MapInputEventToClientEvent", h,
                       {group, down, downValue, up, upValue, static_cast<uint32_t>(maskable)},
                       input));
}

SC_HRESULT PLATFORM_STDCALL FakeMapEvent(SC_HANDLE h, SC_DWORD event, const char* name) {
    return Record(Call("MapClientEventToSimEvent", h, {event}, name));
}

SC_HRESULT PLATFORM_STDCALL FakeAddToGroup(SC_HANDLE h, SC_DWORD group, SC_DWORD event,
                                           SC_BOOL maskable) {
    return Record(Call("AddClientEventToNotificationGroup", h,
                       {group, event, static_cast<uint32_t>(maskable)}));
}

SC_HRESULT PLATFORM_STDCALL FakeClose(SC_HANDLE h) {
    return Record(Call("Close", h, {}));
}

SC_HRESULT PLATFORM_STDCALL FakeDispatch(SC_HANDLE h, SimDispatchProc proc, void* context) {
    std::vector<std::vector<uint8_t>> messages;
    {
        std::lock_guard<std::mutex> lock(FakeLock);
        messages.swap(Queue);
    }
    for (std::vector<uint8_t>& m : messages) {
        proc(reinterpret_cast<SIMCONNECT_RECV*>(m.data()), static_cast<SC_DWORD>(m.size()),
             context);
    }
    return Record(Call("CallDispatch", h, {context == nullptr ? 0u : 1u}));
}

SC_HRESULT PLATFORM_STDCALL FakeRequestByType(SC_HANDLE h, SC_DWORD request, SC_DWORD define,
                                              SC_DWORD radius, int32_t type) {
    return Record(Call("RequestDataOnSimObjectType", h,
                       {request, define, radius, static_cast<uint32_t>(type)}));
}

SC_HRESULT PLATFORM_STDCALL FakeSetData(SC_HANDLE h, SC_DWORD, SC_DWORD, SC_DWORD, SC_DWORD,
                                        SC_DWORD, void*) {
    return Record(Call("SetDataOnSimObject", h, {}));
}

SC_HRESULT PLATFORM_STDCALL FakeTransmit(SC_HANDLE h, SC_DWORD object, SC_DWORD event,
                                         SC_DWORD data, SC_DWORD group, SC_DWORD flags) {
    return Record(Call("TransmitClientEvent", h, {object, event, data, group, flags}));
}

// Appends the bytes of `value`; built up by insertion, never by writing past a resize.
template <typename T> void Append(std::vector<uint8_t>& out, const T& value) {
    const auto* p = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), p, p + sizeof(T));
}

// A header whose dwSize is filled in by Finish.
std::vector<uint8_t> Header(SC_DWORD id) {
    std::vector<uint8_t> out;
    out.reserve(64);
    Append(out, SIMCONNECT_RECV{0, 4, id});
    return out;
}

// Sets dwSize to the message's length.
std::vector<uint8_t> Finish(std::vector<uint8_t> out) {
    SC_DWORD size = static_cast<SC_DWORD>(out.size());
    std::copy_n(reinterpret_cast<const uint8_t*>(&size), sizeof size, out.begin());
    return out;
}

} // namespace

void FakeSimInstall() {
    std::lock_guard<std::mutex> lock(FakeLock);
    Journal.clear();
    Queue.clear();
    Script = nullptr;
    OpenCount = 0;
    SimApi =
        SimApiTable{FakeOpen,          FakeRetrieveString, FakeCloud,       FakeSetInputGroupState,
                    FakeSubscribe,     FakeAddToData,      FakeRequestData, FakeMapInput,
                    FakeMapEvent,      FakeAddToGroup,     FakeClose,       FakeDispatch,
                    FakeRequestByType, FakeSetData,        FakeTransmit};
}

void FakeSimScript(FakeScript script) {
    std::lock_guard<std::mutex> lock(FakeLock);
    Script = std::move(script);
}

SC_HANDLE FakeHandle(uint32_t n) {
    return reinterpret_cast<SC_HANDLE>(static_cast<uintptr_t>(0x5C00 + n));
}

std::vector<FakeCall> FakeSimCalls() {
    std::lock_guard<std::mutex> lock(FakeLock);
    return Journal;
}

std::vector<FakeCall> FakeSimCallsOf(const std::string& fn) {
    std::vector<FakeCall> out;
    for (const FakeCall& c : FakeSimCalls()) {
        if (c.Fn == fn) {
            out.push_back(c);
        }
    }
    return out;
}

void FakeSimQueueMessage(const std::vector<uint8_t>& message) {
    std::lock_guard<std::mutex> lock(FakeLock);
    Queue.push_back(message);
}

std::vector<uint8_t> MsgHeaderOnly(SC_DWORD id) {
    return Finish(Header(id));
}

std::vector<uint8_t> MsgException(SC_DWORD exception, SC_DWORD sendId, SC_DWORD index) {
    std::vector<uint8_t> out = Header(SIMCONNECT_RECV_ID_EXCEPTION);
    Append(out, std::array<SC_DWORD, 3>{exception, sendId, index});
    return Finish(out);
}

std::vector<uint8_t> MsgEvent(SC_DWORD id, SC_DWORD eventId, SC_DWORD data) {
    std::vector<uint8_t> out = Header(id);
    Append(out, std::array<SC_DWORD, 3>{0, eventId, data}); // group, event, data
    if (id == SIMCONNECT_RECV_ID_EVENT_FILENAME) {
        const char name[] = "flights/some.flt";
        out.insert(out.end(), name, name + sizeof name);
        out.resize(out.size() + 260 - sizeof name + 4, 0); // the rest of the name, flags
    }
    return Finish(out);
}

std::vector<uint8_t> MsgAddRemove(SC_DWORD eventId, int32_t objType, SC_DWORD objectId) {
    std::vector<uint8_t> out = Header(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    Append(out, std::array<SC_DWORD, 4>{0, eventId, objectId, static_cast<SC_DWORD>(objType)});
    return Finish(out);
}

std::vector<uint8_t> MsgData(SC_DWORD kind, SC_DWORD request, SC_DWORD objectId, SC_DWORD entry,
                             const void* record, size_t size) {
    std::vector<uint8_t> out = Header(kind);
    // request, object, definition (not read), flags, entry, out of, define count
    Append(out, std::array<SC_DWORD, 7>{request, objectId, 0, 0, entry, entry, 1});
    const auto* p = static_cast<const uint8_t*>(record);
    out.insert(out.end(), p, p + size);
    return Finish(out);
}

std::vector<uint8_t> MsgTraffic(SC_DWORD request, SC_DWORD objectId, SC_DWORD entry, double lat,
                                double lon, double alt) {
    double record[3] = {lat, lon, alt};
    return MsgData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, request, objectId, entry, record,
                   sizeof(record));
}

std::vector<uint8_t> MsgCloud(SC_DWORD arraySize, const std::vector<uint8_t>& cells) {
    std::vector<uint8_t> out = Header(SIMCONNECT_RECV_ID_CLOUD_STATE);
    Append(out, std::array<SC_DWORD, 2>{0, arraySize});
    out.insert(out.end(), cells.begin(), cells.end());
    return Finish(out);
}

void DeliverSized(std::vector<uint8_t> message, SC_DWORD size) {
    // The message is copied into a buffer of exactly `size` bytes, so that ASan reports any
    // read beyond what the handler was given.
    std::vector<uint8_t> exact(message.begin(),
                               message.begin() + std::min<size_t>(size, message.size()));
    exact.resize(size);
    HandleSimMsgs(reinterpret_cast<SIMCONNECT_RECV*>(exact.data()), size, nullptr);
}

void SimTest::SetUp() {
    TempDirTest::SetUp();
    SimLogInit("KivFSX.log");
    FakeSimInstall();
    BlocksResetForTest();
    hSimConnect.store(nullptr);
    SimQuit.store(false);
    SessionReady = false;
    AircraftType = 0;
    memset(TrafficTable, 0, sizeof(TrafficTable));
    TrafficErrors.store(0);
    TransmitErrors.store(0);
    if (Block2Mutex == nullptr) {
        Block2Mutex = Os.MutexCreate();
    }
    Os.SpawnInstance = [](const char*, const char* const[3], const char*) { return true; };
}

void SimTest::TearDown() {
    FakeSimInstall();
    TempDirTest::TearDown();
}

std::string SimTest::Log() const {
    return LogText(Dir / "KivFSX.log");
}

std::string SimTest::FullLog() const {
    std::string saved =
        std::filesystem::exists(Dir / "KivSaved.log") ? LogText(Dir / "KivSaved.log") : "";
    return saved + (std::filesystem::exists(Dir / "KivFSX.log") ? Log() : "");
}
