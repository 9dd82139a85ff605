// The opt-in sender filter (setting "senders", app/settings.cpp): while it is in effect, the
// receive path handles only the datagrams of the accepted senders and drops every other one
// before it is read, whatever it holds (a variable change, an address message, a keep-alive, a
// shutdown order, or anything else). Without the setting every sender is accepted and nothing
// here writes or costs anything.
#pragma once

#include <cstdint>

// Addresses the setting can name (the hub's counts as one).
constexpr uint32_t MAX_ACCEPTED_SENDERS = 8;
// Refused senders named once each in the log; past that one more line says so, then nothing.
constexpr uint32_t MAX_NAMED_REFUSED_SENDERS = 16;

// Written by the settings reader on the main thread before the receive thread exists; only
// read afterwards. Count 0: the filter is off.
struct SenderFilterSettings {
    uint32_t Count;
    uint32_t Addr[MAX_ACCEPTED_SENDERS]; // IPv4, network order
};
extern SenderFilterSettings SenderFilter;

// Whether a datagram from `addr` (network order) is handled: always while the filter is off.
// No allocation, no lock; the receive thread calls it for every datagram.
bool SenderAccepted(uint32_t addr);

// The receive thread's note of a dropped datagram from `addr`: the first one from each sender
// gets one line on the console and in the log, naming the address; later ones nothing. The
// memory of named senders is fixed (MAX_NAMED_REFUSED_SENDERS).
void NoteRefusedSender(uint32_t addr);

// Test hook: the filter off and no sender named yet.
void SenderFilterResetForTest();
