// Helpers shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/platform.h"

// Thrown by the test stand-in for the process exit, so a test can check an exit code
// without a death test.
struct ExitCalled {
    int32_t Code;
};

// Replaces Os.Exit with a throwing stand-in for the life of the object.
struct ExitTrap {
    ExitTrap();
    ~ExitTrap();
};

// Runs `body` with exits trapped; the exit code, or -1 when it did not exit.
int32_t ExitCodeOf(const std::function<void()>& body);

// Every test in a fixture derived from this runs in a fresh, empty working directory, with
// the OS table, the log and the relaunch state back at their defaults.
class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path Dir;

  private:
    std::filesystem::path Previous;
};

// Threads for tests, started by the platform's own call: the i686 release's runtime (the
// Windows XP one) has no std::thread. Join waits until every body has returned, at most about
// five minutes; false when one has not.
struct TestThreads {
    void Start(std::function<void()> body);
    bool Join();
    ~TestThreads();

  private:
    std::atomic<int> Running{0};
};

// A text file as the program reads it (the platform's line ends as "\n"), or byte for byte.
std::string ReadFile(const std::filesystem::path& path);
std::string RawFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& text);
// The log's text without the time stamps ("hh:mm:ss:mmm  " in front of each entry).
std::string LogText(const std::filesystem::path& path);
// A path as the program names it: UTF-8, and in a Windows build (under Wine) a host path
// becomes a path on drive Z:.
std::string NativePath(const std::filesystem::path& path);
