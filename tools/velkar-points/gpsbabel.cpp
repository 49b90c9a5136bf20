// GPSBabel run as a program for velkar-points: its error output kept for the
// message, the style files found beside the installed program or in the source
// tree.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "points_tool.h"

extern char** environ;

namespace fs = std::filesystem;

// The folder of the project's GPSBabel style files: installed beside the
// program (../share/velkar/gpsbabel), else the source tree it was built from.
std::string StyleFolder()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path installed = self.parent_path().parent_path() / "share/velkar/gpsbabel";
        if (fs::exists(installed / "velkar-points.style", ec)) return installed.string();
    }
    return VELKAR_GPSBABEL_STYLES_SOURCE;
}


int RunGpsBabel(const std::vector<std::string>& args, std::string* message)
{
    const std::string errors = ScratchFile("gpsbabel-errors.txt");
    std::vector<char*> argv;
    std::string program = "gpsbabel";
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!errors.empty())
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "gpsbabel", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        *message = "gpsbabel cannot be run (Debian package gpsbabel): " + std::string(std::strerror(spawned));
        return 0;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return 1;
    std::ifstream in(errors);
    std::string line;
    std::getline(in, line);
    *message = "gpsbabel: " + (line.empty() ? std::string("failed") : line);
    return 0;
}

int WriteGpx(const char* style, const std::string& exchange, const std::string& output)
{
    std::string message;
    if (!RunGpsBabel({"-i", "xcsv,style=" + StyleFolder() + "/" + style, "-f", exchange, "-o", "gpx,gpxver=1.1",
                      "-F", output},
                     &message))
        return Refuse(message);
    return kExitOk;
}

