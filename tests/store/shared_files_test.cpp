// Files other programs wrote or left behind: UTF-16 files from Windows editors, files a tool must not
// rewrite record by record, and temporaries of killed runs.
#include "store_fixture.h"

namespace {
using SharedFiles = Store;

// text (ASCII) as UTF-16 with its byte-order mark, CRLF line ends as Notepad writes them.
std::string Utf16(const std::string& text, bool bigEndian)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text)
        for (char u : c == '\n' ? std::string("\r\n") : std::string(1, c))
            out += bigEndian ? std::string(1, '\0') + u : std::string(1, u) + '\0';
    return out;
}
const std::string kMapRecord = "[1][Centro][\\My Documents\\Velkar\\centro.bmp][716346.6][4914433.5]"
                               "[717261.9][4913879.2][741][498][3][-4][0][-]\n";

// The same records a UTF-8 file holds; values from the records themselves.
TEST_F(SharedFiles, Utf16FilesReadAsTheirText)
{
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        Write(kCfg, Utf16("[BEGIN]\n[2]\n[9600]\n[0]\n[0]\n[1]\n[0]\n[1]\n[0]\n[0]\n[0]\n[0]\n[END]\n", bigEndian));
        Write(kDir + "vlmap.cfg", Utf16(kMapRecord, bigEndian));
        Write(kDir + "vlpref.cfg", Utf16("[1][Rocca][-][716800.5][4914100.25][-][-][1][\\bip.wav][-][-][-][-]\n", bigEndian));
        ASSERT_TRUE(LoadSettings() == 1 && LoadMapCatalogue() == 1 && LoadPrefPoints() == 1);
        EXPECT_TRUE(settings.comPort == 2 && settings.baudRate == 9600 && settings.enableLog == 1);
        EXPECT_TRUE(mapTable[0].name == std::u16string(u"Centro") && mapTable[0].calibY == -4);
        EXPECT_TRUE(prefTable[0].name == std::u16string(u"Rocca") && prefTable[0].y == 4914100.25);
    }
}
TEST_F(SharedFiles, RecordFileReadableSaysWhatCannotBeRewritten)
{
    const struct { const char* name; std::string bytes; int readable; const char* why; } rows[] = {
        {"UTF-8 record", kMapRecord, 1, ""}, {"UTF-16 LE with mark", Utf16(kMapRecord, false), 1, ""},
        {"UTF-16 BE with mark", Utf16(kMapRecord, true), 1, ""},
        {"UTF-16 without mark", Utf16(kMapRecord, false).substr(2), 0, "binary or UTF-16 text without a byte-order mark"},
        {"UTF-32 LE with mark", std::string("\xFF\xFE\0\0[\0\0\0", 8), 0, "UTF-32 text"}, {"empty", "", 1, ""}};
    std::string why;
    for (const auto& row : rows) {
        Write("f", row.bytes);
        why.clear();
        EXPECT_EQ(RecordFileReadable(Host("f"), &why), row.readable) << row.name;
        EXPECT_EQ(why, row.why) << row.name;
    }
    EXPECT_EQ(RecordFileReadable(Host("missing"), &why), 1) << "a missing file is created, not rewritten";
    ASSERT_EQ(mkfifo(Host("fifo").c_str(), 0600), 0);
    EXPECT_EQ(RecordFileReadable(Host("fifo"), &why), 0);
    EXPECT_EQ(why, "not a regular file");
}
TEST_F(SharedFiles, LeftoverTemporariesOfDeadRunsAreRemoved)
{
    const pid_t dead = fork();  // a pid that surely ended: a child that has been reaped
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    const std::string deadPid = std::to_string(dead), live = std::to_string(getppid());
    const struct { const char* name; std::string file; bool old; bool removed; } rows[] = {
        {"dead owner's, older than the run", "vlcfg.cfg.tmp-velkar-" + deadPid + "-0123456789abcdef", true, true},
        {"dead owner's, changed during the run", "vlmap.cfg.tmp-velkar-" + deadPid + "-0123456789abcdee", false, false},
        {"a live process's", "vlcfg.cfg.tmp-velkar-" + live + "-0123456789abcdef", true, false},
        {"another program's kind", "c.bmp.tmp-velkar-map-" + deadPid + "-0123456789abcdef", true, false},
        {"not a temporary", "vlcfg.cfg", true, false},
        {"suffix of the wrong length", "vlcfg.cfg.tmp-velkar-" + deadPid + "-0123", true, false}};
    for (const auto& row : rows) {
        Write(kDir + row.file, "x");
        const auto now = fs::file_time_type::clock::now();
        fs::last_write_time(Host(kDir + row.file), row.old ? now - std::chrono::hours(1) : now + std::chrono::seconds(5));
    }
    SetTemporaryOwner("velkar");
    EXPECT_EQ(RemoveLeftoverTemporaries(Host(kDir)), 1);
    for (const auto& row : rows) EXPECT_EQ(fs::exists(Host(kDir + row.file)), !row.removed) << row.name;
    const std::string made = TemporaryFileName("vlcfg.cfg");
    EXPECT_EQ(made.rfind("vlcfg.cfg.tmp-velkar-" + std::to_string(getpid()) + "-", 0), 0u) << made;
}
}  // namespace
