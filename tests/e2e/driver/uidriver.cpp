// The UI driver of the Wine tests: a console program that runs beside
// setup.exe in the same Wine session and looks at and operates its windows
// the way a person would, one command per run.
//
//   uidriver wait-window CLASS [SECONDS]  a visible top-level window of CLASS
//   uidriver wait-gone CLASS [SECONDS]    no top-level window of CLASS left
//   uidriver wait-dialog TITLE [SECONDS]  a dialog of setup titled TITLE
//   uidriver wait-box [SECONDS]           a message box: caption, text, buttons
//   uidriver box-press BUTTON             press a box's button (id or text)
//   uidriver text|enabled|checked|visible ID
//                                         a control of the current dialog
//   uidriver click ID                     WM_COMMAND for ID to the current
//                                         dialog
//   uidriver type ID TEXT                 set the text of an edit control
//   uidriver window-rect CLASS            outer and client rectangle on screen
//   uidriver count CLASS                  visible top-level windows of CLASS
//   uidriver foreground                   the window that has the foreground
//   uidriver minimize|close|syscommand-close CLASS
//   uidriver pixel X Y                    the screen's colour at a point
//   uidriver idle                         wait until killed (see run.sh)
//   uidriver press ID                     BM_CLICK on a control of the
//                                         current dialog (a radio button
//                                         checks itself)
//   uidriver box-then-click BUTTON ID     a box's button, then at once ID to
//                                         the dialog of MainWindow under it
//   uidriver move-box X Y                 the message box to a screen point
//   uidriver focus                        the control that has setup's
//                                         keyboard focus
//   uidriver key return|escape [TITLE [SECONDS]]
//                                         the key, pressed on the control
//                                         that has setup's focus (once the
//                                         current dialog is titled TITLE)
//   uidriver move-dialog X Y              the current dialog's top left
//                                         corner to a screen point
//   uidriver close-dialog                 the close command (close box) to
//                                         the current dialog
//
// The current dialog is the first visible, enabled top-level dialog of the
// process that owns the VemoClass window (a modal confirmation, say), or
// else the dialog that is a child of that window (the modeless dialogs).
// Message boxes are top-level dialogs (class #32770) holding a static text
// whose id is 0xFFFF and no other static but their icon; they are never
// taken for the current dialog.
//
// Output, on stdout, one item a line, "key value" (see each command).
// Texts are printed on one line: a line break becomes the two characters
// \n, a tab \t; everything else, backslashes included, is printed as it is.
// Exit status: 0 done, 1 not found or timed out, 2 bad command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kMainClass[] = "VemoClass";
constexpr char kDialogClass[] = "#32770";
constexpr int kBoxTextId = 0xFFFF;
constexpr int kBoxIconId = 0x0440;
constexpr double kDefaultSeconds = 10.0;

std::string ClassOf(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The text of a window of any process: WM_GETTEXT is carried across
// processes, GetWindowText is not for controls.
std::string TextOf(HWND window) {
  char text[4096] = "";
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text,
                           reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                           2000, &result)) {
    GetWindowTextA(window, text, sizeof text);
  }
  text[sizeof text - 1] = '\0';
  return text;
}

std::string OneLine(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') continue;
      out += "\\n";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

void PrintWindow(const char* key, HWND window) {
  std::printf(
      "%s %#llx\n", key,
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
}

void PrintText(const char* key, const std::string& text) {
  std::printf("%s %s\n", key, OneLine(text).c_str());
}

// A message box holds its text (id 0xFFFF), perhaps its icon (0x0440) and
// buttons, and no other static: a dialog of setup whose unaddressed texts
// also carry 0xFFFF (id -1) has statics with ids of its own.
bool IsMessageBox(HWND window) {
  if (ClassOf(window) != kDialogClass ||
      GetDlgItem(window, kBoxTextId) == nullptr) {
    return false;
  }
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child) & 0xFFFF;
    if (ClassOf(child) == "Static" && id != kBoxTextId && id != kBoxIconId) {
      return false;
    }
  }
  return true;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;  // in z-order, topmost first
}

