// The settings file: what is written, what is read back, the token edge cases, bad
// files that keep what was there, and saves that fail half-way or cannot start,
// which must leave the old file whole.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "store_test_support.h"

namespace {

struct Values {
    int32_t v[9];
};

Values Current()
{
    const Settings& s = settings;
    return {{s.comPort, s.baudRate, s.gpsEmulation.load(), s.prefInDegrees, s.audioMessages, s.trackToTarget,
             s.enableLog, s.proximity, s.mapInDegrees}};
}

void Set(const Values& values)
{
    Settings& s = settings;
    s.comPort = values.v[0];
    s.baudRate = values.v[1];
    s.gpsEmulation = values.v[2];
    s.prefInDegrees = values.v[3];
    s.audioMessages = values.v[4];
    s.trackToTarget = values.v[5];
    s.enableLog = values.v[6];
    s.proximity = values.v[7];
    s.mapInDegrees = values.v[8];
}

void ExpectValues(const Values& expected, const char* name)
{
    const Values got = Current();
    for (int i = 0; i < 9; ++i) EXPECT_EQ(got.v[i], expected.v[i]) << name << ", field " << i;
}

// Provenance: the file written for a receiver on COM2 with only the log on.
const char kCom2LogOn[] = "[BEGIN]\n[2]\n[4800]\n[0]\n[0]\n[0]\n[0]\n[1]\n[0]\n[0]\n[0]\n[0]\n[END]\n";

TEST(SaveSettings, WritesThirteenLines)
{
    TempDeviceRoot root;
    Set({{2, 4800, 0, 0, 0, 0, 1, 0, 0}});
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(root.Read(kSettingsFile), kCom2LogOn);
}

TEST(SaveSettings, RoundTrip)
{
    TempDeviceRoot root;
    const Values rows[] = {{{1, 4800, 1, 1, 1, 1, 1, 1, 1}},
                           {{5, 115200, 0, 1, 0, 1, 0, 1, 0}},
                           {{-3, 0, 2, -1, std::numeric_limits<int32_t>::max(), 0, 0, 0, std::numeric_limits<int32_t>::min()}}};
    for (const Values& v : rows) {
        Set(v);
        ASSERT_EQ(SaveSettings(), 1);
        ClearSettings();
        ASSERT_EQ(LoadSettings(), 1);
        ExpectValues(v, "round trip");
    }
}

struct LoadRow {
    const char* name;
    std::string file;
    Values expected;  // starting from all fields 7
};

const Values kSevens = {{7, 7, 7, 7, 7, 7, 7, 7, 7}};

// Provenance: the reading rules and edge cases of the settings file ([1.9] gives
// 1, [-3] stays -3, spacing does not matter, a short file sets what it holds),
// and bad files, which keep what was there.
const LoadRow kLoadRows[] = {
    {"written file", kCom2LogOn, {{2, 4800, 0, 0, 0, 0, 1, 0, 0}}},
    {"fraction truncated", "[BEGIN][1.9][-3][0.99][-0.99][2][3][4][5][6][0][0][END]", {{1, -3, 0, 0, 2, 3, 4, 5, 6}}},
    {"no spacing", "[BEGIN][3][9600][1][0][1][0][1][0][1][0][0][END]", {{3, 9600, 1, 0, 1, 0, 1, 0, 1}}},
    {"spaces, comments, CRLF", "settings\r\n[BEGIN] x\r\n [4]\r\n\t[ 19200] [1] [1] [1] [1] [1] [1] [1]\r\n[0][0][END]\r\n",
     {{4, 19200, 1, 1, 1, 1, 1, 1, 1}}},
    {"BEGIN and three values", "[BEGIN][2][4800][1]", {{2, 4800, 1, 7, 7, 7, 7, 7, 7}}},
    {"not a number reads 0", "[BEGIN][COM2][fast]", {{0, 0, 7, 7, 7, 7, 7, 7, 7}}},
    {"huge numbers saturate", "[BEGIN][1e30][-1e30]", {{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min(), 7, 7, 7, 7, 7, 7, 7}}},
    {"a second record overwrites", "[BEGIN][1][2][3][4][5][6][7][8][9][0][0][END][BEGIN][5][6]", {{5, 6, 3, 4, 5, 6, 7, 8, 9}}},
    {"empty file", "", kSevens},
    {"no ']'", "[BEGIN][2][4800", {{2, 7, 7, 7, 7, 7, 7, 7, 7}}},
    {"no '[END]'", "[BEGIN][2][4800][1][0][1]", {{2, 4800, 1, 0, 1, 7, 7, 7, 7}}},
    {"binary without brackets", std::string("\x00\x01\xFF\xFE\x80\x9F garbage\x7F", 15), kSevens},
    {"1 MiB token", "[BEGIN][" + std::string(1 << 20, '9') + "][5][1]", {{std::numeric_limits<int32_t>::max(), 5, 1, 7, 7, 7, 7, 7, 7}}},
    {"1 MiB between tokens", "[BEGIN]" + std::string(1 << 20, ' ') + "[2]", {{2, 7, 7, 7, 7, 7, 7, 7, 7}}},
    {"only the first 16 MiB are read", "[BEGIN][2]" + std::string(16 << 20, ' ') + "[5]", {{2, 7, 7, 7, 7, 7, 7, 7, 7}}},
};

TEST(LoadSettings, Table)
{
    TempDeviceRoot root;
    for (const LoadRow& r : kLoadRows) {
        root.Write(kSettingsFile, r.file);
        Set(kSevens);
        EXPECT_EQ(LoadSettings(), 1) << r.name;
        ExpectValues(r.expected, r.name);
    }
}

TEST(LoadSettings, MissingFileKeepsTheFields)
{
    TempDeviceRoot root;
    Set(kSevens);
    EXPECT_EQ(LoadSettings(), 0);
    ExpectValues(kSevens, "missing file");
}

TEST(LoadSettings, FileNameCaseDoesNotMatter)
{
    TempDeviceRoot root;
    std::filesystem::rename(root.Host("My Documents"), root.Host("MY DOCUMENTS"));
    std::filesystem::create_directories(root.Host("MY DOCUMENTS/Velkar"));
    root.Write("MY DOCUMENTS/Velkar/VLCFG.CFG", "[BEGIN][3]");
    Set(kSevens);
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_EQ(settings.comPort, 3);
}

// Mended fault: the save used to open the file for writing at once, so a failure
// half-way left it truncated. A child with a file-size limit of 20 bytes (and
// SIGXFSZ ignored, so the write really fails) cannot write the new record: the
// save must report 0 and leave the old file whole, with no temporary file behind.
TEST(SaveSettings, FailureHalfWayKeepsTheOldFile)
{
    TempDeviceRoot root;
    root.Write(kSettingsFile, kCom2LogOn);
    const int result = InChild([] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{20, 20};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 99;
        Set({{5, 115200, 1, 1, 1, 1, 1, 1, 1}});
        return SaveSettings() == 0 ? 0 : 1;
    });
    if (result == 99) GTEST_SKIP() << "no file-size limit can be set here";
    EXPECT_EQ(result, 0) << "SaveSettings should have reported the failed write";
    EXPECT_EQ(root.Read(kSettingsFile), kCom2LogOn);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(root.Host("My Documents/Velkar"))) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

