// velkar-map import of a 10000 x 10000 GeoTIFF in EPSG:32633, which has to be
// warped into the plane grid: wall time of the whole program and its peak
// resident memory (counter peak_rss_MiB, from the kernel's account of the child).
// The raster is written once, tiled and uncompressed, in a temporary folder.
// Run it with the machine otherwise quiet: the time includes the BMP's fsync.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

void BM_ImportWarped10000(benchmark::State& state)
{
    const fs::path tif = Folder() / "big.tif";
    if (!fs::exists(tif)) {
        // In a child process: the kernel charges a spawned program with the
        // memory high-water mark of the process it was spawned from, so this
        // one must stay small.
        fs::create_directories(Folder());
        const pid_t writer = fork();
        if (writer == 0) {
            WriteRaster(tif.string());
            _exit(0);
        }
        int status = 0;
        waitpid(writer, &status, 0);
    }
    const std::string tool = VELKAR_BINARY_DIR "/tools/velkar-map";
    double peakMiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path root = Folder() / "root";
        fs::remove_all(root);
        fs::create_directories(root / "My Documents/Velkar");
        state.ResumeTiming();
        std::vector<std::string> args = {tool, "import", tif.string(), "--root", root.string()};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, tool.c_str(), &quiet, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&quiet);
        if (spawned != 0) {
            state.SkipWithError("velkar-map cannot be run");
            break;
        }
        int status = 0;
        struct rusage usage = {};
        wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("velkar-map import failed");
            break;
        }
        peakMiB = std::max(peakMiB, usage.ru_maxrss / 1024.0);  // kilobytes
    }
    state.counters["peak_rss_MiB"] = peakMiB;
}
BENCHMARK(BM_ImportWarped10000)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
