// velkar-map import of a 10000 x 10000 GeoTIFF in EPSG:32633, and of a 4096 x
// 4096 MBTiles area beside gdal_translate + gdalwarp of the same area: wall
// times, their ratio and peak resident memory (from the kernel's account of the
// child). Inputs are written once in a temporary folder; run on a quiet machine.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kSide = 10000;            // pixels
constexpr double kPixelMetres = 1.0;    // a 10 km square around Imola
constexpr double kOriginX = 276000.0;   // EPSG:32633, west of 12 E
constexpr double kOriginY = 4920000.0;

// Removed when the program ends (a global, so that it outlives every use).
struct BenchFolder {
    fs::path path = fs::temp_directory_path() / ("velkar-map-bench-" + std::to_string(getpid()));
    ~BenchFolder()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
} benchFolder;

const fs::path& Folder() { return benchFolder.path; }

// Colour bands with a pattern that changes every pixel (no trivially equal tiles).
void WriteRaster(const std::string& path)
{
    GDALAllRegister();
    char** options = CSLSetNameValue(nullptr, "TILED", "YES");
    GDALDatasetH d = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), kSide, kSide, 3, GDT_Byte, options);
    CSLDestroy(options);
    double geo[6] = {kOriginX, kPixelMetres, 0, kOriginY, 0, -kPixelMetres};
    GDALSetGeoTransform(d, geo);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, 32633);
    GDALSetSpatialRef(d, srs);
    OSRDestroySpatialReference(srs);
    std::vector<unsigned char> row(kSide * 3);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            row[3 * x] = static_cast<unsigned char>(x);
            row[3 * x + 1] = static_cast<unsigned char>(y);
            row[3 * x + 2] = static_cast<unsigned char>(x ^ y);
        }
        if (GDALDatasetRasterIO(d, GF_Write, 0, y, kSide, 1, row.data(), kSide, 1, GDT_Byte, 3, nullptr, 3, 0, 1) !=
            CE_None)
            break;
    }
    GDALClose(d);
}

// Runs the program with its standard output discarded: the wall time in seconds,
// or -1 when it failed; *peakMiB grows to its peak resident memory.
double Run(std::vector<std::string> args, double* peakMiB)
{
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return -1;
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    *peakMiB = std::max(*peakMiB, usage.ru_maxrss / 1024.0);  // kilobytes
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

fs::path FreshRoot()
{
    const fs::path root = Folder() / "root";
    fs::remove_all(root);
    fs::create_directories(root / "My Documents/Velkar");
    return root;
}

// Writes the input in a child process: the kernel charges a spawned program with
// the memory high-water mark of the process it was spawned from.
template <typename Write>
void WriteOnce(const fs::path& path, Write write)
{
    if (fs::exists(path)) return;
    fs::create_directories(Folder());
    const pid_t writer = fork();
    if (writer == 0) {
        write(path.string());
        _exit(0);
    }
    int status = 0;
    waitpid(writer, &status, 0);
}

void BM_ImportWarped10000(benchmark::State& state)
{
    const fs::path tif = Folder() / "big.tif";
    WriteOnce(tif, WriteRaster);
    const std::string tool = VELKAR_BINARY_DIR "/tools/velkar-map";
    double peakMiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path root = FreshRoot();
        state.ResumeTiming();
        if (Run({tool, "import", tif.string(), "--root", root.string()}, &peakMiB) < 0) {
            state.SkipWithError("velkar-map import failed");
            break;
        }
    }
    state.counters["peak_rss_MiB"] = peakMiB;
}
BENCHMARK(BM_ImportWarped10000)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// A 4096 x 4096 area at zoom 17 near Imola (tiles 69800.. and 47800..), written
// as a tile-aligned GeoTIFF in EPSG:3857 and turned into MBTiles by GDAL.
constexpr int kAreaSide = 4096;
constexpr double kHalfWorld = 20037508.342789244;

void WriteMbtiles(const std::string& path)
{
    GDALAllRegister();
    const double metres = 2 * kHalfWorld / (std::ldexp(1.0, 17) * 256);
    const std::string tif = path + ".tif";
    GDALDatasetH d = GDALCreate(GDALGetDriverByName("GTiff"), tif.c_str(), kAreaSide, kAreaSide, 3, GDT_Byte, nullptr);
    double geo[6] = {-kHalfWorld + 69800 * 256 * metres, metres, 0, kHalfWorld - 47800 * 256 * metres, 0, -metres};
    GDALSetGeoTransform(d, geo);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, 3857);
    GDALSetSpatialRef(d, srs);
    OSRDestroySpatialReference(srs);
    std::vector<unsigned char> row(kAreaSide * 3);
    for (int y = 0; y < kAreaSide; ++y) {
        for (int x = 0; x < kAreaSide; ++x) {
            row[3 * x] = static_cast<unsigned char>(x / 16);
            row[3 * x + 1] = static_cast<unsigned char>(y / 16);
            row[3 * x + 2] = static_cast<unsigned char>((x / 64) ^ (y / 64));
        }
        GDALDatasetRasterIO(d, GF_Write, 0, y, kAreaSide, 1, row.data(), kAreaSide, 1, GDT_Byte, 3, nullptr, 3, 0, 1);
    }
    GDALClose(GDALCreateCopy(GDALGetDriverByName("MBTiles"), path.c_str(), d, FALSE, nullptr, nullptr, nullptr));
    GDALClose(d);
    fs::remove(tif);
}

// Both in each iteration: velkar-map's import, then gdal_translate (the area to
// a GeoTIFF, colour bands) and gdalwarp (into EPSG:32632, a BMP) on the same
// threads; counters: both times, their ratio (limit 1.2) and velkar-map's peak.
void BM_ImportMbtiles4096(benchmark::State& state)
{
    const fs::path mbtiles = Folder() / "area.mbtiles";
    WriteOnce(mbtiles, WriteMbtiles);
    const std::string tool = VELKAR_BINARY_DIR "/tools/velkar-map";
    const std::string tif = (Folder() / "peer.tif").string(), bmp = (Folder() / "peer.bmp").string();
    double peakMiB = 0, peerMiB = 0, ours = 0, peer = 0;
    for (auto _ : state) {
        const fs::path root = FreshRoot();
        fs::remove(tif), fs::remove(bmp);
        const double a = Run({tool, "import", mbtiles.string(), "--root", root.string()}, &peakMiB);
        const double b = Run({"gdal_translate", "-q", "-b", "1", "-b", "2", "-b", "3", mbtiles.string(), tif}, &peerMiB);
        const double c = Run({"gdalwarp", "-q", "-t_srs", "EPSG:32632", "-r", "bilinear", "-wo", "NUM_THREADS=ALL_CPUS",
                              "-of", "BMP", tif, bmp}, &peerMiB);
        if (a < 0 || b < 0 || c < 0) {
            state.SkipWithError("an import failed");
            break;
        }
        ours += a, peer += b + c;
    }
    state.counters["velkar_map_s"] = benchmark::Counter(ours, benchmark::Counter::kAvgIterations);
    state.counters["gdal_s"] = benchmark::Counter(peer, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = peer > 0 ? ours / peer : 0;
    state.counters["peak_rss_MiB"] = peakMiB;
}
BENCHMARK(BM_ImportMbtiles4096)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

}  // namespace
