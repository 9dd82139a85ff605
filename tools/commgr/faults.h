// A faulty network inside the hub emulator (--faults): seeded loss, duplication, reordering,
// delay and byte corruption of every datagram the hub sends and receives, so that KivFSX and
// the hub's own checks meet what a bad network does (this host's kernel has no netem).
//
// Each datagram draws its fate from the seeded generator of its direction, in the order the
// datagrams come: lost, or one copy (two when duplicated), each copy with its own delay (a
// reordered copy is held back longer, so that later datagrams overtake it) and maybe one byte
// changed. The copies wait in a fixed queue that a thread of its own empties when they are
// due: it sends the outgoing ones and hands the incoming ones to the hub's handlers, which
// then run on that thread only. Every fate is one line of the fault log, which the fault soak
// (tools/soak/fault_soak.py) reads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// Shares of the datagrams in parts per million, and the delays.
struct FaultPlan {
    uint32_t LossPpm;
    uint32_t DupPpm;
    uint32_t ReorderPpm;
    uint32_t CorruptPpm;
    uint32_t DelayMinMs; // every copy waits DelayMinMs to DelayMaxMs
    uint32_t DelayMaxMs;
    uint32_t ReorderMaxMs; // a reordered copy waits up to this much longer (at least 50 ms)
};

// "loss=20,dup=5,reorder=10,corrupt=1,delay=0-20,reorder-ms=1200": percentages (decimals
// allowed), delays in ms; whatever is not named is 0 (reorder-ms 1200). False with the reason.
bool ParseFaults(const char* text, FaultPlan* out, char* error, size_t size);

// Starts the faults for the rest of the run (the queue's thread, the log). False with the reason.
bool FaultsStart(const FaultPlan& plan, uint32_t seed, const char* logPath, char* error,
                 size_t size);
// Whether FaultsStart ran; every send and receive then goes through the faults.
bool FaultsOn();

// Sends `data` to `to` through the faults (any thread); the real send happens later, on the
// queue's thread, through HubSendNow.
void FaultSend(const uint8_t* data, uint32_t length, NetAddr to);

// What a receive thread does with a datagram: the hub's handler of its port.
using FaultHandler = void (*)(const uint8_t* data, uint32_t length, NetAddr from);
// Hands a datagram received on `port` to `handler` through the faults.
void FaultReceive(FaultHandler handler, uint16_t port, const uint8_t* data, uint32_t length,
                  NetAddr from);
