// Probe for the Exit road: opens COM1 under the device root given as argument,
// reports "open <result>", waits for one sentence, reports "parsed <utcTime>
// waiting <reader threads>" and returns from main with the reader thread still
// in its wait, as the Exit command leaves the program.
#include <cstdio>
#include <string>

#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "platform/files.h"

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    SetDeviceRoot(argv[1]);
    std::printf("open %d\n", OpenPort(u"COM1:", 4800));
    std::fflush(stdout);
    sentenceEnds.wait(0);
    GpsState g = SnapshotGpsState();
    std::string time(g.utcTime, g.utcTime + 6);
    std::printf("parsed %s waiting %d\n", time.c_str(), readerThreadsRunning.load());
    std::fflush(stdout);
    return 0;
}
