#include "platform/files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "base/text.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxTextFileBytes = 16u << 20;  // 16 MiB

std::string& RootStorage()
{
    static std::string root = DeviceRootDefault();
    return root;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

// Windows-1252 bytes 0x80..0x9F; the rest of the upper half is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// Decodes a file's bytes: valid UTF-8 sequences as UTF-8, every other byte as
// Windows-1252; CRLF becomes LF as in a text-mode stream.
}  // namespace

std::u16string DecodeTextBytes(const std::string& bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    const size_t n = bytes.size();
    auto byteAt = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    auto cont = [&](size_t k) { return k < n && (byteAt(k) & 0xC0) == 0x80; };
    size_t i = 0;
    while (i < n) {
        unsigned char c = byteAt(i);
        uint32_t cp = 0;
        size_t len = 0;
        if (c < 0x80) {
            if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') {
                ++i;
                continue;
            }
            cp = c;
            len = 1;
        } else if (c >= 0xC2 && c <= 0xDF && cont(i + 1)) {
            cp = ((c & 0x1F) << 6) | (byteAt(i + 1) & 0x3F);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
            cp = ((c & 0x0F) << 12) | ((byteAt(i + 1) & 0x3F) << 6) | (byteAt(i + 2) & 0x3F);
            // Overlong forms and surrogates are not valid UTF-8.
            if (cp >= 0x800 && !(cp >= 0xD800 && cp <= 0xDFFF)) len = 3;
        } else if (c >= 0xF0 && c <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            cp = ((c & 0x07) << 18) | ((byteAt(i + 1) & 0x3F) << 12) | ((byteAt(i + 2) & 0x3F) << 6) |
                 (byteAt(i + 3) & 0x3F);
            if (cp >= 0x10000 && cp <= 0x10FFFF) len = 4;
        }
        if (len == 0) {
            out.push_back(c >= 0x80 && c <= 0x9F ? kCp1252High[c - 0x80] : static_cast<char16_t>(c));
            i += 1;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

struct TextFile {
    std::u16string text;   // whole content, for reading
    size_t position = 0;
    std::ofstream out;     // for appending
    bool writing = false;
    bool failed = false;
};

std::string DeviceRootDefault()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/velkar";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.local/share/velkar";
}

void SetDeviceRoot(const std::string& hostFolder) { RootStorage() = hostFolder; }

const std::string& DeviceRoot() { return RootStorage(); }

std::string DevicePathToHost(const char16_t* devicePath)
{
    std::string path = TextToUtf8(devicePath);
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.rfind("./", 0) == 0) path.erase(0, 2);
    // Every device path lives under the root, also one written as absolute.
    size_t start = 0;
    while (start < path.size() && path[start] == '/') ++start;

    fs::path host = DeviceRoot();
    bool exists = true;
    int depth = 0;  // components below the root
    size_t i = start;
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(i, slash - i);
        i = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            // Never leave the root: a ".." at the root's level stays there.
            if (depth > 0) {
                host = host.parent_path();
                --depth;
            }
            continue;
        }
        fs::path exact = host / part;
        std::error_code ec;
        if (exists && !fs::exists(exact, ec)) {
            exists = false;
            for (fs::directory_iterator it(host, ec), end; !ec && it != end; it.increment(ec)) {
                if (SameIgnoringCase(it->path().filename().string(), part)) {
                    exact = it->path();
                    exists = true;
                    break;
                }
            }
        }
        host = exact;
        ++depth;
    }
    return host.string();
}

TextFile* OpenTextFile(const char16_t* devicePath, const char* mode)
{
    const std::string host = DevicePathToHost(devicePath);
    std::error_code ec;
    if (mode[0] == 'r') {
        if (fs::is_directory(host, ec)) return nullptr;
        std::ifstream in(host, std::ios::binary);
        if (!in) return nullptr;
        // Configuration files are a few hundred bytes; a huge or endless file (a
        // device node, a mistaken path) is read only up to a bound, so that reading
        // it cannot exhaust the memory.
        std::string bytes;
        char chunk[4096];
        while (bytes.size() < kMaxTextFileBytes) {
            in.read(chunk, static_cast<std::streamsize>(std::min(sizeof chunk, kMaxTextFileBytes - bytes.size())));
            bytes.append(chunk, static_cast<size_t>(in.gcount()));
            if (!in) break;
        }
        if (in.bad()) return nullptr;
        auto* file = new TextFile;
        file->text = DecodeTextBytes(bytes);
        return file;
    }
    if (mode[0] == 'a') {
        auto* file = new TextFile;
        file->writing = true;
        file->out.open(host, std::ios::binary | std::ios::app);
        if (!file->out) {
            delete file;
            return nullptr;
        }
        return file;
    }
    return nullptr;
}

int ReadTextChar(TextFile* file, char16_t* out)
{
    if (file->position >= file->text.size()) return 0;
    *out = file->text[file->position++];
    return 1;
}

int TextFileAtEnd(TextFile* file) { return file->text.empty() ? 1 : 0; }

int WriteText(TextFile* file, const char16_t* text)
{
    if (!file->writing) return 0;
    const std::string bytes = TextToUtf8(text);
    file->out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file->out) file->failed = true;
    return file->failed ? 0 : 1;
}

int CloseTextFile(TextFile* file)
{
    int ok = 1;
    if (file->writing) {
        file->out.flush();
        file->out.close();
        if (file->failed || file->out.fail()) ok = 0;
    }
    delete file;
    return ok;
}

int ReplaceTextFile(const char16_t* devicePath, const char16_t* content)
{
    const fs::path target = DevicePathToHost(devicePath);
    std::error_code ec;
    if (!fs::is_directory(target.parent_path(), ec)) return 0;
    if (fs::is_directory(target, ec)) return 0;
    fs::path temp = target;
    temp += ".tmp-velkar";
    const std::string bytes = TextToUtf8(content);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return 0;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        out.close();
        if (out.fail()) {
            fs::remove(temp, ec);
            return 0;
        }
    }
    // A short write that the stream did not notice must not replace the old file.
    if (fs::file_size(temp, ec) != bytes.size() || ec) {
        fs::remove(temp, ec);
        return 0;
    }
    // The new file keeps the old one's permissions.
    const fs::file_status old = fs::status(target, ec);
    if (!ec && fs::exists(old)) fs::permissions(temp, old.permissions(), ec);
    ec.clear();
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return 0;
    }
    return 1;
}

int EnsureDeviceRootFolders()
{
    static const char16_t* const kFolders[] = {u"\\My Documents\\Velkar", u"\\Scheda di memoria\\Velkar", u"\\dev"};
    int ok = 1;
    for (const char16_t* folder : kFolders) {
        const fs::path host = DevicePathToHost(folder);
        std::error_code ec;
        fs::create_directories(host, ec);
        if (!fs::is_directory(host, ec)) ok = 0;
    }
    return ok;
}
