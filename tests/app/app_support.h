// Shared ground for the shell's tests: a Qt application on the offscreen platform,
// a temporary device root, and real main windows whose procedure is MainWndProc
// behind a thin recorder that counts paints and destroy messages.
#pragma once

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "platform/window.h"

// Files under the temporary device root (path relative to it, '/' separated).
std::string DeviceFile(const std::string& relativePath);
void WriteDeviceFile(const std::string& relativePath, const std::string& content);
bool DeviceFileExists(const std::string& relativePath);
std::string ReadDeviceFile(const std::string& relativePath);
// Lines of a device file ("" lines included, the last line break not counted).
int CountLines(const std::string& relativePath);
// A 24-bit bottom-up BMP, every pixel mid grey.
void WriteBmp(const std::string& relativePath, int width, int height);

// What the recorder saw since the window was created.
struct WindowRecord {
    int paints = 0;    // message 15
    int destroys = 0;  // message 2
    int creates = 0;   // message 1
};
extern WindowRecord record;

// Creates a main window of the recording class (MainWndProc behind the recorder),
// so the create handler runs; then stops timer 11024 so that ticks come only from
// the test, and lets the first paints through. Returns nullptr on failure.
WindowHandle CreateShellWindow();
// Destroys it when it still exists (runs message 2) and forgets it.
void DestroyShellWindow();
// Lets the window paint what is invalid; afterwards record.paints is current.
void FlushPaints();
// One tick as the platform's timer delivers it, then the paints it asked for.
void Tick();

// Puts the globals the shell touches back to their start-up values and empties
// the device root. Every fixture of the shell's tests derives from this.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// The settings file with the nine values in the layout the program writes.
std::string SettingsText(int comPort, int baudRate, int gpsEmulation, int prefInDegrees, int audioMessages,
                         int trackToTarget, int enableLog, int proximity, int mapInDegrees);
