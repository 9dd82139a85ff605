// Relaunch: the command line, the saved log, and one instance per process; then a real chain of
// processes up to the limit.
#include "test_support.h"

#include <atomic>
#include <cstring>

#include "support/log.h"
#include "support/process.h"
#include "support/restart.h"

namespace {

std::atomic<int> Spawned{0};

bool RecordSpawn(const char*, const char* const*, const char*) {
    Spawned.fetch_add(1);
    return true;
}

struct RestartTest : TempDirTest {
    void SetUp() override {
        TempDirTest::SetUp();
        Spawned = 0;
        Os.SpawnInstance = RecordSpawn;
        snprintf(ProgramPath, sizeof(ProgramPath), "C:\\KivFSX\\kivfsx.exe");
        ProgramPathComplete = true;
        RestartCount = 0;
        ASSERT_TRUE(SimLogInit("KivFSX.log"));
    }
    void TearDown() override {
        RestartCount = 0;
        TempDirTest::TearDown();
    }
};

TEST_F(RestartTest, APathWithBlanksIsQuoted) {
    char line[500];
    ASSERT_TRUE(BuildRelaunchCommandLine("C:\\Program Files\\kivfsx.exe", 1, line, sizeof(line)));
    EXPECT_STREQ(line, "\"C:\\Program Files\\kivfsx.exe\" -rx 1 ");
    // At most 499 characters: " -rx 1 " after a path of 492 fits, after 493 it does not.
    EXPECT_TRUE(BuildRelaunchCommandLine(std::string(492, 'p').c_str(), 1, line, sizeof(line)));
    EXPECT_EQ(strlen(line), 499u);
    EXPECT_FALSE(BuildRelaunchCommandLine(std::string(493, 'p').c_str(), 1, line, sizeof(line)));
}

TEST_F(RestartTest, ManyCallersFromManyThreadsStartOneInstance) {
    TestThreads threads;
    for (int t = 0; t < 4; ++t) {
        threads.Start([] {
            for (int i = 0; i < 25; ++i) {
                Restart();
            }
        });
    }
    ASSERT_TRUE(threads.Join());
    EXPECT_EQ(Spawned.load(), 1);
    EXPECT_TRUE(RestartPending.load());
    std::string saved = LogText("KivSaved.log");
    EXPECT_EQ(saved.find("Renaming Log File\n"), saved.rfind("Renaming Log File\n"));
}

// Windows refuses to rename a file that another thread has open: the log is moved aside under
// its lock, so the saved log is there, whole, however busy the other threads are.
TEST_F(RestartTest, TheLogIsSavedWhileOtherThreadsLogAsFastAsTheyCan) {
    for (int round = 0; round < 5; ++round) {
        RestartResetForTest();
        std::atomic<bool> stop{false};
        TestThreads writers;
        for (int t = 0; t < 3; ++t) {
            writers.Start([&stop] {
                for (int i = 0; i < 5000 && !stop.load(); ++i) {
                    SimLog("busy\n");
                }
            });
        }
        Os.SleepMs(5);
        Restart();
        stop = true;
        ASSERT_TRUE(writers.Join());
        std::string saved = LogText("KivSaved.log");
        ASSERT_GE(saved.size(), 18u) << "round " << round;
        EXPECT_EQ(saved.substr(saved.size() - 18), "Renaming Log File\n") << "round " << round;
    }
}

TEST_F(RestartTest, APathThatCannotBeReproducedLaunchesNothingButStillEnds) {
    std::string longPath(495, 'p');
    snprintf(ProgramPath, sizeof(ProgramPath), "%s", longPath.c_str());
    Restart();
    EXPECT_EQ(Spawned.load(), 0);
    EXPECT_TRUE(RestartPending.load());
    RestartResetForTest();
    ProgramPathComplete = false;
    Restart();
    EXPECT_EQ(Spawned.load(), 0);
}

} // namespace

namespace {

using RelaunchChainTest = TempDirTest;

TEST_F(RelaunchChainTest, ARealProcessRelaunchesUntilTheLimit) {
    // The probe lives in a folder whose name holds blanks and characters that no single
    // code page has, so the relaunch command line must be quoted and travel as UTF-16.
    std::filesystem::path dir = Dir / std::filesystem::path(u8"Zoë Müller Łódź 日本");
    std::filesystem::create_directories(dir);
    std::filesystem::path probe = dir / std::filesystem::path(KIV_RESTART_PROBE).filename();
    std::filesystem::copy_file(KIV_RESTART_PROBE, probe);
    std::string path = NativePath(probe);
    char line[600];
    ASSERT_TRUE(BuildRelaunchCommandLine(path.c_str(), 0, line, sizeof(line)));
    const char* argv[3] = {path.c_str(), "-rx", "0"};
    ASSERT_TRUE(Os.SpawnInstance(path.c_str(), argv, line));

    // Instances 0, 1 and 2 relaunch; 3 refuses. Bounded waits: Wine starts are slow. The log
    // is read only once the last instance runs, when no rename can meet the reader.
    for (int i = 0; i < 600 && !std::filesystem::exists("probe-3.txt"); ++i) {
        Os.SleepMs(100);
    }
    std::string last;
    for (int i = 0; i < 100; ++i) {
        last = LogText("KivFSX.log");
        if (last.find("already been reloaded") != std::string::npos) {
            break;
        }
        Os.SleepMs(100);
    }
    EXPECT_NE(last.find("Probe count 3\n"), std::string::npos) << last;
    EXPECT_NE(last.find("Restart() - KivFsx has already been reloaded. Exiting\n"),
              std::string::npos)
        << last;
    std::string saved = LogText("KivSaved.log");
    EXPECT_NE(saved.find("Probe count 2\n"), std::string::npos) << saved;
    ASSERT_GE(saved.size(), 18u);
    EXPECT_EQ(saved.substr(saved.size() - 18), "Renaming Log File\n");
}

} // namespace
