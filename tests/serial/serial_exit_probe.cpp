// Exit-road probe: opens COM1 under the device root given, prints "open <result>", then "parsed <utcTime>
// waiting <reader threads>" after one sentence, and returns from main with the reader still in its wait.
#include <cstdio>
#include <string>
#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "platform/files.h"

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    SetDeviceRoot(argv[1]);
    std::printf("open %d\n", OpenPort(u"COM1:", 4800)), std::fflush(stdout);
    sentenceEnds.wait(0);
    const GpsState g = SnapshotGpsState();
    std::printf("parsed %s waiting %d\n", std::string(g.utcTime, g.utcTime + 6).c_str(), readerThreadsRunning.load());
}
