// The settings for today's simulators end to end with the Linux build: the program that ends
// with the simulator's quit message with exit code 50 (end-with-simulator), and quiet-console,
// which has no effect on Linux. (The other roads of these settings, and user-aircraft-id, are
// the unit tests' of the session loop and the dispatch handler.)
#include "harness.h"

#include <fstream>

#include "support/process.h"

namespace {

using SimSettingsTest = E2eTest;

TEST_F(SimSettingsTest, WithTheSettingTheProgramEndsWithTheSimulator) {
    std::ofstream(Dir / "kivfsx-settings.txt") << "end-with-simulator = yes\nquiet-console = yes\n";
    Proc kiv = StartKivfsx();
    ASSERT_TRUE(WaitForText(KivOut, "Connected to Simulator\n", 10000)) << ReadText(KivOut);
    EXPECT_NE(ReadText(KivOut).find("Setting quiet-console = yes not used: no effect on Linux, "
                                    "which has no console window to minimise; the console "
                                    "stays as it is\n"),
              std::string::npos)
        << ReadText(KivOut);
    Control("quit");
    // Within a second or two (a loaded machine gets a wider window).
    EXPECT_EQ(WaitExit(kiv, 5000), EXIT_SIMULATOR_ENDED);
    EXPECT_NE(ReadText(KivOut).find("Quit received\nThe simulator quit: KivFSX ends with it "
                                    "(setting end-with-simulator, exit code 50)\n"),
              std::string::npos)
        << ReadText(KivOut);
}

} // namespace
