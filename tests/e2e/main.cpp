// The end-to-end tests run as the first process of a private process-id namespace. Process 1
// of a namespace inherits every orphan (relaunched instances whose parent ended), so it only
// reaps: the tests run in a child, and process 1 ends with the child's status.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    // The tests broadcast and clean up with kill(-1): never outside a private namespace.
    const char* inside = getenv("KIV_PRIVATE_NET_INSIDE");
    if (inside == nullptr || strcmp(inside, "1") != 0 || getpid() != 1) {
        fprintf(stderr, "kivfsx_e2e: run me through tools/private-net (as CTest does)\n");
        return 1;
    }
    {
        pid_t child = fork();
        if (child > 0) {
            int status = 0;
            for (;;) {
                pid_t pid = wait(&status);
                if (pid == child) {
                    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
                }
                if (pid < 0) {
                    _exit(1);
                }
            }
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
