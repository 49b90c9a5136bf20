// Every corpus log through the velkar-nmea probe against expected states kept in
// tests/data/probe-corpus-states.txt (made once by scripts/corpus-states.py): this build's
// whole output by hash, so that any state after any sentence that changes fails; and for
// receivers that send GGA and VTG, the landed build's states from the second GGA on.
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {
uint64_t Fnv(const std::vector<std::string>& lines)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (const std::string& line : lines)
        for (char c : line + "\n") h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return h;
}
std::vector<std::string> ProbeLines(const std::string& log)
{
    std::vector<std::string> lines;
    FILE* p = popen((VELKAR_NMEA_PATH " '" + std::string(VELKAR_CORPUS_DIR) + "/" + log + "'").c_str(), "r");
    std::string line;
    for (int c; (c = std::fgetc(p)) != EOF;)
        if (c == '\n') lines.push_back(line), line.clear();
        else line.push_back(static_cast<char>(c));
    EXPECT_EQ(pclose(p), 0) << log;
    return lines;
}
bool Kind(const std::string& line, const char* kind) { return line.compare(0, 12, std::string("{\"kind\":\"") + kind) == 0; }

// Receivers that send GGA and VTG but read differently now, and why.
const char* const kReadDifferently[] = {
    "bundg_zeus_9.log",                  // an RMC stands in for the GGA missing at 09:48:03
    "ericsson-gru04-02-70sec.log",       // 71 GNS and 2 GGA: the GNS stand in
    "gp-320fw-2019-04-07-coldboot.log",  // RMC stand in between GGAs; a banner no longer swallows a GGA
    "humminbird-M37.log",                // an RMC between every two GGAs stands in
    "quectel-eg25-g.log",                // the first GNS sets the time its GGAs without time keep
};

TEST(CorpusProbe, StatesAfterEverySentence)
{
    std::ifstream data(std::string(VELKAR_SOURCE_DIR) + "/tests/data/probe-corpus-states.txt");
    int logs = 0, asLanded = 0;
    for (std::string row; std::getline(data, row);) {
        if (row.empty() || row[0] == '#') continue;
        std::istringstream in(row);
        std::string log, landedHash, nowHash;
        size_t landedCount = 0, nowCount = 0;
        in >> log >> landedCount >> landedHash >> nowCount >> nowHash;
        const std::vector<std::string> lines = ProbeLines(log);
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv(lines)));
        EXPECT_TRUE(lines.size() == nowCount && hash == nowHash) << log << ": " << lines.size() << " lines";
        ++logs;
        bool gga = false, vtg = false, readsDifferently = false;
        for (const std::string& line : lines) gga |= Kind(line, "GGA"), vtg |= Kind(line, "VTG");
        for (const char* name : kReadDifferently) readsDifferently |= log == name;
        if (!gga || !vtg || readsDifferently) continue;
        std::vector<std::string> kept;
        int ggas = 0;
        for (const std::string& line : lines) {
            ggas += Kind(line, "GGA") ? 1 : 0;
            if (ggas >= 2 && (Kind(line, "GGA") || Kind(line, "VTG"))) kept.push_back(line);
        }
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv(kept)));
        EXPECT_TRUE(kept.size() == landedCount && hash == landedHash) << log << " reads unlike the landed build";
        ++asLanded;
    }
    EXPECT_EQ(logs, 36);
    EXPECT_EQ(asLanded, 20) << "GGA+VTG logs compared with the landed build";
}
}  // namespace
