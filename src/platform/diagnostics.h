// Diagnostics for the user who asked for them (velkar --verbose, or a tool's
// own option): what the platform did and why something failed, one line each on
// standard error. Without the switch nothing is printed: the navigator stays
// silent. Standard library only; safe on any thread (one line is one write).
#pragma once

// Turns the lines on (1) or off (0); off at start.
void SetVerbose(int on);
int VerboseEnabled();

// One line "velkar: <text>\n" on standard error when the switch is on; printf
// format, the line end is added. Does nothing when the switch is off.
void VerboseLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
