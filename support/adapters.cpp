// Network adapter discovery (see support/adapters.h).
#include "support/adapters.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "support/log.h"
#include "support/process.h"

AdapterWalker AdapterWalk = {PlatformAdapterFirst, PlatformAdapterNext, PlatformAdapterDescription,
                             PlatformAdapterIp, PlatformAdapterMask};

// See support/adapters.h: written by the settings reader before InitUDP, then only read.
NetworkSettings NetworkSetting = {};

namespace {

// A list that ChosenAdapterIp read ahead of InitNetwork, which then takes it instead of asking
// again (so a failure is reported once). Main thread, start-up only.
enum ListState : int32_t { LIST_NONE, LIST_READ, LIST_FAILED };
ListState AheadState = LIST_NONE;
void* AheadList = nullptr;

void ReportFailure(const char* notice, const char* error) {
    ConsolePrint("%s", notice);
    ConsolePrint("%s", error);
    SimLog(error);
}

// One line to the console and the same line to the log.
void Both(const char* format, const char* text) {
    ConsoleAndLog(format, text);
}

// The adapter list as the platform gives it, or null after an "Error IB-n" line. The buffer
// is a one-time start-up allocation and stays allocated.
void* ReadAdapterList() {
    uint32_t size = ADAPTER_BUFFER_SIZE;
    void* buffer = Os.Alloc(size);
    if (buffer == nullptr) {
        ReportFailure("Unable to get memeory for adapter memory (1).\n", "Error IB-1\n");
        return nullptr;
    }
    if (Os.GetAdaptersInfo(buffer, &size) == PLATFORM_ADAPTERS_BUFFER_OVERFLOW) {
        Os.Free(buffer);
        buffer = Os.Alloc(size);
        if (buffer == nullptr) {
            ReportFailure("Unable to get memeory for adapter memory (2).\n", "Error IB-2\n");
            return nullptr;
        }
    }
    // Asked again in every case: after a successful first call too.
    if (Os.GetAdaptersInfo(buffer, &size) != PLATFORM_ADAPTERS_OK) {
        ReportFailure("Can't get adapter information.\n", "Error IB-3\n");
        return nullptr;
    }
    return buffer;
}

// The list for InitNetwork: the one read ahead, if any, else a fresh one.
void* TakeAdapterList() {
    ListState state = AheadState;
    void* list = AheadList;
    AheadState = LIST_NONE;
    AheadList = nullptr;
    if (state == LIST_NONE) {
        return ReadAdapterList();
    }
    return state == LIST_READ ? list : nullptr;
}

bool ContainsNoCase(const char* text, const char* part) {
    const char* end = text + strlen(text);
    return std::search(text, end, part, part + strlen(part), [](char a, char b) {
               return tolower(static_cast<unsigned char>(a)) ==
                      tolower(static_cast<unsigned char>(b));
           }) != end;
}

bool IsChosen(const void* adapter) {
    switch (NetworkSetting.Choice) {
    case ADAPTER_BY_ADDRESS:
        return PlatformInetAddr(AdapterWalk.Ip(adapter)) == NetworkSetting.Address;
    case ADAPTER_BY_DESCRIPTION:
        return ContainsNoCase(AdapterWalk.Description(adapter), NetworkSetting.Description);
    default:
        return false;
    }
}

// The first adapter of `list` that the settings choose, or null.
const void* ChosenAdapter(const void* list) {
    for (const void* adapter = AdapterWalk.First(list); adapter != nullptr;
         adapter = AdapterWalk.Next(adapter)) {
        if (IsChosen(adapter)) {
            return adapter;
        }
    }
    return nullptr;
}

// The setting as the user wrote it, for the lines that name it.
void ChoiceText(char* out, size_t size) {
    if (NetworkSetting.Choice == ADAPTER_BY_ADDRESS) {
        char dotted[16];
        PlatformInetNtoa(NetworkSetting.Address, dotted);
        snprintf(out, size, "%s", dotted);
    } else {
        snprintf(out, size, "%s", NetworkSetting.Description);
    }
}

void ReportNotFound() {
    char whole[ADAPTER_DESCRIPTION_SIZE];
    ChoiceText(whole, sizeof(whole));
    char choice[SHOWN_VALUE_SIZE];
    ShownValue(whole, strlen(whole), choice);
    ConsoleAndLog("Setting adapter = %s not used: no adapter has this %s; the last adapter "
                  "decides as usual\n",
                  choice, NetworkSetting.Choice == ADAPTER_BY_ADDRESS ? "address" : "description");
}

} // namespace

