// What start-up leaves for the window code of the rest of the installer
// (Windows build only): the program's module, whose resources every dialog
// and string comes from, and DialogBrush, the grey of every dialog face.
// MainWindow is in ui/ui_state.h, ModalResult in platform/dialogs.h,
// DialogCentre in ui/dialog_layout.h, the caption in ui/messages.h.
#pragma once

#include "platform/win32/windows_api.h"

// The program's own module, set at start-up.
extern HINSTANCE Instance;

// Solid RGB(192, 192, 192), or the stock light-grey brush when it could not
// be created. Start-up creates it and deletes it at the very end; nobody
// else may delete it.
extern HBRUSH DialogBrush;
