#include "fuzz_support.h"

#include <cstring>

#include "net/link.h"
#include "net/receive.h"
#include "platform/platform.h"
#include "sim/loader.h"
#include "sim/session.h"
#include "sim/traffic.h"
#include "support/resource.h"
#include "vars/vartables.h"

FuzzLibrary Library = {};

namespace {

[[noreturn]] void ThrowExit(int32_t code) {
    throw FuzzExit{code};
}

// --- the recording library -----------------------------------------------------------------

SC_HRESULT PLATFORM_STDCALL RecordTransmit(SC_HANDLE handle, SC_DWORD object, SC_DWORD event,
                                           SC_DWORD data, SC_DWORD group, SC_DWORD flags) {
    Library.Transmit = FuzzCall{handle, object, event, data, group, flags};
    ++Library.Transmits;
    return 0;
}
SC_HRESULT PLATFORM_STDCALL RecordInputState(SC_HANDLE handle, SC_DWORD group, SC_DWORD state) {
    Library.InputState = FuzzCall{handle, group, state, 0, 0, 0};
    ++Library.InputStates;
    return 0;
}
SC_HRESULT PLATFORM_STDCALL RecordDataRequest(SC_HANDLE handle, SC_DWORD request, SC_DWORD define,
                                              SC_DWORD object, int32_t period, SC_DWORD flags,
                                              SC_DWORD, SC_DWORD, SC_DWORD) {
    Library.DataRequest =
        FuzzCall{handle, request, define, object, static_cast<SC_DWORD>(period), flags};
    ++Library.DataRequests;
    return 0;
}
// As the library does: the text at `field` when it ends inside the message, else a failure.
// A field outside the message is the caller's fault.
SC_HRESULT PLATFORM_STDCALL RetrieveText(SIMCONNECT_RECV* data, SC_DWORD cbData, void* field,
                                         char** out, SC_DWORD* cbOut) {
    char* begin = reinterpret_cast<char*>(data);
    char* text = static_cast<char*>(field);
    Require(text >= begin && text <= begin + cbData);
    void* end = memchr(text, 0, static_cast<size_t>(begin + cbData - text));
    if (end == nullptr) {
        return -1;
    }
    *out = text;
    *cbOut = static_cast<SC_DWORD>(static_cast<char*>(end) - text + 1);
    return 0;
}
// Every entry point these targets do not expect to be called.
void Unexpected() {
    __builtin_trap();
}

struct Export {
    const char* Name;
    void* Address;
};
const Export EXPORTS[] = {
    {"SimConnect_TransmitClientEvent", reinterpret_cast<void*>(RecordTransmit)},
    {"SimConnect_SetInputGroupState", reinterpret_cast<void*>(RecordInputState)},
    {"SimConnect_RequestDataOnSimObject", reinterpret_cast<void*>(RecordDataRequest)},
    {"SimConnect_RetrieveString", reinterpret_cast<void*>(RetrieveText)},
};

char FakeSearch, FakeLibrary;

PlatformDirSearch* FindBuild(const char*, char* name, size_t size) {
    snprintf(name, size, "%s", "fuzz-build");
    return reinterpret_cast<PlatformDirSearch*>(&FakeSearch);
}
void* Symbol(void* library, const char* name) {
    Require(library == &FakeLibrary);
    for (const Export& e : EXPORTS) {
        if (strcmp(e.Name, name) == 0) {
            return e.Address;
        }
    }
    return reinterpret_cast<void*>(Unexpected);
}

} // namespace

void FuzzSetUp() {
    Os.Exit = ThrowExit;
    Os.SpawnInstance = [](const char*, const char* const*, const char*) { return true; };
    Os.ReadConsoleChar = [] { return int32_t{-1}; };
    Os.CurrentDir = [](char*, size_t) { return false; };   // no log file
    Os.UdpSocket = [](bool) { return PlatformSocket{3}; }; // never used for real
    Os.CloseSocket = [](PlatformSocket) { return true; };
    Os.SleepMs = [](uint32_t) {};
    Os.FindFirst = FindBuild;
    Os.FindClose = [](PlatformDirSearch*) {};
    Os.LoadLibraryPath = [](const char*) { return static_cast<void*>(&FakeLibrary); };
    Os.LibrarySymbol = Symbol;
    Require(LoadSimConnect() == 0);
    InitDB();
    Block2Mutex = RegisterResource("Block2Mutex");
    hSimConnect.store(FUZZ_HANDLE);
}

std::unique_ptr<uint8_t[]> ExactCopy(const uint8_t* data, size_t size, size_t length) {
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[length]());
    if (size > length) {
        size = length;
    }
    if (size > 0) {
        memcpy(buffer.get(), data, size);
    }
    return buffer;
}

void ReceiveDatagram(const uint8_t* data, size_t size) {
    // Each input meets a link that is down and a version check that has not yet reported.
    LinkResetForTest();
    VersionReported = false;
    const size_t length =
        size > static_cast<size_t>(RECEIVE_BUFFER_SIZE) ? RECEIVE_BUFFER_SIZE : size;
    std::unique_ptr<uint8_t[]> buffer = ExactCopy(data, length, length + 1);
    try {
        HandleDatagram(buffer.get(), static_cast<int32_t>(length));
    } catch (const FuzzExit&) {
        // The process would end here.
    }
}