HWND FindTopLevel(const char* className) {
  for (HWND window : TopLevelWindows()) {
    if (ClassOf(window) == className && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

HWND FindMessageBox() {
  for (HWND window : TopLevelWindows()) {
    if (IsWindowVisible(window) && IsMessageBox(window)) return window;
  }
  return nullptr;
}

HWND CurrentDialog() {
  HWND main = FindWindowA(kMainClass, nullptr);
  if (main == nullptr) return nullptr;
  DWORD setupProcess = 0;
  GetWindowThreadProcessId(main, &setupProcess);
  for (HWND window : TopLevelWindows()) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == setupProcess && ClassOf(window) == kDialogClass &&
        IsWindowVisible(window) && IsWindowEnabled(window) &&
        !IsMessageBox(window)) {
      return window;
    }
  }
  for (HWND child = GetWindow(main, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == kDialogClass && IsWindowVisible(child)) return child;
  }
  return nullptr;
}

// The window that has the keyboard focus in setup's user-interface thread
// (MainWindow's), or null.
HWND SetupFocus() {
  HWND main = FindWindowA(kMainClass, nullptr);
  if (main == nullptr) return nullptr;
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info)) {
    return nullptr;
  }
  return info.hwndFocus;
}

// How long a key waits for the current dialog to take the focus.
constexpr double kFocusSeconds = 5;

// Calls probe every 50 ms until it finds something or the time is up.
template <typename Probe>
HWND WaitFor(double seconds, Probe probe) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND found = probe()) return found;
    if (GetTickCount() - start >= static_cast<DWORD>(seconds * 1000)) {
      return nullptr;
    }
    Sleep(50);
  }
}

double SecondsArgument(int argc, char** argv, int index) {
  return argc > index ? std::atof(argv[index]) : kDefaultSeconds;
}

// The dialog's handle and its window rectangle on the screen.
void PrintDialog(HWND dialog) {
  RECT outer = {};
  GetWindowRect(dialog, &outer);
  PrintWindow("dialog", dialog);
  std::printf("window %ld %ld %ld %ld\n", outer.left, outer.top, outer.right,
              outer.bottom);
}

// The focus window's control id (0 for none), class and text.
void PrintFocus(HWND focus) {
  std::printf("focus %d\n", focus != nullptr ? GetDlgCtrlID(focus) : 0);
  PrintText("class", focus != nullptr ? ClassOf(focus) : "");
  PrintText("text", focus != nullptr ? TextOf(focus) : "");
}

int NotFound(const char* what) {
  std::printf("error %s\n", what);
  return 1;
}

int Usage() {
  std::fputs(
      "usage: uidriver wait-window CLASS [SECONDS] | wait-gone CLASS "
      "[SECONDS]\n"
      "       | wait-dialog TITLE [SECONDS] | wait-box [SECONDS]\n"
      "       | box-press ID|TEXT | text|enabled|checked|visible ID\n"
      "       | click ID | type ID TEXT | window-rect CLASS | count CLASS\n"
      "       | foreground\n"
      "       | minimize|close|syscommand-close CLASS | pixel X Y | idle\n"
      "       | press ID | box-then-click BUTTON ID | move-box X Y\n"
      "       | focus | key return|escape [TITLE [SECONDS]]\n"
      "       | move-dialog X Y | close-dialog\n",
      stderr);
  return 2;
}

// Button text without the ampersands that mark access keys.
std::string Plain(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '&') out += c;
  }
  return out;
}

int WaitBox(double seconds) {
  HWND box = WaitFor(seconds, FindMessageBox);
  if (box == nullptr) return NotFound("no message box");
  PrintWindow("box", box);
  PrintText("caption", TextOf(box));
  PrintText("text", TextOf(GetDlgItem(box, kBoxTextId)));
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) != "Button" || !IsWindowVisible(child)) continue;
    std::printf("button %d %s\n", GetDlgCtrlID(child),
                OneLine(Plain(TextOf(child))).c_str());
  }
  return 0;
}

int BoxPress(const char* which) {
  HWND box = FindMessageBox();
  if (box == nullptr) return NotFound("no message box");
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) != "Button" || !IsWindowVisible(child)) continue;
    const int id = GetDlgCtrlID(child);
    char number[16];
    std::snprintf(number, sizeof number, "%d", id);
    if (Plain(TextOf(child)) == which || std::strcmp(number, which) == 0) {
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(child));
      std::printf("pressed %d\n", id);
      return 0;
    }
  }
  return NotFound("no such button");
}

int ControlQuery(const std::string& command, int id) {
  HWND dialog = CurrentDialog();
  if (dialog == nullptr) return NotFound("no dialog");
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return NotFound("no such control");
  if (command == "text") {
    PrintText("text", TextOf(control));
  } else if (command == "enabled") {
    std::printf("enabled %d\n", IsWindowEnabled(control) ? 1 : 0);
  } else if (command == "visible") {
    std::printf("visible %d\n", IsWindowVisible(control) ? 1 : 0);
  } else {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000,
                        &state);
    std::printf("checked %d\n", state == BST_CHECKED ? 1 : 0);
  }
  return 0;
}

int Click(int id) {
  HWND dialog = CurrentDialog();
  if (dialog == nullptr) return NotFound("no dialog");
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  std::printf("clicked %d\n", id);
  return 0;
}

