#include "proc.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

Proc Spawn(const std::vector<std::string>& args, const fs::path& cwd,
           const std::map<std::string, std::string>& env, const fs::path& output) {
    int in[2];
    if (pipe(in) != 0) {
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
    return Proc{pid, in[1], output};
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
        if (waitpid(proc.Pid, &status, WNOHANG) == proc.Pid) {
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

void Stop(Proc& proc) {
    if (proc.Pid > 0) {
        kill(proc.Pid, SIGKILL);
        waitpid(proc.Pid, nullptr, 0);
    }
    CloseStdin(proc);
    proc = {};
}
