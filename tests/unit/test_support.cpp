#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/log.h"
#include "support/restart.h"

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

void TempDirTest::SetUp() {
    Previous = std::filesystem::current_path();
    Dir = std::filesystem::temp_directory_path() /
          ("kivfsx-test-" + std::to_string(static_cast<long long>(Os.MonotonicMs())) + "-" +
           std::to_string(dirCounter++));
    std::filesystem::create_directories(Dir);
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
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
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
