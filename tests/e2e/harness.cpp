#include "harness.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
std::string Env(const char* name) {
    const char* v = getenv(name);
    return v != nullptr ? v : "";
}
} // namespace

std::string KivfsxPath() {
    return Env("KIV_BIN");
}
std::string CommgrPath() {
    return Env("KIV_COMMGR");
}
std::string StandInPath() {
    return Env("KIV_STANDIN");
}
std::string Win64Dir() {
    std::string dir = Env("KIV_WIN64_DIR");
    return (!dir.empty() && fs::exists(fs::path(dir) / "kivfsx.exe")) ? dir : "";
}

Proc Spawn(const std::vector<std::string>& args, const fs::path& cwd,
           const std::map<std::string, std::string>& env, const fs::path& output) {
    int in[2];
    if (pipe(in) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        dup2(in[0], 0);
        close(in[0]);
        close(in[1]);
        int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(out, 1);
        dup2(out, 2);
        close(out);
        if (chdir(cwd.c_str()) != 0) {
            _exit(126);
        }
        for (const auto& [key, value] : env) {
            setenv(key.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv;
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    Proc proc;
    proc.Pid = pid;
    proc.StdinFd = in[1];
    proc.Output = output;
    return proc;
}

void SendLine(const Proc& proc, const std::string& line) {
    std::string text = line + "\n";
    ssize_t n = write(proc.StdinFd, text.data(), text.size());
    (void)n;
}

void CloseStdin(Proc& proc) {
    if (proc.StdinFd >= 0) {
        close(proc.StdinFd);
        proc.StdinFd = -1;
    }
}

int WaitExit(Proc& proc, int timeoutMs) {
    uint64_t end = NowMs() + static_cast<uint64_t>(timeoutMs);
    while (proc.Pid > 0) {
        int status = 0;
        pid_t r = waitpid(proc.Pid, &status, WNOHANG);
        if (r == proc.Pid) {
            proc.Pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (NowMs() >= end) {
            return -1;
        }
        SleepMs(20);
    }
    return -1;
}

bool Running(const Proc& proc) {
    return proc.Pid > 0 && waitpid(proc.Pid, nullptr, WNOHANG) == 0;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    // Programs built for Windows write their text files and console with CR LF line ends.
    std::string text = ss.str();
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::vector<std::string> ReadLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadText(path));
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

size_t CountOf(const std::string& haystack, const std::string& needle) {
    size_t count = 0;
    for (size_t pos = haystack.find(needle); pos != std::string::npos;
         pos = haystack.find(needle, pos + needle.size())) {
        ++count;
    }
    return count;
}

bool WaitForText(const fs::path& path, const std::string& text, int timeoutMs, int count) {
    uint64_t end = NowMs() + static_cast<uint64_t>(timeoutMs);
    do {
        if (CountOf(ReadText(path), text) >= static_cast<size_t>(count)) {
            return true;
        }
        SleepMs(50);
    } while (NowMs() < end);
    return false;
}

std::string Field(const std::string& line, const std::string& key) {
    std::string pattern = " " + key + "=";
    size_t pos = line.find(pattern);
    if (pos == std::string::npos) {
        return "";
    }
    pos += pattern.size();
    if (pos < line.size() && line[pos] == '"') {
        size_t end = line.find('"', pos + 1);
        return line.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
    }
    size_t end = line.find(' ', pos);
    return line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

uint64_t NowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
int dirCounter = 0;
} // namespace

void E2eTest::SetUp() {
    ASSERT_FALSE(KivfsxPath().empty()) << "KIV_BIN is not set: run through CTest";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = fs::temp_directory_path() / ("kivfsx-e2e-" + std::to_string(getpid()) + "-" +
                                       std::to_string(dirCounter++) + "-" + info->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    Store = Dir / "winsxs";
    fs::create_directories(Store);
    Journal = Dir / "sim-journal.txt";
    ControlFile = Dir / "sim-control.txt";
    HubRecord = Dir / "hub-record.txt";
    KivOut = Dir / "kivfsx-out.txt";
    HubOut = Dir / "hub-out.txt";
    std::ofstream(ControlFile).close();
    if (!StandInPath().empty()) {
        InstallLibrary(Store, "10.0.61259.0", StandInPath());
    }
}

void E2eTest::TearDown() {
    // Every process of this namespace but this one and its reaper: kivfsx, relaunched
    // instances, the hub, Wine's server.
    kill(-1, SIGKILL);
    for (int i = 0; i < 50 && waitpid(-1, nullptr, WNOHANG) >= 0; ++i) {
        SleepMs(10);
    }
    if (!HasFailure()) {
        std::error_code ec;
        fs::remove_all(Dir, ec);
    } else {
        std::cerr << "kept the files of the failed test in " << Dir << "\n";
    }
}

void E2eTest::InstallLibrary(const fs::path& store, const std::string& version,
                             const std::string& library) {
    fs::path entry = store / ("x86_microsoft.flightsimulator.simconnect_67c7c14424d61b5b_" +
                              version + "_x-ww_5ff3b5fd");
    fs::create_directories(entry);
    fs::copy_file(library, entry / "SimConnect.dll", fs::copy_options::overwrite_existing);
}

std::map<std::string, std::string> E2eTest::SimEnv() const {
    return {{"KIVFSX_WINSXS", Store.string()},
            {"KIVSIM_JOURNAL", Journal.string()},
            {"KIVSIM_CONTROL", ControlFile.string()}};
}

Proc E2eTest::StartKivfsx(const std::map<std::string, std::string>& extraEnv,
                          const std::vector<std::string>& extraArgs) {
    auto env = SimEnv();
    for (const auto& [k, v] : extraEnv) {
        env[k] = v;
    }
    std::vector<std::string> args{KivfsxPath()};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return Spawn(args, Dir, env, KivOut);
}

Proc E2eTest::StartHub(const std::vector<std::string>& extraArgs) {
    std::vector<std::string> args{CommgrPath(),       "--address",    "10.77.0.3", "--record",
                                  HubRecord.string(), "--summary-ms", "0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return Spawn(args, Dir, {}, HubOut);
}

void E2eTest::Control(const std::string& command) const {
    std::ofstream out(ControlFile, std::ios::app);
    out << command << "\n";
}

void E2eTest::ExpectLateExceptionRoad(const Proc& hub) {
    Control("late-fail TransmitClientEvent 1 7");
    // The stand-in reads its control file at its next dispatch.
    ASSERT_TRUE(WaitForText(Journal, "CONTROL late-fail TransmitClientEvent 1 7 -> ok", 5000));
    SendLine(hub, "set 42=1"); // gear down: one transmission
    ASSERT_TRUE(WaitForText(Journal, "LATE TransmitClientEvent send=", 10000)) << ReadText(Journal);
    std::string late;
    for (const auto& line : ReadLines(Journal)) {
        late = line.rfind("LATE TransmitClientEvent ", 0) == 0 ? line : late;
    }
    EXPECT_TRUE(WaitForText(KivOut, "RECV_ID_EXCEPTION\n", 10000)) << ReadText(KivOut);
    EXPECT_TRUE(WaitForText(Dir / "KivFSX.log",
                            "EXCEPTION=7  SendID=" + Field(late, "send") + "  Index=1  cbData=24\n",
                            5000))
        << ReadText(Dir / "KivFSX.log");
    EXPECT_EQ(CountOf(ReadText(KivOut), "TransmitClientEvent() -Error"), 0u);
}
