// velkar-map import: the raster made into a BMP beside the catalogue and a
// record appended to vlmap.cfg (or replacing one), in the unit the settings ask
// for, under the device root's lock; nothing is written when the map is refused
// (the navigator's grid cannot place it, or the catalogue cannot be rewritten).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <climits>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/text.h"
#include "catalogue.h"
#include "map_tool.h"
#include "platform/files.h"
#include "platform/root_lock.h"
#include "raster.h"
#include "store/maps.h"
#include "store/settings.h"

namespace fs = std::filesystem;

namespace {

constexpr double kResidualGoal = 0.5;            // metres
constexpr double kResidualFloor = 5.0;           // metres: refused above one pixel or this, whichever is larger
constexpr double kGridMeridian = 9.0;            // degrees east
constexpr uint64_t kMaxBmpBytes = 0xFFFFFFFFull;  // the BMP header's 32-bit file size
constexpr int kMetreDecimals = 3;                 // millimetres
constexpr int kDegreeDecimals = 10;               // about 0.01 mm
const char16_t kMapsFolder[] = u"\\My Documents\\Velkar\\maps";
const char16_t kVelkarFolder[] = u"\\My Documents\\Velkar";

// The bitmap's temporary while it exists, for the signal handler (fixed storage).
char temporaryPath[PATH_MAX];
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void RemoveTemporaryOnSignal(int signal)
{
    if (temporaryPath[0] != 0) unlink(temporaryPath);
    struct sigaction plain = {};
    plain.sa_handler = SIG_DFL;
    sigaction(signal, &plain, nullptr);
    raise(signal);
}

// Ended by a signal while the bitmap is written, the program removes it first.
void GuardTemporary(const std::string& path)
{
    if (path.size() >= sizeof temporaryPath) return;
    std::memcpy(temporaryPath, path.c_str(), path.size() + 1);
    struct sigaction handler = {};
    handler.sa_handler = RemoveTemporaryOnSignal;
    sigemptyset(&handler.sa_mask);
    for (int s : kSignals) sigaction(s, &handler, nullptr);
}

// File-name part for the bitmap: letters, digits, '-', '_' and '.'.
std::string SafeFileStem(const std::string& name)
{
    std::string stem;
    for (unsigned char c : name) stem.push_back(std::isalnum(c) || c == '-' || c == '_' || c == '.' ? char(c) : '_');
    while (!stem.empty() && stem[0] == '.') stem.erase(0, 1);
    if (stem.size() > 64) stem.resize(64);
    return stem.empty() ? "map" : stem;
}

// The placement's error against what the grid can hold: "" when within one
// pixel or 5 m, else the reason in the user's words.
std::string PlacementRefusal(const MapRaster& raster, const MapPlacement& place)
{
    const double limit = std::max({raster.metresPerPixelX, raster.metresPerPixelY, kResidualFloor});
    if (place.maxResidual <= limit) return "";
    const double away = std::max(std::fabs(std::remainder(place.topLeftLon - kGridMeridian, 360.0)),
                                 std::fabs(std::remainder(place.bottomRightLon - kGridMeridian, 360.0)));
    auto distance = [](double m) { return m >= 10000 ? FixedText(m / 1000, 1) + " km" : FixedText(m, 1) + " m"; };
    return "the navigator would draw this map up to " + distance(place.maxResidual) +
           " from where it lies (more than one pixel or 5 m, " + distance(limit) + "): it reaches " +
           FixedText(away, 1) + "\xC2\xB0 from the grid's meridian at 9\xC2\xB0 E; the navigator's grid cannot hold it";
}

// Gives the written temporary its final name in folder, never over an existing
// file: stem.bmp, else stem-2.bmp, stem-3.bmp... The name, or "" with *error.
std::string ClaimBitmapName(const fs::path& folder, const std::string& stem, const fs::path& temporary,
                            std::string* error)
{
    for (int k = 1; k < 10000; ++k) {
        const std::string name = stem + (k == 1 ? "" : "-" + std::to_string(k)) + ".bmp";
        if (link(temporary.c_str(), (folder / name).c_str()) == 0) {
            unlink(temporary.c_str());
            return name;
        }
        if (errno != EEXIST) {
            *error = "cannot name the bitmap " + (folder / name).string() + ": " + std::strerror(errno);
            return "";
        }
    }
    *error = "no free name for the bitmap in " + folder.string();
    return "";
}

// 1 when some live process has the file open (its descriptors under /proc).
int OpenInSomeProcess(const fs::path& file)
{
    std::error_code ec;
    const fs::path target = fs::canonical(file, ec);
    if (ec) return 0;
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd.path(), linkError) == target) return 1;
        }
    }
    return 0;
}

