// Network adapter discovery: where the discovery broadcast goes. The adapter list comes
// from the platform; the last adapter of the list decides the directed broadcast address,
// unless the user's settings choose another adapter or another destination.
#pragma once

#include <cstdint>

#include "platform/platform.h"

constexpr uint16_t BROADCAST_PORT = 9019;
// Size of the first adapter-list buffer (one adapter record on Windows).
constexpr uint32_t ADAPTER_BUFFER_SIZE = 648;
// Longest part of an adapter description a setting can name, in characters: the Win32 record
// holds 131 bytes of the ANSI code page, so never more characters. Descriptions are compared
// and shown in UTF-8, where each of those characters takes up to 3 bytes.
constexpr uint32_t ADAPTER_DESCRIPTION_CHARS = 131;
constexpr uint32_t ADAPTER_DESCRIPTION_SIZE = ADAPTER_DESCRIPTION_CHARS * 3 + 1;

// How the adapter is chosen.
enum AdapterChoice : int32_t {
    ADAPTER_LAST = 0,           // the last adapter of the list (the default)
    ADAPTER_BY_ADDRESS = 1,     // the first adapter whose IPv4 address is Address
    ADAPTER_BY_DESCRIPTION = 2, // the first whose description contains Description
};

// The user's opt-in network settings. Written by main's settings reader before InitUDP, on
// the main thread before any worker thread exists; only read afterwards. All zero: the
// program behaves exactly as without settings.
struct NetworkSettings {
    int32_t Choice;                             // AdapterChoice
    uint32_t Address;                           // network order, with ADAPTER_BY_ADDRESS
    char Description[ADAPTER_DESCRIPTION_SIZE]; // UTF-8, with ADAPTER_BY_DESCRIPTION (A to Z
                                                // in any case)
    bool HasBroadcast;                          // discovery to Broadcast instead
    uint32_t Broadcast;                         // network order
    bool HasHub;                                // discovery straight to Hub, by unicast
    uint32_t Hub;                               // network order
};
extern NetworkSettings NetworkSetting;

// Prints and logs every adapter, then fills `broadcast` with the directed broadcast address
// of the last adapter's network and port 9019. False, after an "Error IB-n" line, when the
// adapter list cannot be had; `broadcast` is then untouched.
// With settings: the chosen adapter is marked in the listing and decides instead of the last
// one (an adapter that cannot be found says so and the last one decides); a fixed broadcast
// address or the hub's address replaces the computed destination.
bool InitNetwork(NetAddr* broadcast);

// The dotted IPv4 address of the adapter the settings choose, into `ip` (16 bytes), for the
// program to listen on and announce. False when no adapter is chosen, or (after a line that
// says so) when the chosen one cannot be found.
bool ChosenAdapterIp(char* ip);

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
// thread before InitNetwork runs. AdapterWalkReset also forgets the list read so far.
extern AdapterWalker AdapterWalk;
void AdapterWalkReset();
