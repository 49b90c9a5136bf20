// The real velkar program measured from outside, as a process on a copy of the
// demo root (offscreen): start to first paint (the first --screenshot file
// appearing), peak resident memory over ten ticks, and CPU over one minute of
// emulation at the real 3000 ms tick (getrusage of the reaped child).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kVelkar = VELKAR_BINARY_DIR "/src/velkar";
const std::string kDemo = VELKAR_SOURCE_DIR "/demo";

// A scratch folder with a fresh copy of the demo root in "root".
struct Scratch {
    std::string folder;
    Scratch()
    {
        char pattern[] = "/tmp/velkar-bench-XXXXXX";
        folder = mkdtemp(pattern) ? pattern : "/tmp";
        fs::copy(kDemo, folder + "/root", fs::copy_options::recursive);
    }
    ~Scratch()
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string Root() const { return folder + "/root"; }
    std::string Shot() const { return folder + "/shot.png"; }
};

pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<std::string> all = {kVelkar};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, kVelkar.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Start to first paint: from the spawn to the first screenshot landing in the
// folder (the program writes a temporary file and renames it).
void BM_StartToFirstPaint(benchmark::State& state)
{
    for (auto _ : state) {
        Scratch scratch;
        const int watch = inotify_init1(0);
        inotify_add_watch(watch, scratch.folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
        const auto start = Clock::now();
        const pid_t pid = Spawn({"--root", scratch.Root(), "--screenshot", scratch.Shot()});
        if (pid < 0) {
            state.SkipWithError("cannot start velkar");
            break;
        }
        char events[4096];
        bool painted = false;
        while (!painted) {
            const ssize_t n = read(watch, events, sizeof events);
            if (n <= 0) break;
            for (char* p = events; p < events + n;) {
                auto* e = reinterpret_cast<inotify_event*>(p);
                if (e->len && std::string(e->name) == "shot.png") painted = true;
                p += sizeof(inotify_event) + e->len;
            }
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        close(watch);
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        if (!painted) {
            state.SkipWithError("no first paint");
            break;
        }
    }
}
BENCHMARK(BM_StartToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

struct ChildRun {
    int status = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    long peakResidentKb = 0;
};

ChildRun RunToEnd(const std::vector<std::string>& args)
{
    ChildRun run;
    const auto start = Clock::now();
    const pid_t pid = Spawn(args);
    if (pid < 0) return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                     usage.ru_stime.tv_usec / 1e6;
    run.peakResidentKb = usage.ru_maxrss;
    return run;
}

// Resident memory: the peak over a run of ten ticks (at 100 times the speed),
// an upper bound of what is resident after the tenth.
void BM_ResidentOverTenTicks(benchmark::State& state)
{
    for (auto _ : state) {
        Scratch scratch;
        const ChildRun run = RunToEnd({"--root", scratch.Root(), "--time-scale", "100", "--quit-after-ticks", "10",
                                       "--screenshot", scratch.Shot()});
        if (run.status != 0) {
            state.SkipWithError("velkar did not end with 0");
            break;
        }
        state.SetIterationTime(run.wallSeconds);
        state.counters["peak_rss_MB"] = run.peakResidentKb / 1024.0;
    }
}
BENCHMARK(BM_ResidentOverTenTicks)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// CPU over one minute of emulation: twenty real 3000 ms ticks. cpu_percent is
// the share of one core over the whole run, start-up included;
// steady_cpu_percent leaves out the cost of starting and stopping (measured by
// a run of one tick at 1000 times the speed).
void BM_CpuOverOneMinute(benchmark::State& state)
{
    for (auto _ : state) {
        double startStop = 0;
        {
            Scratch scratch;
            startStop = RunToEnd({"--root", scratch.Root(), "--time-scale", "1000", "--quit-after-ticks", "1"})
                            .cpuSeconds;
        }
        Scratch scratch;
        const ChildRun run = RunToEnd({"--root", scratch.Root(), "--quit-after-ticks", "20"});
        if (run.status != 0) {
            state.SkipWithError("velkar did not end with 0");
            break;
        }
        state.SetIterationTime(run.wallSeconds);
        state.counters["cpu_s"] = run.cpuSeconds;
        state.counters["cpu_percent"] = 100.0 * run.cpuSeconds / run.wallSeconds;
        state.counters["steady_cpu_percent"] = 100.0 * (run.cpuSeconds - startStop) / run.wallSeconds;
    }
}
BENCHMARK(BM_CpuOverOneMinute)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
