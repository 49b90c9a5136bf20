// The program's entry: refuses to run twice on one device root, creates the main
// window (whose create handler reads the three configuration files), opens the
// receiver's port and runs the message loop until the quit message.
#include "app/globals.h"
#include "app/shell.h"
#include "base/text.h"
#include "gps/serial_link.h"
#include "platform/serial.h"
#include "platform/view_window.h"
#include "store/exit_save.h"
#include "store/receiver_watch.h"
#include "store/settings.h"

const char16_t kMainClassName[] = u"Velkar Application";
const char16_t kMainTitle[] = u"Velkar";

namespace {

constexpr uint32_t kClassStyleRedraw = 3;  // redraw on horizontal and vertical resizing
constexpr int32_t kAppIconId = 109;
constexpr int32_t kAcceleratorTableId = 102;

int RegisterMainClass(InstanceHandle instance)
{
    WindowClass windowClass = {};
    windowClass.style = kClassStyleRedraw;
    windowClass.procedure = MainWndProc;
    windowClass.instance = instance;
    windowClass.iconId = kAppIconId;
    windowClass.className = kMainClassName;
    return RegisterWindowClass(&windowClass);
}

}  // namespace

void ChoosePortName(int32_t comPort, char16_t* name)
{
    static const char16_t* const kNames[] = {u"COM1:", u"COM2:", u"COM3:", u"COM4:", u"COM5:"};
    const char16_t* chosen = (comPort >= 1 && comPort <= 5) ? kNames[comPort - 1] : kNames[0];
    CopyText(name, kPortNameSize, chosen);
}

int VelkarEntry(const EntryArguments* arguments)
{
    // A second start only brings the first to the front: nothing is read or opened.
    WindowHandle other = FindOtherInstance(kMainClassName, kMainTitle);
    if (other != nullptr) {
        BringToFront(other);
        return 0;
    }
    RemoveDeviceRootLeftovers();
    if (arguments->previousInstance == 0 && RegisterMainClass(arguments->instance) == 0) return 0;

    hInstance = arguments->instance;
    // The client area is the handheld's 240 x 268 unless --size asked for another.
    int32_t width = kUseDefault, height = kUseDefault;
    RequestedClientSize(&width, &height);
    WindowHandle window =
        CreateMainWindow(kMainClassName, kMainTitle, kStyleVisible, kUseDefault, kUseDefault, width, height);
    if (window == nullptr) return 0;
    mainWindow = window;
    ShowMainWindow(window, arguments->showMode);
    UpdateWindowNow(window);

    AcceleratorHandle accelerators = LoadAcceleratorTable(hInstance, kAcceleratorTableId);
    ChoosePortName(settings.comPort, portName);
    // A port that cannot be opened has been reported by the link; the program runs
    // on without a receiver (emulation still works).
    SetSerialMoveCheck(ReceiverSettingsMoved);  // another program may point the receiver elsewhere
    OpenPort(portName, settings.baudRate);
    return RunMessageLoop(mainWindow, accelerators);
}
