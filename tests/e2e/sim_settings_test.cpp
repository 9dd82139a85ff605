// The settings for today's simulators end to end with the Linux build: the user's aircraft
// under an id of its own, left out of the traffic only with user-aircraft-id; the program that
// ends with the simulator only with end-with-simulator (at the quit message, and when the
// simulator has gone without one); quiet-console, which has no effect on Linux.
#include "harness.h"

#include <fstream>

#include "support/process.h"

namespace fs = std::filesystem;

namespace {

struct SimSettingsTest : E2eTest {
    // A new program instance: its settings, and a control file of its own (a new stand-in reads
    // the file from its start).
    Proc StartWith(const std::string& settings, const std::vector<std::string>& controls) {
        std::ofstream(Dir / "kivfsx-settings.txt") << settings;
        std::ofstream control(ControlFile, std::ios::trunc);
        for (const auto& c : controls) {
            control << c << "\n";
        }
        control.close();
        fs::remove(KivOut);
        return StartKivfsx();
    }
};

TEST_F(SimSettingsTest, TheUsersOwnIdIsLeftOutOfTheTrafficOnlyWithTheSetting) {
    Proc hub = StartHub({"--record-payload"});
    Proc kiv = StartWith("user-aircraft-id = yes\n", {"user-id 7"});
    ASSERT_TRUE(WaitForText(KivOut, "Connected to CommMgr\n", 20000)) << ReadText(KivOut);
    ExpectTrafficWithoutTheUser(7);
    EXPECT_EQ(CountOf(ReadText(KivOut), "The user's aircraft is object 7: left out of the traffic "
                                        "(setting user-aircraft-id)\n"),
              1u);
    Stop(kiv);
    SendLine(hub, "quit");
    EXPECT_EQ(WaitExit(hub, 5000), 0);

    // Without the setting only object 1 is left out: the user's aircraft is listed.
    fs::remove(HubRecord);
    hub = StartHub({"--record-payload"});
    kiv = StartWith("", {"user-id 7"});
    ASSERT_TRUE(WaitForText(KivOut, "Connected to CommMgr\n", 20000)) << ReadText(KivOut);
    ExpectTrafficWithTheUser(7);
    EXPECT_EQ(CountOf(ReadText(KivOut), "The user's aircraft is object"), 0u);
}

TEST_F(SimSettingsTest, WithTheSettingTheProgramEndsWithTheSimulator) {
    const std::string ends = ": KivFSX ends with it (setting end-with-simulator, exit code 50)\n";
    Proc kiv = StartWith("end-with-simulator = yes\nquiet-console = yes\n", {});
    ASSERT_TRUE(WaitForText(KivOut, "Connected to Simulator\n", 10000)) << ReadText(KivOut);
    EXPECT_NE(ReadText(KivOut).find("Setting quiet-console = yes not used: no effect on Linux, "
                                    "which has no console window to minimise; the console "
                                    "stays as it is\n"),
              std::string::npos)
        << ReadText(KivOut);
    Control("quit");
    // Within a second or two (a loaded machine gets a wider window).
    EXPECT_EQ(WaitExit(kiv, 5000), EXIT_SIMULATOR_ENDED);
    EXPECT_NE(ReadText(KivOut).find("Quit received\nThe simulator quit" + ends), std::string::npos)
        << ReadText(KivOut);
    EXPECT_NE(ReadText(Dir / "KivFSX.log").find("The simulator quit" + ends), std::string::npos);

    // Gone without a quit message: the next dispatch fails, and no connection is taken.
    kiv = StartWith("end-with-simulator = yes\n", {});
    ASSERT_TRUE(WaitForText(KivOut, "Connected to Simulator\n", 10000)) << ReadText(KivOut);
    Control("crash");
    EXPECT_EQ(WaitExit(kiv, 5000), EXIT_SIMULATOR_ENDED);
    EXPECT_NE(ReadText(KivOut).find("The simulator has gone (its dispatch failed and it takes no "
                                    "new connection)" +
                                    ends),
              std::string::npos)
        << ReadText(KivOut);

    // Without the setting the program waits for the next simulator.
    kiv = StartWith("", {});
    ASSERT_TRUE(WaitForText(KivOut, "Connected to Simulator\n", 10000)) << ReadText(KivOut);
    Control("quit");
    ASSERT_TRUE(WaitForText(KivOut, "Quit received\n", 5000)) << ReadText(KivOut);
    SleepMs(2000);
    EXPECT_TRUE(Running(kiv));
    Control("running 1");
    EXPECT_TRUE(WaitForText(KivOut, "Connected to Simulator\n", 10000, 3)) << ReadText(KivOut);
    EXPECT_TRUE(Running(kiv));
    EXPECT_EQ(CountOf(ReadText(KivOut), "KivFSX ends with it"), 0u);
}

} // namespace
