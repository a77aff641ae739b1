// The main flow and the setup sequence (see main_flow.h).
#include "app/main_flow.h"

#include <cstring>

#include "base/memory.h"
#include "base/text.h"
#include "install/registration.h"
#include "install/run.h"
#include "package/descriptor.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "stream/volume.h"
#include "ui/destination.h"
#include "ui/resources/dialog_ids.h"
#include "ui/settings.h"

namespace {

// DataVolumePath: the installer's directory and programFile with ".dat" in
// place of its extension (appended when it has none). A path that would not
// fit in 259 characters is left empty, so that no volume opens, rather than
// cut into the name of another file.
void SetDataVolumePath() {
  char programFile[kProgramFileSize];
  const size_t length =
      strnlen(Package.Header.programFile, kProgramFileSize - 1);
  memcpy(programFile, Package.Header.programFile, length);
  programFile[length] = '\0';
  char* path = Volume.DataVolumePath;
  if (!CopyText(path, kPathSize, Package.SourceDirectory) ||
      !AppendText(path, kPathSize, programFile) ||
      !ReplaceExtension(path, ".dat")) {
    path[0] = '\0';
  }
}

}  // namespace

void MainFlow() {
  ReadSettings();
  switch (plat::RunDialog(IDD_WELCOME)) {
    case IDC_WELCOME_SETUP:
      SetupSequence();
      break;
    case IDC_WELCOME_CHANGE_DRIVER:
      if (plat::RunDialog(IDD_GRAPHICS_MODE) == plat::kIdOk) {
        WriteGraphicsMode();
      }
      break;
    default:
      break;
  }
}

ResultCode SetupSequence() {
  if (plat::RunDialog(IDD_DESTINATION) == kResultCancel) return kResultCancel;

  Volume.CurrentDisk = 1;
  SetDataVolumePath();
  Volume.VolumeHandle = plat::kFileError;
  Volume.InputBuffer =
      static_cast<uint8_t*>(AllocLocked(kInputBufferSize, &Volume.InputMemory));
  if (Volume.InputBuffer == nullptr) return kResultNoMemory;
  Volume.InputLeft = 0;
  Volume.InputCursor = Volume.InputBuffer;

  const ResultCode result = RunInstallation(InstallDirectory);

  if (Volume.VolumeHandle != plat::kFileError) CloseVolume();
  FreeLocked(&Volume.InputMemory);
  Volume.InputBuffer = nullptr;
  Volume.InputCursor = nullptr;
  Volume.InputLeft = 0;
  if (result != kResultOk) return result;

  if (SettingsPresent == 0) WriteGraphicsMode();
  if (!Package.ControlPanelPackage) RegisterWithProgramManager();
  plat::RunDialog(SettingsPresent == 0 ? IDD_FINISH_FIRST : IDD_FINISH_AGAIN);
  return kResultOk;
}
