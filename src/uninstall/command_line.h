// The uninstaller's command line: what the user may give it, and what the
// first part gives the finishing copy of itself that it starts.
//
//   /quiet                  no boxes at all (see uninstall.h)
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
};

// Reads the arguments after the program's name. False, with *arguments
// cleared, for anything else than the above (an unknown word, /finish
// without its path and handle, a path of 260 characters or more).
bool ParseUninstallArguments(const char* line, UninstallArguments* arguments);

// The finishing copy's whole command line, its program's name first:
// "COPY" /finish "ORIGINAL" HANDLE, and /quiet when quiet. False when it
// does not fit in size bytes or a path holds a quotation mark.
bool ComposeFinishCommandLine(const char* copy, const char* original,
                              uint64_t handle, bool quiet, char* line,
                              size_t size);
