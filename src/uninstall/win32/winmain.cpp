// The uninstaller's entry: reads its command line, runs the first part of
// the uninstallation from the product's directory and hands the rest to a
// copy of itself in the temporary directory, which can delete the
// uninstaller's file once the first part has ended (uninstall/uninstall.h
// decides everything else).
//
// The first part exits as soon as the copy runs, with the outcome of the
// files it removed: it cannot wait for the copy, since the copy cannot
// delete the file of a program that still runs. The copy waits for the
// first part's process (a handle it inherits), removes the uninstaller,
// its list and the product's directory when empty, shows the closing box
// and asks Windows to delete the copy itself at the next restart (which
// needs administrator rights; without them it stays in the temporary
// directory, where it is left). With /quiet the first part removes the
// list as well before it exits, and its exit code is the final outcome:
// only the uninstaller and the product's directory go a moment later.
//
// One uninstaller of a product runs at a time: the first holds a named
// mutex (named after its path) from its start, and its finishing copy
// inherits the handle, so the name exists until the removal is over. A
// second one started meanwhile finds the name taken, says so and ends.
#include "platform/win32/windows_api.h"
// windows_api.h first: the headers below must see the names without macros.
#include <cstring>

#include "base/text.h"
#include "ui/messages.h"
#include "uninstall/command_line.h"
#include "uninstall/uninstall.h"

namespace {

// How long the copy waits for the first part to end.
constexpr DWORD kFirstPartWaitMs = 30000;
constexpr size_t kBoxTextSize = 512;

// A box of the uninstaller's own, before any list is read: captioned
// "Uninstall", its text string id with argument.
void UninstallerBox(unsigned id, const char* argument) {
  char caption[64];
  if (LoadStringA(GetModuleHandleA(nullptr), kStrUninstallCaption, caption,
                  sizeof caption) <= 0) {
    caption[0] = '\0';
  }
  char text[kBoxTextSize];
  FormatStringWithText(id, argument, text, sizeof text);
  MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

// Takes the product's lock, inheritable by the finishing copy. False when
// another uninstaller of the product holds it. A lock that cannot be made
// at all does not stop the removal.
bool TakeLock(const char* self) {
  char name[32];
  ComposeUninstallLockName(self, name, sizeof name);
  SECURITY_ATTRIBUTES inherit = {};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  const HANDLE lock = CreateMutexA(&inherit, FALSE, name);
  // Held until the process ends.
  return lock == nullptr || GetLastError() != ERROR_ALREADY_EXISTS;
}

// Starts the finishing copy: the program copied under a new name in the
// temporary directory, run there with the handle of this process. False
// when any step fails (nothing is left running; the copy's file is
// removed again).
bool StartFinishingCopy(const char* self, bool quiet) {
  char temporary[kPathSize];
  const DWORD length = GetTempPathA(sizeof temporary, temporary);
  if (length == 0 || length >= sizeof temporary) return false;
  char copy[MAX_PATH + 1];
  if (GetTempFileNameA(temporary, "uns", 0, copy) == 0) return false;
  if (!CopyFileA(self, copy, FALSE)) {
    DeleteFileA(copy);
    return false;
  }
  HANDLE own = nullptr;
  char line[3 * kPathSize];
  const bool prepared =
      DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(),
                      GetCurrentProcess(), &own, SYNCHRONIZE, TRUE, 0) &&
      ComposeFinishCommandLine(copy, self, reinterpret_cast<uintptr_t>(own),
                               quiet, line, sizeof line);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const bool started =
      prepared && CreateProcessA(copy, line, nullptr, nullptr, TRUE, 0, nullptr,
                                 temporary, &startup, &process);
  if (own != nullptr) CloseHandle(own);
  if (!started) {
    DeleteFileA(copy);
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// The finishing copy: waits for the first part, then finishes.
int RunFinishingCopy(const UninstallArguments& arguments) {
  if (arguments.handle != 0) {
    HANDLE first =
        reinterpret_cast<HANDLE>(static_cast<uintptr_t>(arguments.handle));
    WaitForSingleObject(first, kFirstPartWaitMs);
    CloseHandle(first);
  }
  const int code = FinishUninstall(arguments.original);
  char self[kPathSize];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length > 0 && length < sizeof self) {
    MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  return code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  UninstallArguments arguments;
  if (!ParseUninstallArguments(commandLine, &arguments)) {
    if (!arguments.quiet) UninstallerBox(kStrUnknownSwitch, arguments.unknown);
    return kUninstallUnknownSwitch;
  }
  Uninstall.Quiet = arguments.quiet;
  if (arguments.finish) return RunFinishingCopy(arguments);

  char self[kPathSize];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self) self[0] = '\0';
  if (!TakeLock(self)) {
    if (!arguments.quiet) {
      char directory[kPathSize];
      CopyText(directory, sizeof directory, self);
      char* slash = strrchr(directory, '\\');
      if (slash != nullptr) *slash = '\0';
      UninstallerBox(kStrAlreadyRunning, directory);
    }
    return kUninstallRunning;
  }
  bool finish = false;
  const int code = RunUninstall(self, &finish);
  if (!finish) return code;
  if (!StartFinishingCopy(self, arguments.quiet)) {
    // The uninstaller (and without /quiet its list) stays: a second run
    // can remove it.
    ShowClosingBox(kUninstallKept);
    return kUninstallKept;
  }
  return code;
}
