// The variable tables: the standard numbering of the cockpit's variables and the simulator-side
// slots (FsxIndex) that variable-change messages name. Filled once by InitDB at start-up on
// the main thread before any worker thread exists; only read afterwards.
#pragma once

#include <cstdint>

constexpr int32_t STD_VAR_COUNT = 258;
constexpr int32_t MAX_FSXS = 300;

// Var type codes: how a value travelling under an FsxIndex is encoded.
constexpr int32_t VAR_TYPE_NONE = -1;   // StdVarTable only: no simulator-side record
constexpr int32_t VAR_TYPE_UNUSED = 0;  // a slot that no entry names
constexpr int32_t VAR_TYPE_DOUBLE1 = 1; // 64-bit double (no entry uses it)
constexpr int32_t VAR_TYPE_DOUBLE = 2;  // 64-bit double
constexpr int32_t VAR_TYPE_INT = 5;     // 32-bit signed integer
constexpr int32_t VAR_TYPE_UNKNOWN = 7; // carried by one entry; no known encoding

struct StdVarRecord {
    int32_t Index;
    int32_t Type; // standard type code 2, 3, 4 or 5; -1: no variable
    int32_t IntValue;
    double Value;
    char Name[12];
    int32_t FsxIndex; // -1: none
    int32_t VarType;  // -1: none
};

struct FsxVarRecord {
    int32_t VarType;
    int32_t StdIndex;
    uint8_t InUse;
};

extern StdVarRecord StdVarTable[STD_VAR_COUNT];
extern FsxVarRecord FsxVarTable[MAX_FSXS];

// Builds both tables from the fixed list; returns the number of entries made (254).
int32_t InitDB();
// Makes one entry (used by InitDB; exits with 100 on an index out of range).
void InitEntry(int32_t stdIndex, int32_t type, int32_t fsxIndex, int32_t varType);
