// Network adapter discovery: where the discovery broadcast goes. The adapter list comes
// from the platform; the last adapter of the list decides the directed broadcast address.
#pragma once

#include <cstdint>

#include "platform/platform.h"

constexpr uint16_t BROADCAST_PORT = 9019;
// Size of the first adapter-list buffer (one adapter record on Windows).
constexpr uint32_t ADAPTER_BUFFER_SIZE = 648;

// Prints and logs every adapter, then fills `broadcast` with the directed broadcast address
// of the last adapter's network and port 9019. False, after an "Error IB-n" line, when the
// adapter list cannot be had; `broadcast` is then untouched.
bool InitNetwork(NetAddr* broadcast);

// How InitNetwork reads the list that Os.GetAdaptersInfo wrote. The record layout belongs
// to the platform, so a test that supplies a list of its own making through a replaced
// Os.GetAdaptersInfo also replaces these readers, and calls AdapterWalkReset() afterwards.
struct AdapterWalker {
    const void* (*First)(const void* buffer);
    const void* (*Next)(const void* adapter);
    const char* (*Description)(const void* adapter);
    const char* (*Ip)(const void* adapter);
    const char* (*Mask)(const void* adapter);
};
// The platform's readers after AdapterWalkReset(); only tests replace them, on the main
// thread before InitNetwork runs.
extern AdapterWalker AdapterWalk;
void AdapterWalkReset();
