// The variable tables: their size, the rows the wire depends on, and the checks of InitEntry.
#include "net_fixture.h"

namespace {

using VarTablesTest = NetTest;

TEST_F(VarTablesTest, TablesHoldTheirCountsAndTheRowsTheWireReadsByIndex) {
    EXPECT_EQ(InitDB(), 254);
    int byVarType[8] = {};
    for (const FsxVarRecord& r : FsxVarTable) {
        ASSERT_TRUE(r.VarType >= 0 && r.VarType <= 7);
        byVarType[r.VarType] += r.InUse;
    }
    EXPECT_EQ(byVarType[VAR_TYPE_DOUBLE], 94);
    EXPECT_EQ(byVarType[VAR_TYPE_INT], 86);
    EXPECT_EQ(byVarType[7], 1);
    // The widths the receive path reads: the ends of runs, and the slots two entries name
    // (the later one wins).
    const struct {
        int Fsx, VarType, StdIndex;
    } rows[] = {{0, 2, 0},     {12, 2, 12},  {13, 5, 13},   {7, 7, 242},   {56, 2, 188},
                {69, 5, 74},   {88, 5, 99},  {94, 5, 100},  {113, 5, 119}, {114, 2, 120},
                {119, 2, 125}, {163, 2, 35}, {168, 2, 174}, {189, 5, 190}, {190, 0, -1}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.Fsx);
        EXPECT_EQ(FsxVarTable[r.Fsx].VarType, r.VarType);
        if (r.StdIndex >= 0) {
            EXPECT_EQ(FsxVarTable[r.Fsx].StdIndex, r.StdIndex);
        }
    }
    int typeCount[6] = {};
    for (int i = 0; i < STD_VAR_COUNT; ++i) {
        const StdVarRecord& r = StdVarTable[i];
        typeCount[r.Type >= 2 && r.Type <= 5 ? r.Type : 0] += 1;
        EXPECT_STREQ(r.Name, r.Type < 0 ? "" : "nill") << i;
    }
    EXPECT_EQ(typeCount[2], 148);
    EXPECT_EQ(typeCount[3], 104);
    EXPECT_EQ(StdVarTable[52].Type, -1);
    EXPECT_EQ(StdVarTable[228].IntValue, -1);
    EXPECT_EQ(StdVarTable[185].IntValue, 1);
    // The standard record keeps its own slot even where a later entry took the slot over.
    EXPECT_EQ(StdVarTable[7].FsxIndex, 7);
    EXPECT_EQ(StdVarTable[7].VarType, VAR_TYPE_DOUBLE);
    EXPECT_EQ(Log().find("Duplicate"), std::string::npos);
}

TEST_F(VarTablesTest, InitEntryReportsDuplicatesAndEndsOnIndicesOutOfRange) {
    FsxVarRecord before = FsxVarTable[16];
    InitEntry(16, 2, -1, -1); // no slot: the FsxIndex table stays as it was
    EXPECT_EQ(FsxVarTable[16].InUse, before.InUse);
    EXPECT_EQ(StdVarTable[16].Type, 2);
    EXPECT_NE(Log().find("InitEntry() - Duplicate Index: 16\n"), std::string::npos);

    EXPECT_EQ(ExitCodeOf([] { InitEntry(0, 3, 300, 2); }), EXIT_FATAL);
    EXPECT_EQ(ExitCodeOf([] { InitEntry(258, 3, 1, 2); }), EXIT_FATAL);
    EXPECT_NE(Log().find("InitEntry() - FsxIndex >= MAX_FSXS. Exiting\n"
                         "InitEntry() - Index >= STD_VAR_COUNT\n"),
              std::string::npos);
}

} // namespace
