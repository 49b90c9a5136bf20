// Shared ground for the dialog tests: a Qt application on the offscreen
// platform, a temporary device root, a real main window that counts its paints,
// and a way to act on a running modal dialog from inside its own event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/window.h"

class QWidget;

// Outcome of one modal run of a dialog template.
struct DialogRun {
    bool found = false;     // the dialog widget appeared and act ran
    bool leftOpen = false;  // act returned with the dialog still open (the test closed it)
    intptr_t endCode = -1;  // RunDialog's result
};

// Runs template templateId with procedure, owned by mainWindow, and calls act with
// the dialog's handle and widget once it shows. A dialog still open when act
// returns is ended with code 99 and reported through leftOpen.
DialogRun RunDialogWith(int32_t templateId, DialogProc procedure,
                        const std::function<void(WindowHandle dialog, QWidget* widget)>& act);

// Text of a control, read through a generous buffer.
std::u16string FieldText(WindowHandle dialog, int32_t id);
// The control widget with objectName "ctl-<id>", or nullptr.
QWidget* ControlWidget(QWidget* dialog, int32_t id);
// Clicks a button or check box like a person would.
void ClickControl(QWidget* dialog, int32_t id);
// Replaces the text of an edit field by typing it.
void TypeInto(QWidget* dialog, int32_t id, const char16_t* text);
// Sends a key press to the dialog widget.
void PressKey(QWidget* dialog, int key);

// Files under the temporary device root (path relative to it, '/' separated).
std::string DeviceFile(const std::string& relativePath);
void WriteDeviceFile(const std::string& relativePath, const std::string& content);
void RemoveDeviceFile(const std::string& relativePath);
// A 24-bit bottom-up BMP of the given size.
void WriteBmp(const std::string& relativePath, int width, int height);

// Paints of the main window seen so far, and whether the last one was erased.
int MainPaintCount();
int LastPaintErased();
// Lets the main window paint what is invalid; then MainPaintCount is current.
void FlushMainPaints();

// Puts every global the dialogs touch back to its start-up value and empties the
// device root. Every dialog test fixture derives from this.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

std::string Utf8(const std::u16string& text);
