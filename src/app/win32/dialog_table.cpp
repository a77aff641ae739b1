// Which procedure runs which dialog template: plat::RunDialog (platform/
// dialogs.h) for the main flow in the Windows build.
#include "install/win32/finish_dialog.h"
#include "platform/dialogs.h"
#include "ui/resources/dialog_ids.h"
#include "ui/win32/dialog_framework.h"
#include "ui/win32/setup_dialogs.h"

namespace {

struct DialogEntry {
  int templateId;
  DLGPROC procedure;
};

constexpr DialogEntry kDialogs[] = {
    {IDD_WELCOME, WelcomeDialogProc},
    {IDD_DESTINATION, DestinationDialogProc},
    {IDD_GRAPHICS_MODE, GraphicsModeDialogProc},
    {IDD_FINISH_AGAIN, FinishDialogProc},
    {IDD_FINISH_FIRST, FinishDialogProc},
};

}  // namespace

namespace plat {

int RunDialog(int templateId) {
  for (const DialogEntry& entry : kDialogs) {
    if (entry.templateId == templateId) {
      return ::RunDialog(templateId, entry.procedure, 0);
    }
  }
  return 2;
}

}  // namespace plat
