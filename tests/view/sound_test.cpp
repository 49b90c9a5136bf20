// The sound player against ALSA pointed at a file sink (a "file" PCM over a "null"
// slave writing raw samples): what reaches the device is compared with the wave
// file byte for byte; missing and broken files give the built-in tone; without a
// device the call is silent and reports 0.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/sound.h"

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void PutLe(std::string& s, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A canonical RIFF/WAVE file written by hand: fmt chunk of 16 bytes, then data.
// formatTag 1 = integer PCM, 3 = IEEE float.
std::string WaveFile(uint16_t formatTag, uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data)
{
    std::string s = "RIFF";
    PutLe(s, static_cast<uint32_t>(36 + data.size()), 4);
    s += "WAVEfmt ";
    PutLe(s, 16, 4);
    PutLe(s, formatTag, 2);
    PutLe(s, channels, 2);
    PutLe(s, rate, 4);
    PutLe(s, rate * channels * bits / 8, 4);
    PutLe(s, channels * bits / 8, 2);
    PutLe(s, bits, 2);
    s += "data";
    PutLe(s, static_cast<uint32_t>(data.size()), 4);
    return s + data;
}

std::string Samples16(const std::vector<int16_t>& v)
{
    std::string s;
    for (int16_t x : v) PutLe(s, static_cast<uint16_t>(x), 2);
    return s;
}

std::vector<int16_t> AsSamples16(const std::string& bytes)
{
    std::vector<int16_t> v(bytes.size() / 2);
    std::memcpy(v.data(), bytes.data(), v.size() * 2);
    return v;
}

class SoundTest : public ::testing::Test {
protected:
    static fs::path root;
    static fs::path sink;

    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/velkar-sound-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        sink = root / "sink.raw";
        fs::create_directories(root / "Scheda di memoria" / "Velkar");
        std::ofstream rc(root / "asoundrc");
        rc << "pcm.!default {\n  type file\n  slave.pcm { type null }\n  file \"" << sink.string()
           << "\"\n  format \"raw\"\n}\n";
        rc.close();
        setenv("ALSA_CONFIG_PATH", (root / "asoundrc").c_str(), 1);
        SetDeviceRoot(root.string());
    }

    static void TearDownTestSuite() { fs::remove_all(root); }

    void SetUp() override { fs::remove(sink); }

    static fs::path SoundPath(const char* name) { return root / "Scheda di memoria" / "Velkar" / name; }
};

fs::path SoundTest::root;
fs::path SoundTest::sink;

TEST_F(SoundTest, SixteenBitSamplesReachTheDeviceUnchanged)
{
    // Mono and stereo at two rates: a ramp with sign changes and the extremes.
    struct Row {
        const char* name;
        uint16_t channels;
        uint32_t rate;
        int frames;
    };
    const Row rows[] = {{"mono 8000", 1, 8000, 1000}, {"stereo 44100", 2, 44100, 5000}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<int16_t> v;
        for (int i = 0; i < r.frames * r.channels; ++i) v.push_back(static_cast<int16_t>(i * 37 - 20000));
        v[0] = INT16_MIN;
        v[1] = INT16_MAX;
        const std::string data = Samples16(v);
        WriteBytes(SoundPath("bip.wav"), WaveFile(1, r.channels, r.rate, 16, data));
        EXPECT_EQ(PlaySoundFile(u"\\Scheda di memoria\\Velkar\\bip.wav", kSoundFilename), 1);
        const std::string written = ReadBytes(sink);
        ASSERT_EQ(written.size(), data.size());
        EXPECT_TRUE(written == data);
    }
}

TEST_F(SoundTest, EightBitAndFloatFilesAreDecoded)
{
    // 8-bit wave is unsigned with 128 as silence: value v arrives as (v - 128) * 256.
    std::string bytes8;
    for (int i = 0; i < 256; ++i) bytes8.push_back(static_cast<char>(i));
    WriteBytes(SoundPath("u8.wav"), WaveFile(1, 1, 11025, 8, bytes8));
    EXPECT_EQ(PlaySoundFile(u"\\Scheda di memoria\\Velkar\\u8.wav", kSoundFilename), 1);
    const std::vector<int16_t> got = AsSamples16(ReadBytes(sink));
    ASSERT_EQ(got.size(), 256u);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(got[i], (i - 128) * 256) << "sample " << i;

    // 32-bit float goes to the device as float, bit for bit.
    std::string bytesF;
    for (int i = 0; i < 400; ++i) {
        const float f = static_cast<float>(std::sin(i * 0.1) * 0.5);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        PutLe(bytesF, bits, 4);
    }
    fs::remove(sink);
    WriteBytes(SoundPath("f32.wav"), WaveFile(3, 1, 16000, 32, bytesF));
    EXPECT_EQ(PlaySoundFile(u"\\Scheda di memoria\\Velkar\\f32.wav", kSoundFilename), 1);
    EXPECT_TRUE(ReadBytes(sink) == bytesF);
}

