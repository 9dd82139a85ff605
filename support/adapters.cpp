// Network adapter discovery (see support/adapters.h).
#include "support/adapters.h"

#include "support/log.h"
#include "support/process.h"

AdapterWalker AdapterWalk = {PlatformAdapterFirst, PlatformAdapterNext, PlatformAdapterDescription,
                             PlatformAdapterIp, PlatformAdapterMask};

void AdapterWalkReset() {
    AdapterWalk = {PlatformAdapterFirst, PlatformAdapterNext, PlatformAdapterDescription,
                   PlatformAdapterIp, PlatformAdapterMask};
}

namespace {

void ReportFailure(const char* notice, const char* error) {
    ConsolePrint("%s", notice);
    ConsolePrint("%s", error);
    SimLog(error);
}

// One line to the console and the same line to the log.
void Both(const char* format, const char* text) {
    ConsolePrint(format, text);
    SimLogf(format, text);
}

} // namespace

bool InitNetwork(NetAddr* broadcast) {
    uint32_t size = ADAPTER_BUFFER_SIZE;
    void* buffer = Os.Alloc(size);
    if (buffer == nullptr) {
        ReportFailure("Unable to get memeory for adapter memory (1).\n", "Error IB-1\n");
        return false;
    }
    if (Os.GetAdaptersInfo(buffer, &size) == PLATFORM_ADAPTERS_BUFFER_OVERFLOW) {
        Os.Free(buffer);
        buffer = Os.Alloc(size);
        if (buffer == nullptr) {
            ReportFailure("Unable to get memeory for adapter memory (2).\n", "Error IB-2\n");
            return false;
        }
    }
    // Asked again in every case: after a successful first call too.
    if (Os.GetAdaptersInfo(buffer, &size) != PLATFORM_ADAPTERS_OK) {
        ReportFailure("Can't get adapter information.\n", "Error IB-3\n");
        return false;
    }

    // Each adapter replaces the one before; the last one decides. An empty list (which the
    // platform reports as a failure, but a list may still come back empty) counts as
    // address and mask 0.0.0.0, so the broadcast goes to 255.255.255.255.
    uint32_t address = 0;
    uint32_t mask = 0;
    for (const void* adapter = AdapterWalk.First(buffer); adapter != nullptr;
         adapter = AdapterWalk.Next(adapter)) {
        const char* ip = AdapterWalk.Ip(adapter);
        const char* maskText = AdapterWalk.Mask(adapter);
        Both("   Desc: \t%s\n", AdapterWalk.Description(adapter));
        Both("     IP: \t%s\n", ip);
        Both("   Mask: \t%s\n", maskText);
        // Text that is not a dotted address converts to all bits set, unchecked.
        address = PlatformInetAddr(ip);
        mask = PlatformInetAddr(maskText);
    }
    // Both values are in network order; the bit operations do not depend on it.
    uint32_t network = address & mask;
    uint32_t broadcastAddress = ~mask | network;
    char dotted[16];
    PlatformInetNtoa(network, dotted);
    ConsolePrint("    Net: \t%s\n\n", dotted);

    // The adapter-list buffer is a one-time start-up allocation and stays allocated.
    *broadcast = NetAddr{broadcastAddress, BROADCAST_PORT};
    SimLog("Network successfully initialized.\n");
    return true;
}