void AdapterWalkReset() {
    AdapterWalk = {PlatformAdapterFirst, PlatformAdapterNext, PlatformAdapterDescription,
                   PlatformAdapterIp, PlatformAdapterMask};
    AheadState = LIST_NONE;
    AheadList = nullptr;
}

bool ChosenAdapterIp(char* ip) {
    if (NetworkSetting.Choice == ADAPTER_LAST) {
        return false;
    }
    AheadList = ReadAdapterList();
    AheadState = AheadList != nullptr ? LIST_READ : LIST_FAILED;
    const void* chosen = AheadList != nullptr ? ChosenAdapter(AheadList) : nullptr;
    if (chosen == nullptr) {
        // Without a list there is nothing to choose from; InitNetwork reports it.
        if (AheadList != nullptr) {
            ReportNotFound();
        }
        return false;
    }
    snprintf(ip, 16, "%s", AdapterWalk.Ip(chosen));
    return true;
}

bool InitNetwork(NetAddr* broadcast) {
    const bool readAhead = AheadState != LIST_NONE;
    void* list = TakeAdapterList();
    if (list == nullptr) {
        return false;
    }
    // Each adapter replaces the one before; the last one decides, unless one is chosen. An
    // empty list (which the platform reports as a failure, but a list may still come back
    // empty) counts as address and mask 0.0.0.0, so the broadcast goes to 255.255.255.255.
    const void* chosen = NetworkSetting.Choice != ADAPTER_LAST ? ChosenAdapter(list) : nullptr;
    uint32_t address = 0;
    uint32_t mask = 0;
    for (const void* adapter = AdapterWalk.First(list); adapter != nullptr;
         adapter = AdapterWalk.Next(adapter)) {
        const char* ip = AdapterWalk.Ip(adapter);
        const char* maskText = AdapterWalk.Mask(adapter);
        const char* description = AdapterWalk.Description(adapter);
        char shown[SHOWN_VALUE_SIZE];
        ShownValue(description, strlen(description), shown);
        Both("   Desc: \t%s\n", shown);
        Both("     IP: \t%s\n", ip);
        Both("   Mask: \t%s\n", maskText);
        if (adapter == chosen) {
            Both("    Use: \t%s\n", "this adapter (setting adapter)");
        }
        // Text that is not a dotted address converts to all bits set, unchecked.
        if (chosen == nullptr || adapter == chosen) {
            address = PlatformInetAddr(ip);
            mask = PlatformInetAddr(maskText);
        }
    }
    // Read ahead, the list has already said when the chosen adapter is missing.
    if (NetworkSetting.Choice != ADAPTER_LAST && chosen == nullptr && !readAhead) {
        ReportNotFound();
    }
    // Both values are in network order; the bit operations do not depend on it.
    uint32_t network = address & mask;
    uint32_t broadcastAddress = ~mask | network;
    char dotted[16];
    PlatformInetNtoa(network, dotted);
    ConsolePrint("    Net: \t%s\n\n", dotted);

    // A fixed destination replaces the computed one; the hub's own address wins over both.
    const char* by = nullptr;
    if (NetworkSetting.HasHub) {
        broadcastAddress = NetworkSetting.Hub;
        by = "hub";
    } else if (NetworkSetting.HasBroadcast) {
        broadcastAddress = NetworkSetting.Broadcast;
        by = "broadcast";
    }
    if (by != nullptr) {
        PlatformInetNtoa(broadcastAddress, dotted);
        ConsoleAndLog("Discovery goes to %s port %d (setting %s)\n", dotted, BROADCAST_PORT, by);
    }
    *broadcast = NetAddr{broadcastAddress, BROADCAST_PORT};
    SimLog("Network successfully initialized.\n");
    return true;
}