int Type(int id, const char* text) {
  HWND dialog = CurrentDialog();
  if (dialog == nullptr) return NotFound("no dialog");
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return NotFound("no such control");
  DWORD_PTR result = 0;
  SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 2000, &result);
  PrintText("typed", text);
  return 0;
}

int Press(int id) {
  HWND dialog = CurrentDialog();
  if (dialog == nullptr) return NotFound("no dialog");
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return NotFound("no such control");
  PostMessageA(control, BM_CLICK, 0, 0);
  std::printf("pressed %d\n", id);
  return 0;
}

// The box's button and then the click: both land in setup's queue at once,
// so the click waits there for the dialog's next message pump.
int BoxThenClick(const char* button, int id) {
  HWND main = FindWindowA(kMainClass, nullptr);
  HWND dialog = nullptr;
  for (HWND child = main ? GetWindow(main, GW_CHILD) : nullptr;
       child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == kDialogClass && IsWindowVisible(child)) {
      dialog = child;
      break;
    }
  }
  if (dialog == nullptr) return NotFound("no dialog under the box");
  const int status = BoxPress(button);
  if (status != 0) return status;
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  std::printf("clicked %d\n", id);
  return 0;
}

int MoveBox(int x, int y) {
  HWND box = FindMessageBox();
  if (box == nullptr) return NotFound("no message box");
  SetWindowPos(box, nullptr, x, y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  PrintWindow("moved", box);
  return 0;
}

// Presses the key on the control that has setup's focus, as the keyboard
// would: WM_KEYDOWN and WM_KEYUP posted to it (its dialog's keyboard
// handling turns Enter and Escape into commands). With a title, first
// waits for the current dialog to carry it (printing "waiting TITLE" as
// it starts to). Prints the focus it went to.
int Key(const std::string& name, const char* title, double seconds) {
  UINT key = 0;
  if (name == "return") {
    key = VK_RETURN;
  } else if (name == "escape") {
    key = VK_ESCAPE;
  } else {
    return Usage();
  }
  if (title != nullptr) {
    // For a caller that starts this in the background and must know that
    // the watch has begun before it sets off what opens the dialog.
    std::printf("waiting %s\n", title);
    std::fflush(stdout);
    HWND dialog = WaitFor(seconds, [&]() -> HWND {
      HWND current = CurrentDialog();
      return current != nullptr && TextOf(current) == title ? current : nullptr;
    });
    if (dialog == nullptr) return NotFound("no such dialog");
    PrintDialog(dialog);
  }
  // A dialog just shown may not have its focus yet (more so on a loaded
  // machine): wait a little for one inside the current dialog, and take
  // whatever has the focus after that.
  HWND focus = WaitFor(kFocusSeconds, []() -> HWND {
    HWND dialog = CurrentDialog();
    HWND found = SetupFocus();
    return dialog != nullptr && found != nullptr &&
                   (found == dialog || IsChild(dialog, found))
               ? found
               : nullptr;
  });
  if (focus == nullptr) focus = SetupFocus();
  if (focus == nullptr) return NotFound("no focus");
  PrintFocus(focus);
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC))
                      << 16;
  PostMessageA(focus, WM_KEYDOWN, key, scan | 1);
  PostMessageA(focus, WM_KEYUP, key, scan | 1 | 0xC0000000);
  return 0;
}

// Moves the current dialog's top left corner to the screen point (x, y),
// as dragging it by its caption would.
int MoveDialog(int x, int y) {
  HWND dialog = CurrentDialog();
  if (dialog == nullptr) return NotFound("no dialog");
  POINT at = {x, y};
  if (GetWindowLongA(dialog, GWL_STYLE) & WS_CHILD) {
    ScreenToClient(GetAncestor(dialog, GA_PARENT), &at);
  }
  SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  PrintDialog(dialog);
  return 0;
}

int WindowRect(const char* className) {
  HWND window = FindTopLevel(className);
  if (window == nullptr) return NotFound("no such window");
  RECT outer;
  GetWindowRect(window, &outer);
  RECT client;
  GetClientRect(window, &client);
  POINT topLeft = {client.left, client.top};
  POINT bottomRight = {client.right, client.bottom};
  ClientToScreen(window, &topLeft);
  ClientToScreen(window, &bottomRight);
  std::printf("window %ld %ld %ld %ld\n", outer.left, outer.top, outer.right,
              outer.bottom);
  std::printf("client %ld %ld %ld %ld\n", topLeft.x, topLeft.y, bottomRight.x,
              bottomRight.y);
  std::printf("iconic %d\n", IsIconic(window) ? 1 : 0);
  return 0;
}

