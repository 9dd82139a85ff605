// commgr: plays the communication manager (node 2) of the cockpit network for KivFSX.
#include <cstdio>
#include <cstring>

#include "support/process.h"
#include "tools/commgr/faults.h"
#include "tools/commgr/hub.h"
#include "tools/commgr/messages.h"
#include "tools/commgr/panel.h"
#include "tools/commgr/record.h"
#include "vars/vartables.h"

namespace {

constexpr int32_t MAX_ARGS = 256;
constexpr uint32_t ARG_SIZE = 4096;
constexpr uint32_t MAIN_TICK_MS = 10;
// With a packet recording the send socket is bound to a port of its own, the first free one
// from here on, so that the recording can name the port the hub's datagrams come from.
constexpr uint16_t SEND_PORT_FIRST = 49152;
constexpr uint16_t SEND_PORT_TRIES = 64;

char ArgText[MAX_ARGS][ARG_SIZE];

[[noreturn]] void Fail(int32_t code, const char* format, const char* what) {
    fprintf(stderr, "commgr: ");
    fprintf(stderr, format, what);
    fprintf(stderr, "\n");
    ExitProcess(code);
}

// The first IPv4 address of the host that is neither loopback nor unset, into HubAddress.
// Without one the hub announces 127.0.0.1, which reaches a KivFSX on the same host only.
void FindHubAddress() {
    uint32_t size = 0;
    void* list = nullptr;
    uint32_t result = Os.GetAdaptersInfo(nullptr, &size);
    if (result == PLATFORM_ADAPTERS_BUFFER_OVERFLOW && size > 0) {
        list = Os.Alloc(size);
        result = (list != nullptr) ? Os.GetAdaptersInfo(list, &size) : 1;
    }
    if (result == PLATFORM_ADAPTERS_OK && list != nullptr) {
        for (const void* a = PlatformAdapterFirst(list); a != nullptr; a = PlatformAdapterNext(a)) {
            const char* ip = PlatformAdapterIp(a);
            if (strcmp(ip, "0.0.0.0") != 0 && strncmp(ip, "127.", 4) != 0 &&
                PlatformInetAddr(ip) != PLATFORM_INADDR_NONE) {
                snprintf(HubAddress, sizeof(HubAddress), "%s", ip);
                break;
            }
        }
    }
    if (list != nullptr) {
        Os.Free(list);
    }
    if (HubAddress[0] == '\0') {
        snprintf(HubAddress, sizeof(HubAddress), "127.0.0.1");
        Problem("commgr: no non-loopback IPv4 address found; announcing 127.0.0.1 (use "
                "--address)\n");
    }
}

PlatformSocket BoundSocket(uint32_t addr, uint16_t port, bool broadcast) {
    PlatformSocket s = Os.UdpSocket(true);
    if (s == PLATFORM_NO_SOCKET) {
        Fail(COMMGR_EXIT_NETWORK, "cannot create a UDP socket%s", "");
    }
    if (broadcast) {
        Os.SetBroadcast(s, 1); // so that broadcasts are delivered on every platform
    }
    if (!Os.Bind(s, NetAddr{addr, port})) {
        char text[16];
        snprintf(text, sizeof(text), "%u", static_cast<unsigned>(port));
        Fail(COMMGR_EXIT_NETWORK, "cannot bind UDP port %s (in use?)", text);
    }
    return s;
}

void BindSendSocket() {
    for (uint16_t i = 0; i < SEND_PORT_TRIES; ++i) {
        uint16_t port = static_cast<uint16_t>(SEND_PORT_FIRST + i);
        if (port != HubOptions.ListenPort && port != HubOptions.DataPort &&
            Os.Bind(SendSocket, NetAddr{PlatformInetAddr(HubOptions.SendAddress[0] != '\0'
                                                             ? HubOptions.SendAddress
                                                             : "0.0.0.0"),
                                        port})) {
            SendPort = port;
            return;
        }
    }
    Problem("commgr: no free port from %u on for the send socket; the packet recording names "
            "port 0 as the source of the hub's datagrams\n",
            static_cast<unsigned>(SEND_PORT_FIRST));
}

void SendKeepAlive() {
    NetAddr to{};
    if (!UnpackEndpoint(PeerEndpoint.load(), &to)) {
        return;
    }
    uint8_t message[MSG_HEADER_SIZE];
    uint32_t len = BuildKeepAlive(message);
    if (!HubSendTo(message, len, to)) {
        Problem("commgr: keep-alive could not be sent\n");
        return;
    }
    Counters.KeepAlivesSent.fetch_add(1);
    if (HubRecording) {
        char where[24];
        FormatEndpoint(to, where);
        RecordLine("KEEPALIVE to=%s", where);
    }
}

// Main thread's work once the others run: keep-alives, summary, and the end.
[[noreturn]] void RunHub() {
    const CommgrOptions& o = HubOptions;
    bool keepAliveRunning = false;
    bool keepAliveEverRan = false;
    uint64_t nextKeepAlive = 0;
    uint64_t nextSummary = o.SummaryMs;
    for (;;) {
        uint64_t now = HubNowMs();
        if (QuitRequested.load() || (o.DurationS != 0 && now >= uint64_t{o.DurationS} * 1000)) {
            break;
        }
        bool active = Answered.load() && !Paused.load();
        if (active && !keepAliveRunning) {
            // The first keep-alive follows the first address message by one interval; after
            // a `resume` one goes out at once, to bring the link back without delay.
            nextKeepAlive = keepAliveEverRan ? now : now + o.KeepAliveMs;
            keepAliveRunning = keepAliveEverRan = true;
        } else if (!active) {
            keepAliveRunning = false;
        }
        if (keepAliveRunning && now >= nextKeepAlive) {
            SendKeepAlive();
            nextKeepAlive += o.KeepAliveMs;
            if (nextKeepAlive <= now) {
                nextKeepAlive = now + o.KeepAliveMs; // fell behind: no burst to catch up
            }
        }
        if (o.SummaryMs != 0 && !o.Quiet && now >= nextSummary) {
            PrintSummary();
            nextSummary = now + o.SummaryMs;
        }
        Os.SleepMs(MAIN_TICK_MS);
    }
    Notice("commgr: done\n");
    RecordClose();
    PcapClose();
    // The receive threads are blocked in their sockets; the process ends under them.
    ExitProcess(COMMGR_EXIT_OK);
}

} // namespace

