// What the process side of the Qt layer shares between its files: the quit state
// of the message loop and the one-instance endpoint, both reset or stopped by
// PlatformMain. Used only inside src/platform/qt/.
#pragma once

// Forgets an earlier PostQuit (a new run of PlatformMain starts clean).
void ResetQuitState();
// Stops listening for later starts on this device root.
void StopInstanceServer();
