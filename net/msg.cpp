// The version check and the message dump of received datagrams (see net/msg.h).
#include "net/msg.h"

#include "support/log.h"

// Set by the first failed version check; never cleared. Written and read by the receive
// thread only (every received datagram is handled there), so it needs no lock.
bool VersionReported = false;

bool ValidateMsgVersion(const MsgHeader& msg, const char* caller) {
    if (msg.Version == MSG_VERSION) {
        return true;
    }
    if (VersionReported) {
        return false;
    }
    VersionReported = true;
    SimLogf("ValidateMsgVersion(%s) - Incorrect Version. Found: %d  Required: %d\n", caller,
            msg.Version, MSG_VERSION);
    SimLogf("  Source: %d   Destination %d\n", msg.Source, msg.Destination);
    return false;
}

void LogMessage(const MsgHeader& msg, const char* caller) {
    SimLogf("Message logged by: %s\n", caller);
    SimLogf("   To: %d  From: %d\n", msg.Destination, msg.Source);
    SimLogf("   Version: %d  Length: %d\n", msg.Version, msg.Length);
    if (msg.MsgType == MSG_TYPE_UPDATE) {
        SimLog("   Type: Update\n");
    } else if (msg.MsgType == MSG_TYPE_KEEP_ALIVE) {
        SimLog("   Type: Leep Alive\n");
    }
}
