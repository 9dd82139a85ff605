// The simulator side end to end: without a simulator library the program asks for Enter and
// ends with 100. (Records, traffic and cockpit inputs end to end are the wire test's, and on
// Windows the Wine test's.)
#include "harness.h"

namespace {

using SimTest = E2eTest;

TEST_F(SimTest, MissingLibraryPromptsAndExitsWith100) {
    std::filesystem::remove_all(Store);
    std::filesystem::create_directories(Store);
    Proc kiv = StartKivfsx();
    ASSERT_TRUE(WaitForText(KivOut, "Press \"Enter\" to exit...", 10000)) << ReadText(KivOut);
    EXPECT_NE(ReadText(KivOut).find("DLL not found\n"), std::string::npos);
    EXPECT_TRUE(Running(kiv)); // waits for Enter
    SendLine(kiv, "");
    EXPECT_EQ(WaitExit(kiv, 5000), 100);
    EXPECT_NE(ReadText(Dir / "KivFSX.log").find("No suitable Dll found\n"), std::string::npos);
}

} // namespace
