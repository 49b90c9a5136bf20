// What the two GoTo dialogs share: the main view's repaint request and the way
// out, which gives the view back to the receiver.
#pragma once

#include "platform/window.h"

// Repaints the whole main view with its background erased.
void RepaintMainView();

// "Exit" of either GoTo dialog: gotoActive 0, so live sentences are accepted
// again, then a repaint and the dialog closed with end code 0.
void EndGoTo(WindowHandle dialog);
