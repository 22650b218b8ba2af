// quorvel-cli as a whole process on the preloaded virtual probe at zero latency: start until its
// first report reaches the probe, and a whole 128 KiB job, each a fresh process.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

double monotonicSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Runs quorvel-cli with `args`, output discarded; its exit status.
int runCli(std::vector<std::string> args)
{
    args.insert(args.begin(), QUORVEL_CLI);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string binFile(const char *name, int size)
{
    std::string p = "/tmp/quorvel-cli-bench-" + std::to_string(getpid()) + "-" + name + ".bin";
    FILE *f = std::fopen(p.c_str(), "wb");
    for (int i = 0; i < size; ++i)
        std::fputc((i * 13) & 0xFF, f);
    std::fclose(f);
    return p;
}

// 128 KiB: the chip's whole main flash (120 KiB) and LDROM (8 KiB).
std::vector<std::string> jobArguments()
{
    static const std::string app = binFile("app", 120 * 1024);
    static const std::string boot = binFile("boot", 8 * 1024);
    return {"program", app + "@0", boot + "@0x10000000"};
}

void timeRuns(benchmark::State &state, const std::vector<std::string> &args, int expectedExit)
{
    setenv("LD_PRELOAD", QUORVEL_VPROBE_LIB, 1);
    setenv("QUORVEL_VPROBE_REALTIME", "0", 1);
    for (auto _ : state) {
        const double start = monotonicSeconds();
        const int status = runCli(args);
        state.SetIterationTime(monotonicSeconds() - start);
        if (status != expectedExit) {
            state.SkipWithError("quorvel-cli ended with an unexpected status");
            break;
        }
    }
    unsetenv("QUORVEL_VPROBE_UNPLUG_AFTER");
    unsetenv("LD_PRELOAD");
}

// The probe vanishes right after the first report it receives, so the process ends at once: its
// whole time bounds the time from start to the first report written.
void BM_CliStartToFirstReport(benchmark::State &state)
{
    setenv("QUORVEL_VPROBE_UNPLUG_AFTER", "1", 1);
    timeRuns(state, jobArguments(), 27); // DAP_Info unanswered: firmware refused
}
BENCHMARK(BM_CliStartToFirstReport)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_CliProgram128KiB(benchmark::State &state)
{
    timeRuns(state, jobArguments(), 0);
}
BENCHMARK(BM_CliProgram128KiB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

BENCHMARK_MAIN();
