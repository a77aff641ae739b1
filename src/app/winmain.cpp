// The installer's entry: one instance only, the background window with its
// gradient, the package descriptor, and the fixed order of teardown.
//
// Start-up refuses to run beside another installer (it brings that one to
// the front instead), creates MainWindow over the middle of the screen,
// loads the descriptor beside the executable, reports a package that
// cannot be loaded and runs the main flow (app/main_flow.h) for one that
// can. Whatever happens after MainWindow exists ends in the
// same teardown: the record table released, MainWindow destroyed, the
// queue drained up to the quit request, DialogBrush deleted. The exit code
// is 0, except -1 when MainWindow cannot be created.
//
// MainWindow is never closed by its close command: that only sets
// ModalResult to 2, which ends whatever dialog loop is running. If the
// window is destroyed anyway (another program closing it), the run is over
// as well: ModalResult becomes 2 and teardown neither destroys the window
// again nor waits for a second quit request.
#include "app/background.h"
#include "app/main_flow.h"
#include "base/memory.h"
#include "base/result.h"
#include "package/descriptor.h"
#include "platform/dialogs.h"
#include "ui/dialog_layout.h"
#include "ui/messages.h"
#include "ui/resources/resource.h"
#include "ui/ui_state.h"
#include "ui/win32/main_window.h"

HINSTANCE Instance = nullptr;
HBRUSH DialogBrush = nullptr;

namespace {

constexpr char kClassName[] = "VemoClass";

bool DialogBrushIsStock = false;
// Teardown is destroying MainWindow (the expected WM_DESTROY).
bool TearingDown = false;
// MainWindow was destroyed before teardown, by something other than us.
bool MainWindowGone = false;

// Paints the update rectangle with the gradient, one brush per run of rows
// of equal colour.
void PaintBackground(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc != nullptr) {
    GradientBand bands[kMaxGradientBands];
    const size_t count =
        GradientBands(client.bottom, paint.rcPaint.top, paint.rcPaint.bottom,
                      bands, kMaxGradientBands);
    const int left = paint.rcPaint.left;
    const int width = paint.rcPaint.right - paint.rcPaint.left;
    HGDIOBJ original = nullptr;
    HBRUSH current = nullptr;
    for (size_t i = 0; i < count; ++i) {
      HBRUSH brush = CreateSolidBrush(RGB(0, 0, bands[i].blue));
      if (brush == nullptr) continue;  // the band stays as it was
      HGDIOBJ previous = SelectObject(dc, brush);
      if (current == nullptr) {
        original = previous;
      } else {
        DeleteObject(current);
      }
      current = brush;
      PatBlt(dc, left, bands[i].first, width,
             bands[i].last - bands[i].first + 1, PATCOPY);
    }
    if (current != nullptr) {
      SelectObject(dc, original);
      DeleteObject(current);
    }
  }
  EndPaint(window, &paint);
}

LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      if (!TearingDown) {
        // Closed from outside: whatever runs now ends as if cancelled.
        MainWindowGone = true;
        ModalResult = kResultCancel;
      }
      PostQuitMessage(0);
      break;
    case WM_PAINT:
      PaintBackground(window);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        ModalResult = kResultCancel;
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Brings the running installer, and the box or dialog it shows, to the
// front. Returns false when no other installer runs.
bool ActivateOtherInstance() {
  HWND other = FindWindowA(kClassName, nullptr);
  if (other == nullptr) return false;
  HWND popup = GetLastActivePopup(other);
  BringWindowToTop(other);
  if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
  if (popup != other) BringWindowToTop(popup);
  return true;
}

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProcedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SETUP));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  // The class erases nothing: the gradient covers the whole client area.
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  windowClass.lpszClassName = kClassName;
  return RegisterClassA(&windowClass) != 0;
}

void CreateDialogBrush() {
  DialogBrush = CreateSolidBrush(RGB(192, 192, 192));
  DialogBrushIsStock = DialogBrush == nullptr;
  if (DialogBrushIsStock) {
    DialogBrush = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  }
}

void Teardown() {
  FreeLocked(&Package.TableHandle);
  Package.RecordTable = nullptr;
  MSG message;
  if (!MainWindowGone) {
    TearingDown = true;
    DestroyWindow(static_cast<HWND>(MainWindow));
    // WM_DESTROY has posted the quit request; nothing can take it first.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      DispatchMessageA(&message);
    }
  } else {
    // The quit request posted when the window went may already have ended
    // a dialog loop or message box: handle what is pending, wait for
    // nothing.
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) &&
           message.message != WM_QUIT) {
      DispatchMessageA(&message);
    }
  }
  if (!DialogBrushIsStock) DeleteObject(DialogBrush);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (ActivateOtherInstance()) return 0;

  Instance = instance;
  LoadCaption();
  if (!RegisterMainWindowClass(instance)) return 0;
  CreateDialogBrush();

  const MainWindowPlacement placement = PlaceMainWindow(
      GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
      GetSystemMetrics(SM_CYMENU));
  HWND window =
      CreateWindowExA(0, kClassName, Caption, WS_OVERLAPPEDWINDOW,
                      placement.left, placement.top, placement.width,
                      placement.height, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    PlainWarningBox(nullptr, kResultWindowProblem);
    return -1;
  }
  MainWindow = window;
  // Always shown normally, whatever the show request, and painted at once.
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  DialogCentre = DialogPoint{placement.centreX, placement.centreY};

  const ResultCode loaded = LoadPackage();
  if (loaded != kResultOk) {
    ReportResult(MainWindow, loaded);
  } else {
    MainFlow();
  }

  Teardown();
  return 0;
}
