// The variable tables: their size, the standard records, and the checks of InitEntry.
#include "net_fixture.h"

namespace {

using VarTablesTest = NetTest;

// The FsxIndex side (each slot's var type and standard index) is listed in the dissector's
// generated tables, which the dissector_tables test holds to the program's; here the standard
// side.
TEST_F(VarTablesTest, TheStandardTableHoldsItsEntries) {
    EXPECT_EQ(InitDB(), 254);
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
