// The receive path: every datagram from the cockpit network arrives on MonitorSocket and is
// handled completely, one at a time, on the receive thread.
#pragma once

#include <cstdint>

#include "net/msg.h"

// Bytes one receive can take; a larger datagram is a receive error.
constexpr int32_t RECEIVE_BUFFER_SIZE = 2000;
// Pause of a failing receive once a relaunch has been requested (see PollUDP).
constexpr uint32_t RECEIVE_ERROR_PAUSE_MS = 50;

// A received datagram as the handlers see it: the header (bytes the datagram does not have
// read as zero) and the payload after it, NUL-terminated after its last byte.
struct Datagram {
    MsgHeader Header;
    const uint8_t* Payload;
    int32_t PayloadLength;
};

// Where the receive path hands each variable change: the integer form gets var type 5, the
// double form var types 1 and 2. A form returns false for an index it does not know; the
// message is then dumped to the log. main installs the simulator's forms at start-up.
struct VarChangeHandler {
    bool (*Int)(int32_t fsxIndex, int32_t value);
    bool (*Double)(int32_t fsxIndex, double value);
};
// Installs `handler` (both forms non-null). Called before the receive thread starts; until
// then every change is dropped as known.
void SetVarChangeHandler(VarChangeHandler handler);

// Thread procedure: logs its start, then receives and handles datagrams for ever.
void ReceiveThread(void* param);
// Receives one datagram on MonitorSocket and handles it. Returns 0.
int32_t PollUDP();
// Guards the length of a received datagram and routes it by class. `buffer` holds the
// `length` received bytes and has room for one more (the NUL put after them); `length` is
// what the receive call reported (-1 for an error) and at most RECEIVE_BUFFER_SIZE.
void HandleDatagram(uint8_t* buffer, int32_t length);
// Keep-alive, address and shutdown messages (class 2).
void HandleNetworkMsgs(const Datagram& msg);
// Variable changes (class 1).
void HandleDataMsgs(const Datagram& msg);
