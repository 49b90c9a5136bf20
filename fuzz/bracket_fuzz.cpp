// Fuzz target: file bytes through the text decoding and the bracket-token reader,
// then as each of the three configuration files (settings, map catalogue,
// preference points) read by its own loader from a temporary device root. The
// first byte chooses whether maps and points are read as degrees.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "base/text.h"
#include "platform/files.h"
#include "store/bracket_tokens.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"

namespace {

int CheckToken(int32_t number, char16_t* token, void*)
{
    if (!(number >= 0 && number <= kLastTokenOfRecord)) __builtin_trap();
    if (TextLength(token) >= static_cast<size_t>(kTokenBufferSize)) __builtin_trap();
    return 1;
}

const std::filesystem::path& Root()
{
    static const std::filesystem::path root = [] {
        // Three small files are rewritten per input: a memory file system keeps
        // that from dominating the run.
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::random_device random;
        std::filesystem::path p = base / ("velkar-bracket-fuzz-" + std::to_string(random()));
        std::filesystem::create_directories(p / "My Documents" / "Velkar");
        SetDeviceRoot(p.string());
        return p;
    }();
    // Removes the folder when the run ends.
    static const struct Remover {
        ~Remover()
        {
            std::error_code ec;
            std::filesystem::remove_all(root, ec);
        }
    } remover;
    return root;
}

void WriteAs(const char* name, const uint8_t* data, size_t size)
{
    std::ofstream out(Root() / "My Documents" / "Velkar" / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string text = DecodeTextBytes(bytes);
    ScanBracketTokens(text, CheckToken, nullptr);

    Root();
    WriteAs("vlcfg.cfg", data, size);
    LoadSettings();
    WriteAs("vlmap.cfg", data, size);
    WriteAs("vlpref.cfg", data, size);
    const int degrees = size > 0 ? data[0] & 3 : 0;
    settings.mapInDegrees = degrees & 1;
    settings.prefInDegrees = (degrees >> 1) & 1;
    LoadMapCatalogue();
    LoadPrefPoints();

    if (!(lastMapIndex >= -1 && lastMapIndex < kMapCount)) __builtin_trap();
    if (!(lastPrefIndex >= -1 && lastPrefIndex < kPrefCount)) __builtin_trap();
    for (const MapEntry& m : mapTable)
        if (TextLength(m.name) >= static_cast<size_t>(kMapNameSize) ||
            TextLength(m.bitmapPath) >= static_cast<size_t>(kBitmapPathSize))
            __builtin_trap();
    for (const PrefPoint& p : prefTable)
        if (TextLength(p.name) >= static_cast<size_t>(kPrefNameSize) ||
            TextLength(p.soundFile) >= static_cast<size_t>(kSoundFileSize))
            __builtin_trap();
    return 0;
}
