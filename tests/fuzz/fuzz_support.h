// Shared by the fuzz targets: a process with no side effects (no exit, relaunch, log file,
// sockets or pauses), the simulator library replaced by recorders that the program's own
// loader binds, and the check that ends a run at the first broken promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "sim/simconnect_api.h"

// Thrown in place of the process exit: a shutdown order or an unusable socket ends here.
struct FuzzExit {
    int32_t Code;
};

// The connection handle the recorders expect on every call.
inline SC_HANDLE const FUZZ_HANDLE = reinterpret_cast<SC_HANDLE>(0x5151);

// One library call as the recorder saw it (the fields that the call has).
struct FuzzCall {
    SC_HANDLE Handle;
    SC_DWORD A, B, C, D, E;
};
// Calls made since start-up and the latest of each kind. Fuzz thread only.
struct FuzzLibrary {
    uint64_t Transmits, InputStates, DataRequests;
    FuzzCall Transmit, InputState, DataRequest;
};
extern FuzzLibrary Library;

// Aborts the run (and lets the fuzzer keep the input) when `ok` is false.
inline void Require(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

// Os without side effects, the variable tables, Block2's lock, and the recording library
// loaded by LoadSimConnect. Once, from LLVMFuzzerInitialize.
void FuzzSetUp();

// `size` bytes of `data` in a heap buffer of exactly `length` bytes (zero past the input),
// so that any access past it is caught.
std::unique_ptr<uint8_t[]> ExactCopy(const uint8_t* data, size_t size, size_t length);

// One datagram through the receive path, at most a receive buffer's worth, in a buffer of one
// byte more (the receive path's terminator); a process exit ends it.
void ReceiveDatagram(const uint8_t* data, size_t size);
