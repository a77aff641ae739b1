// The uninstaller's decisions: which files of an installed product go,
// which stay, which directories go with them, the Program Manager entries,
// and the outcome that its boxes and its exit code tell.
//
// The uninstaller lies in the product's directory D under the name the
// installer gave it (uninstal.exe, unins1.exe, or programFile with ".exe"
// for a Control Panel package), beside its list: a copy of the package
// descriptor under its own name with ".bin". It runs in two parts, because
// a running program cannot delete its own file:
//
//   RunUninstall, in the uninstaller started from D: the list, the question,
//   every file the installation placed except the uninstaller and its list,
//   the directories that became empty, the Program Manager entries;
//   FinishUninstall, in a copy of the uninstaller that runs once the first
//   has ended (win32/): the uninstaller, its list, D when it is then empty,
//   and the closing box. With Quiet the first part removes the list too
//   and tells the outcome, and the copy removes only the uninstaller and D.
//
// A record's file is resolved with the installer's target-path rules
// against D. Never removed: records marked noInstall (never placed), shared
// files (the descriptor keeps no reference counts, and other products may
// use them), the settings file tarny.ini in the Windows directory, files
// the user added, and any directory that is not empty, lies above D, or is
// a drive root, the Windows directory or the system directory.
//
// Files the user added stay, and with them D. Files of another product
// installed into D (its uninstaller's list lies there) are not the user's:
// D then stays without a word.
//
// Every box is captioned with the product's title; with Quiet none is shown
// (the question is answered Yes, a file that cannot be removed Ignore).
#pragma once

#include <cstdint>

#include "base/result.h"
#include "package/descriptor.h"

struct UninstallState {
  char ProgramPath[kPathSize];       // the uninstaller's file, in D
  char ListPath[kPathSize];          // ProgramPath with ".bin"
  char ProductDirectory[kPathSize];  // D, ending with a backslash
  char Title[kProductTitleSize];     // the product's title
  bool Quiet;                        // no boxes at all
};

extern UninstallState Uninstall;

// Clears the state (Quiet included).
void ResetUninstall();

// Exit codes of the uninstaller.
enum : int {
  kUninstallDone = 0,       // every listed file, the uninstaller and its list
                            // are gone (the first part: every listed file)
  kUninstallNothing = 1,    // nothing removed: no list, or the answer No
  kUninstallKept = 2,       // a file had to stay, or Abort stopped the removal
  kUninstallAddedKept = 3,  // removed, but files the user added stay in
                            // D, and with them D
  kUninstallUnknownSwitch = 4,  // nothing removed: a switch it does not know
  kUninstallRunning = 5,        // nothing removed: another uninstaller of the
                                // product runs
};

// Loads the list beside programPath (a full path) into the package state
// and fills ProgramPath, ListPath, ProductDirectory and Title. 0, or
// LoadPackageBeside's failure: 33 missing, 35 damaged, 37 no memory, 43 a
// path without a directory. The list stays loaded until
// ReleaseUninstallList, also after RunUninstall and FinishUninstall.
ResultCode LoadUninstallList(const char* programPath);
void ReleaseUninstallList();

// What becomes of a record of the loaded list.
enum class RecordFate {
  kNotPlaced,    // noInstall, or a path that does not fit: never placed
  kShared,       // a shared file: it stays
  kSettings,     // the settings file in the Windows directory: it stays
  kUninstaller,  // the uninstaller or its list: removed last
  kFile,         // removed
};

// The fate of a record of the loaded list, with its resolved path in target
// (kPathSize bytes) for kSettings, kUninstaller and kFile. The record
// "uninstal.exe" (the whole name, any case) is the uninstaller itself,
// whatever name it was given.
RecordFate FateOfRecord(const uint8_t* record, char* target);

// The uninstaller's first part, run from D: loads the list beside
// programPath (a failure shows its box naming the list), asks the
// question, removes every file of fate kFile, then the emptied directories,
// then the Program Manager entries of a game. With Quiet it also removes
// the list, so that only the uninstaller and D are left for the second
// part, and its result is the final outcome.
// Returns kUninstallNothing after a failed load or the answer No,
// kUninstallKept after Abort or when a listed file (with Quiet: or the
// list) is still there, kUninstallAddedKept when D holds files the user
// added, kUninstallDone otherwise; *finish is set when the
// uninstaller (and its list) are to go next (every outcome but
// kUninstallNothing and Abort).
int RunUninstall(const char* programPath, bool* finish);

// The second part, once the uninstaller at programPath no longer runs. It
// deletes the uninstaller (trying for a few seconds while it is still
// held) and removes D when that leaves it empty. Without Quiet it first
// loads the list again and afterwards deletes the list and the emptied
// directories too and shows the closing box; it returns the outcome:
// kUninstallDone when every listed file, the uninstaller and its list are
// gone, kUninstallAddedKept when only files the user added (and D) stay,
// kUninstallKept otherwise, kUninstallNothing when the list cannot be read
// (its box shown, nothing removed). With Quiet (the first part told the
// outcome) it returns kUninstallDone when the uninstaller is gone,
// kUninstallKept when it stays.
int FinishUninstall(const char* programPath);

// The closing box for the loaded list and an outcome: "removed"
// (kUninstallDone), "removed except the files you added", naming D
// (kUninstallAddedKept), "some files could not be removed" otherwise; with
// a sentence on the shared files kept when the list has any.
void ShowClosingBox(int outcome);
