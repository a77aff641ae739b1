// Program Manager registration over DDE (see registration.h).
#include "install/registration.h"

#include <cstring>

#include "base/memory.h"
#include "install/placement.h"
#include "install/progman.h"
#include "package/descriptor.h"
#include "platform/dde.h"
#include "ui/destination.h"
#include "ui/ui_state.h"

namespace {

// A text field of the descriptor's header, which need not be terminated
// inside its field, as a terminated copy.
void CopyHeaderField(char* out, const char* field, size_t fieldSize) {
  const size_t length = strnlen(field, fieldSize - 1);
  memcpy(out, field, length);
  out[length] = '\0';
}

}  // namespace

void RegisterWithProgramManager() {
  plat::DdeInstance instance = 0;
  if (plat::DdeInitializeClient(&instance) != plat::kDmlErrNoError) return;

  plat::MemHandle memory = nullptr;
  char* block = static_cast<char*>(AllocLocked(kCommandBlockSize, &memory));
  if (block != nullptr) {
    char programFile[kProgramFileSize];
    char productTitle[kProductTitleSize];
    CopyHeaderField(programFile, Package.Header.programFile, kProgramFileSize);
    CopyHeaderField(productTitle, Package.Header.productTitle,
                    kProductTitleSize);
    const ProgmanItems items = {InstallDirectory, programFile, productTitle,
                                Placement.UninstallerName};
    const int count = ProgmanCommandCount(items);
    for (int number = 1; number <= count; ++number) {
      if (ComposeProgmanCommand(number, items, block)) {
        plat::SendProgmanCommand(instance, block);
      }
      // The group window and the new item come to the front; the
      // installer's own window goes back there.
      if (number == 1 || number == 3) plat::ActivateWindow(MainWindow);
    }
    FreeLocked(&memory);
  }
  plat::DdeUninitializeClient(instance);
}
