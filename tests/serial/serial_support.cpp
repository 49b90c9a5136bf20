// Test support for the serial link (see serial_support.h).
#include "serial_support.h"

#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <cmath>

#include "gps/framing.h"
#include "gps/serial_link.h"
#include "platform/files.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TempRoot::TempRoot()
{
    char pattern[] = "/tmp/velkar-serial-XXXXXX";
    path = mkdtemp(pattern);
    fs::create_directories(path + "/dev");
    SetDeviceRoot(path);
}

TempRoot::~TempRoot()
{
    std::error_code ec;
    fs::remove_all(path, ec);
}

Pty::Pty()
{
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    slavePath = name;
}

Pty::~Pty() { CloseMaster(); }

void Pty::CloseMaster()
{
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
    master = slave = -1;
}

void Pty::Write(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void Pty::DrainEcho()
{
    int flags = fcntl(master, F_GETFL);
    fcntl(master, F_SETFL, flags | O_NONBLOCK);
    char buffer[4096];
    while (read(master, buffer, sizeof buffer) > 0) {
    }
    fcntl(master, F_SETFL, flags);
}

void LinkDevice(const TempRoot& root, int n, const std::string& target)
{
    std::error_code ec;
    fs::remove(root.Dev(n), ec);
    fs::create_symlink(target, root.Dev(n));
}

void WriteSourceFile(const TempRoot& root, int n, const std::string& line)
{
    std::error_code ec;
    fs::remove(root.Dev(n), ec);
    std::ofstream out(root.Dev(n));
    out << line << "\n";
}

std::string Sentence(const std::string& body)
{
    unsigned sum = 0;
    for (unsigned char c : body) sum ^= c;
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

void ResetLinkState()
{
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState = GpsState{};
        std::memset(displayLine, 0, sizeof displayLine);
    }
    ResetGpsState();
    std::memset(sentenceBuffer, 0, sizeof sentenceBuffer);
}

namespace {
template <typename Done>
bool WaitUntil(Done done, int guardMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
}  // namespace

bool WaitForSentenceEnds(uint32_t target, int guardMs)
{
    return WaitUntil([&] { return sentenceEnds.load() >= target; }, guardMs);
}

bool WaitForReaderEnd(int guardMs)
{
    return WaitUntil([] { return readerThreadsRunning.load() == 0; }, guardMs);
}

bool WaitForUtcTime(const std::u16string& time, int guardMs)
{
    return WaitUntil([&] { return U16(SnapshotGpsState().utcTime) == time; }, guardMs);
}

bool ShutDownLink()
{
    ReleasePortWait(portHandle);
    ClosePort(portHandle);
    portHandle = kInvalidPort;
    return WaitForReaderEnd();
}

StderrCapture::StderrCapture()
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char pattern[] = "/tmp/velkar-stderr-XXXXXX";
    int fd = mkstemp(pattern);
    file = pattern;
    std::fflush(stderr);
    saved = dup(2);
    dup2(fd, 2);
    close(fd);
}

StderrCapture::~StderrCapture()
{
    Text();
    unlink(file.c_str());
}

std::string StderrCapture::Text()
{
    if (!restored) {
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        restored = true;
    }
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::u16string U16(const char16_t* text) { return std::u16string(text); }

// Doubles from the same parser on the same text are the same bits; NaN equals NaN.
#define EXPECT_DOUBLE_SAME(x, y)                                                       \
    EXPECT_TRUE((x) == (y) || (std::isnan(x) && std::isnan(y))) << #x << " = " << (x) \
                                                                  << ", " << #y << " = " << (y)

void ExpectSameState(const GpsState& e, const GpsState& a, const std::string& where)
{
    SCOPED_TRACE(where);
    EXPECT_EQ(U16(e.utcTime), U16(a.utcTime));
    EXPECT_EQ(U16(e.prevUtcTime), U16(a.prevUtcTime));
    EXPECT_DOUBLE_SAME(e.latitude, a.latitude);
    EXPECT_EQ(e.latHemisphere, a.latHemisphere);
    EXPECT_DOUBLE_SAME(e.longitude, a.longitude);
    EXPECT_EQ(e.lonHemisphere, a.lonHemisphere);
    EXPECT_DOUBLE_SAME(e.utmEasting, a.utmEasting);
    EXPECT_DOUBLE_SAME(e.utmNorthing, a.utmNorthing);
    EXPECT_DOUBLE_SAME(e.prevUtmEasting, a.prevUtmEasting);
    EXPECT_DOUBLE_SAME(e.prevUtmNorthing, a.prevUtmNorthing);
    EXPECT_DOUBLE_SAME(e.gridEasting, a.gridEasting);
    EXPECT_DOUBLE_SAME(e.gridNorthing, a.gridNorthing);
    EXPECT_DOUBLE_SAME(e.prevGridEasting, a.prevGridEasting);
    EXPECT_DOUBLE_SAME(e.prevGridNorthing, a.prevGridNorthing);
    EXPECT_EQ(e.utmZone, a.utmZone);
    EXPECT_EQ(e.fixQuality, a.fixQuality);
    EXPECT_EQ(e.satellites, a.satellites);
    EXPECT_DOUBLE_SAME(e.altitude, a.altitude);
    EXPECT_DOUBLE_SAME(e.distanceMoved, a.distanceMoved);
    EXPECT_DOUBLE_SAME(e.timeDelta, a.timeDelta);
    EXPECT_DOUBLE_SAME(e.speedKmh, a.speedKmh);
    EXPECT_DOUBLE_SAME(e.course, a.course);
}
