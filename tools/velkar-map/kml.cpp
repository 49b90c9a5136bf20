// A KMZ's (or KML's) ground overlays as GDAL datasets: each image with its
// LatLonBox (north, south, east, west, rotation about its centre) as a
// geotransform in WGS84 degrees, in a VRT of red, green, blue and alpha (turned
// north-up when rotated), all of them mosaicked in one VRT for the warp.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_utils.h>

#include "raster.h"
#include "raster_private.h"

namespace {

constexpr size_t kMaxKmlBytes = 16u << 20;

std::string ReadVsiText(const std::string& path)
{
    VSILFILE* f = VSIFOpenL(path.c_str(), "rb");
    if (f == nullptr) return "";
    std::string text;
    char buffer[65536];
    for (size_t n; (n = VSIFReadL(buffer, 1, sizeof buffer, f)) > 0 && text.size() < kMaxKmlBytes;) text.append(buffer, n);
    VSIFCloseL(f);
    return text;
}

// The text between <tag> (or <tag ...>) and </tag> in xml from *at on; "" when absent.
std::string Element(const std::string& xml, const std::string& tag, size_t from, size_t to, size_t* end = nullptr)
{
    for (size_t at = xml.find("<" + tag, from); at != std::string::npos && at < to; at = xml.find("<" + tag, at + 1)) {
        const char next = at + tag.size() + 1 < xml.size() ? xml[at + tag.size() + 1] : 0;
        if (next != '>' && next != ' ') continue;
        const size_t open = xml.find('>', at);
        const size_t close = xml.find("</" + tag + ">", open);
        if (open == std::string::npos || close == std::string::npos || close > to) return "";
        if (end != nullptr) *end = close + tag.size() + 3;
        std::string text = xml.substr(open + 1, close - open - 1);
        const size_t first = text.find_first_not_of(" \t\r\n"), last = text.find_last_not_of(" \t\r\n");
        return first == std::string::npos ? "" : text.substr(first, last - first + 1);
    }
    return "";
}

std::string XmlText(std::string s)
{
    const std::pair<const char*, const char*> entities[] = {{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""},
                                                              {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities)
        for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1)) s.replace(at, std::strlen(from), to);
    return s;
}

// The image as red, green, blue and alpha, placed by geo, in WGS84: a VRT in
// GDAL's memory files (named into *names), warped north-up when turned. 0 when
// GDAL cannot make it.
int OverlayFile(GDALDatasetH image, const double* geo, int index, std::vector<std::string>* names)
{
    const int count = GDALGetRasterCount(image);
    std::vector<std::string> args = {"-of", "VRT", "-a_srs", "EPSG:4326"};
    if (count == 1 && GDALGetRasterColorTable(GDALGetRasterBand(image, 1)) != nullptr) {
        args.insert(args.end(), {"-expand", "rgba"});
    } else {
        const char* bands[4][4] = {{"1", "1", "1", "mask"}, {"1", "1", "1", "2"}, {"1", "2", "3", "mask"}, {"1", "2", "3", "4"}};
        for (const char* b : bands[std::min(count, 4) - 1]) args.insert(args.end(), {"-b", b});
        args.insert(args.end(), {"-colorinterp", "red,green,blue,alpha"});
    }
    const std::string prefix = "/vsimem/velkar-map-" + std::to_string(getpid()) + "-overlay-" + std::to_string(index);
    char** list = ArgList(args);
    GDALTranslateOptions* options = GDALTranslateOptionsNew(list, nullptr);
    CSLDestroy(list);
    GDALDatasetH overlay = options != nullptr ? GDALTranslate((prefix + ".vrt").c_str(), image, options, nullptr) : nullptr;
    GDALTranslateOptionsFree(options);
    if (overlay == nullptr) return 0;
    GDALSetGeoTransform(overlay, const_cast<double*>(geo));
    names->push_back(prefix + ".vrt");
    if (geo[2] == 0 && geo[4] == 0) return GDALClose(overlay), 1;
    list = ArgList({"-of", "VRT", "-dstalpha"});
    GDALWarpAppOptions* warp = GDALWarpAppOptionsNew(list, nullptr);
    CSLDestroy(list);
    int usage = 0;
    GDALDatasetH north = GDALWarp((prefix + "-north.vrt").c_str(), nullptr, 1, &overlay, warp, &usage);
    GDALWarpAppOptionsFree(warp);
    GDALClose(overlay);
    if (north == nullptr) return 0;
    GDALClose(north);
    names->push_back(prefix + "-north.vrt");
    return 1;
}

}  // namespace

