// What the dialog side of the Qt layer shares between its files: the control-id
// property, notifications to the dialog procedure and the building of one control
// from its template. Used only inside src/platform/qt/.
#pragma once

#include <QDialog>
#include <QPushButton>

#include "platform/window.h"

constexpr const char* kControlIdProperty = "velkarControlId";

// Sends command message 273 (wParam = id | code << 16) to the dialog procedure,
// unless the dialog is gone or a control message holds notifications back.
void Notify(WindowHandle dialog, int32_t id, uint32_t code);

// Builds control c of dialog as a child of parent; a default push button is
// also stored in *defaultButton. nullptr for a kind it does not know.
QWidget* MakeControl(const ControlTemplate& c, WindowHandle dialog, QDialog* parent, QPushButton** defaultButton,
                     InstanceHandle instance);
