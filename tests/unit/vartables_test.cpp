// The variable tables: the var types the receive path sees, the standard table, and the
// checks of InitEntry.
#include "net_fixture.h"

#include <set>
#include <sstream>

namespace {

using VarTablesTest = NetTest;

// "0-6 8 10-12" as the set of its numbers.
std::set<int> Ranges(const char* text) {
    std::set<int> out;
    std::istringstream in(text);
    for (std::string item; in >> item;) {
        size_t dash = item.find('-');
        int last = std::stoi(item.substr(dash == std::string::npos ? 0 : dash + 1));
        for (int i = std::stoi(item); i <= last; ++i) {
            out.insert(i);
        }
    }
    return out;
}

TEST_F(VarTablesTest, FsxSlotsCarryTheListedVarTypes) {
    EXPECT_EQ(InitDB(), 254);
    const std::set<int> doubles = Ranges("0-6 8-12 14-15 17 19-20 22-23 25-26 28-29 31-34 43-51 "
                                         "56-63 68 90-93 114 119-157 159 161 163 168-169");
    const std::set<int> ints = Ranges("13 21 24 27 35-36 39-40 42 52-55 64-67 69-89 94-113 "
                                      "115-118 158 160 164-167 170-172 175-189");
    const std::set<int> unused = Ranges("16 18 30 37-38 41 162 173-174 190-299");
    ASSERT_EQ(doubles.size(), 94u);
    ASSERT_EQ(ints.size(), 86u);
    ASSERT_EQ(doubles.size() + ints.size() + 1 + unused.size(), 300u);

    for (int i = 0; i < MAX_FSXS; ++i) {
        SCOPED_TRACE(i);
        const FsxVarRecord& r = FsxVarTable[i];
        if (doubles.count(i)) {
            EXPECT_EQ(r.VarType, VAR_TYPE_DOUBLE);
        } else if (ints.count(i)) {
            EXPECT_EQ(r.VarType, VAR_TYPE_INT);
        } else if (i == 7) {
            EXPECT_EQ(r.VarType, VAR_TYPE_UNKNOWN);
        } else {
            ASSERT_TRUE(unused.count(i));
            EXPECT_EQ(r.VarType, 0);
            EXPECT_EQ(r.InUse, 0);
            continue;
        }
        EXPECT_EQ(r.InUse, 1);
    }
    // Where two entries name one slot, the later one wins.
    EXPECT_EQ(FsxVarTable[7].StdIndex, 242);
    EXPECT_EQ(FsxVarTable[56].StdIndex, 188);
    EXPECT_EQ(FsxVarTable[100].StdIndex, 106); // a slot of a range row follows its index
}

TEST_F(VarTablesTest, StandardTableHoldsTypesAndInitialValues) {
    EXPECT_EQ(InitDB(), 254);
    const std::set<int> one = {185, 202, 203, 205, 206, 230, 232, 234, 236};
    int typeCount[6] = {};
    for (int i = 0; i < STD_VAR_COUNT; ++i) {
        SCOPED_TRACE(i);
        const StdVarRecord& r = StdVarTable[i];
        if (i == 52 || i == 168 || i == 169 || i == 213) {
            EXPECT_EQ(r.Type, -1);
            continue;
        }
        ASSERT_TRUE(r.Type >= 2 && r.Type <= 5);
        ++typeCount[r.Type];
        EXPECT_EQ(r.Index, i);
        EXPECT_STREQ(r.Name, "nill");
        EXPECT_EQ(r.Value, 0.0);
        EXPECT_EQ(r.IntValue, i == 228 ? -1 : (one.count(i) ? 1 : 0));
    }
    EXPECT_EQ(typeCount[2], 148);
    EXPECT_EQ(typeCount[3], 104);
    // The standard record keeps its own slot even where a later entry took the slot over.
    EXPECT_EQ(StdVarTable[7].FsxIndex, 7);
    EXPECT_EQ(StdVarTable[7].VarType, VAR_TYPE_DOUBLE);
    EXPECT_EQ(StdVarTable[16].FsxIndex, -1);
    EXPECT_EQ(Log().find("Duplicate"), std::string::npos);
}

TEST_F(VarTablesTest, InitEntryReportsDuplicatesAndEndsOnIndicesOutOfRange) {
    FsxVarRecord before = FsxVarTable[16];
    InitEntry(16, 2, -1, -1); // no slot: the FsxIndex table stays as it was
    EXPECT_EQ(FsxVarTable[16].InUse, before.InUse);
    EXPECT_EQ(FsxVarTable[16].VarType, before.VarType);
    EXPECT_EQ(StdVarTable[16].Type, 2);
    EXPECT_NE(Log().find("InitEntry() - Duplicate Index: 16\n"), std::string::npos);

    EXPECT_EQ(ExitCodeOf([] { InitEntry(0, 3, 300, 2); }), EXIT_FATAL);
    EXPECT_EQ(ExitCodeOf([] { InitEntry(258, 3, 1, 2); }), EXIT_FATAL);
    EXPECT_NE(Log().find("InitEntry() - FsxIndex >= MAX_FSXS. Exiting\n"
                         "InitEntry() - Index >= STD_VAR_COUNT\n"),
              std::string::npos);
}

} // namespace
