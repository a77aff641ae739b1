// Resetting every module's state (see installer_state.h).
#include "install/installer_state.h"

#include "base/result.h"
#include "install/placement.h"
#include "install/run.h"
#include "package/descriptor.h"
#include "stream/lzhuf.h"
#include "stream/output.h"
#include "stream/volume.h"
#include "ui/destination.h"
#include "ui/messages.h"
#include "ui/settings.h"
#include "ui/ui_state.h"

void ResetInstallerState() {
  ResetPackage();
  ResetUiState();
  ResetVolume();
  ResetOutput();
  ResetDecoder();
  ResetPlacement();
  ResetRun();
  ResetDestination();
  ResetSettings();
  SubjectPath[0] = '\0';
  Caption[0] = '\0';
}
