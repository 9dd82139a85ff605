// The datagrams the hub sends to KivFSX: address, keep-alive, shutdown, variable changes,
// test datagrams of a given size or of given bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/msg.h"

// Largest datagram the `raw` and `size` commands send. KivFSX treats 500 bytes or more as
// an over-run and cannot receive more than 2000, so this leaves room to test both.
constexpr uint32_t COMMGR_MAX_SEND = 4096;
// Largest variable-change message KivFSX accepts (it refuses 500 bytes or more).
constexpr uint32_t COMMGR_MAX_VAR_MESSAGE = MSG_MAX_RECEIVED - 1;

// A header from the hub (node 2) to KivFSX (node 14), version 503, other fields 0.
MsgHeader HubHeader(int32_t msgClass, int32_t msgType, int32_t count);

// The address message: header 2/5 and the text "<hubAddress> <dataPort>" without a NUL.
// Returns its length; the text is also left in `text` (at least 64 bytes).
uint32_t BuildAddressMessage(const char* hubAddress, uint16_t dataPort, uint8_t* out, char* text);
// A keep-alive (2/9) or a shutdown order (2/12): the bare 32-byte header.
uint32_t BuildKeepAlive(uint8_t* out);
uint32_t BuildShutdown(uint8_t* out);
// `size` bytes: a variable-change header (1/2) with Count 0, zero-filled beyond it. Fewer
// than 32 bytes give the start of that header (0 bytes: an empty datagram).
uint32_t BuildSizedMessage(uint32_t size, uint8_t* out);

// One parsed IDX=VALUE of a variable change, typed by the var type of its FsxIndex.
struct VarSetting {
    uint32_t Index;
    int32_t VarType; // 5: IntValue; 1 or 2: DoubleValue
    int32_t IntValue;
    double DoubleValue;
};

// Parses "IDX=VALUE" against FsxVarTable. Refused (false, reason in `error`): an index outside
// the table, a var type without a wire encoding (0 or 7), a value that is not a 32-bit integer
// (var type 5) or a number (var types 1, 2).
bool ParseVarSetting(const char* text, VarSetting* out, char* error, size_t errorSize);

// The variable-change message (1/2, Count = n) of `count` settings into `out` (at least
// COMMGR_MAX_VAR_MESSAGE bytes). Returns its length, or 0 when it would reach 500 bytes.
uint32_t BuildVarChange(const VarSetting* settings, uint32_t count, uint8_t* out);
// The entries as "idx:value,idx:value" (integers %d, doubles %.6f), for the record.
void FormatVarSettings(const VarSetting* settings, uint32_t count, char* out, size_t size);

// Hex digits, with or without blanks between the bytes ("01 00 ff" or "0100ff"). False on
// an odd digit count, a character that is not hex, or more than `size` bytes.
bool ParseHexBytes(const char* text, uint8_t* out, uint32_t size, uint32_t* length);
