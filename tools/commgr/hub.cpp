// The running hub: shared state, sending helpers and the listen thread.
#include "tools/commgr/hub.h"

#include <cstdarg>
#include <cstdio>

#include "tools/commgr/checks.h"
#include "tools/commgr/faults.h"
#include "tools/commgr/messages.h"
#include "tools/commgr/record.h"

CommgrOptions HubOptions;
Field HubFields[COMMGR_MAX_FIELDS];
uint32_t HubFieldCount = 0;
char HubAddress[16] = "";
bool HubRecording = false;
uint64_t HubStartMs = 0;
PlatformSocket ListenSocket = PLATFORM_NO_SOCKET;
PlatformSocket DataSocket = PLATFORM_NO_SOCKET;
PlatformSocket SendSocket = PLATFORM_NO_SOCKET;
uint32_t HubAddressValue = 0;
uint16_t SendPort = 0;

std::atomic<uint64_t> PeerEndpoint{0};
std::atomic<bool> Paused{false};
std::atomic<bool> Answered{false};
std::atomic<bool> QuitRequested{false};
HubCounters Counters;

uint64_t PackEndpoint(NetAddr addr) {
    return (uint64_t{1} << 48) | (uint64_t{addr.Addr} << 16) | addr.Port;
}

bool UnpackEndpoint(uint64_t packed, NetAddr* addr) {
    addr->Addr = static_cast<uint32_t>(packed >> 16);
    addr->Port = static_cast<uint16_t>(packed);
    return packed != 0;
}

void FormatEndpoint(NetAddr addr, char* out) {
    char ip[16];
    PlatformInetNtoa(addr.Addr, ip);
    snprintf(out, 24, "%s:%u", ip, static_cast<unsigned>(addr.Port));
}

uint64_t HubNowMs() {
    return Os.MonotonicMs() - HubStartMs;
}

void Notice(const char* format, ...) {
    if (HubOptions.Quiet) {
        return;
    }
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}

void Problem(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fflush(stderr);
}

bool HubSendTo(const uint8_t* data, uint32_t length, NetAddr to) {
    if (FaultsOn()) {
        FaultSend(data, length, to);
        return true;
    }
    return HubSendNow(data, length, to);
}

bool HubSendNow(const uint8_t* data, uint32_t length, NetAddr to) {
    if (Os.SendTo(SendSocket, data, length, to) != static_cast<int32_t>(length)) {
        return false;
    }
    PcapPacket(NetAddr{HubAddressValue, SendPort}, to, data, length);
    return true;
}

void HubReceived(uint16_t port, NetAddr from, const uint8_t* data, uint32_t length) {
    // The destination of a broadcast was the network's broadcast address; the recording names
    // the hub, which is where it arrived.
    PcapPacket(from, NetAddr{HubAddressValue, port}, data, length);
}

bool SendAddress(NetAddr to) {
    uint8_t message[MSG_HEADER_SIZE + 64];
    char text[64];
    uint32_t len = BuildAddressMessage(HubAddress, HubOptions.DataPort, message, text);
    char where[24];
    FormatEndpoint(to, where);
    if (!HubSendTo(message, len, to)) {
        Problem("commgr: address message to %s could not be sent\n", where);
        return false;
    }
    Counters.AddressesSent.fetch_add(1);
    Answered.store(true);
    if (HubRecording) {
        RecordLine("ADDRESS to=%s text=\"%s\"", where, text);
    }
    Notice("commgr: answered %s with \"%s\"\n", where, text);
    return true;
}

void ListenThread(void*) {
    static uint8_t buffer[4096]; // this thread's only
    for (;;) {
        NetAddr from{};
        int32_t got = Os.RecvFrom(ListenSocket, buffer, sizeof(buffer), &from);
        if (got < 0) {
            // Too large a datagram, or a transient error; a broken socket would spin, so
            // take a breath before the next try.
            Counters.ReceiveErrors.fetch_add(1);
            Os.SleepMs(10);
            continue;
        }
        HubReceived(HubOptions.ListenPort, from, buffer, static_cast<uint32_t>(got));
        if (FaultsOn()) {
            FaultReceive(HandleListenDatagram, HubOptions.ListenPort, buffer,
                         static_cast<uint32_t>(got), from);
        } else {
            HandleListenDatagram(buffer, static_cast<uint32_t>(got), from);
        }
    }
}

void HandleListenDatagram(const uint8_t* buffer, uint32_t got, NetAddr from) {
    {
        Counters.Discoveries.fetch_add(1);
        Discovery d;
        ParseDiscovery(buffer, got, from, &d);
        char sender[24];
        FormatEndpoint(from, sender);
        if (HubRecording) {
            RecordLine("DISCOVERY from=%s len=%d class=%d type=%d version=%d source=%d "
                       "text=\"%s\"",
                       sender, got, d.Header.MsgClass, d.Header.MsgType, d.Header.Version,
                       d.Header.Source, d.Text);
        }
        if (!d.Valid) {
            Notice("commgr: ignored a datagram from %s on the listen port: %s\n", sender, d.Reason);
            return;
        }
        PeerEndpoint.store(PackEndpoint(d.Reply));
        if (Paused.load()) {
            Notice("commgr: discovery from %s not answered (paused)\n", sender);
            return;
        }
        SendAddress(d.Reply);
    }
}