int Count(const char* className) {
  int count = 0;
  for (HWND window : TopLevelWindows()) {
    if (ClassOf(window) == className && IsWindowVisible(window)) ++count;
  }
  std::printf("count %d\n", count);
  return 0;
}

int Foreground() {
  HWND window = GetForegroundWindow();
  if (window == nullptr) return NotFound("no foreground window");
  PrintWindow("foreground", window);
  PrintText("class", ClassOf(window));
  PrintText("title", TextOf(window));
  return 0;
}

int Operate(const std::string& command, const char* className) {
  HWND window = FindWindowA(className, nullptr);
  if (window == nullptr) return NotFound("no such window");
  if (command == "minimize") {
    ShowWindow(window, SW_MINIMIZE);
  } else if (command == "close") {
    PostMessageA(window, WM_CLOSE, 0, 0);
  } else {
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  PrintWindow(command.c_str(), window);
  return 0;
}

int Pixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  if (colour == CLR_INVALID) return NotFound("no pixel there");
  std::printf("pixel %d %d %d\n", GetRValue(colour), GetGValue(colour),
              GetBValue(colour));
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "wait-window" && argc >= 3) {
    const char* className = argv[2];
    HWND window = WaitFor(SecondsArgument(argc, argv, 3),
                          [&] { return FindTopLevel(className); });
    if (window == nullptr) return NotFound("no such window");
    PrintWindow("window", window);
    return 0;
  }
  if (command == "wait-gone" && argc >= 3) {
    const char* className = argv[2];
    // The probe finds the desktop once the class is gone, so WaitFor stops.
    HWND gone = WaitFor(SecondsArgument(argc, argv, 3), [&] {
      return FindWindowA(className, nullptr) == nullptr ? GetDesktopWindow()
                                                        : nullptr;
    });
    if (gone == nullptr) return NotFound("window still there");
    std::printf("gone %s\n", className);
    return 0;
  }
  if (command == "wait-dialog" && argc >= 3) {
    const std::string title = argv[2];
    HWND dialog = WaitFor(SecondsArgument(argc, argv, 3), [&]() -> HWND {
      HWND current = CurrentDialog();
      return current != nullptr && TextOf(current) == title ? current : nullptr;
    });
    if (dialog == nullptr) return NotFound("no such dialog");
    PrintDialog(dialog);
    return 0;
  }
  if (command == "wait-box") return WaitBox(SecondsArgument(argc, argv, 2));
  if (command == "box-press" && argc == 3) return BoxPress(argv[2]);
  if ((command == "text" || command == "enabled" || command == "checked" ||
       command == "visible") &&
      argc == 3) {
    return ControlQuery(command, std::atoi(argv[2]));
  }
  if (command == "click" && argc == 3) return Click(std::atoi(argv[2]));
  if (command == "type" && argc == 4) return Type(std::atoi(argv[2]), argv[3]);
  if (command == "window-rect" && argc == 3) return WindowRect(argv[2]);
  if (command == "count" && argc == 3) return Count(argv[2]);
  if (command == "foreground" && argc == 2) return Foreground();
  if ((command == "minimize" || command == "close" ||
       command == "syscommand-close") &&
      argc == 3) {
    return Operate(command, argv[2]);
  }
  if (command == "idle" && argc == 2) {
    // Keeps a program running in the Wine session, so that Wine does not
    // shut its own background services down between two scenarios and
    // start them again, slowly, for the next one.
    Sleep(INFINITE);
    return 0;
  }
  if (command == "press" && argc == 3) return Press(std::atoi(argv[2]));
  if (command == "box-then-click" && argc == 4) {
    return BoxThenClick(argv[2], std::atoi(argv[3]));
  }
  if (command == "move-box" && argc == 4) {
    return MoveBox(std::atoi(argv[2]), std::atoi(argv[3]));
  }
  if (command == "focus" && argc == 2) {
    PrintFocus(SetupFocus());
    return 0;
  }
  if (command == "key" && argc >= 3 && argc <= 5) {
    return Key(argv[2], argc >= 4 ? argv[3] : nullptr,
               SecondsArgument(argc, argv, 4));
  }
  if (command == "move-dialog" && argc == 4) {
    return MoveDialog(std::atoi(argv[2]), std::atoi(argv[3]));
  }
  if (command == "close-dialog" && argc == 2) {
    HWND dialog = CurrentDialog();
    if (dialog == nullptr) return NotFound("no dialog");
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    PrintWindow("closed", dialog);
    return 0;
  }
  if (command == "pixel" && argc == 4) {
    return Pixel(std::atoi(argv[2]), std::atoi(argv[3]));
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  const int status = Run(argc, argv);
  std::fflush(stdout);
  return status;
}
