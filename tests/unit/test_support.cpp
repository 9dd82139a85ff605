#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/log.h"
#include "support/restart.h"
#include "text.h" // SleepMs, which no test replaces

namespace {
[[noreturn]] void ThrowingExit(int32_t code) {
    throw ExitCalled{code};
}
std::atomic<int> dirCounter{0};
} // namespace

ExitTrap::ExitTrap() {
    Os.Exit = ThrowingExit;
}
ExitTrap::~ExitTrap() {
    PlatformOsReset();
}

int32_t ExitCodeOf(const std::function<void()>& body) {
    ExitTrap trap;
    try {
        body();
    } catch (const ExitCalled& e) {
        return e.Code;
    }
    return -1;
}

namespace {
struct TestThreadRun {
    std::function<void()> Body;
    std::atomic<int>* Running;
};

void RunTestThread(void* param) {
    auto* run = static_cast<TestThreadRun*>(param);
    std::atomic<int>* running = run->Running;
    run->Body();
    delete run;
    running->fetch_sub(1); // the last touch: Join may return and the owner go
}
} // namespace

void TestThreads::Start(std::function<void()> body) {
    Running.fetch_add(1);
    auto* run = new TestThreadRun{std::move(body), &Running};
    if (!Os.StartThread(RunTestThread, run)) {
        ADD_FAILURE() << "no thread could be started";
        delete run;
        Running.fetch_sub(1);
    }
}

bool TestThreads::Join() {
    // The tools' sleep, not Os.SleepMs, which tests replace.
    for (int i = 0; i < 300000 && Running.load() != 0; ++i) {
        SleepMs(1);
    }
    return Running.load() == 0;
}

TestThreads::~TestThreads() {
    EXPECT_TRUE(Join()) << "a test thread still runs";
}

void TempDirTest::SetUp() {
    Previous = std::filesystem::current_path();
    // A folder that did not exist before, as mkdtemp makes one: other test programs (another
    // build's, another checkout's) share the temporary folder.
    const auto base = std::filesystem::temp_directory_path();
    const auto stamp = std::to_string(static_cast<long long>(Os.MonotonicMs()));
    bool made = false;
    for (int i = 0; i < 1000 && !made; ++i) {
        Dir = base / ("kivfsx-test-" + stamp + "-" + std::to_string(dirCounter++));
        made = std::filesystem::create_directory(Dir);
    }
    ASSERT_TRUE(made) << "no fresh folder in " << base;
    std::filesystem::current_path(Dir);
    PlatformOsReset();
    SimLogResetForTest();
    RestartResetForTest();
}

void TempDirTest::TearDown() {
    PlatformOsReset();
    SimLogResetForTest();
    RestartResetForTest();
    std::filesystem::current_path(Previous);
    // A process the test started (the relaunch chain's last instance) may still be ending in
    // the folder: on Windows its open files cannot go, and elsewhere it may add one while the
    // folder is emptied. So the removal is tried until it succeeds, for at most ten seconds.
    std::error_code ec;
    for (int i = 0; i < 200; ++i) {
        std::filesystem::remove_all(Dir, ec);
        if (!ec && !std::filesystem::exists(Dir, ec)) {
            return;
        }
        SleepMs(50);
    }
    ADD_FAILURE() << "the test's folder " << Dir << " could not be removed: " << ec.message();
}

std::string RawFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string ReadFile(const std::filesystem::path& path) {
    std::string text = RawFile(path);
    const std::string lineEnd = PLATFORM_LINE_END;
    for (size_t at = text.find(lineEnd); lineEnd != "\n" && at != std::string::npos;
         at = text.find(lineEnd, at + 1)) {
        text.replace(at, lineEnd.size(), "\n");
    }
    return text;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string LogText(const std::filesystem::path& path) {
    static const std::regex stamp("[0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{3}  ");
    return std::regex_replace(ReadFile(path), stamp, "");
}

std::string NativePath(const std::filesystem::path& path) {
    std::u8string utf8 = path.u8string();
    std::string text(utf8.begin(), utf8.end());
    if (PLATFORM_DIR_SEP == '\\' && !text.empty() && text[0] == '/') {
        std::replace(text.begin(), text.end(), '/', '\\');
        text = "Z:" + text;
    }
    return text;
}
