// The finish dialog that closes a successful installation: template 412
// after a first installation (with the note on graphics drivers), 411 after
// a re-installation.
#pragma once

#include "platform/win32/windows_api.h"

// Fills in the product title and the closing hint (string 305 for a game,
// 306 "Use the Control Panel to run it." for a Control Panel package);
// OK or "Quit Installer" (1 or 2, Enter or Escape) closes it.
INT_PTR CALLBACK FinishDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                  LPARAM lParam);
