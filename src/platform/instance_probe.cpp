// The navigator's one-instance endpoint seen from a tool: its name worked out as
// the navigator works it out (user, canonical root, a private folder), and a
// connection that only says whether someone of this user listens there.
#include "platform/instance_probe.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

constexpr size_t kMaxSocketPath = 100;  // as the navigator: a socket path holds 108 bytes

uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

bool IsPrivateFolder(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

// The system's temporary folder as the toolkit names it: $TMPDIR, else /tmp,
// without a trailing slash.
std::string TempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = (tmp != nullptr && tmp[0] != 0) ? tmp : "/tmp";
    folder = std::filesystem::path(folder).lexically_normal().string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

}  // namespace

std::string Sha1Hex(const std::string& bytes)
{
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string m = bytes;
    const uint64_t bits = uint64_t(bytes.size()) * 8;
    m += static_cast<char>(0x80);
    while (m.size() % 64 != 56) m += '\0';
    for (int i = 7; i >= 0; --i) m += static_cast<char>((bits >> (8 * i)) & 0xFF);
    for (size_t block = 0; block < m.size(); block += 64) {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(m.data() + block + 4 * i);
            w[i] = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        }
        for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            uint32_t f, k;
            if (i < 20) f = (b & c) | (~b & d), k = 0x5A827999;
            else if (i < 40) f = b ^ c ^ d, k = 0x6ED9EBA1;
            else if (i < 60) f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
            else f = b ^ c ^ d, k = 0xCA62C1D6;
            const uint32_t t = Rotl(a, 5) + f + e + k + w[i];
            e = d, d = c, c = Rotl(b, 30), b = a, a = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    char hex[41];
    for (int i = 0; i < 5; ++i) std::snprintf(hex + 8 * i, 9, "%08x", h[i]);
    return std::string(hex, 40);
}

std::string InstanceEndpointName(const std::string& hostRoot)
{
    std::error_code ec;
    std::filesystem::path root = std::filesystem::weakly_canonical(hostRoot, ec);
    if (ec) root = hostRoot;
    const std::string base = "velkar-" + std::to_string(getuid()) + "-" + Sha1Hex(root.string()).substr(0, 16);
    std::string folder;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && IsPrivateFolder(runtime)) folder = runtime;
    else if (IsPrivateFolder(TempFolder() + "/velkar-" + std::to_string(getuid())))
        folder = TempFolder() + "/velkar-" + std::to_string(getuid());
    if (!folder.empty() && folder.size() + 1 + base.size() <= kMaxSocketPath) return folder + "/" + base;
    return "@" + base;
}

int NavigatorRunsOnRoot(const std::string& hostRoot)
{
    const std::string name = InstanceEndpointName(hostRoot);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    socklen_t length = 0;
    if (name[0] == '@') {
        // The abstract namespace: a leading 0 byte, then the name without '@'.
        std::memcpy(address.sun_path + 1, name.data() + 1, name.size() - 1);
        length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
    } else {
        if (name.size() >= sizeof address.sun_path) return 0;
        std::memcpy(address.sun_path, name.data(), name.size());
        length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + 1);
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    int runs = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
        ucred peer {};
        socklen_t size = sizeof peer;
        runs = getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid() ? 1 : 0;
    }
    close(fd);
    return runs;
}
