// The few items of user-interface state that the portable logic shares with
// the windows: the background window and the progress dialog that owns every
// message box of the installation run. ModalResult, the integer that ends
// the current dialog loop, is the platform's (platform/dialogs.h).
#pragma once

#include "platform/platform.h"

extern plat::Window MainWindow;
extern plat::Window FileTransferDialog;

// Clears the two and ModalResult (for tests).
void ResetUiState();
