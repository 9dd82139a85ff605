// Child processes, for the programs that drive KivFSX from outside: the end-to-end tests and
// kivbench. POSIX only (they run on the Linux host, in a private network).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "text.h"

struct Proc {
    pid_t Pid = -1;
    int StdinFd = -1;
    std::filesystem::path Output; // stdout and stderr
};

// Starts `args` (the first found on PATH when it has no '/') in `cwd`, in a process group of
// its own, with `env` added to the environment; output appended to `output`.
Proc Spawn(const std::vector<std::string>& args, const std::filesystem::path& cwd,
           const std::map<std::string, std::string>& env, const std::filesystem::path& output);
void SendLine(const Proc& proc, const std::string& line); // one line to its standard input
void CloseStdin(Proc& proc);
// The exit code (128 + the signal when one ended it), or -1 when the process has not ended
// within `timeoutMs`.
int WaitExit(Proc& proc, int timeoutMs);
bool Running(const Proc& proc);
void Stop(Proc& proc); // kills, reaps and closes its standard input
