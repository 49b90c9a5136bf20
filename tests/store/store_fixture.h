// The stored-data tests' ground: one fresh device root per test with the handheld's two folders, the
// settings and tables cleared, and files read and written on it by their paths under the root.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <functional>
#include "../support/common.h"
#include "base/text.h"
#include "platform/files.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "store/track_log.h"

namespace {
namespace fs = std::filesystem;
const std::string kDir = "My Documents/Velkar/", kCfg = kDir + "vlcfg.cfg", kCard = "Scheda di memoria/",
                  kLog = kCard + "GpsLog.txt";

class Store : public ::testing::Test {
protected:
    std::string root;
    void SetUp() override
    {
        SetDeviceRoot(root = MakeTempFolder("root"));
        for (const std::string& dir : {kDir, kCard}) fs::create_directories(Host(dir));
        Settings& s = settings;
        s.comPort = s.baudRate = s.prefInDegrees = s.audioMessages = s.trackToTarget = s.enableLog = s.proximity =
            s.mapInDegrees = s.gpsEmulation = 0;
        for (MapEntry& m : mapTable) m = MapEntry{};
        for (PrefPoint& p : prefTable) p = PrefPoint{};
        lastMapIndex = lastPrefIndex = selectedPref = 0;
    }
    void TearDown() override { fs::remove_all(root); }
    std::string Host(const std::string& path) const { return root + "/" + path; }
    void Write(const std::string& path, const std::string& bytes) const { WriteFile(Host(path), bytes); }
    std::string Read(const std::string& path) const { return Slurp(Host(path)); }
    size_t FilesIn(const std::string& dir) const { return size_t(std::distance(fs::directory_iterator(Host(dir)), {})); }
};
}  // namespace
