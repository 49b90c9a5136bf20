// velkar-map import: the raster made into a BMP beside the catalogue and a
// record appended to vlmap.cfg (or replacing one), in the unit the settings ask
// for; nothing is written when the map is refused.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/text.h"
#include "catalogue.h"
#include "map_tool.h"
#include "platform/files.h"
#include "raster.h"
#include "store/maps.h"
#include "store/settings.h"

namespace fs = std::filesystem;

namespace {

constexpr double kResidualGoal = 0.5;            // metres
constexpr uint64_t kMaxBmpBytes = 0xFFFFFFFFull;  // the BMP header's 32-bit file size
constexpr int kMetreDecimals = 3;                 // millimetres
constexpr int kDegreeDecimals = 10;               // about 0.01 mm
const char16_t kMapsFolder[] = u"\\My Documents\\Velkar\\maps";

// File-name part for the bitmap: letters, digits, '-', '_' and '.'.
std::string SafeFileStem(const std::string& name)
{
    std::string stem;
    for (unsigned char c : name) stem.push_back(std::isalnum(c) || c == '-' || c == '_' || c == '.' ? char(c) : '_');
    while (!stem.empty() && stem[0] == '.') stem.erase(0, 1);
    if (stem.size() > 64) stem.resize(64);
    return stem.empty() ? "map" : stem;
}

}  // namespace

int RunImport(const Options& o)
{
    LoadDevice(o);
    // The catalogue as it stands: the navigator's own reading for the count, the
    // raw tokens so that untouched records are written back as they were.
    const int count = LoadMapCatalogue() == 1 ? lastMapIndex + 1 : 0;
    std::vector<RawRecord> records;
    ReadRawRecords(kMapCataloguePath, &records);
    if (o.replace > 0 && o.replace > count)
        return Refuse("--replace " + std::to_string(o.replace) + ": vlmap.cfg holds " + std::to_string(count) +
                      " record" + (count == 1 ? "" : "s"));
    if (o.replace == 0 && count >= kMapCount)
        return Refuse("vlmap.cfg already holds " + std::to_string(count) +
                      " maps, the most the navigator reads; give --replace N (1 to 5) to replace one");

    std::string error;
    MapRaster raster;
    if (!OpenMapRaster(o.file, o.srs, o.resampling, &raster, &error)) return Refuse(error);
    MapPlacement place{};
    if (!PlaceMapRaster(raster, &place, &error)) {
        CloseMapRaster(&raster);
        return Refuse(error);
    }
    const uint64_t bytes = BmpFileSize(raster.widthPx, raster.heightPx);
    if (bytes > kMaxBmpBytes) {
        CloseMapRaster(&raster);
        return Refuse("the map would be " + std::to_string(raster.widthPx) + " x " + std::to_string(raster.heightPx) +
                      " pixels, over the 4 GiB a BMP holds: cut it (gdal_translate -srcwin) or lower its resolution");
    }

    // Where the bitmap goes: maps/STEM.bmp, never over an existing file.
    const std::string fileName = fs::path(o.file).stem().string();
    const std::string name = o.name.empty() ? fileName : o.name;
    std::error_code ec;
    fs::create_directories(DevicePathToHost(kMapsFolder), ec);
    const fs::path folder = DevicePathToHost(kMapsFolder);
    if (!fs::is_directory(folder, ec)) {
        CloseMapRaster(&raster);
        return Refuse("cannot create the folder " + folder.string());
    }
    const std::string stem = SafeFileStem(name);
    std::string bitmapName = stem + ".bmp";
    for (int k = 2; fs::exists(folder / bitmapName, ec); ++k) bitmapName = stem + "-" + std::to_string(k) + ".bmp";
    const fs::space_info space = fs::space(folder, ec);
    if (!ec && space.available < bytes) {
        CloseMapRaster(&raster);
        return Refuse("not enough room in " + folder.string() + ": the bitmap needs " +
                      std::to_string(bytes >> 20) + " MiB, " + std::to_string(space.available >> 20) + " MiB are free");
    }
    const fs::path bitmapHost = folder / bitmapName;
    const fs::path temporary = folder / (bitmapName + ".part");
    const int written = WriteMapBmp(raster, temporary.string(), &error);
    CloseMapRaster(&raster);
    if (!written) return Refuse(error);

    // The record, in the unit the settings ask for.
    RawRecord r;
    r[0] = Utf8ToText(std::to_string(o.replace > 0 ? o.replace : count + 1));
    r[1] = TokenText(name, kMapNameSize);
    r[2] = TokenText("\\My Documents\\Velkar\\maps\\" + bitmapName, kBitmapPathSize);
    if (settings.mapInDegrees == 1) {
        r[3] = Utf8ToText(FixedText(place.topLeftLat, kDegreeDecimals));
        r[4] = Utf8ToText(FixedText(place.topLeftLon, kDegreeDecimals));
        r[5] = Utf8ToText(FixedText(place.bottomRightLat, kDegreeDecimals));
        r[6] = Utf8ToText(FixedText(place.bottomRightLon, kDegreeDecimals));
    } else {
        r[3] = Utf8ToText(FixedText(place.topLeftX, kMetreDecimals));
        r[4] = Utf8ToText(FixedText(place.topLeftY, kMetreDecimals));
        r[5] = Utf8ToText(FixedText(place.bottomRightX, kMetreDecimals));
        r[6] = Utf8ToText(FixedText(place.bottomRightY, kMetreDecimals));
    }
    r[7] = Utf8ToText(std::to_string(raster.widthPx));
    r[8] = Utf8ToText(std::to_string(raster.heightPx));
    r[9] = r[10] = r[11] = u"0";
    r[12] = u"-";
    if (o.replace > 0) records[static_cast<size_t>(o.replace - 1)] = r;
    else records.push_back(r);

    fs::rename(temporary, bitmapHost, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return Refuse("cannot name the bitmap " + bitmapHost.string());
    }
    if (ReplaceTextFile(kMapCataloguePath, RawRecordsText(records).c_str()) == 0) {
        fs::remove(bitmapHost, ec);
        return Refuse("cannot write " + DevicePathToHost(kMapCataloguePath) + "; it is left as it was");
    }

    std::printf("%s: %s, %d x %d pixels%s\n", o.file.c_str(), raster.sourceSrs.c_str(), raster.widthPx,
                raster.heightPx, raster.warped ? ", warped into EPSG:32632" : ", taken pixel for pixel");
    std::printf("bitmap   %s\n", bitmapHost.string().c_str());
    std::printf("record   %s", TextToUtf8(RawRecordsText({r}).c_str()).c_str());  // ends with its line break
    std::printf("covers   %s to %s\n", DegreesText(place.topLeftLat, place.topLeftLon).c_str(),
                DegreesText(place.bottomRightLat, place.bottomRightLon).c_str());
    std::printf("residual max %.3f m, mean %.3f m between the navigator's placement and GDAL's transform%s\n",
                place.maxResidual, place.meanResidual,
                place.maxResidual < kResidualGoal ? "" : " (over 0.5 m: the map lies far from 9 E)");
    return kExitOk;
}

