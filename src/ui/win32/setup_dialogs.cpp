// The welcome, graphics-mode and destination dialogs (see setup_dialogs.h).
#include "ui/win32/setup_dialogs.h"

#include "package/descriptor.h"
#include "ui/destination.h"
#include "ui/resources/dialog_ids.h"
#include "ui/settings.h"
#include "ui/ui_state.h"
#include "ui/win32/dialog_framework.h"

namespace {

// The radio button the user left selected.
GraphicsModeChoice SelectedMode(HWND dialog) {
  if (IsDlgButtonChecked(dialog, IDC_MODE_OPTIMISED) == BST_CHECKED) {
    return kChoiceOptimised;
  }
  if (IsDlgButtonChecked(dialog, IDC_MODE_WING) == BST_CHECKED) {
    return kChoiceWinG;
  }
  return kChoiceStandard;
}

// Shows the free space of the volume that holds text in control 102.
void ShowAvailable(HWND dialog, const char* text) {
  ShowKb(dialog, IDC_DEST_AVAILABLE_KB, FreeSpaceKb(text));
}

}  // namespace

INT_PTR CALLBACK WelcomeDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
  if (IsDialogColourMessage(message)) {
    return DialogColourAnswer(dialog, wParam, lParam);
  }
  switch (message) {
    case WM_INITDIALOG:
      FormatItemWithTitle(dialog, IDC_WELCOME_TEXT);
      FormatItemWithTitle(dialog, IDC_WELCOME_SETUP);
      EnableWindow(GetDlgItem(dialog, IDC_WELCOME_CHANGE_DRIVER),
                   ChangeDriverOffered() ? TRUE : FALSE);
      CentreDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_BUTTON_CANCEL:
        case IDC_WELCOME_SETUP:
        case IDC_WELCOME_CHANGE_DRIVER:
          CloseWith(dialog, static_cast<int>(wParam));
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK GraphicsModeDialogProc(HWND dialog, UINT message,
                                        WPARAM wParam, LPARAM lParam) {
  if (IsDialogColourMessage(message)) {
    return DialogColourAnswer(dialog, wParam, lParam);
  }
  switch (message) {
    case WM_INITDIALOG:
      CheckRadioButton(dialog, IDC_MODE_OPTIMISED, IDC_MODE_WING,
                       GraphicsModeShown(GraphicsModeFlags));
      CentreDialog(dialog);
      // The checked radio button has a tab stop now and would take the
      // platform's first focus, leaving Enter to OK. The focus goes to
      // Cancel instead, through the dialog manager, which also makes it the
      // default push button (SetFocus alone would leave Enter to OK).
      SendMessageA(
          dialog, WM_NEXTDLGCTL,
          reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_BUTTON_CANCEL)),
          TRUE);
      return FALSE;  // the focus is set
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_BUTTON_OK:
          GraphicsModeFlags =
              GraphicsModeConfirmed(GraphicsModeFlags, SelectedMode(dialog));
          CloseWith(dialog, IDC_BUTTON_OK);
          return TRUE;
        case IDC_BUTTON_CANCEL:
          CloseWith(dialog, IDC_BUTTON_CANCEL);
          return TRUE;
        default:
          return FALSE;  // the radio buttons select themselves
      }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK DestinationDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
  if (IsDialogColourMessage(message)) {
    return DialogColourAnswer(dialog, wParam, lParam);
  }
  switch (message) {
    case WM_INITDIALOG:
      SetDefaultInstallDirectory();
      SetDlgItemTextA(dialog, IDC_DEST_FIELD, InstallDirectory);
      FormatItemWithTitle(dialog, IDC_DEST_TEXT);
      ShowKb(dialog, IDC_DEST_REQUIRED_KB, Package.RequiredKb);
      ShowAvailable(dialog, InstallDirectory);
      CentreDialog(dialog);
      return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(dialog, &paint);
      if (dc != nullptr) DrawSunkenFrame(dialog, dc);
      EndPaint(dialog, &paint);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_DEST_FIELD:
          if (HIWORD(wParam) == EN_KILLFOCUS) {
            char text[kPathSize];
            GetDlgItemTextA(dialog, IDC_DEST_FIELD, text, sizeof text);
            ShowAvailable(dialog, text);
            return TRUE;
          }
          return FALSE;
        case IDC_BUTTON_OK: {
          char text[kPathSize];
          if (GetDlgItemTextA(dialog, IDC_DEST_FIELD, text, sizeof text) == 0) {
            text[0] = '\0';
          }
          if (AcceptDestination(dialog, text)) {
            CloseWith(dialog, IDC_BUTTON_OK);
          }
          return TRUE;
        }
        case IDC_BUTTON_CANCEL:
          CloseWith(dialog, IDC_BUTTON_CANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}
