// The opt-in sender filter (see net/senders.h). Runs on the receive thread only.
#include "net/senders.h"

#include "platform/platform.h"
#include "support/log.h"
#include "support/process.h"

SenderFilterSettings SenderFilter;

namespace {

// Senders already named, and whether the line about the rest has been written. The receive
// thread's own.
uint32_t Named[MAX_NAMED_REFUSED_SENDERS];
uint32_t NamedCount = 0;
bool RestNamed = false;

} // namespace

bool SenderAccepted(uint32_t addr) {
    if (SenderFilter.Count == 0) {
        return true;
    }
    for (uint32_t i = 0; i < SenderFilter.Count; ++i) {
        if (SenderFilter.Addr[i] == addr) {
            return true;
        }
    }
    return false;
}

void NoteRefusedSender(uint32_t addr) {
    for (uint32_t i = 0; i < NamedCount; ++i) {
        if (Named[i] == addr) {
            return;
        }
    }
    if (NamedCount == MAX_NAMED_REFUSED_SENDERS) {
        if (!RestNamed) {
            RestNamed = true;
            ConsoleAndLog("PollUDP() - Datagrams from more senders dropped (setting senders); "
                          "no further sender is named\n");
        }
        return;
    }
    Named[NamedCount++] = addr;
    char dotted[16];
    PlatformInetNtoa(addr, dotted);
    ConsoleAndLog("PollUDP() - Datagram from %s dropped unread: not a sender the setting "
                  "senders accepts (said once per sender)\n",
                  dotted);
}

void SenderFilterResetForTest() {
    SenderFilter = SenderFilterSettings{};
    NamedCount = 0;
    RestNamed = false;
}
