// UDP start-up (see net/udp.h).
#include "net/udp.h"

#include <cstdio>

#include "support/adapters.h"
#include "support/log.h"
#include "support/process.h"

char HostName[HOST_TEXT_SIZE] = "NotInitialized";
char HostIP[HOST_TEXT_SIZE] = "0.0.0.0";
PlatformSocket MonitorSocket = PLATFORM_NO_SOCKET;
PlatformSocket BroadcastSocket = PLATFORM_NO_SOCKET;
NetAddr BroadcastAddr = {0, 0};
bool HaveBroadcastAddr = false;

namespace {
constexpr int32_t UDP_SERVICES_MAJOR = 0;
constexpr int32_t UDP_SERVICES_MINOR = 27;
// Value handed to the broadcast option; any non-zero value grants permission.
constexpr int32_t BROADCAST_OPTION_VALUE = 32;
} // namespace

bool InitUDP(int32_t listenPort) {
    SimLog("Starting UDP Services\n");
    // Not checked: when the library does not start, creating the socket fails below.
    Os.SocketsStart();

    if (!Os.HostName(HostName, sizeof(HostName))) {
        SimLog("InitUDP() - InitUdp() - gethostname failure");
    }
    char officialName[HOST_TEXT_SIZE];
    uint32_t firstAddr = 0;
    bool hasAddr = false;
    if (!Os.LookupHost(HostName, officialName, sizeof(officialName), &firstAddr, &hasAddr)) {
        SimLog("InitUDP() - gethostbyname() failure");
    } else {
        SimLogf("Host Name: %s\n", officialName);
        SimLogf("     Port: %d\n", listenPort);
        if (hasAddr) {
            PlatformInetNtoa(firstAddr, HostIP);
        }
    }
    SimLogf("Host IP: %s\n", HostIP);
    // An adapter chosen by the settings: listen and announce on its address instead.
    char chosenIp[16];
    if (ChosenAdapterIp(chosenIp)) {
        snprintf(HostIP, sizeof(HostIP), "%s", chosenIp);
        SimLogf("Host IP: %s (setting adapter)\n", HostIP);
    }

    MonitorSocket = Os.UdpSocket(true);
    if (MonitorSocket == PLATFORM_NO_SOCKET) {
        SimLog("InitUDP() - InitUdp() - Error creating monitor socket.\n");
        return false;
    }
    ConsolePrint("     IP: %s\n", HostIP);
    ConsolePrint("   Port: %d\n", listenPort);
    ConsolePrint("\n");

    uint32_t bindAddr = PlatformInetAddr(HostIP);
    if (bindAddr == PLATFORM_INADDR_NONE) {
        SimLog("InitUDP() - Bad IP address\n");
        return false;
    }
    // The bind takes the low 16 bits of the port; everything that shows it, the full value.
    if (!Os.Bind(MonitorSocket, NetAddr{bindAddr, static_cast<uint16_t>(listenPort)})) {
        SimLog("InitUDP() - Monitor socket bind error\n");
        return false;
    }

    // Without a broadcast address the link still starts; every discovery broadcast then
    // fails and says so.
    HaveBroadcastAddr = InitNetwork(&BroadcastAddr);

    BroadcastSocket = Os.UdpSocket(false);
    if (BroadcastSocket == PLATFORM_NO_SOCKET) {
        SimLogLevel(4, "PhoneHome() - Broadcast Socket Open Failure\n");
        return false;
    }
    Os.SetBroadcast(BroadcastSocket, BROADCAST_OPTION_VALUE);

    SimLogf("UDP services ver. %d.%03d successfully initialized\n", UDP_SERVICES_MAJOR,
            UDP_SERVICES_MINOR);
    return true;
}
