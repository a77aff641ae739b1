// The main flow and the setup sequence (see main_flow.h).
#include "app/main_flow.h"

#include "install/registration.h"
#include "install/run.h"
#include "package/descriptor.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "stream/volume.h"
#include "ui/destination.h"
#include "ui/resources/dialog_ids.h"
#include "ui/settings.h"

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

  const ResultCode opened = OpenDataStream();
  if (opened != kResultOk) return opened;
  const ResultCode result = RunInstallation(InstallDirectory);
  CloseDataStream();
  if (result != kResultOk) return result;

  if (SettingsPresent == 0) WriteGraphicsMode();
  if (!Package.ControlPanelPackage) RegisterWithProgramManager();
  plat::RunDialog(SettingsPresent == 0 ? IDD_FINISH_FIRST : IDD_FINISH_AGAIN);
  return kResultOk;
}
