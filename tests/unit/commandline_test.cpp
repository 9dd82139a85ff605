// Program path and restart count from the argument vector.
#include "test_support.h"

#include <string>
#include <vector>

#include "support/process.h"

namespace {

int32_t CountFrom(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    PlatformArgsInit(static_cast<int>(argv.size()), argv.data());
    ParseCommandLine();
    int32_t count = RestartCount;
    RestartCount = 0;
    return count;
}

// On Windows the platform reads the process's own command line instead of argv, so these
// cases run where the argument vector is the one given.
bool ArgvIsUsed() {
    return PLATFORM_DIR_SEP == '/';
}

TEST(CommandLineTest, OnlyExactlyThreeArgumentsSetTheCount) {
    if (!ArgvIsUsed()) {
        GTEST_SKIP() << "the Windows backend reads GetCommandLineW";
    }
    EXPECT_EQ(CountFrom({"kivfsx"}), 0);
    EXPECT_EQ(CountFrom({"kivfsx", "-rx"}), 0);
    EXPECT_EQ(CountFrom({"kivfsx", "-rx", "2", "4"}), 0);
    EXPECT_EQ(CountFrom({"kivfsx", "anything", "2"}), 2);
    EXPECT_EQ(CountFrom({"kivfsx", "-rx", "abc"}), 0);
    EXPECT_EQ(CountFrom({"kivfsx", "-rx", "7x"}), 7);
    EXPECT_EQ(CountFrom({"kivfsx", "-rx", "  -3"}), -3);
    EXPECT_EQ(CountFrom({"kivfsx", "-rx", std::string(60, '9')}), INT32_MAX);
    PlatformArgsInit(0, nullptr);
}

TEST(CommandLineTest, ProgramPathIsBoundedAndTellsWhenCut) {
    if (!ArgvIsUsed()) {
        GTEST_SKIP() << "the Windows backend reads GetCommandLineW";
    }
    EXPECT_EQ(CountFrom({"/opt/kiv fsx/kivfsx"}), 0);
    EXPECT_STREQ(ProgramPath, "/opt/kiv fsx/kivfsx");
    EXPECT_TRUE(ProgramPathComplete);
    EXPECT_EQ(CountFrom({std::string(600, 'a')}), 0);
    EXPECT_EQ(std::string(ProgramPath), std::string(499, 'a'));
    EXPECT_FALSE(ProgramPathComplete);
    PlatformArgsInit(0, nullptr);
}

} // namespace
