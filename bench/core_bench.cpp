// Speed of the navigation core: one ParseGga with its UTM and plane-grid
// conversions, the sentence framing plus parsers over every log of the receiver
// corpus (MB/s), each beside its floor in parse_floor.cpp, and reading a full map catalogue (5 records) and a full
// preference-point file (10 records) from a temporary device root.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <string>

#include "base/text.h"
#include "gps/emulation.h"
#include "gps/framing.h"
#include "gps/gps_state.h"
#include "platform/files.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"

namespace {

void BM_ParseGgaWithConversions(benchmark::State& state)
{
    // A fresh copy for every parse (it works in place), made as the framing hands over a
    // sentence whose length it knows: one block copy, not counted as parsing.
    char16_t buffer[kSentenceBufferSize];
    const size_t units = TextLength(kCannedSentences[0]) + 1;
    for (auto _ : state) {
        std::memcpy(buffer, kCannedSentences[0], units * sizeof(char16_t));
        std::lock_guard<std::mutex> lock(gpsMutex);
        benchmark::DoNotOptimize(ParseGga(buffer));
    }
    benchmark::DoNotOptimize(gpsState.gridEasting);
}
BENCHMARK(BM_ParseGgaWithConversions);

std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

const std::string& Corpus()
{
    static const std::string bytes = [] {
        std::string all;
        const std::filesystem::path dir = std::filesystem::path(VELKAR_CORPUS_DIR);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
            if (entry.is_regular_file() && entry.path().extension() == ".log") all += ReadAll(entry.path());
        return all;
    }();
    return bytes;
}

namespace {

// As the reader thread frames what one read delivered.
void BM_FramingAndParsingCorpus(benchmark::State& state)
{
    const std::string& bytes = Corpus();
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    char16_t buffer[kSentenceBufferSize] = {};
    FramingState framing = {0, 0};
    int64_t handed = 0;
    for (auto _ : state) {
        for (size_t at = 0; at < bytes.size();) {
            FrameResult r = kFrameNone;
            at += FrameBytes(buffer, &framing, data + at, bytes.size() - at, &r);
            handed += (r != kFrameNone && r != kFrameIgnored) ? 1 : 0;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
    state.counters["sentences"] = benchmark::Counter(static_cast<double>(handed) / state.iterations());
    state.counters["corpusBytes"] = benchmark::Counter(static_cast<double>(bytes.size()));
}
BENCHMARK(BM_FramingAndParsingCorpus)->Unit(benchmark::kMillisecond);

// A device root with a full catalogue and a full preference file.
const std::filesystem::path& DeviceRootWithFiles()
{
    static const std::filesystem::path root = [] {
        std::random_device random;
        const std::filesystem::path p =
            std::filesystem::temp_directory_path() / ("velkar-core-bench-" + std::to_string(random()));
        std::filesystem::create_directories(p / "My Documents" / "Velkar");
        std::string maps;
        for (int i = 1; i <= 5; ++i)
            maps += "[" + std::to_string(i) + "][Mappa numero " + std::to_string(i) +
                    "][\\My Documents\\Velkar\\mappa" + std::to_string(i) +
                    ".bmp][716346.6][4914433.5][717261.9][4913879.2][741][498][0][0][0][-]\r\n";
        std::ofstream(p / "My Documents" / "Velkar" / "vlmap.cfg", std::ios::binary) << maps;
        std::string prefs;
        for (int i = 1; i <= 10; ++i)
            prefs += "[" + std::to_string(i) + "][Punto " + std::to_string(i) +
                     "][-][44.348733][11.7175][-][-][1][\\bip.wav][-][-][-][-]\r\n";
        std::ofstream(p / "My Documents" / "Velkar" / "vlpref.cfg", std::ios::binary) << prefs;
        SetDeviceRoot(p.string());
        return p;
    }();
    // Removes the folder when the program ends.
    static const struct Remover {
        ~Remover()
        {
            std::error_code ec;
            std::filesystem::remove_all(root, ec);
        }
    } remover;
    return root;
}

void BM_LoadMapCatalogue(benchmark::State& state)
{
    DeviceRootWithFiles();
    settings.mapInDegrees = static_cast<int32_t>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(LoadMapCatalogue());
    if (lastMapIndex != 4) state.SkipWithError("catalogue not read whole");
}
BENCHMARK(BM_LoadMapCatalogue)->Arg(0)->Arg(1)->ArgName("inDegrees")->Unit(benchmark::kMicrosecond);

void BM_LoadPrefPoints(benchmark::State& state)
{
    DeviceRootWithFiles();
    settings.prefInDegrees = static_cast<int32_t>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(LoadPrefPoints());
    if (lastPrefIndex != 9) state.SkipWithError("preference file not read whole");
}
BENCHMARK(BM_LoadPrefPoints)->Arg(0)->Arg(1)->ArgName("inDegrees")->Unit(benchmark::kMicrosecond);

}  // namespace
