// The variable tables and the fixed list of entries that fills them (see vars/vartables.h).
#include "vars/vartables.h"

#include <cstdio>
#include <cstring>

#include "support/log.h"
#include "support/process.h"

// Both tables are written only by InitDB, on the main thread before any worker thread
// starts; afterwards every thread only reads them (the receive thread reads var types).
StdVarRecord StdVarTable[STD_VAR_COUNT];
FsxVarRecord FsxVarTable[MAX_FSXS];

namespace {

constexpr int32_t NONE = -1;

// One row of the fixed list: the standard indices First to Last, each one entry, with the
// FsxIndex rising in step from FsxFirst (or NONE for every index of the row).
struct EntryRow {
    int16_t First;
    int16_t Last;
    int8_t Type;
    int16_t FsxFirst;
    int8_t VarType;
};

// The fixed list, sorted by standard index. Where two entries name the same FsxIndex the
// later one wins: FsxIndex 7 ends with standard index 242 (var type 7), FsxIndex 56 with
// standard index 188. Standard indices 52, 168, 169 and 213 are never entered.
constexpr EntryRow ENTRY_ROWS[] = {
    {0, 12, 3, 0, 2},          {13, 13, 2, 13, 5},        {14, 15, 3, 14, 2},
    {16, 16, 3, NONE, NONE},   {17, 17, 3, 17, 2},        {18, 18, 2, NONE, NONE},
    {19, 20, 3, 19, 2},        {21, 21, 2, NONE, NONE},   {22, 22, 2, 52, 5},
    {23, 23, 2, NONE, NONE},   {24, 25, 2, 53, 5},        {26, 26, 2, NONE, NONE},
    {27, 28, 3, 22, 2},        {29, 29, 2, 24, 5},        {30, 31, 3, 25, 2},
    {32, 32, 2, 27, 5},        {33, 34, 3, 28, 2},        {35, 35, 3, 163, 2},
    {36, 39, 3, 31, 2},        {40, 41, 2, 35, 5},        {42, 43, 2, NONE, NONE},
    {44, 45, 2, 39, 5},        {46, 46, 2, NONE, NONE},   {47, 47, 2, 42, 5},
    {48, 49, 3, 43, 2},        {50, 50, 2, 21, 5},        {51, 51, 3, 45, 2},
    {53, 55, 3, 46, 2},        {56, 56, 2, NONE, NONE},   {57, 57, 3, 55, 5},
    {58, 60, 3, 49, 2},        {61, 62, 3, 56, 2},        {63, 63, 3, 59, 2},
    {64, 64, 3, 58, 2},        {65, 68, 3, 60, 2},        {69, 72, 2, 64, 5},
    {73, 73, 3, 68, 2},        {74, 83, 2, 69, 5},        {84, 84, 2, NONE, NONE},
    {85, 85, 2, 89, 5},        {86, 86, 3, 90, 2},        {87, 87, 3, 92, 2},
    {88, 88, 3, 91, 2},        {89, 89, 3, 93, 2},        {90, 99, 2, 79, 5},
    {100, 119, 2, 94, 5},      {120, 120, 3, 114, 2},     {121, 124, 2, 115, 5},
    {125, 125, 3, 119, 2},     {126, 127, 2, 166, 5},     {128, 143, 3, 120, 2},
    {144, 147, 3, 140, 2},     {148, 151, 3, 136, 2},     {152, 165, 3, 144, 2},
    {166, 166, 2, 158, 5},     {167, 167, 3, 159, 2},     {170, 171, 2, NONE, NONE},
    {172, 172, 2, 165, 5},     {173, 173, 2, 164, 5},     {174, 175, 3, 168, 2},
    {176, 178, 2, 170, 5},     {179, 179, 2, 175, 5},     {180, 184, 2, 180, 5},
    {185, 185, 2, NONE, NONE}, {186, 187, 2, 186, 5},     {188, 188, 3, 56, 2},
    {189, 190, 2, 188, 5},     {191, 192, 2, NONE, NONE}, {193, 193, 5, NONE, NONE},
    {194, 194, 3, NONE, NONE}, {195, 212, 2, NONE, NONE}, {214, 214, 2, NONE, NONE},
    {215, 215, 2, 160, 5},     {216, 216, 3, 161, 2},     {217, 217, 2, NONE, NONE},
    {218, 221, 3, NONE, NONE}, {222, 226, 2, NONE, NONE}, {227, 227, 3, NONE, NONE},
    {228, 237, 2, NONE, NONE}, {238, 241, 2, 176, 5},     {242, 242, 4, 7, 7},
    {243, 247, 2, NONE, NONE}, {248, 248, 2, 185, 5},     {249, 257, 2, NONE, NONE},
};

// Standard indices whose integer value starts at something other than 0.
constexpr int16_t INT_VALUE_ONE[] = {185, 202, 203, 205, 206, 230, 232, 234, 236};
constexpr int16_t INT_VALUE_MINUS_ONE = 228;

} // namespace

void InitEntry(int32_t stdIndex, int32_t type, int32_t fsxIndex, int32_t varType) {
    if (fsxIndex >= MAX_FSXS) {
        SimLog("InitEntry() - FsxIndex >= MAX_FSXS. Exiting\n");
        ExitProcess(EXIT_FATAL);
    }
    // A negative standard index has no record either; it is refused like one past the end.
    if (stdIndex < 0 || stdIndex >= STD_VAR_COUNT) {
        SimLog("InitEntry() - Index >= STD_VAR_COUNT\n");
        ExitProcess(EXIT_FATAL);
    }
    StdVarRecord& rec = StdVarTable[stdIndex];
    if (rec.Type >= 0) {
        SimLogf("InitEntry() - Duplicate Index: %d\n", stdIndex);
    }
    rec.Type = type;
    rec.Value = 0.0;
    rec.Index = stdIndex;
    rec.IntValue = 0;
    rec.VarType = varType;
    rec.FsxIndex = fsxIndex;
    snprintf(rec.Name, sizeof(rec.Name), "%s", "nill");
    // Any negative FsxIndex means "no simulator-side record".
    if (fsxIndex >= 0) {
        FsxVarRecord& fsx = FsxVarTable[fsxIndex];
        fsx.InUse = 1;
        fsx.StdIndex = stdIndex;
        fsx.VarType = varType;
    }
}

int32_t InitDB() {
    for (FsxVarRecord& fsx : FsxVarTable) {
        fsx.InUse = 0;
        fsx.StdIndex = 0;
        fsx.VarType = 0;
    }
    for (StdVarRecord& rec : StdVarTable) {
        rec.Type = -1;
    }
    int32_t count = 0;
    for (const EntryRow& row : ENTRY_ROWS) {
        for (int32_t i = row.First; i <= row.Last; ++i) {
            int32_t fsx = row.FsxFirst == NONE ? NONE : row.FsxFirst + (i - row.First);
            InitEntry(i, row.Type, fsx, row.VarType);
            ++count;
        }
    }
    for (int16_t index : INT_VALUE_ONE) {
        StdVarTable[index].IntValue = 1;
    }
    StdVarTable[INT_VALUE_MINUS_ONE].IntValue = -1;
    if (count >= MAX_FSXS) {
        SimLog("InitDB() - Count exceeds MAX FSXS\n");
        ExitProcess(EXIT_FATAL);
    }
    return count;
}
