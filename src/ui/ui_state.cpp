#include "ui/ui_state.h"

plat::Window MainWindow = nullptr;
plat::Window FileTransferDialog = nullptr;
int ModalResult = 0;

void ResetUiState() {
  MainWindow = nullptr;
  FileTransferDialog = nullptr;
  ModalResult = 0;
}
