// The uninstaller's command line: what the user may give it, and what the
// first part gives the finishing copy of itself that it starts.
//
//   /quiet                  no boxes at all (see uninstall.h); /S,
//                           /SILENT and /VERYSILENT, which other
//                           uninstallers take, mean the same
//   /finish "PATH" HANDLE   the finishing copy: PATH is the uninstaller it
//                           removes, HANDLE (decimal) the inherited handle of
//                           the first part's process, waited for before
//                           (0: none)
//
// Words are separated by spaces or tabs; the option names are read without
// regard to letter case; a path in quotation marks may hold spaces.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/result.h"

struct UninstallArguments {
  bool quiet;
  bool finish;
  char original[kPathSize];  // /finish: the uninstaller to remove
  uint64_t handle;           // /finish: the process to wait for, 0 none
  char unknown[64];          // the first word not understood, cut to fit
};

// Reads the arguments after the program's name. False for anything else
// than the above (an unknown word, /finish without its path and handle, a
// path of 260 characters or more): *arguments is then cleared but for
// unknown, the first word not understood, and quiet, set when any of the
// quiet switches stands anywhere on the line.
bool ParseUninstallArguments(const char* line, UninstallArguments* arguments);

// The name of the lock that one uninstaller of a product holds while it
// runs (and its finishing copy after it): the same for the same
// uninstaller's path in any letter case (ASCII), a name the platform takes
// for a named object (no backslash). size must hold 32 bytes.
void ComposeUninstallLockName(const char* programPath, char* name, size_t size);

// The finishing copy's whole command line, its program's name first:
// "COPY" /finish "ORIGINAL" HANDLE, and /quiet when quiet. False when it
// does not fit in size bytes or a path holds a quotation mark.
bool ComposeFinishCommandLine(const char* copy, const char* original,
                              uint64_t handle, bool quiet, char* line,
                              size_t size);
