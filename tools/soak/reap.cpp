// soak-reap EXITS CMD [ARGS...]: the first process of the soak's private process namespace.
// It runs CMD as its child and reaps every process that ends in the namespace, relaunched
// instances included (their parent has ended, so they come to this process), writing one
// line per exit to EXITS: "pid=<pid> comm=<name> exit=<code>" or "... signal=<number>".
// It ends with CMD's status once CMD has ended.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

// The command name of a process that has ended but is not reaped yet.
void CommandName(pid_t pid, char* out, size_t size) {
    char path[64];
    snprintf(path, sizeof(path), "/proc/%d/comm", static_cast<int>(pid));
    snprintf(out, size, "?");
    if (FILE* f = fopen(path, "r")) {
        if (fgets(out, static_cast<int>(size), f) != nullptr) {
            out[strcspn(out, "\n")] = '\0';
        }
        fclose(f);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || getpid() != 1) {
        fprintf(stderr, "usage: soak-reap EXITS CMD [ARGS...] (as process 1 of a namespace)\n");
        return 2;
    }
    FILE* exits = fopen(argv[1], "a");
    if (exits == nullptr) {
        perror(argv[1]);
        return 2;
    }
    pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    for (;;) {
        siginfo_t info{};
        // Look first (the name is still readable), then reap.
        if (waitid(P_ALL, 0, &info, WEXITED | WNOWAIT) != 0) {
            return 1;
        }
        char name[32];
        CommandName(info.si_pid, name, sizeof(name));
        int status = 0;
        waitpid(info.si_pid, &status, 0);
        if (WIFSIGNALED(status)) {
            fprintf(exits, "pid=%d comm=%s signal=%d\n", info.si_pid, name, WTERMSIG(status));
        } else {
            fprintf(exits, "pid=%d comm=%s exit=%d\n", info.si_pid, name, WEXITSTATUS(status));
        }
        fflush(exits);
        if (info.si_pid == child) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
    }
}
