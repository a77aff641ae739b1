// The few items of user-interface state that the portable logic shares with
// the windows: the background window, the progress dialog that owns every
// message box of the installation run, and ModalResult, the one integer that
// ends the current dialog loop (0 while a dialog runs; the id of the control
// that closed it, or 2 for cancel, a quit request or the close command).
#pragma once

#include "platform/platform.h"

extern plat::Window MainWindow;
extern plat::Window FileTransferDialog;
extern int ModalResult;

// Clears the three (for tests).
void ResetUiState();
