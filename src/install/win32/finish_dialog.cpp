// The finish dialogs 411 and 412 (see finish_dialog.h).
#include "install/win32/finish_dialog.h"

#include "base/result.h"
#include "package/descriptor.h"
#include "ui/resources/dialog_ids.h"
#include "ui/ui_state.h"
#include "ui/win32/dialog_framework.h"

INT_PTR CALLBACK FinishDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                  LPARAM lParam) {
  if (IsDialogColourMessage(message)) {
    return DialogColourAnswer(dialog, wParam, lParam);
  }
  switch (message) {
    case WM_INITDIALOG:
      FormatItemWithTitle(dialog, IDC_FINISH_TEXT);
      SetItemString(dialog, IDC_FINISH_HINT,
                    Package.ControlPanelPackage ? kStrFinishControlPanel
                                                : kStrFinishGame);
      CentreDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_BUTTON_OK ||
          LOWORD(wParam) == IDC_BUTTON_CANCEL) {
        CloseWith(dialog, static_cast<int>(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}
