// The running hub: its sockets, its threads and the state they share.
//
// Threads:
//   main     - starts everything, then every 10 ms sends the keep-alives that are due, prints
//              the live summary and watches for `quit` and the --duration-s limit;
//   listen   - receives on the listen port, records each discovery and answers it with the
//              address message (unless paused);
//   data     - receives the blocks on the data port, checks, decodes and records them, and
//              sends the --set changes after the first one;
//   console  - reads commands from standard input and carries them out; it ends at the end
//              of input, the others run until the process ends.
// Every send goes out of SendSocket, a socket of its own, so that an ICMP error caused by a
// send cannot make a receive fail on the listen or data socket.
#pragma once

#include <atomic>
#include <cstdint>

#include "net/blocks.h"
#include "platform/platform.h"
#include "tools/commgr/fields.h"
#include "tools/commgr/options.h"

// Set by main before any hub thread starts; read-only afterwards.
extern CommgrOptions HubOptions;
extern Field HubFields[COMMGR_MAX_FIELDS]; // HubOptions.Fields resolved
extern uint32_t HubFieldCount;
extern char HubAddress[16]; // the address the address message announces
extern bool HubRecording;   // a record file is open
extern uint64_t HubStartMs; // Os.MonotonicMs() at start
extern PlatformSocket ListenSocket, DataSocket, SendSocket;
// Where the packet recording says the hub's datagrams come from and go to: HubAddress, and the
// port SendSocket is bound to (0 while it sends from a port the system chose).
extern uint32_t HubAddressValue; // network order
extern uint16_t SendPort;

// KivFSX's announced endpoint from its last discovery, packed by PackEndpoint (0: none yet).
// Written by the listen thread; read by all.
extern std::atomic<uint64_t> PeerEndpoint;
// `pause` / `resume`: no keep-alives and no discovery answers while set. Console thread
// writes; main and listen threads read.
extern std::atomic<bool> Paused;
// Set by the first address message sent (listen or console thread); from then on main
// sends keep-alives.
extern std::atomic<bool> Answered;
// Set by `quit` (console thread); main ends the process.
extern std::atomic<bool> QuitRequested;

// Counters for the summary: each written by one thread (noted), read by main.
struct HubCounters {
    std::atomic<uint32_t> Discoveries;    // listen: datagrams on the listen port
    std::atomic<uint32_t> AddressesSent;  // listen, console
    std::atomic<uint32_t> KeepAlivesSent; // main
    std::atomic<uint32_t> Blocks[4];      // data: by block number, [0]: no block number
    std::atomic<uint32_t> HeaderErrors;   // data: datagrams recorded with ok=0
    std::atomic<uint32_t> Gaps;           // data: sequence gaps
    std::atomic<uint32_t> ReceiveErrors;  // listen, data: failed receives
    std::atomic<uint64_t> LastBlockMs;    // data: time of the last datagram (ms since start)
};
extern HubCounters Counters;

uint64_t PackEndpoint(NetAddr addr);
bool UnpackEndpoint(uint64_t packed, NetAddr* addr);
// "a.b.c.d:port" into `out` (at least 24 bytes).
void FormatEndpoint(NetAddr addr, char* out);
uint64_t HubNowMs(); // ms since start

// Console output: notices are suppressed by --quiet, problems never.
void Notice(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Problem(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Sends the address message to `to` and records it.
bool SendAddress(NetAddr to);

// Sends `data` to KivFSX's announced endpoint and records it as `kind` (with `detail`); any
// thread. KivFSX is known only from its discovery broadcast: the blocks come from another
// (client) socket. False, after a console line, when it is not known yet or the send failed.
bool SendToPeer(const char* kind, const uint8_t* data, uint32_t length, const char* detail);

// Sends one datagram out of SendSocket and puts it into the packet recording; any thread.
// True when the whole datagram went out. With --faults it goes through the faulty network
// (tools/commgr/faults.h) and counts as sent; HubSendNow is the real send.
bool HubSendTo(const uint8_t* data, uint32_t length, NetAddr to);
bool HubSendNow(const uint8_t* data, uint32_t length, NetAddr to);
// Puts a datagram received on the hub's `port` into the packet recording.
void HubReceived(uint16_t port, NetAddr from, const uint8_t* data, uint32_t length);

// A datagram received on the listen port: recorded, and a discovery answered. The listen
// thread's, or with --faults the faults' thread's.
void HandleListenDatagram(const uint8_t* data, uint32_t length, NetAddr from);

// Thread procedures.
void ListenThread(void* unused);
void DataThread(void* unused);
void ConsoleThread(void* unused);

// The latest good-sized datagram of each block, for the summary. The data thread stores,
// main copies out; both under a lock inside.
void StoreLatestBlock(int32_t blockNumber, const uint8_t* data, uint32_t length);
uint32_t CopyLatestBlock(int32_t blockNumber, uint8_t* out); // length, 0 when none yet

// Prints the live summary (main thread).
void PrintSummary();

// Starts the --set changes of the command line (built by main) after the first block.
bool PrepareStartupSets(char* error, size_t errorSize);
void SendStartupSets(); // data thread, once
