// The file-transfer dialog and the halt confirmation (see
// transfer_dialog.h), and the run's progress interface on Windows.
#include "install/win32/transfer_dialog.h"

#include "base/text.h"
#include "platform/progress.h"
#include "ui/resources/dialog_ids.h"
#include "ui/ui_state.h"
#include "ui/win32/dialog_framework.h"
#include "ui/win32/main_window.h"

namespace {

constexpr COLORREF kBarBlue = RGB(0, 0, 192);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// The percentage the bar shows: what the run last gave SetProgress, kept
// here for repainting.
int ShownPercent = 0;

HWND AsWindow(plat::Window window) { return static_cast<HWND>(window); }

}  // namespace

void DrawProgressBar(HWND dialog, HDC dc) {
  HDC own = nullptr;
  if (dc == nullptr) {
    own = GetDC(dialog);
    if (own == nullptr) return;
    dc = own;
  }
  HWND frame = GetDlgItem(dialog, IDC_TRANSFER_BAR);
  if (frame != nullptr) {
    RECT outer = {};
    GetWindowRect(frame, &outer);
    InflateRect(&outer, -1, -1);
    POINT topLeft = {outer.left, outer.top};
    ScreenToClient(dialog, &topLeft);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const RECT inner = {topLeft.x, topLeft.y, topLeft.x + width,
                        topLeft.y + height};
    const int percent = ShownPercent;
    const int filled =
        width > 0 ? static_cast<int>(static_cast<unsigned>(percent) *
                                     static_cast<unsigned>(width) / 100u)
                  : 0;
    if (percent != 0) {
      HBRUSH blue = CreateSolidBrush(kBarBlue);
      if (blue != nullptr) {
        const RECT done = {inner.left, inner.top, inner.left + filled,
                           inner.bottom};
        FillRect(dc, &done, blue);
        DeleteObject(blue);
      }
    }
    const RECT rest = {inner.left + filled, inner.top, inner.right,
                       inner.bottom};
    FillRect(dc, &rest, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));

    char text[16];
    FormatText(text, sizeof text, "%d%%", percent);
    const COLORREF oldBackground = SetBkColor(dc, kWhite);
    const int oldMode = SetBkMode(dc, OPAQUE);
    SetTextColor(dc, kBarBlue);
    RECT textArea = inner;
    DrawTextA(dc, text, -1, &textArea, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    SetBkMode(dc, oldMode);
    SetBkColor(dc, oldBackground);
  }
  if (own != nullptr) ReleaseDC(dialog, own);
}

INT_PTR CALLBACK FileTransferDialogProc(HWND dialog, UINT message,
                                        WPARAM wParam, LPARAM lParam) {
  if (IsDialogColourMessage(message)) {
    return DialogColourAnswer(dialog, wParam, lParam);
  }
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(dialog, &paint);
      if (dc != nullptr) DrawProgressBar(dialog, dc);
      EndPaint(dialog, &paint);
      return TRUE;
    }
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, IDC_TRANSFER_NAME, "");
      CentreDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_BUTTON_CANCEL) {
        const INT_PTR answer =
            DialogBoxParamA(Instance, MAKEINTRESOURCEA(IDD_CONFIRM_HALT),
                            dialog, ConfirmHaltDialogProc, 0);
        if (answer != IDC_BUTTON_NO) CloseWith(dialog, 2);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ConfirmHaltDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
  if (IsDialogColourMessage(message)) {
    return DialogColourAnswer(dialog, wParam, lParam);
  }
  switch (message) {
    case WM_INITDIALOG:
      FormatItemWithTitle(dialog, IDC_HALT_TEXT);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_BUTTON_YES || LOWORD(wParam) == IDC_BUTTON_NO) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// ---- the run's progress interface (platform/progress.h) ---------------------

namespace plat {

Window CreateTransferDialog() {
  ShownPercent = 0;
  return CreateDialogParamA(Instance, MAKEINTRESOURCEA(IDD_FILE_TRANSFER),
                            static_cast<HWND>(MainWindow),
                            FileTransferDialogProc, 0);
}

void ShowTransferName(Window dialog, const char* name) {
  SetDlgItemTextA(AsWindow(dialog), IDC_TRANSFER_NAME, name);
  // Nothing is pumped while the file is placed: show the name now.
  UpdateWindow(GetDlgItem(AsWindow(dialog), IDC_TRANSFER_NAME));
}

void DrawTransferProgress(Window dialog, int percent) {
  ShownPercent = percent;
  DrawProgressBar(AsWindow(dialog), nullptr);
}

int PumpMessages(Window dialog) { return ::PumpMessages(AsWindow(dialog)); }

void DestroyTransferDialog(Window dialog) { DestroyWindow(AsWindow(dialog)); }

}  // namespace plat
