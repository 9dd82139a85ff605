// The log file: start, entry format, levels, fallback and rename.
#include "test_support.h"

#include <cstring>

#include "support/log.h"

namespace {

void FixedTime(int32_t* h, int32_t* m, int32_t* s, int32_t* ms) {
    *h = 13;
    *m = 4;
    *s = 5;
    *ms = 6;
}

using LogTest = TempDirTest;

TEST_F(LogTest, StartEmptiesTheFileAndEntriesAreStampedVerbatim) {
    WriteFile("KivFSX.log", "old content\n");
    Os.LocalTime = FixedTime;
    ASSERT_TRUE(SimLogInit("KivFSX.log"));
    SimLog("abc");
    SimLog("100%d %s\n");
    EXPECT_EQ(ReadFile("KivFSX.log"), "Log started.\n13:04:05:006  abc13:04:05:006  100%d %s\n");
    // A text file as the platform's editors show it: CR LF on Windows, LF elsewhere.
    EXPECT_EQ(RawFile("KivFSX.log"), std::string("Log started.") + PLATFORM_LINE_END +
                                         "13:04:05:006  abc13:04:05:006  100%d %s" +
                                         PLATFORM_LINE_END);
}

TEST_F(LogTest, LevelsSecondStartsAndTheDefaultFile) {
    ASSERT_TRUE(SimLogInit("KivFSX.log"));
    SimLogLevel(2, "two\n");
    SimLogLevel(3, "three\n");
    EXPECT_EQ(LogText("KivFSX.log"), "Log started.\nthree\n");
    // The mutex of an earlier start in this process survives, as it does in the program.
    ASSERT_TRUE(SimLogInit("Other.log"));
    EXPECT_EQ(ReadFile("Other.log"), "Log Started - Already initialized\n");

    // A directory of the same name makes the file impossible to create.
    SimLogResetForTest();
    std::filesystem::create_directory("Blocked.log");
    EXPECT_FALSE(SimLogInit("Blocked.log"));
    SimLog("first entry\n");
    EXPECT_NE(LogText("KIVDefault.log").find("first entry\n"), std::string::npos);
}

// The working directory as the platform reports it; its length decides whether the log and
// the saved log have a path at all.
std::string FakeDir;
bool FakeCurrentDir(char* out, size_t size) {
    return FakeDir.size() < size && snprintf(out, size, "%s", FakeDir.c_str()) > 0;
}

TEST_F(LogTest, APathOneByteTooLongIsNeverCutButLeftUnused) {
    Os.CurrentDir = FakeCurrentDir;
    // Directory, separator and "KivFSX.log" (10 characters) in 400 bytes: 388 fit, 389 do not.
    FakeDir = Dir.string() + PLATFORM_DIR_SEP + std::string(387 - Dir.string().size(), 'd');
    SimLogInit("KivFSX.log");
    EXPECT_EQ(strlen(SimLogPath()), 399u);
    FakeDir += 'd';
    EXPECT_FALSE(SimLogInit("KivFSX.log"));
    EXPECT_STREQ(SimLogPath(), "");
    SimLog("lost\n");
    EXPECT_FALSE(std::filesystem::exists("KIVDefault.log"));
}

TEST_F(LogTest, RenameMovesTheLogOverTheSavedOneOnlyWhenThereIsALog) {
    WriteFile("KivSaved.log", "older\n");
    ASSERT_TRUE(SimLogInit("KivFSX.log"));
    SimLog("before\n");
    SimLogRename("KivSaved.log");
    EXPECT_EQ(LogText("KivSaved.log"), "Log started.\nbefore\n");
    SimLog("after\n");
    EXPECT_EQ(LogText("KivFSX.log"), "after\n");
    // Without a log file to move, the saved one stays.
    std::filesystem::remove("KivFSX.log");
    SimLogRename("KivSaved.log");
    EXPECT_EQ(LogText("KivSaved.log"), "Log started.\nbefore\n");
}

} // namespace
