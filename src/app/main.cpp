// The velkar program: hands the command line and the resource table to the
// platform layer, which sets up the window system and the device root and then
// runs VelkarEntry.
#include "app/shell.h"
#include "platform/window.h"
#include "resources/resources.h"

int main(int argc, char** argv)
{
    return PlatformMain(argc, argv, &velkarResources, VelkarEntry);
}
