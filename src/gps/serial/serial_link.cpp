// Serial link, first stage: no device layer yet, so opening fails as a missing
// device would.
#include "gps/serial_link.h"

#include "app/globals.h"
#include "platform/window.h"

std::atomic<PortHandle> portHandle{kInvalidPort};

int OpenPort(const char16_t* name, int32_t baudRate)
{
    portHandle = kInvalidPort;
    ShowMessageBox(mainWindow, u"Unable to open the port", u"Error");
    return 0;
}

void ReleasePortWait(PortHandle handle) {}

int ClosePort(PortHandle handle)
{
    return 0;
}

int ReaderThread()
{
    return 0;
}
