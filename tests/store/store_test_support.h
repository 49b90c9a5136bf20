// Test helpers for the stored files: a temporary device root (mkdtemp) with the
// handheld's two folders, raw file writing and reading under it, and a child
// process for failures that need real limits or a user without rights.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/files.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"

class TempDeviceRoot {
public:
    TempDeviceRoot()
    {
        char pattern[] = "/tmp/velkar-root-XXXXXX";
        const char* dir = mkdtemp(pattern);
        root_ = dir != nullptr ? dir : "";
        SetDeviceRoot(root_);
        std::filesystem::create_directories(root_ + "/My Documents/Velkar");
        std::filesystem::create_directories(root_ + "/Scheda di memoria");
    }
    ~TempDeviceRoot()
    {
        std::error_code ec;
        std::filesystem::permissions(root_ + "/My Documents/Velkar", std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(root_, ec);
    }
    const std::string& Path() const { return root_; }
    std::string Host(const std::string& relative) const { return root_ + "/" + relative; }

    void Write(const std::string& relative, const std::string& bytes) const
    {
        std::ofstream(Host(relative), std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string Read(const std::string& relative) const
    {
        std::ifstream in(Host(relative), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& relative) const { return std::filesystem::exists(Host(relative)); }

private:
    std::string root_;
};

inline const char kSettingsFile[] = "My Documents/Velkar/vlcfg.cfg";
inline const char kMapsFile[] = "My Documents/Velkar/vlmap.cfg";
inline const char kPrefsFile[] = "My Documents/Velkar/vlpref.cfg";

inline void ClearSettings()
{
    Settings& s = settings;
    s.comPort = s.baudRate = s.prefInDegrees = s.audioMessages = s.trackToTarget = 0;
    s.enableLog = s.proximity = s.mapInDegrees = 0;
    s.gpsEmulation = 0;
}

inline void ClearTables()
{
    for (MapEntry& m : mapTable) m = MapEntry{};
    for (PrefPoint& p : prefTable) p = PrefPoint{};
    currentMap = lastMapIndex = 0;
    selectedPref = lastPrefIndex = 0;
}

// Runs body in a forked child and returns its exit status (body's result).
template <typename Body>
int InChild(Body body)
{
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
