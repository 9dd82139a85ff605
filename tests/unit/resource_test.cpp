// Mutex resources: creation, recursion, failed waits and releases.
#include "test_support.h"

#include <thread>

#include "support/process.h"
#include "support/log.h"
#include "support/resource.h"

namespace {

PlatformMutex* NoMutex() {
    return nullptr;
}

using ResourceTest = TempDirTest;

TEST_F(ResourceTest, TheOwnerTakesItAgainAndReleasesAsOften) {
    Resource r = RegisterResource("test");
    EXPECT_TRUE(GetResource(r, "a"));
    EXPECT_TRUE(GetResource(r, "a"));
    ReleaseResource(r, "a");
    ReleaseResource(r, "a");
    // Released twice: another thread can take it now.
    bool taken = false;
    std::thread other([&] {
        taken = GetResource(r, "other");
        ReleaseResource(r, "other");
    });
    other.join();
    EXPECT_TRUE(taken);
}

TEST_F(ResourceTest, SameLabelGivesIndependentMutexes) {
    Resource a = RegisterResource("same");
    Resource b = RegisterResource("same");
    ASSERT_TRUE(GetResource(a, "x"));
    bool takenB = false;
    std::thread other([&] {
        takenB = GetResource(b, "y");
        ReleaseResource(b, "y");
    });
    other.join();
    EXPECT_TRUE(takenB);
    ReleaseResource(a, "x");
}

TEST_F(ResourceTest, ReleasingAMutexNotHeldLogsAndExitsWith100) {
    ASSERT_TRUE(SimLogInit("KivFSX.log"));
    Resource r = RegisterResource("test");
    EXPECT_EQ(ExitCodeOf([&] { ReleaseResource(r, "Caller()"); }), EXIT_FATAL);
    EXPECT_NE(LogText("KivFSX.log").find("ReleaseResource() - Error. Caller: Caller()\n"),
              std::string::npos);
}

TEST_F(ResourceTest, NoMutexFromThePlatformExitsWith7765) {
    ASSERT_TRUE(SimLogInit("KivFSX.log"));
    Os.MutexCreate = NoMutex;
    EXPECT_EQ(ExitCodeOf([] { RegisterResource("x"); }), EXIT_NO_MUTEX);
    EXPECT_NE(LogText("KivFSX.log").find("RegisterResource() - NULL Mutex handle\n"),
              std::string::npos);
}

TEST_F(ResourceTest, FailedWaitIsLoggedWithoutTheLogLockAndReturnsFalse) {
    ASSERT_TRUE(SimLogInit("KivFSX.log"));
    EXPECT_FALSE(GetResource(nullptr, "Waiter"));
    EXPECT_NE(LogText("KivFSX.log").find("GetResource() - Mutex wait timed out. Caller: Waiter\n"),
              std::string::npos);
}

using ResourceDeathTest = TempDirTest;

TEST_F(ResourceDeathTest, ReleaseByAnotherThreadEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Resource r = RegisterResource("held");
            GetResource(r, "main");
            std::thread other([&] { ReleaseResource(r, "Other()"); });
            other.join();
        },
        ::testing::ExitedWithCode(EXIT_FATAL), "");
}

} // namespace