// A folder the program may not write: the save fails before touching the file.
// As root every folder is writable, so the child gives up its rights first.
TEST(SaveSettings, UnwritableFolderKeepsTheOldFile)
{
    TempDeviceRoot root;
    root.Write(kSettingsFile, kCom2LogOn);
    chmod(root.Path().c_str(), 0755);
    chmod(root.Host("My Documents").c_str(), 0755);
    chmod(root.Host("My Documents/Velkar").c_str(), 0555);
    chmod(root.Host(kSettingsFile).c_str(), 0644);
    const int result = InChild([] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 99;
        Set({{5, 115200, 1, 1, 1, 1, 1, 1, 1}});
        return SaveSettings() == 0 ? 0 : 1;
    });
    if (result == 99) GTEST_SKIP() << "root cannot give up its rights here";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(root.Read(kSettingsFile), kCom2LogOn);
}

TEST(SaveSettings, NoFolderOrAFolderInTheWay)
{
    TempDeviceRoot root;
    std::filesystem::remove_all(root.Host("My Documents"));
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_FALSE(root.Exists("My Documents"));
    std::filesystem::create_directories(root.Host(kSettingsFile));
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(root.Host(kSettingsFile)));
}

// The replacement keeps the old file's permissions.
TEST(SaveSettings, KeepsPermissions)
{
    TempDeviceRoot root;
    root.Write(kSettingsFile, kCom2LogOn);
    chmod(root.Host(kSettingsFile).c_str(), 0640);
    ASSERT_EQ(SaveSettings(), 1);
    struct stat st {};
    stat(root.Host(kSettingsFile).c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
