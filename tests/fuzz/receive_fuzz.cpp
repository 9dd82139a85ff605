// Fuzz target: arbitrary bytes as one received datagram, through the length guards, the
// routing and every handler. Orders that end the process come back here as an exception;
// relaunches are not started, the log is not written (no working directory is given to it),
// and new client sockets are fakes. Console output goes to stdout (run with -close_fd_mask=1).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "net/link.h"
#include "net/msg.h"
#include "net/receive.h"
#include "platform/platform.h"
#include "sim/changevar.h"
#include "vars/vartables.h"

namespace {

struct FuzzExit {
    int32_t Code;
};

[[noreturn]] void ThrowExit(int32_t code) {
    throw FuzzExit{code};
}
bool NoSpawn(const char*, const char* const*, const char*) {
    return true;
}
int32_t NoInput() {
    return -1;
}
bool NoCurrentDir(char*, size_t) {
    return false;
}
PlatformSocket FakeSocket(bool) {
    return 3;
}
bool FakeClose(PlatformSocket) {
    return true;
}
void NoSleep(uint32_t) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Os.Exit = ThrowExit;
    Os.SpawnInstance = NoSpawn;
    Os.ReadConsoleChar = NoInput;
    Os.CurrentDir = NoCurrentDir;
    Os.UdpSocket = FakeSocket;
    Os.CloseSocket = FakeClose;
    Os.SleepMs = NoSleep;
    InitDB();
    SetVarChangeHandler(VarChangeHandler{ChangeVar, ChangeVar});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Each input meets a link that is down and a version check that has not yet reported.
    LinkResetForTest();
    VersionReported = false;
    // What one receive can deliver: at most the receive buffer, in a buffer of exactly one
    // byte more, so any read or write past it is caught.
    const size_t length =
        size > static_cast<size_t>(RECEIVE_BUFFER_SIZE) ? RECEIVE_BUFFER_SIZE : size;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[length + 1]);
    if (length > 0) {
        memcpy(buffer.get(), data, length);
    }
    try {
        HandleDatagram(buffer.get(), static_cast<int32_t>(length));
    } catch (const FuzzExit&) {
        // A shutdown order or an unusable client socket: the process would end here.
    }
    return 0;
}
