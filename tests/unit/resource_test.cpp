// Mutex resources: the reaction to each refusal of the platform.
#include "test_support.h"

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

} // namespace
