// The console thread: commands from standard input, and the variable changes of --set.
#include <cstdio>
#include <cstring>

#include "tools/commgr/commands.h"
#include "tools/commgr/hub.h"
#include "tools/commgr/messages.h"
#include "tools/commgr/record.h"

namespace {

// The --set changes, built by main before the threads start, sent once by the data thread.
uint8_t StartupSetMessage[COMMGR_MAX_VAR_MESSAGE];
uint32_t StartupSetLength = 0; // 0: no --set
char StartupSetDetail[1024];

} // namespace

// Sends `data` to KivFSX's announced endpoint and records it as `kind`. KivFSX is known only
// from its discovery broadcast: the blocks come from another (client) socket.
bool SendToPeer(const char* kind, const uint8_t* data, uint32_t length, const char* detail) {
    NetAddr to{};
    if (!UnpackEndpoint(PeerEndpoint.load(), &to)) {
        Problem("commgr: %s not sent: no discovery heard yet, KivFSX's address is unknown\n", kind);
        return false;
    }
    char where[24];
    FormatEndpoint(to, where);
    if (!HubSendTo(data, length, to)) {
        Problem("commgr: %s of %u bytes to %s could not be sent\n", kind, length, where);
        return false;
    }
    if (HubRecording) {
        RecordLine("SENT kind=%s len=%u%s%s", kind, length, detail[0] == '\0' ? "" : " ", detail);
    }
    Notice("commgr: sent %s (%u bytes) to %s\n", kind, length, where);
    return true;
}

namespace {

void Execute(const Command& c) {
    static uint8_t message[COMMGR_MAX_SEND]; // console thread only
    char detail[1024] = "";
    switch (c.Kind) {
    case CMD_EMPTY:
        return;
    case CMD_INVALID:
        Problem("commgr: %s\n", c.Error);
        return;
    case CMD_HELP:
        printf("%s", OptionsUsage());
        fflush(stdout);
        return;
    case CMD_PAUSE:
        Paused.store(true);
        Notice("commgr: paused: no keep-alives, discoveries not answered\n");
        return;
    case CMD_RESUME:
        Paused.store(false);
        Notice("commgr: resumed\n");
        return;
    case CMD_QUIT:
        QuitRequested.store(true);
        return;
    case CMD_SET: {
        uint32_t len = BuildVarChange(c.Settings, c.SettingCount, message);
        if (len == 0) {
            Problem("commgr: set refused: the message would reach %d bytes\n", MSG_MAX_RECEIVED);
            return;
        }
        char entries[900];
        FormatVarSettings(c.Settings, c.SettingCount, entries, sizeof(entries));
        snprintf(detail, sizeof(detail), "count=%u entries=%s", c.SettingCount, entries);
        SendToPeer("set", message, len, detail);
        return;
    }
    case CMD_SHUTDOWN:
        SendToPeer("shutdown", message, BuildShutdown(message), detail);
        return;
    case CMD_RAW:
        SendToPeer("raw", c.Bytes, c.Size, detail);
        return;
    case CMD_SIZE:
        SendToPeer("size", message, BuildSizedMessage(c.Size, message), detail);
        return;
    case CMD_ADDRESS: {
        NetAddr to{};
        if (!UnpackEndpoint(PeerEndpoint.load(), &to)) {
            Problem("commgr: address not sent: no discovery heard yet\n");
            return;
        }
        uint8_t probe[MSG_HEADER_SIZE + 64];
        char text[64];
        uint32_t len = BuildAddressMessage(HubAddress, HubOptions.DataPort, probe, text);
        if (SendAddress(to) && HubRecording) {
            snprintf(detail, sizeof(detail), "text=\"%s\"", text);
            RecordLine("SENT kind=address len=%u %s", len, detail);
        }
        return;
    }
    }
}

} // namespace

bool PrepareStartupSets(char* error, size_t errorSize) {
    static VarSetting settings[COMMGR_MAX_SETS];
    for (uint32_t i = 0; i < HubOptions.SetCount; ++i) {
        if (!ParseVarSetting(HubOptions.Sets[i], &settings[i], error, errorSize)) {
            return false;
        }
    }
    if (HubOptions.SetCount == 0) {
        return true;
    }
    StartupSetLength = BuildVarChange(settings, HubOptions.SetCount, StartupSetMessage);
    if (StartupSetLength == 0) {
        snprintf(error, errorSize, "the --set changes do not fit one message under %d bytes",
                 MSG_MAX_RECEIVED);
        return false;
    }
    char entries[900];
    FormatVarSettings(settings, HubOptions.SetCount, entries, sizeof(entries));
    snprintf(StartupSetDetail, sizeof(StartupSetDetail), "count=%u entries=%s", HubOptions.SetCount,
             entries);
    return true;
}

void SendStartupSets() {
    if (StartupSetLength != 0) {
        SendToPeer("set", StartupSetMessage, StartupSetLength, StartupSetDetail);
    }
}

void ConsoleThread(void*) {
    static char line[COMMAND_LINE_SIZE]; // this thread's only
    static Command command;
    uint32_t len = 0;
    bool overlong = false;
    for (;;) {
        int32_t c = Os.ReadConsoleChar();
        if (c < 0 || c == '\n') {
            line[len] = '\0';
            if (overlong) {
                Problem("commgr: command line too long, ignored\n");
            } else if (len > 0) {
                ParseCommand(line, &command);
                Execute(command);
            }
            len = 0;
            overlong = false;
            if (c < 0) {
                return; // end of input does not end the hub
            }
            continue;
        }
        if (len + 1 < sizeof(line)) {
            line[len++] = static_cast<char>(c);
        } else {
            overlong = true;
        }
    }
}
