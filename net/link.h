// The state of the link to the communication manager, shared by the receive thread (which
// brings the link up), the block sender (which sends while it is up) and the link monitor
// (which declares it lost). Every item here is touched by more than one thread and is atomic.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

// 1 while the link is up. Set by the receive thread on an accepted address message; cleared
// by the monitor after six silent ticks; read by the sender once per block.
extern std::atomic<uint8_t> CommMgrConnected;
// 1 after a sign of life (a valid keep-alive or an accepted address message). Set by the
// receive thread; read and cleared by the monitor at every tick.
extern std::atomic<uint8_t> CommMgrHeard;
// Socket the blocks leave by; PLATFORM_NO_SOCKET until the first address message. Replaced
// (and the old one closed) by the receive thread on each accepted address message and
// closed on a shutdown order; read by the sender at send time.
extern std::atomic<PlatformSocket> ClientSocket;
// The communication manager's address and port, packed into one word by PackNetAddr so the
// sender never sees the address of one message with the port of another. Written by the
// receive thread on each accepted address message; read by the sender. 0 until then.
extern std::atomic<uint64_t> CommMgrAddr;

// Address (network order) in bits 16 to 47, port (host order) in bits 0 to 15.
constexpr uint64_t PackNetAddr(NetAddr addr) {
    return (static_cast<uint64_t>(addr.Addr) << 16) | addr.Port;
}
constexpr NetAddr UnpackNetAddr(uint64_t packed) {
    return NetAddr{static_cast<uint32_t>(packed >> 16), static_cast<uint16_t>(packed & 0xFFFF)};
}

// Test hook: the link down, no client socket (none is closed), no address.
void LinkResetForTest();
