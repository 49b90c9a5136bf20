// Finding and copying the bundled demo device root.
#include "platform/demo_root.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string FindDemoRoot()
{
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return std::string();
    const fs::path demo = program.parent_path().parent_path() / "share" / "velkar" / "demo";
    if (!fs::is_directory(demo / "My Documents" / "Velkar", ec)) return std::string();
    return demo.string();
}

std::string CopyDemoRoot(std::string* message)
{
    const std::string demo = FindDemoRoot();
    if (demo.empty()) {
        *message = "velkar: --demo: no demo device root beside the program (share/velkar/demo)";
        return std::string();
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/velkar-demo.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        *message = "velkar: --demo: cannot create a scratch folder in " + fs::path(pattern).parent_path().string();
        return std::string();
    }
    std::error_code ec;
    // Installed files are read-only for users: the copy's files get the user's
    // own write permission so that Exit can save the settings.
    fs::copy(demo, pattern, fs::copy_options::recursive, ec);
    if (!ec) {
        for (auto it = fs::recursive_directory_iterator(pattern, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            fs::permissions(it->path(), fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
            if (ec) break;
        }
    }
    if (ec) {
        *message = "velkar: --demo: cannot copy " + demo + " to " + pattern + ": " + ec.message();
        fs::remove_all(pattern, ec);
        return std::string();
    }
    return pattern;
}
