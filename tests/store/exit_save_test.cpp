// Exit's save over files another program changed while the navigator ran: only what the user changed is
// written, calibrations into their own records, and a refused save or append said under -v with its reason.
#include "platform/diagnostics.h"
#include "store/exit_save.h"
#include "store_fixture.h"

namespace {
using ExitSave = Store;

// Nine values, as the navigator writes them.
std::string Record(const std::string& values)
{
    std::string text = "[BEGIN]\n[";
    for (char c : values) text += c == ' ' ? std::string("]\n[") : std::string(1, c);
    return text + "]\n[0]\n[0]\n[END]\n";
}
// comPort and baudRate are the file's own: velkar-port's change between start and Exit stays.
TEST_F(ExitSave, OnlyWhatTheUserChangedIsWrittenOverTheFileAsItIsNow)
{
    const struct { const char* name; const char *atStart, *atExit; int logSwitch; const char* expected; } rows[] = {
        {"another program's port change kept, the user's log switch written", "1 4800 0 0 0 0 0 0 0",
         "2 9600 0 0 0 0 0 0 0", 1, "2 9600 0 0 0 0 1 0 0"},
        {"nothing changed: the file as it is now", "1 4800 0 1 0 0 0 0 0", "3 4800 0 1 1 1 0 0 0", 0, "3 4800 0 1 1 1 0 0 0"},
        {"a switch another program turned on stays on", "1 4800 0 0 0 0 0 0 0", "1 4800 0 0 0 0 0 1 0", 1,
         "1 4800 0 0 0 0 1 1 0"},
        {"the file gone at Exit: the whole record from memory", "2 9600 0 0 0 0 0 0 0", "", 1, "2 9600 0 0 0 0 1 0 0"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Write(kCfg, Record(row.atStart));
        ASSERT_EQ(LoadSettings(), 1);
        LoadMapCatalogue();  // none: the default map, no calibration to save
        settings.enableLog = row.logSwitch;
        if (*row.atExit == 0) fs::remove(Host(kCfg));
        else Write(kCfg, Record(row.atExit));
        EXPECT_EQ(SaveChangedSettings(), 1);
        EXPECT_EQ(Read(kCfg), Record(row.expected));
    }
}
TEST_F(ExitSave, ACalibrationGoesIntoItsOwnRecordOfTheCatalogueAsItIsNow)
{
    const std::string a = "[1][A][\\a.bmp][1][2][3][4][10][20][0][0][0][-]\n", b = "[2][B][\\b.bmp][1][2][3][4][10][20][5][6][0][-]\n";
    const std::string c = "[3][C][\\c.bmp][1][2][3][4][10][20][0][0][0][-]\n";  // added by a tool meanwhile
    Write(kDir + "vlmap.cfg", a + b);
    ASSERT_EQ(LoadMapCatalogue(), 1);
    mapTable[1].calibX = -12, mapTable[1].calibY = 7;
    Write(kDir + "vlmap.cfg", c + a + b);
    EXPECT_EQ(SaveChangedSettings(), 1);
    EXPECT_EQ(Read(kDir + "vlmap.cfg"), c + a + "[2][B][\\b.bmp][1][2][3][4][10][20][-12][7][0][-]\n");
    Write(kDir + "vlmap.cfg", "[x]");  // no calibration changed: the catalogue is not written at all
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_EQ(SaveChangedSettings(), 1);
    EXPECT_EQ(Read(kDir + "vlmap.cfg"), "[x]");
}
TEST_F(ExitSave, ARefusedSaveAndAppendAreSaidUnderVerboseWithTheirReason)
{
    SetVerbose(1);
    for (auto [folder, reason] : {std::pair{true, "it is a folder"}, {false, "No such file or directory"}}) {
        Write(kCfg, Record("1 4800 0 0 0 0 0 0 0"));
        LoadSettings();
        LoadMapCatalogue();
        settings.proximity = 1;
        fs::remove_all(Host(folder ? kCfg : kDir));
        if (folder) fs::create_directory(Host(kCfg));  // vlcfg.cfg a folder, else the folder gone
        testing::internal::CaptureStderr();
        EXPECT_EQ(SaveChangedSettings(), 0);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(reason), std::string::npos) << said;
        EXPECT_NE(said.find("the settings were not saved on Exit"), std::string::npos) << said;
        fs::remove_all(Host(kDir));
        fs::create_directories(Host(kDir));
    }
    // The track log: the first refused append is said, the next ones not until one got through.
    fs::remove_all(Host(kCard));
    testing::internal::CaptureStderr();
    AppendTrackLog(), AppendTrackLog();
    fs::create_directories(Host(kCard));
    AppendTrackLog();
    fs::remove_all(Host(kCard));
    AppendTrackLog();
    const std::string said = testing::internal::GetCapturedStderr();
    SetVerbose(0);
    size_t lines = 0;
    for (size_t at = said.find("cannot append to"); at != std::string::npos; at = said.find("cannot append to", at + 1))
        ++lines;
    EXPECT_EQ(lines, 2u) << said;
    EXPECT_NE(said.find("GpsLog.txt: No such file or directory"), std::string::npos) << said;
}
}  // namespace
