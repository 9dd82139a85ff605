// The shared link state (see net/link.h for who writes and reads each item).
#include "net/link.h"

std::atomic<uint8_t> CommMgrConnected{0};
std::atomic<uint8_t> CommMgrHeard{0};
std::atomic<PlatformSocket> ClientSocket{PLATFORM_NO_SOCKET};
std::atomic<uint64_t> CommMgrAddr{0};

void LinkResetForTest() {
    CommMgrConnected.store(0);
    CommMgrHeard.store(0);
    ClientSocket.store(PLATFORM_NO_SOCKET);
    CommMgrAddr.store(0);
}
