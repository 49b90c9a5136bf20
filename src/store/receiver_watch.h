// The receiver named by the settings file while the navigator runs: another
// program (velkar-port use) may write a new comPort or baudRate; the serial
// layer asks about once a second whether the port it has open is still the one.
#pragma once

#include <cstdint>

// Reads comPort and baudRate from the settings file as it is now. 1 with newName
// ("COM1:".."COM5:", the same rule as at start; room for 16 characters) and
// *newBaudRate when they name another port or speed than portName and baudRate;
// 0 when they name the same, or the file cannot be read (nothing to go by).
// Reads no global record: safe on the reader thread.
int ReceiverSettingsMoved(const char16_t* portName, uint32_t baudRate, char16_t* newName, uint32_t* newBaudRate);
