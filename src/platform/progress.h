// The dialog side of the installation run: what the run needs of its
// file-transfer dialog, as plain calls. In the Windows build they are the
// real dialog (template 410) and the dialog framework's message pump; on
// the host they are recorded and scripted (host_control.h), so a test can
// press Cancel before any record.
//
// Implemented for setup.exe by src/install/win32/transfer_dialog.cpp; on
// the host by src/platform/host/host_progress.cpp.
#pragma once

#include "platform/platform.h"

namespace plat {

// Creates the modeless file-transfer dialog as a child of MainWindow, its
// file label empty; null when it cannot be created.
Window CreateTransferDialog();
// Shows name in the dialog's file label (control 101).
void ShowTransferName(Window dialog, const char* name);
// Draws the percentage bar at once for percent (0 to 100).
void DrawTransferProgress(Window dialog, int percent);
// Handles at most 20 pending messages without waiting (a quit request sets
// ModalResult to 2 and is consumed); returns ModalResult.
int PumpMessages(Window dialog);
void DestroyTransferDialog(Window dialog);

}  // namespace plat
