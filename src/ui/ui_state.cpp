#include "ui/ui_state.h"

#include "platform/dialogs.h"

plat::Window MainWindow = nullptr;
plat::Window FileTransferDialog = nullptr;

void ResetUiState() {
  MainWindow = nullptr;
  FileTransferDialog = nullptr;
  ModalResult = 0;
}
