// UDP start-up: the host's name and address, the socket every datagram from the network
// arrives on, and the broadcast socket and destination of the discovery broadcast.
#pragma once

#include <cstdint>

#include "platform/platform.h"

constexpr uint32_t HOST_TEXT_SIZE = 512;

// Everything below is written only by InitUDP, on the main thread before any worker thread
// starts, and afterwards only read (no lock needed).

// The host name the system reports; "NotInitialized" until InitUDP reads it.
extern char HostName[HOST_TEXT_SIZE];
// The host's first IPv4 address, dotted; "0.0.0.0" when it cannot be found. Read by the
// monitor for the discovery text.
extern char HostIP[HOST_TEXT_SIZE];
// Bound to HostIP and the low 16 bits of the listening port; the receive thread receives on it.
extern PlatformSocket MonitorSocket;
// Datagram socket with broadcast permission; the monitor sends the discovery broadcast on it.
extern PlatformSocket BroadcastSocket;
// Directed broadcast address of the local network, port 9019; valid only while
// HaveBroadcastAddr is true (adapter discovery may find none).
extern NetAddr BroadcastAddr;
extern bool HaveBroadcastAddr;

// Prepares the link: sockets library, host address, MonitorSocket (bound), BroadcastAddr,
// BroadcastSocket, with `listenPort` (the configured port) shown and bound. False when the
// link cannot work; main then ends the process.
bool InitUDP(int32_t listenPort);
