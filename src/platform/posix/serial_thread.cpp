// Threads for the serial link: an entry started at once on its own thread and
// released (never joined), as the reader thread is.
#include <system_error>
#include <thread>

#include "platform/serial.h"

int CreateDetachedThread(int (*entry)())
{
    try {
        std::thread thread([entry] { entry(); });
        thread.detach();
        return 1;
    } catch (const std::system_error&) {
        return 0;  // no thread could be created
    }
}
