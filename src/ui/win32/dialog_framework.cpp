// The Windows dialog framework (see dialog_framework.h).
#include "ui/win32/dialog_framework.h"

#include "platform/dialogs.h"
#include "ui/dialog_layout.h"
#include "ui/dialog_text.h"
#include "ui/ui_state.h"
#include "ui/win32/main_window.h"

namespace {

constexpr int kPumpLimit = 20;
constexpr int kSeparatorFrame = 1000;
constexpr COLORREF kDialogGrey = RGB(192, 192, 192);

HWND Main() { return static_cast<HWND>(MainWindow); }

// Offers msg to dialog's keyboard handling, otherwise translates and
// dispatches it.
void Deliver(HWND dialog, MSG* msg) {
  if (dialog != nullptr && IsDialogMessageA(dialog, msg)) return;
  TranslateMessage(msg);
  DispatchMessageA(msg);
}

// Fills (left, top, width, height) with the system colour index by an
// opaque empty text.
void FillWithSystemColour(HDC dc, int index, int left, int top, int width,
                          int height) {
  SetBkColor(dc, GetSysColor(index));
  RECT area = {left, top, left + width, top + height};
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &area, "", 0, nullptr);
}

}  // namespace

int RunDialog(int templateId, DLGPROC procedure, LPARAM parameter) {
  ModalResult = 0;
  HWND dialog = CreateDialogParamA(Instance, MAKEINTRESOURCEA(templateId),
                                   Main(), procedure, parameter);
  if (dialog == nullptr) return 2;
  MSG msg;
  while (ModalResult == 0) {
    // 0 is the quit request; -1 a failure that would repeat for ever.
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
      ModalResult = 2;
      break;
    }
    Deliver(dialog, &msg);
  }
  DestroyWindow(dialog);
  return ModalResult;
}

int PumpMessages(HWND dialog) {
  MSG msg;
  for (int handled = 0; handled < kPumpLimit; ++handled) {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) break;
    if (msg.message == WM_QUIT) {
      ModalResult = 2;
      continue;
    }
    Deliver(dialog, &msg);
  }
  return ModalResult;
}

void CentreDialog(HWND dialog) {
  RECT main = {};
  RECT own = {};
  GetWindowRect(Main(), &main);
  GetWindowRect(dialog, &own);
  const DialogPoint at = CentredDialogPosition(
      DialogCentre, main.right - main.left, main.bottom - main.top,
      own.right - own.left, own.bottom - own.top);
  SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  PostMessageA(dialog, WM_NCACTIVATE, TRUE, 0);
}

void RememberDialogCentre(HWND dialog) {
  RECT own = {};
  GetWindowRect(dialog, &own);
  const DialogPoint centre =
      RectangleCentre(own.left, own.top, own.right, own.bottom);
  POINT point = {centre.x, centre.y};
  ScreenToClient(Main(), &point);
  DialogCentre = DialogPoint{point.x, point.y};
}

HBRUSH DialogColour(HWND, HDC dc, HWND) {
  SetBkColor(dc, kDialogGrey);
  return DialogBrush;
}

bool IsDialogColourMessage(UINT message) {
  return message == WM_CTLCOLORMSGBOX || message == WM_CTLCOLORBTN ||
         message == WM_CTLCOLORDLG || message == WM_CTLCOLORSTATIC;
}

INT_PTR DialogColourAnswer(HWND dialog, WPARAM wParam, LPARAM lParam) {
  return reinterpret_cast<INT_PTR>(DialogColour(
      dialog, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
}

void CloseWith(HWND dialog, int result) {
  RememberDialogCentre(dialog);
  ModalResult = result;
}

void DrawSunkenFrame(HWND dialog, HDC dc) {
  HWND frame = GetDlgItem(dialog, kSeparatorFrame);
  if (frame == nullptr) return;
  RECT r = {};
  GetWindowRect(frame, &r);
  POINT topLeft = {r.left, r.top};
  POINT bottomRight = {r.right, r.bottom};
  ScreenToClient(dialog, &topLeft);
  ScreenToClient(dialog, &bottomRight);
  const int left = topLeft.x;
  const int top = topLeft.y;
  const int right = bottomRight.x;
  const int bottom = bottomRight.y;
  const int w = right - left;
  const int h = bottom - top;
  FillWithSystemColour(dc, COLOR_BTNFACE, left + 1, top + 1, w - 2, h - 2);
  FillWithSystemColour(dc, COLOR_BTNSHADOW, left, top, w - 1, 1);
  FillWithSystemColour(dc, COLOR_BTNSHADOW, left, top, 1, h - 1);
  FillWithSystemColour(dc, COLOR_BTNHIGHLIGHT, left, bottom - 1, w, 1);
  FillWithSystemColour(dc, COLOR_BTNHIGHLIGHT, right - 1, top, 1, h);
}

void SetItemString(HWND dialog, int control, unsigned stringId) {
  char text[255];
  if (LoadStringA(Instance, stringId, text, sizeof text) == 0) {
    text[0] = '\0';
  }
  SetDlgItemTextA(dialog, control, text);
}

void FormatItemWithTitle(HWND dialog, int control) {
  char format[kItemTextSize];
  if (GetDlgItemTextA(dialog, control, format, sizeof format) == 0) {
    format[0] = '\0';
  }
  char text[kItemTextSize];
  FormatWithTitle(text, sizeof text, format);
  SetDlgItemTextA(dialog, control, text);
}

void ShowKb(HWND dialog, int control, uint32_t kb) {
  char text[kKbTextSize];
  FormatKb(text, sizeof text, kb);
  SetDlgItemTextA(dialog, control, text);
}
