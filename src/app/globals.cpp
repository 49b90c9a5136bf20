#include "app/globals.h"

InstanceHandle hInstance = nullptr;
WindowHandle mainWindow = nullptr;
char16_t portName[kPortNameSize] = u"COM1:";
BitmapHandle mapBitmap = nullptr;
IconHandle arrowIcons[kArrowCount] = {};
char16_t soundDirectory[kSoundDirectorySize] = u"\\Scheda di memoria\\Velkar";
int32_t logTickCounter = 0;
int32_t redrawCounter = 0;
