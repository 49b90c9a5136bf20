// The proximity check as the view runs it: the position taken from GpsState, the
// sound path built as soundDirectory immediately followed by the point's file,
// cut to its 128 units, and played through ALSA's file sink.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "app/globals.h"
#include "base/text.h"
#include "gps/gps_state.h"
#include "platform/sound.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "view/proximity.h"
#include "view_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace viewtest;

class PointSoundTest : public ::testing::Test {
protected:
    static std::string root;
    static void SetUpTestSuite() { root = SetUpViewWorld(); }
    static void TearDownTestSuite() { TearDownViewWorld(); }

    void SetUp() override
    {
        CopyText(soundDirectory, kSoundDirectorySize, u"\\Scheda di memoria\\Velkar");
        for (PrefPoint& p : prefTable) p = PrefPoint{};
        lastPrefIndex = -1;
        settings.audioMessages = 1;
        fs::remove(SinkPath());
    }

    static void Position(double e, double n)
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.gridEasting = e;
        gpsState.gridNorthing = n;
    }
};

std::string PointSoundTest::root;

TEST_F(PointSoundTest, PathIsDirectoryAndFileWithoutSeparator)
{
    struct Row {
        const char* name;
        const char16_t* soundFile;
        const char16_t* path;
    };
    const Row rows[] = {
        {"file with its own backslash", u"\\bip.wav", u"\\Scheda di memoria\\Velkar\\bip.wav"},
        {"file without one runs into the directory name", u"bip.wav", u"\\Scheda di memoria\\Velkarbip.wav"},
        {"nine characters, the most a point holds", u"\\abcd.wav", u"\\Scheda di memoria\\Velkar\\abcd.wav"},
        {"no file", u"", u"\\Scheda di memoria\\Velkar"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CopyText(prefTable[3].soundFile, kSoundFileSize, r.soundFile);
        char16_t path[kSoundPathSize];
        BuildPointSoundPath(3, path);
        EXPECT_EQ(std::u16string(path), std::u16string(r.path));
    }
}

TEST_F(PointSoundTest, LongDirectoryIsCutToTheBuffer)
{
    // soundDirectory holds up to 259 units; the path buffer 128: cut, terminated.
    std::u16string longDirectory(200, u'd');
    CopyText(soundDirectory, kSoundDirectorySize, longDirectory.c_str());
    CopyText(prefTable[0].soundFile, kSoundFileSize, u"\\bip.wav");
    char16_t path[kSoundPathSize + 8];
    for (char16_t& c : path) c = u'#';
    BuildPointSoundPath(0, path);
    EXPECT_EQ(TextLength(path), size_t(kSoundPathSize - 1));
    for (int i = kSoundPathSize; i < kSoundPathSize + 8; ++i) EXPECT_EQ(path[i], u'#') << "written past at " << i;
}

TEST_F(PointSoundTest, IndexOutsideTheTablePlaysNothing)
{
    for (int32_t index : {-1, kPrefCount, 999}) {
        char16_t path[kSoundPathSize];
        BuildPointSoundPath(index, path);
        EXPECT_EQ(path[0], 0);
        PlayPointSound(index);
        EXPECT_FALSE(fs::exists(SinkPath())) << "index " << index;
    }
}

TEST_F(PointSoundTest, CheckProximityReadsThePositionFromGpsState)
{
    // The point's file is missing: the default tone is what reaches the device.
    lastPrefIndex = 0;
    prefTable[0] = PrefPoint{716504.7, 4914218.9, 1, u"\\nulo.wav", u"Rocca"};
    Position(716504.7 + 49.9, 4914218.9);
    EXPECT_EQ(CheckProximity(), 0);
    EXPECT_EQ(fs::file_size(SinkPath()), uintmax_t(kDefaultToneFrames) * 2);
    fs::remove(SinkPath());
    Position(716504.7 + 50.0, 4914218.9);
    EXPECT_EQ(CheckProximity(), 999);
    EXPECT_FALSE(fs::exists(SinkPath()));
    // Audio messages must be exactly 1 to play.
    settings.audioMessages = 2;
    Position(716504.7, 4914218.9);
    EXPECT_EQ(CheckProximity(), 0);
    EXPECT_FALSE(fs::exists(SinkPath()));
}

}  // namespace
