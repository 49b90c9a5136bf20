// The receiver named by the settings file as it is now, compared with the port
// the serial layer has open; read afresh at every call, nothing kept.
#include "store/receiver_watch.h"

#include "base/text.h"
#include "store/settings.h"

int ReceiverSettingsMoved(const char16_t* portName, uint32_t baudRate, char16_t* newName, uint32_t* newBaudRate)
{
    // Values the file does not hold stay at the port's own, so a short file
    // moves nothing it does not name.
    int32_t values[kSettingsValueCount] = {};
    values[0] = -1;
    values[1] = static_cast<int32_t>(baudRate);
    if (ReadSettingsValues(values) == 0) return 0;
    char16_t name[16];
    if (values[0] == -1) CopyText(name, 16, portName);
    else FormatText(name, 16, "COM%d:", (values[0] >= 1 && values[0] <= 5) ? values[0] : 1);
    const uint32_t speed = static_cast<uint32_t>(values[1]);
    if (TextToUtf8(name) == TextToUtf8(portName) && speed == baudRate) return 0;
    CopyText(newName, 16, name);
    *newBaudRate = speed;
    return 1;
}
