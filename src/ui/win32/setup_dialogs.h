// The dialog procedures of the choices the user makes before anything is
// installed: the welcome dialog (template 400), the graphics-mode dialog
// (403) and the destination dialog (401). Each follows the framework's
// protocol (dialog_framework.h); what they decide lives in ui/settings.h and
// ui/destination.h.
#pragma once

#include "platform/win32/windows_api.h"

// 400: fills in the product title, enables "Change Graphic Driver" only
// when the settings were present; 2, 101 and 102 close it with that
// result.
INT_PTR CALLBACK WelcomeDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                   LPARAM lParam);

// 403: shows GraphicsModeFlags as one of its three radio buttons and opens
// with the focus on Cancel, so that Enter changes nothing; OK stores the
// confirmed mode in GraphicsModeFlags and closes with 1, Cancel (or
// Escape) closes with 2 and changes nothing.
INT_PTR CALLBACK GraphicsModeDialogProc(HWND dialog, UINT message,
                                        WPARAM wParam, LPARAM lParam);

// 401: proposes the default InstallDirectory and shows the space required
// and available (again whenever the field loses the focus); OK closes with
// 1 once AcceptDestination has settled InstallDirectory, "Quit Installer"
// with 2. Paints the separator line.
INT_PTR CALLBACK DestinationDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                       LPARAM lParam);
