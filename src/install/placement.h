// File placement: puts one file of the package on the user's disk, and
// copies the package descriptor beside the uninstaller.
//
// InstallFileRecord resolves the record's TargetPath (Output.TargetPath)
// inside a destination directory, names the uninstaller when the record is
// "uninstal.exe", creates the target file (creating missing directories and
// asking the user when it cannot be created) and decodes the record's
// stream into it. CopyDescriptorForUninstaller copies the descriptor from
// the source medium into the destination under the uninstaller's base name
// with ".bin", so the uninstaller finds the package's file list beside it.
//
// Every message box here is owned by FileTransferDialog (ui/ui_state.h).
// A path that would not fit in 259 characters is never cut into the name of
// another file: it fails like a file that cannot be created, and its box
// names as much of it as fits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/result.h"

// The uninstaller's file name inside the destination ("uninstal.exe",
// "unins%d.exe", or programFile with ".exe" for a Control Panel package);
// empty until the record "uninstal.exe" is placed, and when no uninstaller
// was placed.
struct PlacementState {
  char UninstallerName[kPathSize];
};

extern PlacementState Placement;

// Empties UninstallerName (for tests; the installer never clears it).
void ResetPlacement();

// Resolves the target path of name inside destination (a directory ending
// with a backslash) into target (kPathSize bytes):
//   name begins with "\"            -> the drive of destination, then name
//   name has ":" as 2nd character   -> the drive of destination, then name
//                                      from its 3rd character on
//   anything else                   -> destination, then name
// The drive of destination is its first two characters when its second is
// ':', nothing otherwise (a UNC destination has no drive). Returns false
// when the path would not fit; target then holds as much of it as fits.
bool ResolveTargetPath(const char* name, const char* destination, char* target);

// Places one record of the loaded table into destination (ending with a
// backslash). The record's stream state is reset here; the open data volume
// and CurrentDisk carry over. A file that already exists is never cut
// short: the new one is decoded beside it (SETUP$$$.TMP in its directory)
// and takes its place only when complete; when decoding fails, or it cannot
// be put in place (34, Abort/Retry/Ignore), the old file stays as it was
// and the temporary is removed. A new file that fails stays as far as it
// was written. Results:
//   0  the file was written, or the user chose Ignore for an existing file
//      that cannot be replaced (left as it was);
//   2  Cancel or Abort, or DecodeStream failed (its messages were shown);
//   37 the OutputBuffer cannot be obtained (nothing shown, nothing touched).
// Sets UninstallerName for the record "uninstal.exe" (the whole name, any
// case, relative to the destination).
ResultCode InstallFileRecord(const uint8_t* record, const char* destination);

// Copies SourceDirectory + descriptorName to installDirectory +
// uninstallerDescriptorName (the uninstaller's name with ".bin") in blocks
// of 32768 bytes; an existing destination is replaced only by a complete
// copy, as InstallFileRecord replaces a file. 0 when copied, also when the user
// chose Ignore for an existing destination that cannot be replaced (nothing
// copied); 2 on Cancel or Abort; 37 when the copy buffer cannot be obtained
// (nothing shown).
ResultCode CopyDescriptorForUninstaller(const char* uninstallerDescriptorName,
                                        const char* descriptorName,
                                        const char* installDirectory);

// Whole texts equal without regard to ASCII letter case.
bool SameTextIgnoringCase(const char* a, const char* b);
