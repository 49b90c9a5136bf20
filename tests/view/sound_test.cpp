// The sound player against ALSA's file sink (a "file" PCM over a "null" slave, raw samples): what reaches
// the device is compared with the wave file byte for byte; files that cannot be played give the built-in
// tone; no device, silence; a long file is cut after kMaxSoundSeconds.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>
#include "platform/diagnostics.h"
#include "platform/sound.h"
#include "view_fixture.h"

namespace {
using namespace viewtest;
const std::u16string kCard = u"\\Scheda di memoria\\Velkar\\";

class SoundTest : public ::testing::Test {
protected:
    static inline std::string dir;
    static void SetUpTestSuite() { dir = SetUpViewWorld() + "/Scheda di memoria/Velkar/"; }
    static void TearDownTestSuite() { TearDownViewWorld(); }
    void SetUp() override { std::filesystem::remove(SinkPath()); }
    static int Play(const std::u16string& name) { return PlaySoundFile((kCard + name).c_str(), kSoundFilename); }
};
std::string Le(const std::vector<int32_t>& values, int bytes)
{
    std::string s;
    for (int32_t v : values)
        for (int i = 0; i < bytes; ++i) s.push_back(char((uint32_t(v) >> (8 * i)) & 0xFF));
    return s;
}

TEST_F(SoundTest, SamplesReachTheDeviceAsInTheFile)
{
    std::vector<int32_t> ramp, bytes8, shifted8, floats;
    for (int i = 0; i < 10000; ++i) ramp.push_back(int16_t(i * 37 - 20000));
    ramp[0] = INT16_MIN, ramp[1] = INT16_MAX;
    for (int i = 0; i < 256; ++i) bytes8.push_back(i), shifted8.push_back((i - 128) * 256);  // 128 is silence
    for (int i = 0; i < 400; ++i) {
        const float f = float(std::sin(i * 0.1) * 0.5);
        std::memcpy(&floats.emplace_back(), &f, 4);
    }
    const std::string mono = Le(std::vector<int32_t>(ramp.begin(), ramp.begin() + 1000), 2), stereo = Le(ramp, 2);
    const struct { const char* name; std::string wave, sink; } rows[] = {
        {"16-bit mono 8000", WaveBytes(1, 1, 8000, 16, mono), mono},
        {"16-bit stereo 44100", WaveBytes(1, 2, 44100, 16, stereo), stereo},
        {"8-bit unsigned", WaveBytes(1, 1, 11025, 8, Le(bytes8, 1)), Le(shifted8, 2)},
        {"float, bit for bit", WaveBytes(3, 1, 16000, 32, Le(floats, 4)), Le(floats, 4)}};
    for (const auto& r : rows) {
        std::filesystem::remove(SinkPath());
        WriteFile(dir + "a.wav", r.wave);
        EXPECT_EQ(Play(u"a.wav"), 1) << r.name;
        EXPECT_TRUE(ReadFile(SinkPath()) == r.sink) << r.name;
    }
}
TEST_F(SoundTest, FilesThatCannotBePlayedGiveTheDefaultTone)
{
    const std::u16string junk = kCard + u"junk.wav";
    const struct { const char* name; const char16_t* path; std::string content; } rows[] = {
        {"missing file", u"\\Scheda di memoria\\Velkar\\nessuno.wav", ""}, {"no name", u"", ""},
        {"no name at all", nullptr, ""}, {"the directory itself", u"\\Scheda di memoria\\Velkar", ""},
        {"text, not a sound", junk.c_str(), "not a wave file\n"},
        {"header lies: no channels", junk.c_str(), WaveBytes(1, 0, 8000, 16, "abcd")},
        {"no samples", junk.c_str(), WaveBytes(1, 1, 8000, 16, "")},
        {"a FIFO, never opened for waiting", u"\\Scheda di memoria\\Velkar\\fifo.wav", ""}};
    mkfifo((dir + "fifo.wav").c_str(), 0644);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::filesystem::remove(SinkPath());
        if (!r.content.empty()) WriteFile(dir + "junk.wav", r.content);
        EXPECT_EQ(PlaySoundFile(r.path, kSoundFilename), 1);
        // 880 Hz for 150 ms, 16-bit mono at 22050: 3307 frames, 2 x 880 x 0.15 = 264 zero crossings,
        // audible but not clipped, faded at both ends (no click).
        const std::string raw = ReadFile(SinkPath());
        std::vector<int16_t> v(raw.size() / 2);
        std::memcpy(v.data(), raw.data(), v.size() * 2);
        ASSERT_EQ(v.size(), 3307u);
        int crossings = 0, peak = 0;
        for (size_t i = 1; i < v.size(); ++i)
            crossings += (v[i - 1] < 0) != (v[i] < 0), peak = std::max(peak, std::abs(int(v[i])));
        EXPECT_NEAR(crossings, 264, 4);
        EXPECT_TRUE(peak > 5000 && peak < 32000) << peak;
        EXPECT_LT(std::abs(int(v.front())) + std::abs(int(v.back())), 400);
    }
}
// 25 s of 16-bit mono at 8000 frames per second against a sink taking 16000 bytes a second (the sink
// made a FIFO drained at the sound's own byte rate, as a real device takes samples, so the player waits
// on it as on a sound card): only the first 10 s reach it, and the player returns after them.
TEST_F(SoundTest, ALongSoundIsCutAndSaidUnderVerbose)
{
    std::vector<int32_t> samples(25 * 8000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(i * 7);
    const std::string data = Le(samples, 2), path = SinkPath();
    WriteFile(dir + "long.wav", WaveBytes(1, 1, 8000, 16, data));
    mkfifo(path.c_str(), 0600);
    std::string taken;
    std::thread reader([&] {
        const int fd = open(path.c_str(), O_RDONLY);
        fcntl(fd, F_SETPIPE_SZ, 4096);  // little slack: the writer is held almost at once
        char chunk[1024];
        const auto start = std::chrono::steady_clock::now();
        for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) {
            taken.append(chunk, size_t(n));
            std::this_thread::sleep_until(start + std::chrono::microseconds(taken.size() * 1000000 / (8000 * 2)));
        }
        close(fd);
    });
    testing::internal::CaptureStderr();
    SetVerbose(1);
    EXPECT_EQ(Play(u"long.wav"), 1);
    SetVerbose(0);
    const std::string said = testing::internal::GetCapturedStderr();
    reader.join();
    std::filesystem::remove(path);
    EXPECT_TRUE(taken == data.substr(0, size_t(kMaxSoundSeconds) * 8000 * 2));
    EXPECT_NE(said.find("sound cut after 10 s"), std::string::npos) << said;
}
TEST_F(SoundTest, WithoutADeviceNothingIsHeardAndOnlyVerboseSaysSoOnce)
{
    // A child process (ALSA reads its configuration once per process) with no "default" PCM.
    WriteFile(dir + "empty-asoundrc", "# no devices\n");
    WriteFile(dir + "bip.wav", WaveBytes(1, 1, 8000, 16, Le({1, 2, 3, 4}, 2)));
    int err[2];
    ASSERT_EQ(pipe(err), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(err[1], 2);
        setenv("ALSA_CONFIG_PATH", (dir + "empty-asoundrc").c_str(), 1);
        int played = Play(u"bip.wav") * 10 + Play(u"nessuno.wav");
        SetVerbose(1);
        for (int i = 0; i < 2; ++i) played += Play(u"bip.wav");
        _exit(played);
    }
    close(err[1]);
    std::string printed;
    char buffer[256];
    for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) printed.append(buffer, size_t(n));
    close(err[0]);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "every play reports 0: " << status;
    EXPECT_EQ(printed.rfind("velkar: no sound device: ", 0), 0u) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << "said once, under verbose only: " << printed;
    EXPECT_FALSE(std::filesystem::exists(SinkPath()));
}
}  // namespace
