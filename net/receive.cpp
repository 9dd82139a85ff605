// The receive path (see net/receive.h). Runs on the receive thread only.
#include "net/receive.h"

#include <cstdio>
#include <cstring>

#include "net/link.h"
#include "net/senders.h"
#include "net/udp.h"
#include "support/log.h"
#include "support/process.h"
#include "support/restart.h"
#include "vars/vartables.h"

namespace {

bool DropInt(int32_t, int32_t) {
    return true;
}
bool DropDouble(int32_t, double) {
    return true;
}

// The installed forms. Written by SetVarChangeHandler before the receive thread starts; read
// by the receive thread only.
VarChangeHandler VarChange = {DropInt, DropDouble};

constexpr int32_t ADDRESS_TEXT_SIZE = 200; // a word of at most 199 characters

// Payload of a datagram no longer than its header.
const uint8_t EMPTY_PAYLOAD[1] = {0};

// One line to the console and the same line to the log.
void ReportBoth(const char* line) {
    ConsolePrint("%s", line);
    SimLog(line);
}

// The decimal number at the start of `text` after blanks, as "%d" would read it; false when
// there is no digit. A value beyond 32 bits is held at the nearest limit instead of being
// undefined; only its low 16 bits are used as a port anyway.
bool ReadDecimal(const char* text, int32_t* value) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) {
        ++text;
    }
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    if (*text < '0' || *text > '9') {
        return false;
    }
    int64_t n = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (n <= INT32_MAX) {
            n = n * 10 + (*text - '0');
        }
    }
    n = negative ? -n : n;
    *value = n > INT32_MAX ? INT32_MAX : (n < INT32_MIN ? INT32_MIN : static_cast<int32_t>(n));
    return true;
}

// Reads "<address> <port>" from an address message. False when the text does not hold a
// word followed by a number, or when the word is not a dotted address (its conversion
// gives all bits set, which also refuses "255.255.255.255" as a destination).
bool ParseAddressText(const char* text, char* addressText, uint32_t* addr, int32_t* port) {
    int consumed = 0;
    if (sscanf(text, "%199s%n", addressText, &consumed) != 1) {
        return false;
    }
    if (!ReadDecimal(text + consumed, port)) {
        return false;
    }
    *addr = PlatformInetAddr(addressText);
    return *addr != PLATFORM_INADDR_NONE;
}

void HandleKeepAlive(const Datagram& msg) {
    if (!ValidateMsgVersion(msg.Header, "HandleNetworkMsgs(KA)")) {
        ConsolePrint("HandleNetworkMsgs(Keep Alive) - Invalid message received\n");
        LogMessage(msg.Header, "HandleNetworkMessages(Keep Alive)");
        return;
    }
    CommMgrHeard.store(1);
}

void HandleAddress(const Datagram& msg) {
    if (!ValidateMsgVersion(msg.Header, "HandleNetworkMsgs(ADR)")) {
        ConsolePrint("HandleNetworkMsgs(Address) - Invalid message received\n");
        LogMessage(msg.Header, "HandleNetworkMessages(Address)");
        return;
    }
    char addressText[ADDRESS_TEXT_SIZE];
    uint32_t addr = 0;
    int32_t port = 0;
    // A message without a usable address and port is refused whole: the current socket,
    // destination and link flags stay as they are, so a link that is up stays up with the
    // destination it had, and the message is not counted as a sign of life.
    if (!ParseAddressText(reinterpret_cast<const char*>(msg.Payload), addressText, &addr, &port)) {
        ReportBoth("HandleNetworkMsgs(Address) - No usable address and port in message\n");
        LogMessage(msg.Header, "HandleNetworkMessages(Address)");
        return;
    }

    PlatformSocket old = ClientSocket.exchange(PLATFORM_NO_SOCKET);
    if (old != PLATFORM_NO_SOCKET && !Os.CloseSocket(old)) {
        ConsolePrint("Error closing existing socket\n");
    }
    PlatformSocket sock = Os.UdpSocket(false);
    if (sock == PLATFORM_NO_SOCKET) {
        SimLog("PollUdp() - Socket Open Failure\n");
        ConsolePrint("Unable to continue. Check log for details\n");
        PressEnterExit();
    }
    ClientSocket.store(sock);
    CommMgrAddr.store(PackNetAddr(NetAddr{addr, static_cast<uint16_t>(port)}));
    if (CommMgrConnected.load() == 0) {
        ConsolePrint("Connected to CommMgr\n   Port: %d\n     IP: %s\n", port, addressText);
        CommMgrConnected.store(1);
    }
    CommMgrHeard.store(1);
}

