// The commands the hub takes on standard input, one per line.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/commgr/messages.h"

// Longest command line: a `raw` of COMMGR_MAX_SEND bytes written as "xx " groups.
constexpr uint32_t COMMAND_LINE_SIZE = COMMGR_MAX_SEND * 3 + 64;
constexpr uint32_t COMMAND_MAX_SETTINGS = 64;

enum CommandKind : int32_t {
    CMD_EMPTY = 0, // blank line: nothing to do
    CMD_INVALID,   // see Command::Error
    CMD_PAUSE,
    CMD_RESUME,
    CMD_SET,
    CMD_SHUTDOWN,
    CMD_RAW,
    CMD_SIZE,
    CMD_ADDRESS,
    CMD_QUIT,
    CMD_HELP,
};

struct Command {
    CommandKind Kind;
    VarSetting Settings[COMMAND_MAX_SETTINGS]; // CMD_SET
    uint32_t SettingCount;
    uint8_t Bytes[COMMGR_MAX_SEND]; // CMD_RAW
    uint32_t Size;                  // CMD_RAW: byte count; CMD_SIZE: datagram size
    char Error[160];                // CMD_INVALID
};

// Parses one line (without its line end; a trailing '\r' is ignored). Variable changes are
// typed against FsxVarTable, so InitDB must have run.
void ParseCommand(const char* line, Command* out);
