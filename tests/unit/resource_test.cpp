// Mutex resources: creation, recursion, and the reaction to each refusal of the platform.
#include "test_support.h"

#include <thread>

#include "support/log.h"
#include "support/process.h"
#include "support/resource.h"

namespace {

using ResourceTest = TempDirTest;

// A wait that takes the mutex but reports that its previous owner ended holding it.
PlatformWaitResult (*RealWait)(PlatformMutex*) = nullptr;
PlatformWaitResult AbandonedWait(PlatformMutex* mutex) {
    RealWait(mutex);
    return PLATFORM_WAIT_ABANDONED;
}

TEST_F(ResourceTest, TheOwnerTakesItAgainAndTwoOfOneLabelAreIndependent) {
    Resource r = RegisterResource("same");
    Resource other = RegisterResource("same");
    EXPECT_TRUE(GetResource(r, "a"));
    EXPECT_TRUE(GetResource(r, "a"));
    ReleaseResource(r, "a");
    bool taken = false;
    std::thread t([&] {
        taken = GetResource(other, "b"); // `r` is still held once
        ReleaseResource(other, "b");
    });
    t.join();
    EXPECT_TRUE(taken);
    ReleaseResource(r, "a");
    t = std::thread([&] {
        taken = GetResource(r, "c"); // released as often as taken: free
        ReleaseResource(r, "c");
    });
    t.join();
    EXPECT_TRUE(taken);
}

TEST_F(ResourceTest, EachRefusalIsLoggedWithItsLabelAndItsExit) {
    ASSERT_TRUE(SimLogInit("KivFSX.log"));
    Resource r = RegisterResource("test");
    EXPECT_EQ(ExitCodeOf([&] { ReleaseResource(r, "Caller()"); }), EXIT_FATAL);
    // A wait that ends any other way than taken (here: abandoned) is a failed one.
    RealWait = Os.MutexWait;
    Os.MutexWait = AbandonedWait;
    EXPECT_FALSE(GetResource(r, "Waiter"));
    ReleaseResource(r, "Waiter");
    // The log's own mutex failing still gets its entry written, and the entry after it too.
    SimLog("entry\n");
    PlatformOsReset();
    Os.MutexCreate = [] { return static_cast<PlatformMutex*>(nullptr); };
    EXPECT_EQ(ExitCodeOf([] { RegisterResource("x"); }), EXIT_NO_MUTEX);
    EXPECT_EQ(LogText("KivFSX.log"), "Log started.\nReleaseResource() - Error. Caller: Caller()\n"
                                     "GetResource() - Mutex wait timed out. Caller: Waiter\n"
                                     "GetResource() - Mutex wait timed out. Caller: SimLog\n"
                                     "entry\nRegisterResource() - NULL Mutex handle\n");
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