void HandleShutdown() {
    PlatformSocket sock = ClientSocket.exchange(PLATFORM_NO_SOCKET);
    if (sock != PLATFORM_NO_SOCKET) {
        Os.CloseSocket(sock); // an error changes nothing: the process ends
    }
    SimLog("Shutdown message received. Bye\n");
    ExitProcess(EXIT_FATAL);
}

// Ends a variable-change message early: a line to the console and the log, and the dump.
void StopDataMsg(const Datagram& msg, const char* line, const char* caller) {
    ReportBoth(line);
    LogMessage(msg.Header, caller);
}

void HandleVarChanges(const Datagram& msg) {
    if (!ValidateMsgVersion(msg.Header, "HandleDataMsgs")) {
        ConsolePrint("HandleDataMsgs(FSX IN) - Invalid message received\n");
        LogMessage(msg.Header, "HandleDataMsgs(FSX IN)");
        Restart();
        // The entries are still applied.
    }
    const int32_t count = msg.Header.Count;
    const uint8_t* p = msg.Payload;
    const uint8_t* end = msg.Payload + msg.PayloadLength;
    char line[160];
    for (int32_t i = 0; i < count; ++i) {
        // An entry that does not fit in the received bytes ends the message, as an entry
        // without a wire width does: everything after it would be read out of step.
        if (end - p < 4) {
            snprintf(line, sizeof(line),
                     "HandleDataMsgs() - Entry %d of %d runs past the end of the message\n", i + 1,
                     count);
            StopDataMsg(msg, line, "HandleDataMessages(Count)");
            return;
        }
        uint32_t index;
        memcpy(&index, p, sizeof(index));
        // An index without a slot in the table has no known width either: end the message.
        if (index >= static_cast<uint32_t>(MAX_FSXS)) {
            snprintf(line, sizeof(line), "HandleDataMsgs() - FsxIndex out of range: %u\n", index);
            StopDataMsg(msg, line, "HandleDataMessages(FsxIndex)");
            return;
        }
        const int32_t varType = FsxVarTable[index].VarType;
        const int32_t width = varType == VAR_TYPE_INT                                       ? 4
                              : (varType == VAR_TYPE_DOUBLE || varType == VAR_TYPE_DOUBLE1) ? 8
                                                                                            : 0;
        if (width == 0) {
            snprintf(line, sizeof(line), "Unhandled vartype: %d\n", varType);
            StopDataMsg(msg, line, "HandleDataMessages(VarType)");
            return;
        }
        if (end - p < 4 + width) {
            snprintf(line, sizeof(line),
                     "HandleDataMsgs() - Entry %d of %d runs past the end of the message\n", i + 1,
                     count);
            StopDataMsg(msg, line, "HandleDataMessages(Count)");
            return;
        }
        if (width == 4) {
            int32_t value;
            memcpy(&value, p + 4, sizeof(value));
            if (!VarChange.Int(static_cast<int32_t>(index), value)) {
                LogMessage(msg.Header, "HandleDataMessages(int)");
            }
        } else {
            double value;
            memcpy(&value, p + 4, sizeof(value));
            if (!VarChange.Double(static_cast<int32_t>(index), value)) {
                LogMessage(msg.Header, "HandleDataMessages(double)");
            }
        }
        p += 4 + width;
    }
}

} // namespace

void SetVarChangeHandler(VarChangeHandler handler) {
    VarChange = handler;
}

