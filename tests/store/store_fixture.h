// The stored-data tests' ground: one fresh device root per test with the
// handheld's two folders, the settings and tables cleared, and files read and
// written on it by their paths under the root.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/files.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"

namespace {
const std::string kDir = "My Documents/Velkar/", kCfg = kDir + "vlcfg.cfg", kCard = "Scheda di memoria/",
                  kLog = kCard + "GpsLog.txt";

class Store : public ::testing::Test {
protected:
    std::string root;
    void SetUp() override
    {
        char pattern[] = "/tmp/velkar-root-XXXXXX";
        root = mkdtemp(pattern);
        SetDeviceRoot(root);
        for (const std::string& dir : {kDir, std::string("Scheda di memoria")}) std::filesystem::create_directories(Host(dir));
        Settings& s = settings;
        s.comPort = s.baudRate = s.prefInDegrees = s.audioMessages = s.trackToTarget = s.enableLog = s.proximity =
            s.mapInDegrees = 0;
        s.gpsEmulation = 0;
        for (MapEntry& m : mapTable) m = MapEntry{};
        for (PrefPoint& p : prefTable) p = PrefPoint{};
        lastMapIndex = lastPrefIndex = selectedPref = 0;
    }
    void TearDown() override { std::filesystem::remove_all(root); }
    std::string Host(const std::string& path) const { return root + "/" + path; }
    void Write(const std::string& path, const std::string& bytes) const { std::ofstream(Host(path), std::ios::binary) << bytes; }
    std::string Read(const std::string& path) const
    {
        std::ifstream in(Host(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};
}  // namespace