int OpenKmlOverlays(const std::string& path, MapSources* s, std::string* error)
{
    const int zipped = path.size() > 4 && (path.substr(path.size() - 4) == ".kmz" || path.substr(path.size() - 4) == ".KMZ");
    std::string base = zipped ? "/vsizip/" + path : path.substr(0, path.find_last_of('/') + 1);
    if (base.empty()) base = ".";
    std::string kml = path;
    if (zipped) {
        char** names = VSIReadDirRecursive(base.c_str());
        kml.clear();
        for (int i = 0; names != nullptr && names[i] != nullptr; ++i) {
            const std::string name = names[i];
            if (name.size() > 4 && (name.substr(name.size() - 4) == ".kml" || name.substr(name.size() - 4) == ".KML") &&
                (kml.empty() || name == "doc.kml"))
                kml = base + "/" + name;
        }
        CSLDestroy(names);
        if (kml.empty()) {
            *error = path + " is no KMZ: it holds no .kml document";
            return 0;
        }
    }
    const std::string xml = ReadVsiText(kml);
    size_t at = 0, end = 0;
    int overlays = 0;
    std::vector<std::string> mosaic;  // the overlays' memory files, in order
    while ((at = xml.find("<GroundOverlay", at)) != std::string::npos) {
        end = xml.find("</GroundOverlay>", at);
        if (end == std::string::npos) break;
        ++overlays;
        const std::string href = XmlText(Element(xml, "href", at, end));
        const std::string box[] = {Element(xml, "north", at, end), Element(xml, "south", at, end),
                                   Element(xml, "east", at, end), Element(xml, "west", at, end)};
        const double rotation = std::atof(Element(xml, "rotation", at, end).c_str());
        at = end;
        if (href.empty() || box[0].empty() || box[1].empty() || box[2].empty() || box[3].empty()) {
            *error = path + ": ground overlay " + std::to_string(overlays) + " has no image or no LatLonBox";
            return 0;
        }
        if (href.find("://") != std::string::npos) {
            *error = path + ": ground overlay " + std::to_string(overlays) + " names an image on the web (" + href +
                     "); download it beside the KML first";
            return 0;
        }
        const std::string imagePath = href[0] == '/' && !zipped ? href : base + "/" + href;
        GDALDatasetH image = GDALOpenEx(imagePath.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
        if (image == nullptr) {
            *error = "the image " + path + " names for ground overlay " + std::to_string(overlays) + ", '" + href +
                     "', is missing or unreadable";
            return 0;
        }
        s->owned.push_back(image);
        const double north = std::atof(box[0].c_str()), south = std::atof(box[1].c_str());
        const double east = std::atof(box[2].c_str()), west = std::atof(box[3].c_str());
        const double dx = (east - west) / GDALGetRasterXSize(image), dy = (north - south) / GDALGetRasterYSize(image);
        // Turned counter-clockwise by rotation degrees about the box's centre.
        const double c = std::cos(rotation * M_PI / 180), sn = std::sin(rotation * M_PI / 180);
        const double cx = (east + west) / 2, cy = (north + south) / 2;
        const double geo[6] = {cx + (west - cx) * c - (north - cy) * sn, dx * c, dy * sn,
                               cy + (west - cx) * sn + (north - cy) * c, dx * sn, -dy * c};
        if (!OverlayFile(image, geo, overlays, &s->memoryFiles)) {
            *error = path + ": ground overlay " + std::to_string(overlays) + " cannot be read: " + LastGdalError("GDAL failed");
            return 0;
        }
        mosaic.push_back(s->memoryFiles.back());
    }
    if (mosaic.empty()) {
        *error = path + " holds no ground overlay (an image with its LatLonBox)";
        return 0;
    }
    // One VRT of every overlay, north-up in WGS84: what the warp reads.
    std::vector<const char*> names;
    for (const std::string& m : mosaic) names.push_back(m.c_str());
    int usage = 0;
    GDALDatasetH all = GDALBuildVRT("", static_cast<int>(names.size()), nullptr, names.data(), nullptr, &usage);
    if (all == nullptr) {
        *error = path + ": its ground overlays cannot be put together: " + LastGdalError("GDAL failed");
        return 0;
    }
    s->owned.push_back(all);
    s->inputs.push_back(all);
    s->note = std::to_string(mosaic.size()) + " ground overlay" + (mosaic.size() == 1 ? "" : "s");
    return 1;
}
