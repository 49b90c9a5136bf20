// Serial link on real pty pairs: latency from the '*' written into the pty to
// GpsState updated (p50/p99, microseconds), a 115200-baud stream at full rate
// (does the reader keep up, and its CPU in % of one core), the time from the
// shutdown's release to the reader thread's end (p50/p99, microseconds), and a
// receiver plugged in after the start: from its link appearing to its first
// sentence parsed (p50/max, ms), with the CPU the waiting reader used meanwhile.
#include <fcntl.h>
#include <pty.h>
#include <sched.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "platform/files.h"
#include "store/settings.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct BenchLink {
    std::string root;
    int master = -1;
    bool ok = false;
    explicit BenchLink(int32_t baud)
    {
        char pattern[] = "/tmp/velkar-serial-bench-XXXXXX";
        root = mkdtemp(pattern);
        fs::create_directories(root + "/dev");
        SetDeviceRoot(root);
        int slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        close(slave);
        fs::create_symlink(name, root + "/dev/COM1");
        settings.gpsEmulation = 0;
        gotoActive = 0;
        ok = OpenPort(u"COM1:", baud) == 1;
    }
    void Write(const std::string& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }
    void Shutdown()
    {
        ReleasePortWait(portHandle);
        ClosePort(portHandle);
        portHandle = kInvalidPort;
        while (readerThreadsRunning.load() != 0) sched_yield();
    }
    ~BenchLink()
    {
        if (readerThreadsRunning.load() != 0) Shutdown();
        if (master >= 0) close(master);
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

double Percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

double ProcessCpu()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ThreadCpu()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// The sentence is written up to its '*' first; once the reader has taken those
// bytes, the clock starts, "*hh\r\n" goes in, and it stops when the reader has
// handed the GGA to the parser (sentenceEnds moves; waiting on it adds the
// wake-up of this thread, so the figure is an upper bound).
void BM_StarToGpsState(benchmark::State& state)
{
    BenchLink link(4800);
    if (!link.ok) {
        state.SkipWithError("cannot open a pty as COM1");
        return;
    }
    std::vector<double> samples;
    int i = 0;
    for (auto _ : state) {
        char body[96];
        std::snprintf(body, sizeof body, "$GPGGA,%06d,4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,", 100000 + i++ % 50000);
        link.Write(body);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // let the reader take the body
        const uint32_t before = sentenceEnds.load();
        const auto start = Clock::now();
        link.Write("*00\r\n");
        sentenceEnds.wait(before);
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        state.SetIterationTime(us / 1e6);
        samples.push_back(us);
    }
    state.counters["p50_us"] = Percentile(samples, 0.50);
    state.counters["p99_us"] = Percentile(samples, 0.99);
    state.counters["max_us"] = Percentile(samples, 1.0);
}
BENCHMARK(BM_StarToGpsState)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

// Real receiver output (a long u-blox log) at 115200 baud: 11520 bytes a second,
// written in 16-byte bursts every 1.39 ms as a UART with a 16-byte FIFO hands
// them on. The reader's CPU is the process's minus this writing thread's.
void BM_Stream115200(benchmark::State& state)
{
    std::ifstream in(std::string(VELKAR_CORPUS_DIR) + "/ublox-zed-f9r.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string bytes = text.str();
    const size_t seconds = 8;
    const size_t total = 11520 * seconds;
    while (bytes.size() < total) bytes += bytes;
    bytes.resize(total);
    uint32_t stars = 0;
    for (char c : bytes) stars += c == '*';

    BenchLink link(115200);
    if (!link.ok) {
        state.SkipWithError("cannot open a pty as COM1");
        return;
    }
    double cpuPercent = 0, lagMs = 0;
    for (auto _ : state) {
        const uint32_t target = sentenceEnds.load() + stars;
        const double cpu0 = ProcessCpu(), mine0 = ThreadCpu();
        const auto start = Clock::now();
        const auto burst = std::chrono::nanoseconds(1000000000LL * 16 / 11520);
        auto next = start;
        for (size_t at = 0; at < bytes.size(); at += 16) {
            link.Write(bytes.substr(at, 16));
            next += burst;
            std::this_thread::sleep_until(next);
        }
        const auto written = Clock::now();
        while (sentenceEnds.load() < target) std::this_thread::sleep_for(std::chrono::microseconds(200));
        lagMs = std::chrono::duration<double, std::milli>(Clock::now() - written).count();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double reader = (ProcessCpu() - cpu0) - (ThreadCpu() - mine0);
        cpuPercent = 100.0 * reader / wall;
        state.SetIterationTime(wall);
    }
    state.counters["reader_cpu_percent"] = cpuPercent;
    state.counters["lag_after_last_byte_ms"] = lagMs;
    state.counters["bytes_per_s"] = 11520;
}
BENCHMARK(BM_Stream115200)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Shutdown by Control+Q: from the release of the wait to the reader's end.
void BM_ShutdownReleasesReader(benchmark::State& state)
{
    std::vector<double> samples;
    for (auto _ : state) {
        state.PauseTiming();
        auto link = std::make_unique<BenchLink>(4800);
        if (!link->ok) {
            state.SkipWithError("cannot open a pty as COM1");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the reader is in its wait
        state.ResumeTiming();
        const auto start = Clock::now();
        link->Shutdown();
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        state.SetIterationTime(us / 1e6);
        samples.push_back(us);
        state.PauseTiming();
        link.reset();
        state.ResumeTiming();
    }
    state.counters["p50_us"] = Percentile(samples, 0.50);
    state.counters["p99_us"] = Percentile(samples, 0.99);
}
BENCHMARK(BM_ShutdownReleasesReader)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);

// A receiver plugged in after the start. COM200: has no entry and no /dev/ttyS199, so
// the port waits for its device; after a waiting time of 1.5 s plus a varying part
// (the appearance falls anywhere in the retry second) the pty is linked in as
// <root>/dev/COM200, and the clock runs until its GGA is parsed. The waiting
// reader's CPU is the process's over the waiting time (this thread only sleeps).
void BM_ReconnectAfterDeviceAppears(benchmark::State& state)
{
    char pattern[] = "/tmp/velkar-serial-bench-XXXXXX";
    const std::string root = mkdtemp(pattern);
    fs::create_directories(root + "/dev");
    SetDeviceRoot(root);
    settings.gpsEmulation = 0;
    gotoActive = 0;
    std::vector<double> samples;
    double waitCpu = 0, waitWall = 0;
    int i = 0;
    for (auto _ : state) {
        const int quiet = dup(2), null = open("/dev/null", O_WRONLY);
        dup2(null, 2);  // the "Unable to open the port" of a headless run
        OpenPort(u"COM200:", 4800);
        dup2(quiet, 2), close(quiet), close(null);
        const double cpu0 = ProcessCpu();
        const auto wait0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(1500 + (i * 370) % 1000));
        waitCpu += ProcessCpu() - cpu0;
        waitWall += std::chrono::duration<double>(Clock::now() - wait0).count();
        int master = -1, slave = -1;
        char name[256] = {};
        termios raw{};
        cfmakeraw(&raw);
        openpty(&master, &slave, name, &raw, nullptr);
        char time[8];
        std::snprintf(time, sizeof time, "%06d", 200000 + i++);
        const std::string gga = std::string("$GPGGA,") + time + ",4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,*00\r\n";
        const auto start = Clock::now();
        fs::create_symlink(name, root + "/dev/COM200");
        for (;;) {  // the receiver talks every 10 ms until its time is seen
            if (write(master, gga.data(), gga.size()) < 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const GpsState g = SnapshotGpsState();
            if (std::string(g.utcTime, g.utcTime + 6) == std::string(time, time + 6)) break;
            if (Clock::now() - start > std::chrono::seconds(10)) {
                state.SkipWithError("the device was not picked up within 10 s");
                break;
            }
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        state.SetIterationTime(ms / 1e3);
        samples.push_back(ms);
        ReleasePortWait(portHandle);
        ClosePort(portHandle);
        portHandle = kInvalidPort;
        while (readerThreadsRunning.load() != 0) sched_yield();
        fs::remove(root + "/dev/COM200");
        close(master), close(slave);
    }
    state.counters["p50_ms"] = Percentile(samples, 0.50);
    state.counters["max_ms"] = Percentile(samples, 1.0);
    state.counters["waiting_cpu_ms_per_s"] = waitWall > 0 ? 1000.0 * waitCpu / waitWall : 0;
    std::error_code ec;
    fs::remove_all(root, ec);
}
BENCHMARK(BM_ReconnectAfterDeviceAppears)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);

}  // namespace
