// What a map file names, opened as georeferenced GDAL datasets ready to warp: a
// raster file, an MBTiles at a zoom level, an XYZ tile folder (a VRT of its
// tiles), a KMZ's ground overlays (one VRT each), cut to an area when asked;
// refusals in the user's words (an OziExplorer .map whose image is missing).
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_utils.h>

#include "raster.h"
#include "raster_private.h"

namespace {

constexpr uint64_t kMaxBmpBytes = 0xFFFFFFFFull;    // the BMP header's 32-bit file size
constexpr double kWarpGrowth = 1.2;                  // the warp's output over its input, at most
constexpr double kMercatorHalf = 20037508.342789244;  // EPSG:3857's half world, metres
constexpr int kMaxZoom = 30;

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Extension(const std::string& path)
{
    const size_t dot = path.find_last_of('.'), slash = path.find_last_of('/');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : Lower(path.substr(dot));
}

int FitsOneBmp(double width, double height)
{
    return BmpFileSize(static_cast<int32_t>(std::min(width * kWarpGrowth, 1e9)),
                       static_cast<int32_t>(std::min(height * kWarpGrowth, 1e9))) <= kMaxBmpBytes;
}

// The OziExplorer .map's third line names its image; GDAL says only that the
// .map is no raster when that image is missing.
std::string MapImageRefusal(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string first, line;
    std::getline(in, first);
    for (int i = 0; i < 2 && std::getline(in, line); ++i) {
    }
    if (first.rfind("OziExplorer Map Data File", 0) != 0)
        return path + " is no OziExplorer .map (its first line is not \"OziExplorer Map Data File...\")";
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) return path + " names no image (its third line, the image's path, is empty)";
    const std::string base = line.substr(line.find_last_of("/\\") + 1);
    const std::string folder = path.find('/') == std::string::npos ? "." : path.substr(0, path.find_last_of('/'));
    struct stat st;
    if (stat((folder + "/" + base).c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return "the image " + path + " names, " + folder + "/" + base + ", cannot be read as a raster: " +
               LastGdalError("not a format GDAL knows");
    return "the image " + path + " names, '" + line + "', is missing or unreadable (looked for " + folder + "/" +
           base + ")";
}

// Cuts the dataset to the area (degrees, WGS84) through a VRT.
GDALDatasetH CutToArea(GDALDatasetH source, const MapRequest& r)
{
    const double north = std::max(r.area[0], r.area[2]), south = std::min(r.area[0], r.area[2]);
    const double west = std::min(r.area[1], r.area[3]), east = std::max(r.area[1], r.area[3]);
    char** args = ArgList({"-of", "VRT", "-projwin", FixedDegrees(west), FixedDegrees(north), FixedDegrees(east),
                           FixedDegrees(south), "-projwin_srs", "EPSG:4326"});
    GDALTranslateOptions* options = GDALTranslateOptionsNew(args, nullptr);
    CSLDestroy(args);
    GDALDatasetH cut = GDALTranslate("", source, options, nullptr);
    GDALTranslateOptionsFree(options);
    return cut;
}

// Pixel size of the dataset cut to the area (or whole).
void AreaSize(GDALDatasetH d, const MapRequest& r, double* width, double* height)
{
    *width = GDALGetRasterXSize(d);
    *height = GDALGetRasterYSize(d);
    if (!r.hasArea) return;
    GDALDatasetH cut = CutToArea(d, r);
    if (cut == nullptr) return;
    *width = GDALGetRasterXSize(cut);
    *height = GDALGetRasterYSize(cut);
    GDALClose(cut);
}

GDALDatasetH OpenMbtiles(const std::string& path, const MapRequest& r, std::string* note, std::string* error)
{
    const unsigned flags = GDAL_OF_RASTER | GDAL_OF_READONLY;
    GDALDatasetH deepest = GDALOpenEx(path.c_str(), flags, nullptr, nullptr, nullptr);
    if (deepest == nullptr) {
        *error = path + " is no MBTiles raster GDAL reads";
        return nullptr;
    }
    // The deepest level, and one overview for each level below it that holds tiles.
    const char* levelText = GDALGetMetadataItem(deepest, "ZOOM_LEVEL", nullptr);
    const int maxZoom = levelText != nullptr ? std::atoi(levelText) : 0;
    const int minZoom = std::max(0, maxZoom - GDALGetOverviewCount(GDALGetRasterBand(deepest, 1)));
    int zoom = r.zoom;
    if (zoom >= 0 && (zoom < minZoom || zoom > maxZoom)) {
        GDALClose(deepest);
        *error = path + " holds zoom levels " + std::to_string(minZoom) + " to " + std::to_string(maxZoom) +
                 ", not " + std::to_string(zoom);
        return nullptr;
    }
    if (zoom < 0) {
        double width = 0, height = 0;
        AreaSize(deepest, r, &width, &height);
        for (zoom = maxZoom; zoom > minZoom && !FitsOneBmp(width, height); --zoom) width /= 2, height /= 2;
    }
    *note = "zoom " + std::to_string(zoom) + " of " + std::to_string(minZoom) + " to " + std::to_string(maxZoom);
    if (zoom == maxZoom) return deepest;
    GDALClose(deepest);
    const std::string level = "ZOOM_LEVEL=" + std::to_string(zoom);
    const char* openOptions[] = {level.c_str(), nullptr};
    GDALDatasetH d = GDALOpenEx(path.c_str(), flags, nullptr, openOptions, nullptr);
    if (d == nullptr) *error = path + " cannot be read at zoom " + std::to_string(zoom) + ": " + LastGdalError("GDAL failed");
    return d;
}

int IsNumber(const std::string& s)
{
    return !s.empty() && s.size() < 9 && std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

struct Tile {
    int x, y;
    std::string file;
};

// Tiles "<folder>/<zoom>/<x>/<y>.<png|jpg|jpeg|webp>" inside the area's tile range.
std::vector<Tile> ListTiles(const std::string& folder, int zoom, const MapRequest& r)
{
    const double n = std::ldexp(1.0, zoom);
    auto column = [&](double lon) { return static_cast<int>(std::floor((lon + 180) / 360 * n)); };
    auto row = [&](double lat) {
        const double phi = std::clamp(lat, -85.0511, 85.0511) * M_PI / 180;
        return static_cast<int>(std::floor((1 - std::log(std::tan(phi) + 1 / std::cos(phi)) / M_PI) / 2 * n));
    };
    const int x0 = r.hasArea ? column(std::min(r.area[1], r.area[3])) : 0;
    const int x1 = r.hasArea ? column(std::max(r.area[1], r.area[3])) : 1 << 30;
    const int y0 = r.hasArea ? row(std::max(r.area[0], r.area[2])) : 0;
    const int y1 = r.hasArea ? row(std::min(r.area[0], r.area[2])) : 1 << 30;
    std::vector<Tile> tiles;
    const std::string level = folder + "/" + std::to_string(zoom);
    char** columns = VSIReadDir(level.c_str());
    for (int i = 0; columns != nullptr && columns[i] != nullptr; ++i) {
        if (!IsNumber(columns[i]) || std::atoi(columns[i]) < x0 || std::atoi(columns[i]) > x1) continue;
        char** rows = VSIReadDir((level + "/" + columns[i]).c_str());
        for (int j = 0; rows != nullptr && rows[j] != nullptr; ++j) {
            const std::string name = rows[j], stem = name.substr(0, name.find('.'));
            const std::string ext = Extension(name);
            if (!IsNumber(stem) || std::atoi(stem.c_str()) < y0 || std::atoi(stem.c_str()) > y1) continue;
            if (ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".webp")
                tiles.push_back({std::atoi(columns[i]), std::atoi(stem.c_str()), level + "/" + columns[i] + "/" + name});
        }
        CSLDestroy(rows);
    }
    CSLDestroy(columns);
    return tiles;
}

// One band's source in a tile: band b of the tile, a palette component, or a
// constant 255 (the alpha of a tile without one).
std::string TileSource(const Tile& t, int band, int tileSize, int left, int top)
{
    GDALDatasetH d = GDALOpen(t.file.c_str(), GA_ReadOnly);
    if (d == nullptr) return "";
    const int count = GDALGetRasterCount(d);
    const int palette = count == 1 && GDALGetRasterColorTable(GDALGetRasterBand(d, 1)) != nullptr;
    GDALClose(d);
    int from = band, component = 0, constant = 0;
    if (palette) from = 1, component = band;
    else if (count < 3) from = band == 4 ? (count == 2 ? 2 : 0) : 1;
    else if (band == 4 && count < 4) from = 0;
    if (from == 0) from = 1, constant = 1;
    std::string s = "<ComplexSource><SourceFilename relativeToVRT=\"0\">" + t.file + "</SourceFilename><SourceBand>" +
                    std::to_string(from) + "</SourceBand>";
    if (component) s += "<ColorTableComponent>" + std::to_string(component) + "</ColorTableComponent>";
    if (constant) s += "<ScaleOffset>255</ScaleOffset><ScaleRatio>0</ScaleRatio>";
    const std::string size = std::to_string(tileSize);
    return s + "<SrcRect xOff=\"0\" yOff=\"0\" xSize=\"" + size + "\" ySize=\"" + size + "\"/><DstRect xOff=\"" +
           std::to_string(left) + "\" yOff=\"" + std::to_string(top) + "\" xSize=\"" + size + "\" ySize=\"" + size +
           "\"/></ComplexSource>";
}

GDALDatasetH OpenTileFolder(const std::string& folder, const MapRequest& r, std::string* note, std::string* error)
{
    std::vector<int> zooms;
    char** names = VSIReadDir(folder.c_str());
    for (int i = 0; names != nullptr && names[i] != nullptr; ++i)
        if (IsNumber(names[i]) && std::atoi(names[i]) <= kMaxZoom) zooms.push_back(std::atoi(names[i]));
    CSLDestroy(names);
    std::sort(zooms.rbegin(), zooms.rend());
    if (zooms.empty()) {
        *error = folder + " is a folder without tile levels (<zoom>/<x>/<y>.png): give a raster file or a tile folder";
        return nullptr;
    }
    if (r.zoom >= 0 && std::find(zooms.begin(), zooms.end(), r.zoom) == zooms.end()) {
        *error = folder + " holds no zoom level " + std::to_string(r.zoom);
        return nullptr;
    }
    std::vector<Tile> tiles;
    int tileSize = 256, zoom = -1;
    for (int z : zooms) {
        if (r.zoom >= 0 && z != r.zoom) continue;
        tiles = ListTiles(folder, z, r);
        if (tiles.empty()) continue;
        GDALDatasetH first = GDALOpen(tiles[0].file.c_str(), GA_ReadOnly);
        if (first == nullptr) continue;
        tileSize = GDALGetRasterXSize(first);
        GDALClose(first);
        int x0 = 1 << 30, x1 = 0, y0 = 1 << 30, y1 = 0;
        for (const Tile& t : tiles) x0 = std::min(x0, t.x), x1 = std::max(x1, t.x), y0 = std::min(y0, t.y), y1 = std::max(y1, t.y);
        zoom = z;
        if (r.zoom >= 0 || FitsOneBmp(double(x1 - x0 + 1) * tileSize, double(y1 - y0 + 1) * tileSize)) break;
    }
    if (zoom < 0 || tiles.empty()) {
        *error = folder + " holds no tiles " + (r.hasArea ? "in the area" : "GDAL can read");
        return nullptr;
    }
    int x0 = 1 << 30, x1 = 0, y0 = 1 << 30, y1 = 0;
    for (const Tile& t : tiles) x0 = std::min(x0, t.x), x1 = std::max(x1, t.x), y0 = std::min(y0, t.y), y1 = std::max(y1, t.y);
    const double metres = 2 * kMercatorHalf / (std::ldexp(1.0, zoom) * tileSize);
    const int width = (x1 - x0 + 1) * tileSize, height = (y1 - y0 + 1) * tileSize;
    std::string vrt = "<VRTDataset rasterXSize=\"" + std::to_string(width) + "\" rasterYSize=\"" +
                      std::to_string(height) + "\"><SRS>EPSG:3857</SRS><GeoTransform>" +
                      FixedDegrees(-kMercatorHalf + x0 * tileSize * metres) + "," + FixedDegrees(metres) + ",0," +
                      FixedDegrees(kMercatorHalf - y0 * tileSize * metres) + ",0," + FixedDegrees(-metres) +
                      "</GeoTransform>";
    const char* interpretation[] = {"Red", "Green", "Blue", "Alpha"};
    for (int band = 1; band <= 4; ++band) {
        vrt += "<VRTRasterBand dataType=\"Byte\" band=\"" + std::to_string(band) + "\"><ColorInterp>" +
               interpretation[band - 1] + "</ColorInterp>";
        for (const Tile& t : tiles) vrt += TileSource(t, band, tileSize, (t.x - x0) * tileSize, (t.y - y0) * tileSize);
        vrt += "</VRTRasterBand>";
    }
    vrt += "</VRTDataset>";
    *note = "zoom " + std::to_string(zoom) + ", " + std::to_string(tiles.size()) + " tiles";
    GDALDatasetH d = GDALOpen(vrt.c_str(), GA_ReadOnly);
    if (d == nullptr) *error = folder + ": its tiles cannot be put together: " + LastGdalError("GDAL failed");
    return d;
}

}  // namespace

std::string FixedDegrees(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.12g", v);
    return text;
}

int OpenMapSources(const std::string& path, const MapRequest& r, MapSources* s, std::string* error)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = path + " is missing or unreadable";
        return 0;
    }
    const std::string ext = Extension(path);
    GDALDatasetH d = nullptr;
    if (S_ISDIR(st.st_mode)) {
        d = OpenTileFolder(path, r, &s->note, error);
    } else if (!S_ISREG(st.st_mode)) {
        *error = path + " is not a regular file";
        return 0;
    } else if (ext == ".mbtiles") {
        d = OpenMbtiles(path, r, &s->note, error);
    } else if (r.zoom >= 0) {
        *error = "--zoom is for an MBTiles file or a tile folder";
        return 0;
    } else if (ext == ".kmz" || ext == ".kml") {
        if (!OpenKmlOverlays(path, s, error)) return 0;
        d = s->inputs.back();  // the mosaic, taken again below
        s->inputs.pop_back();
        s->owned.pop_back();
    } else {
        d = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
        if (d == nullptr)
            *error = ext == ".map" ? MapImageRefusal(path) : path + " cannot be read as a raster: " +
                     LastGdalError("not a format GDAL knows");
    }
    if (d == nullptr) return 0;
    s->owned.push_back(d);
    if (r.hasArea) {
        GDALDatasetH cut = CutToArea(d, r);
        if (cut == nullptr || GDALGetRasterXSize(cut) < 1 || GDALGetRasterYSize(cut) < 1) {
            if (cut != nullptr) GDALClose(cut);
            *error = "the area given by --area does not overlap " + path;
            return 0;
        }
        s->owned.push_back(cut);
        d = cut;
    }
    s->inputs.push_back(d);
    return 1;
}

void CloseMapSources(MapSources* s)
{
    for (auto it = s->owned.rbegin(); it != s->owned.rend(); ++it) GDALClose(*it);
    for (const std::string& name : s->memoryFiles) VSIUnlink(name.c_str());
    s->owned.clear();
    s->memoryFiles.clear();
    s->inputs.clear();
}