void HandleNetworkMsgs(const Datagram& msg) {
    switch (msg.Header.MsgType) {
    case MSG_TYPE_KEEP_ALIVE:
        HandleKeepAlive(msg);
        return;
    case MSG_TYPE_ADDRESS:
        HandleAddress(msg);
        return;
    case MSG_TYPE_SHUTDOWN:
        HandleShutdown();
        return;
    default: {
        char line[80];
        snprintf(line, sizeof(line), "HandleNetworkMsgs() - Unhandled MSG_TYPE: %d\n",
                 msg.Header.MsgType);
        ReportBoth(line);
        LogMessage(msg.Header, "HandleNetworkMsgs");
        return;
    }
    }
}

void HandleDataMsgs(const Datagram& msg) {
    if (msg.Header.MsgType == MSG_TYPE_FSX_IN) {
        HandleVarChanges(msg);
        return;
    }
    char line[80];
    snprintf(line, sizeof(line), "HandleDataMsgs() - Unknown MSG_TYPE: %d\n", msg.Header.MsgType);
    ReportBoth(line);
    LogMessage(msg.Header, "HandleDataMessages(Msg Type");
}

void HandleDatagram(uint8_t* buffer, int32_t length) {
    if (length >= MSG_MAX_RECEIVED) {
        SimLogf("PollUDP() - Fatal: Buffer over run on DGRAM. Length = %d\n", length);
        ConsolePrint("Fatal Error. Check log for details\n");
        Restart();
        // The datagram is still handled.
    }
    if (length < 1) {
        ReportBoth("Zero Length msg received\n");
        Restart();
        return;
    }
    buffer[length] = 0;

    // The buffer is not aligned: the header is copied out. A datagram shorter than the
    // header reads the bytes it lacks as zero and has an empty payload.
    Datagram msg;
    memset(&msg.Header, 0, sizeof(msg.Header));
    memcpy(&msg.Header, buffer,
           length < static_cast<int32_t>(MSG_HEADER_SIZE) ? length : MSG_HEADER_SIZE);
    if (length > static_cast<int32_t>(MSG_HEADER_SIZE)) {
        msg.Payload = buffer + MSG_HEADER_SIZE;
        msg.PayloadLength = length - static_cast<int32_t>(MSG_HEADER_SIZE);
    } else {
        msg.Payload = EMPTY_PAYLOAD;
        msg.PayloadLength = 0;
    }

    switch (msg.Header.MsgClass) {
    case MSG_CLASS_DATA:
        HandleDataMsgs(msg);
        return;
    case MSG_CLASS_NETWORK:
        HandleNetworkMsgs(msg);
        return;
    default: {
        char line[80];
        snprintf(line, sizeof(line), "PollUDP() - Unhandled MSG CLASS: %d\n", msg.Header.MsgClass);
        ReportBoth(line);
        LogMessage(msg.Header, "PollUDP");
        return;
    }
    }
}

int32_t PollUDP() {
    uint8_t buffer[RECEIVE_BUFFER_SIZE + 1];
    // Without the setting senders any sender is accepted and its address is not used. With
    // it, a datagram from another sender is dropped before anything reads it, also an empty
    // or oversized one; only a receive error that names no sender goes on as usual.
    NetAddr from{0, 0};
    int32_t length = Os.RecvFrom(MonitorSocket, buffer, RECEIVE_BUFFER_SIZE, &from);
    if (SenderFilter.Count != 0 && (length >= 0 || from.Addr != 0) && !SenderAccepted(from.Addr)) {
        NoteRefusedSender(from.Addr);
        return 0;
    }
    HandleDatagram(buffer, length);
    // Once a relaunch has been requested this thread keeps handling datagrams until the main
    // thread ends the process, but a receive that keeps failing pauses briefly each time
    // instead of spinning a core (and the log) at full speed.
    if (length < 1 && RestartPending.load()) {
        Os.SleepMs(RECEIVE_ERROR_PAUSE_MS);
    }
    return 0;
}

void ReceiveThread(void* param) {
    SimLog("Receive Monitor Thread has started\n");
    for (;;) {
        PollUDP();
    }
}