TEST_F(SoundTest, PathsGoThroughTheDeviceRootIgnoringCase)
{
    const std::string data = Samples16({1, 2, 3, 4, 5, 6, 7, 8});
    WriteBytes(SoundPath("Campana.wav"), WaveFile(1, 1, 8000, 16, data));
    EXPECT_EQ(PlaySoundFile(u"\\SCHEDA DI MEMORIA\\velkar\\CAMPANA.WAV", kSoundFilename), 1);
    EXPECT_TRUE(ReadBytes(sink) == data);
    fs::remove(SoundPath("Campana.wav"));
}

// The built-in tone: 880 Hz for 150 ms, 16-bit mono at 22050 (3307 frames). Checked
// by its length, its zero crossings (2 x 880 x 0.15 = 264) and a level that is
// audible but not clipped.
void ExpectDefaultTone(const std::string& written)
{
    const std::vector<int16_t> v = AsSamples16(written);
    ASSERT_EQ(v.size(), 3307u);
    int crossings = 0;
    int peak = 0;
    for (size_t i = 1; i < v.size(); ++i) {
        if ((v[i - 1] < 0) != (v[i] < 0)) ++crossings;
        peak = std::max(peak, std::abs(int(v[i])));
    }
    EXPECT_NEAR(crossings, 264, 4);
    EXPECT_GT(peak, 5000);
    EXPECT_LT(peak, 32000);
    // Faded in and out: no click at either end.
    EXPECT_LT(std::abs(int(v.front())), 200);
    EXPECT_LT(std::abs(int(v.back())), 200);
}

TEST_F(SoundTest, FilesThatCannotBePlayedGiveTheDefaultTone)
{
    struct Row {
        const char* name;
        const char16_t* path;
        std::string content;  // written to junk.wav when not empty
    };
    std::string truncated = WaveFile(1, 1, 8000, 16, Samples16({1, 2, 3}));
    truncated.resize(20);
    std::string zeroChannels = WaveFile(1, 0, 8000, 16, Samples16({1, 2, 3}));
    const Row rows[] = {
        {"missing file", u"\\Scheda di memoria\\Velkar\\nessuno.wav", ""},
        {"no file name at all", u"", ""},
        {"the directory itself", u"\\Scheda di memoria\\Velkar", ""},
        {"text, not a sound", u"\\Scheda di memoria\\Velkar\\junk.wav", "this is not a wave file at all\n"},
        {"header cut short", u"\\Scheda di memoria\\Velkar\\junk.wav", truncated},
        {"header lies: no channels", u"\\Scheda di memoria\\Velkar\\junk.wav", zeroChannels},
        {"no samples", u"\\Scheda di memoria\\Velkar\\junk.wav", WaveFile(1, 1, 8000, 16, "")},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        fs::remove(sink);
        if (!r.content.empty()) WriteBytes(SoundPath("junk.wav"), r.content);
        EXPECT_EQ(PlaySoundFile(r.path, kSoundFilename), 1);
        ExpectDefaultTone(ReadBytes(sink));
    }
    fs::remove(sink);
    EXPECT_EQ(PlaySoundFile(nullptr, kSoundFilename), 1);
    ExpectDefaultTone(ReadBytes(sink));
}

TEST_F(SoundTest, WithoutADeviceNothingIsHeardOrPrinted)
{
    // In a child process (ALSA's configuration is per process): a configuration with
    // no "default" PCM, standard error captured. The child reports both results in
    // its exit status.
    WriteBytes(root / "empty-asoundrc", "# no devices here\n");
    WriteBytes(SoundPath("bip.wav"), WaveFile(1, 1, 8000, 16, Samples16({1, 2, 3, 4})));
    int errPipe[2];
    ASSERT_EQ(pipe(errPipe), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(errPipe[1], 2);
        close(errPipe[0]);
        setenv("ALSA_CONFIG_PATH", (root / "empty-asoundrc").c_str(), 1);
        const int a = PlaySoundFile(u"\\Scheda di memoria\\Velkar\\bip.wav", kSoundFilename);
        const int b = PlaySoundFile(u"\\Scheda di memoria\\Velkar\\nessuno.wav", kSoundFilename);
        _exit(a * 10 + b);
    }
    close(errPipe[1]);
    std::string printed;
    char buffer[256];
    ssize_t n;
    while ((n = read(errPipe[0], buffer, sizeof buffer)) > 0) printed.append(buffer, static_cast<size_t>(n));
    close(errPipe[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "both plays report 0 without a device";
    EXPECT_EQ(printed, "");
    EXPECT_FALSE(fs::exists(sink));
}

}  // namespace
