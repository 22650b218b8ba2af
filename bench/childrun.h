// Runs this benchmark program again in a child mode and collects what the child prints, so that
// start-up and peak memory are measured in a fresh process each time.
#pragma once

#include <benchmark/benchmark.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace benchchild {

inline double monotonicSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Starts /proc/self/exe with `args`, its stdout into `out` and its diagnostics discarded; true when
// it exits with status 0. `startedAt` receives the monotonic time just before the spawn.
inline bool run(const std::vector<std::string> &args, std::string &out, double *startedAt = nullptr)
{
    std::vector<std::string> argStore = args;
    argStore.insert(argStore.begin(), "/proc/self/exe");
    std::vector<char *> argv;
    for (std::string &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (startedAt)
        *startedAt = monotonicSeconds();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    out.clear();
    char buffer[512];
    while (spawned == 0) {
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buffer, size_t(n));
    }
    close(pipeFds[0]);
    int status = 0;
    return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)
        && WEXITSTATUS(status) == 0;
}

// main() of a benchmark program that re-runs itself: "--child" plus at least `childArgs` further
// arguments selects the child, anything else runs the benchmarks offscreen.
inline int benchmarkMain(int argc, char **argv, int childArgs, int (*childMain)(int, char **))
{
    if (argc > childArgs && std::strcmp(argv[1], "--child") == 0)
        return childMain(argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1); // the children inherit it
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace benchchild
