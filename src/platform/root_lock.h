// Advisory lock over a device root's files: every program that reads, changes and
// replaces vlcfg.cfg, vlmap.cfg, vlpref.cfg, vlview.cfg or a dev/COMn entry holds
// it for the whole read-modify-write, so that two writers never lose each other's
// records. One lock file per root ("<root>/.velkar.lock", flock); its text names
// the holder ("velkar-map 1234"), so that a waiter can say who holds it.
#pragma once

#include <cstdint>
#include <string>

// Takes the device root's lock, waiting up to waitMs. holderName is this
// program's name. Returns the lock (a descriptor, >= 0); -1 when it could not be
// had in time or the lock file cannot be opened, with *holder set to the
// holder's text when holder is not nullptr: "another program" when the holder
// gave no name, "" when the lock file itself cannot be opened (a missing or
// read-only root, where no other program can take the lock either).
int LockDeviceRoot(int32_t waitMs, const char* holderName, std::string* holder);

// Releases a lock taken by LockDeviceRoot (a -1 is ignored).
void UnlockDeviceRoot(int lock);