// Bitmaps an earlier velkar-map left half-written as "NAME.bmp.part" (killed
// before it named them): removed when older than this run and open nowhere.
void RemoveOldPartBitmaps(const fs::path& folder)
{
    std::error_code ec;
    const auto start = fs::file_time_type::clock::now();
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        std::error_code fileError;
        if (name.size() < 9 || name.compare(name.size() - 9, 9, ".bmp.part") != 0 || e.is_symlink(fileError) ||
            !e.is_regular_file(fileError) || e.last_write_time(fileError) >= start || OpenInSomeProcess(e.path()))
            continue;
        fs::remove(e.path(), fileError);
    }
}

}  // namespace

int RunImport(const Options& o)
{
    LoadDevice(o);
    const fs::path folder = DevicePathToHost(kMapsFolder);
    RemoveLeftoverTemporaries(folder.string());
    RemoveLeftoverTemporaries(DevicePathToHost(kVelkarFolder));
    RemoveOldPartBitmaps(folder);
    // A first look at the catalogue, before the long work: taken again under the lock.
    const int count = LoadMapCatalogue() == 1 ? lastMapIndex + 1 : 0;
    if (o.replace > 0 && o.replace > count)
        return Refuse("--replace " + std::to_string(o.replace) + ": vlmap.cfg holds " + std::to_string(count) +
                      " record" + (count == 1 ? "" : "s"));
    if (o.replace == 0 && count >= kMapCount)
        return Refuse("vlmap.cfg already holds " + std::to_string(count) +
                      " maps, the most the navigator reads; give --replace N (1 to 5) to replace one");
    std::string error;
    if (!CatalogueRewritable(kMapCataloguePath, &error))
        return Refuse(DevicePathToHost(kMapCataloguePath) + " cannot be read record by record (" + error +
                      "); it is left as it was");

    MapRaster raster;
    if (!OpenMapRaster(o.file, o.request, &raster, &error)) return Refuse(error);
    MapPlacement place{};
    if (!PlaceMapRaster(raster, &place, &error)) {
        CloseMapRaster(&raster);
        return Refuse(error);
    }
    const std::string misplaced = PlacementRefusal(raster, place);
    if (!misplaced.empty() && !o.force) {
        CloseMapRaster(&raster);
        return Refuse(misplaced + " (--force imports it anyway)");
    }
    const uint64_t bytes = BmpFileSize(raster.widthPx, raster.heightPx);
    if (bytes > kMaxBmpBytes) {
        CloseMapRaster(&raster);
        return Refuse("the map would be " + std::to_string(raster.widthPx) + " x " + std::to_string(raster.heightPx) +
                      " pixels, over the 4 GiB a BMP holds: give --area or --zoom, cut it (gdal_translate -srcwin) "
                      "or lower its resolution");
    }

    const std::string name = o.name.empty() ? fs::path(o.file).stem().string() : o.name;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        CloseMapRaster(&raster);
        return Refuse("cannot create the folder " + folder.string());
    }
    const fs::space_info space = fs::space(folder, ec);
    if (!ec && space.available < bytes) {
        CloseMapRaster(&raster);
        return Refuse("not enough room in " + folder.string() + ": the bitmap needs " +
                      std::to_string(bytes >> 20) + " MiB, " + std::to_string(space.available >> 20) + " MiB are free");
    }
    const std::string stem = SafeFileStem(name);
    // Written under a name of its own (created exclusively, never through a link).
    const fs::path temporary = folder / TemporaryFileName(stem + ".bmp");
    GuardTemporary(temporary.string());
    const int written = WriteMapBmp(raster, temporary.string(), &error);
    CloseMapRaster(&raster);
    if (!written) return Refuse(error);

    // Read, change and replace the catalogue under the device root's lock.
    std::string holder;
    const int lock = LockDeviceRoot(kLockWaitMs, "velkar-map", &holder);
    auto refuse = [&](const std::string& message) {
        unlink(temporary.c_str());
        if (lock >= 0) UnlockDeviceRoot(lock);
        return Refuse(message);
    };
    if (lock < 0) return refuse(LockRefusal(holder));
    std::vector<RawRecord> records;
    if (!CatalogueRewritable(kMapCataloguePath, &error))
        return refuse(DevicePathToHost(kMapCataloguePath) + " cannot be read record by record (" + error +
                      "); it is left as it was");
    ReadRawRecords(kMapCataloguePath, &records);
    const int now = LoadMapCatalogue() == 1 ? lastMapIndex + 1 : 0;
    if (o.replace > now)
        return refuse("--replace " + std::to_string(o.replace) + ": vlmap.cfg now holds " + std::to_string(now) +
                      " record" + (now == 1 ? "" : "s"));
    if (o.replace == 0 && now >= kMapCount)
        return refuse("vlmap.cfg now holds " + std::to_string(now) + " maps, the most the navigator reads");
    const std::string bitmapName = ClaimBitmapName(folder, stem, temporary, &error);
    if (bitmapName.empty()) return refuse(error);
    const fs::path bitmapHost = folder / bitmapName;

    // The record, in the unit the settings ask for.
    RawRecord r;
    r[0] = Utf8ToText(std::to_string(o.replace > 0 ? o.replace : now + 1));
    r[1] = TokenText(name, kMapNameSize);
    r[2] = TokenText("\\My Documents\\Velkar\\maps\\" + bitmapName, kBitmapPathSize);
    const int degrees = settings.mapInDegrees == 1;
    r[3] = Utf8ToText(degrees ? FixedText(place.topLeftLat, kDegreeDecimals) : FixedText(place.topLeftX, kMetreDecimals));
    r[4] = Utf8ToText(degrees ? FixedText(place.topLeftLon, kDegreeDecimals) : FixedText(place.topLeftY, kMetreDecimals));
    r[5] = Utf8ToText(degrees ? FixedText(place.bottomRightLat, kDegreeDecimals)
                              : FixedText(place.bottomRightX, kMetreDecimals));
    r[6] = Utf8ToText(degrees ? FixedText(place.bottomRightLon, kDegreeDecimals)
                              : FixedText(place.bottomRightY, kMetreDecimals));
    r[7] = Utf8ToText(std::to_string(raster.widthPx));
    r[8] = Utf8ToText(std::to_string(raster.heightPx));
    r[9] = r[10] = r[11] = u"0";
    r[12] = u"-";
    if (o.replace > 0) records[static_cast<size_t>(o.replace - 1)] = r;
    else records.push_back(r);
    if (ReplaceTextFile(kMapCataloguePath, RawRecordsText(records).c_str()) == 0) {
        unlink(bitmapHost.c_str());
        return refuse("cannot write " + DevicePathToHost(kMapCataloguePath) + "; it is left as it was");
    }
    UnlockDeviceRoot(lock);

    std::printf("%s: %s%s, %d x %d pixels%s\n", o.file.c_str(), raster.sourceSrs.c_str(),
                raster.note.empty() ? "" : (", " + raster.note).c_str(), raster.widthPx, raster.heightPx,
                raster.warped ? ", warped into EPSG:32632" : ", taken pixel for pixel");
    std::printf("bitmap   %s\n", bitmapHost.string().c_str());
    std::printf("record   %s", TextToUtf8(RawRecordsText({r}).c_str()).c_str());  // ends with its line break
    std::printf("covers   %s to %s\n", DegreesText(place.topLeftLat, place.topLeftLon).c_str(),
                DegreesText(place.bottomRightLat, place.bottomRightLon).c_str());
    std::printf("residual max %.3f m, mean %.3f m between the navigator's placement and GDAL's transform%s\n",
                place.maxResidual, place.meanResidual,
                place.maxResidual < kResidualGoal ? "" : " (over 0.5 m: the map lies far from 9 E)");
    if (!misplaced.empty()) std::fprintf(stderr, "velkar-map: imported with --force, although %s\n", misplaced.c_str());
    return kExitOk;
}
