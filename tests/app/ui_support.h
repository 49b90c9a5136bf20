// Shared ground for the shell and dialog tests: Qt offscreen, a temporary device root, a real main
// window running MainWndProc (paints counted, not drawn), and modal dialogs acted on from inside their
// own event loop.
#pragma once

#include <QWidget>

#include <functional>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/shell.h"
#include "gps/gps_state.h"
#include "platform/qt/qt_handles.h"
#include "platform/window.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"

std::string DeviceFile(const std::string& path);
void WriteDeviceFile(const std::string& path, const std::string& content);
std::string ReadDeviceFile(const std::string& path);
void WriteBmp(const std::string& path, int width, int height);
std::string SettingsText(std::initializer_list<int> nine);  // the layout the program writes
inline const std::string kSettingsFile = "My Documents/Velkar/vlcfg.cfg", kMapFile = "My Documents/Velkar/vlmap.cfg",
                         kPrefFile = "My Documents/Velkar/vlpref.cfg";

struct WindowRecord { int paints = 0, destroys = 0, lastErase = -1; };
extern WindowRecord record;  // what the main window saw since it was created
// The create handler runs; timer 11024 is stopped so that ticks come from the test only.
WindowHandle CreateShellWindow();
void DestroyShellWindow();
// The card folder, the program's folder, the settings file when given and a 741 x 498 temp.bmp, then
// CreateShellWindow.
void OpenShellOnCard(const std::string& settingsText = "");
void FlushPaints();  // paints what is invalid
void Tick(int n = 1);  // n ticks as the timer delivers them, each with its paints

// Runs template templateId modally, owned by mainWindow; act runs once it shows. A dialog still open
// after act is ended with 99. True when it showed and act closed it with 0.
using DialogAct = std::function<void(WindowHandle dialog, QWidget* widget)>;
bool RunDialogWith(int32_t templateId, DialogProc procedure, const DialogAct& act);

std::string FieldText(WindowHandle dialog, int32_t id);  // UTF-8
QWidget* ControlWidget(QWidget* dialog, int32_t id);
void Click(QWidget* dialog, int32_t id);
void TypeInto(QWidget* dialog, int32_t id, const char* text);  // replaces the text by typing

// Globals at their start-up values, device root emptied, no main window.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { UiTest::SetUp(); }
};