int main(int argc, char** argv) {
    PlatformConsoleInit();
    PlatformArgsInit(argc, argv);
    HubStartMs = Os.MonotonicMs();

    static const char* args[MAX_ARGS];
    int32_t count = PlatformArgCount() - 1;
    if (count > MAX_ARGS) {
        Fail(COMMGR_EXIT_USAGE, "too many arguments%s", "");
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!PlatformArg(i + 1, ArgText[i], ARG_SIZE)) {
            Fail(COMMGR_EXIT_USAGE, "argument too long: %.60s", ArgText[i]);
        }
        args[i] = ArgText[i];
    }
    char error[256];
    if (!ParseOptions(count, args, &HubOptions, error, sizeof(error))) {
        fprintf(stderr, "commgr: %s\n%s", error, OptionsUsage());
        ExitProcess(COMMGR_EXIT_USAGE);
    }
    if (HubOptions.Help) {
        printf("%s", OptionsUsage());
        ExitProcess(COMMGR_EXIT_OK);
    }

    InitDB(); // the var types that decide how each variable change is encoded
    for (uint32_t i = 0; i < HubOptions.FieldCount; ++i) {
        if (!ResolveField(HubOptions.Fields[i], &HubFields[HubFieldCount])) {
            Fail(COMMGR_EXIT_USAGE, "--fields: no block carries \"%s\"", HubOptions.Fields[i]);
        }
        ++HubFieldCount;
    }
    if (!PrepareStartupSets(error, sizeof(error))) {
        Fail(COMMGR_EXIT_USAGE, "--set: %s", error);
    }

    if (!Os.SocketsStart()) {
        Fail(COMMGR_EXIT_NETWORK, "the sockets library did not start%s", "");
    }
    if (HubOptions.Address[0] != '\0') {
        snprintf(HubAddress, sizeof(HubAddress), "%s", HubOptions.Address);
    } else {
        FindHubAddress();
    }
    // Bound to one address, the socket hears only the discovery sent to it: a test tells by it
    // which network a broadcast went to, or that discovery came by unicast.
    uint32_t listenAddr =
        HubOptions.ListenAddress[0] != '\0' ? PlatformInetAddr(HubOptions.ListenAddress) : 0;
    ListenSocket = BoundSocket(listenAddr, HubOptions.ListenPort, true);
    DataSocket = BoundSocket(0, HubOptions.DataPort, false);
    SendSocket = Os.UdpSocket(true);
    if (SendSocket == PLATFORM_NO_SOCKET) {
        Fail(COMMGR_EXIT_NETWORK, "cannot create a UDP socket%s", "");
    }
    if (HubOptions.SendAddress[0] != '\0' && HubOptions.RecordPcapPath[0] == '\0' &&
        !Os.Bind(SendSocket, NetAddr{PlatformInetAddr(HubOptions.SendAddress), 0})) {
        Fail(COMMGR_EXIT_NETWORK, "--send-address: cannot send from %s", HubOptions.SendAddress);
    }
    if (HubOptions.RecordPath[0] != '\0') {
        if (!RecordOpen(HubOptions.RecordPath)) {
            Fail(COMMGR_EXIT_RECORD, "cannot create the record file \"%s\"", HubOptions.RecordPath);
        }
        HubRecording = true;
    }
    HubAddressValue = PlatformInetAddr(HubAddress);
    if (HubOptions.RecordPcapPath[0] != '\0') {
        BindSendSocket();
        if (!PcapOpen(HubOptions.RecordPcapPath)) {
            Fail(COMMGR_EXIT_RECORD, "cannot create the packet recording \"%s\"",
                 HubOptions.RecordPcapPath);
        }
    }

    if (HubOptions.Faults[0] != '\0') {
        FaultPlan plan;
        if (!ParseFaults(HubOptions.Faults, &plan, error, sizeof(error))) {
            Fail(COMMGR_EXIT_USAGE, "--faults: %s", error);
        }
        if (!FaultsStart(plan, HubOptions.FaultSeed, HubOptions.FaultLogPath, error,
                         sizeof(error))) {
            Fail(COMMGR_EXIT_RECORD, "--faults: %s", error);
        }
    }
    if (!Os.StartThread(ListenThread, nullptr) || !Os.StartThread(DataThread, nullptr) ||
        !Os.StartThread(ConsoleThread, nullptr)) {
        Fail(COMMGR_EXIT_NETWORK, "cannot start the hub's threads%s", "");
    }
    Notice("commgr: hub %s, discovery on port %u, blocks on port %u, keep-alive every %u ms\n",
           HubAddress, static_cast<unsigned>(HubOptions.ListenPort),
           static_cast<unsigned>(HubOptions.DataPort), HubOptions.KeepAliveMs);
    if (HubOptions.PanelPort != 0) {
        if (!PanelStart(HubOptions.PanelAddress, HubOptions.PanelPort, error, sizeof(error))) {
            Fail(COMMGR_EXIT_NETWORK, "--panel: %s", error);
        }
        // Printed even with --quiet: it is what the user came for.
        printf("commgr: panel on http://%s:%u/\n", HubOptions.PanelAddress,
               static_cast<unsigned>(HubOptions.PanelPort));
        fflush(stdout);
    }
    RunHub();
}
