// Runs a command and reports its wall time and peak resident memory, for machines without GNU time:
// "peak-rss COMMAND [ARGS...]" prints "wall_seconds peak_kib" on standard error after the command ends and
// exits with the command's status.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: peak-rss COMMAND [ARGS...]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("peak-rss: fork");
        return 2;
    }
    if (child == 0) {
        execvp(argv[1], argv + 1);
        std::perror("peak-rss: exec");
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) < 0) {
        std::perror("peak-rss: wait4");
        return 2;
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "%.6f %ld\n", wall.count(), usage.ru_maxrss);
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return 128 + WTERMSIG(status);
}
