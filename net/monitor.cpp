// The link monitor and the discovery broadcast (see net/monitor.h).
#include "net/monitor.h"

#include <cstdio>
#include <cstring>

#include "net/link.h"
#include "net/msg.h"
#include "net/udp.h"
#include "platform/platform.h"
#include "support/log.h"
#include "support/process.h"

int32_t MissCount = 0;

namespace {
// Constants of the discovery text, sent as they are.
constexpr int32_t DISCOVERY_CONSTANT_1 = 1;
constexpr int32_t DISCOVERY_CONSTANT_2 = 1209;
} // namespace

void PhoneHome(int32_t listenPort) {
    // Header fields other than class, type, version and source carry no meaning in a
    // broadcast; they are sent as zero.
    uint8_t datagram[MSG_HEADER_SIZE + DISCOVERY_TEXT_SIZE];
    MsgHeader header;
    memset(&header, 0, sizeof(header));
    header.MsgClass = MSG_CLASS_NETWORK;
    header.MsgType = MSG_TYPE_KEEP_ALIVE;
    header.Version = MSG_VERSION;
    header.Source = NODE_ID;
    memcpy(datagram, &header, sizeof(header));

    char text[DISCOVERY_TEXT_SIZE];
    int n = snprintf(text, sizeof(text), "%s %d %d %d\n", HostIP, listenPort, DISCOVERY_CONSTANT_1,
                     DISCOVERY_CONSTANT_2);
    size_t textLength = n < 0 ? 0 : strlen(text);         // a longer text is cut at 99 characters
    memcpy(datagram + MSG_HEADER_SIZE, text, textLength); // without its NUL

    // With no broadcast address found at start-up there is nowhere to send: that counts as
    // a failed send, once a second, for as long as the link is down.
    int32_t sent = -1;
    if (HaveBroadcastAddr) {
        sent = Os.SendTo(BroadcastSocket, datagram, MSG_HEADER_SIZE + textLength, BroadcastAddr);
    }
    if (sent < 0) {
        ConsolePrint("Broadcast send error\n");
        SimLogLevel(6, "Broadcast send error\n");
    }
}

void MonitorTick(int32_t listenPort) {
    // The link flag is read before the sign of life: the receive thread sets them in the
    // other order, so an address message that arrives during the tick never meets a stale
    // "connected" with a missing sign of life (which, with MissCount still at 6 after an
    // earlier loss, would declare the new link lost at once). The sign of life is read and
    // cleared in one step, so one that arrives during the tick counts for the next tick
    // instead of being lost.
    const bool connected = CommMgrConnected.load() != 0;
    const bool heard = CommMgrHeard.exchange(0) != 0;
    if (connected) {
        if (heard) {
            MissCount = 0;
        } else if (++MissCount > MONITOR_MAX_MISSES) {
            CommMgrConnected.store(0);
            ConsolePrint("Connection with CommMgr lost\n");
        }
    } else if (heard) {
        // Only an address message brings the link up; this only notes the sign of life.
        MissCount = 0;
        ConsolePrint("Connected to CommMgr\n");
    }
    if (CommMgrConnected.load() != 0) {
        return;
    }
    PhoneHome(listenPort);
}

void Monitor(void* param) {
    const int32_t listenPort = *static_cast<const int32_t*>(param);
    SimLog("Monitor has started\n");
    for (;;) {
        Os.SleepMs(MONITOR_TICK_MS);
        MonitorTick(listenPort);
    }
}
