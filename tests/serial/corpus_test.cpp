// Real receiver logs (nmea-corpus) replayed through a pty in writes of random
// sizes must end in the same GpsState and displayLine as the same bytes framed
// directly, and, where the probe tool is built, as its last line says.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/text.h"
#include "gps/framing.h"
#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "serial_support.h"
#include "store/settings.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> CorpusLogs()
{
    std::vector<std::string> logs;
    for (const auto& entry : fs::recursive_directory_iterator(std::string(VELKAR_SHARED_DIR) + "/nmea-corpus"))
        if (entry.is_regular_file() && entry.path().extension() == ".log") logs.push_back(entry.path().string());
    std::sort(logs.begin(), logs.end());
    return logs;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The value text of "name": in a one-line JSON object (numbers only).
std::string JsonNumber(const std::string& line, const std::string& name)
{
    const std::string key = "\"" + name + "\":";
    size_t at = line.find(key);
    if (at == std::string::npos) return "<missing>";
    at += key.size();
    size_t end = line.find_first_of(",}", at);
    return line.substr(at, end - at);
}

// The probe's last output line for a log, or "" when the probe is not built.
std::string ProbeLastLine(const std::string& log)
{
    const std::string probe = std::string(VELKAR_BINARY_DIR) + "/tools/velkar-nmea";
    if (!fs::exists(probe)) return "";
    FILE* out = popen(("'" + probe + "' '" + log + "' 2>/dev/null").c_str(), "r");
    if (out == nullptr) return "";
    std::string last, line;
    char chunk[4096];
    while (fgets(chunk, sizeof chunk, out) != nullptr) {
        line += chunk;
        if (!line.empty() && line.back() == '\n') {
            if (line.size() > 1) last = line;
            line.clear();
        }
    }
    pclose(out);
    return last;
}

}  // namespace

TEST(SerialCorpus, PtyReplayEndsInTheSameStateAsDirectFraming)
{
    const std::vector<std::string> logs = CorpusLogs();
    ASSERT_GE(logs.size(), 30u) << "nmea-corpus not found under " << VELKAR_SHARED_DIR;
    settings.gpsEmulation = 0;
    gotoActive = 0;
    std::mt19937 random(20240611);  // fixed seed: the same cuts on every run
    int probeCompared = 0;
    for (const std::string& log : logs) {
        const std::string name = fs::path(log).filename().string();
        SCOPED_TRACE(name);
        const std::string bytes = ReadBytes(log);
        uint32_t stars = 0;
        for (char c : bytes) stars += c == '*';

        // Directly through the framing, from a fresh start.
        ResetLinkState();
        char16_t buffer[kSentenceBufferSize] = {};
        FramingState framing{0, 0};
        for (char c : bytes) FrameByte(buffer, &framing, static_cast<unsigned char>(c));
        const GpsState direct = SnapshotGpsState();
        char16_t directLine[kDisplayLineSize];
        SnapshotDisplayLine(directLine);

        // Through a pty and the reader thread, from the same fresh start.
        ResetLinkState();
        TempRoot root;
        Pty pty;
        LinkDevice(root, 1, pty.slavePath);
        ASSERT_EQ(OpenPort(u"COM1:", 4800), 1);
        const uint32_t target = sentenceEnds.load() + stars;
        std::uniform_int_distribution<size_t> size(1, 300);
        for (size_t at = 0; at < bytes.size();) {
            const size_t piece = std::min(size(random), bytes.size() - at);
            pty.Write(bytes.substr(at, piece));
            at += piece;
        }
        ASSERT_TRUE(WaitForSentenceEnds(target)) << "framed " << sentenceEnds.load() << " of " << target;
        const GpsState replayed = SnapshotGpsState();
        char16_t replayedLine[kDisplayLineSize];
        SnapshotDisplayLine(replayedLine);
        ASSERT_TRUE(ShutDownLink());

        ExpectSameState(direct, replayed, name);
        EXPECT_EQ(U16(directLine), U16(replayedLine));

        const std::string last = ProbeLastLine(log);
        if (last.empty()) continue;
        ++probeCompared;
        const struct {
            const char* field;
            double value;
        } numbers[] = {
            {"latitude", replayed.latitude},       {"longitude", replayed.longitude},
            {"utmEasting", replayed.utmEasting},   {"utmNorthing", replayed.utmNorthing},
            {"gridEasting", replayed.gridEasting}, {"gridNorthing", replayed.gridNorthing},
            {"altitude", replayed.altitude},       {"speedKmh", replayed.speedKmh},
            {"course", replayed.course},           {"distanceMoved", replayed.distanceMoved},
            {"timeDelta", replayed.timeDelta},
        };
        for (const auto& n : numbers)
            EXPECT_EQ(JsonNumber(last, n.field), DoubleToRoundTripText(n.value)) << n.field << " in " << last;
        EXPECT_EQ(JsonNumber(last, "fixQuality"), std::to_string(replayed.fixQuality));
        EXPECT_EQ(JsonNumber(last, "satellites"), std::to_string(replayed.satellites));
        EXPECT_EQ(JsonNumber(last, "utmZone"), std::to_string(replayed.utmZone));
    }
    if (probeCompared == 0) std::printf("velkar-nmea not built: compared with direct framing only\n");
    else std::printf("compared with velkar-nmea's last line on %d logs\n", probeCompared);
}
