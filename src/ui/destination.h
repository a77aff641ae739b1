// The destination: InstallDirectory, the directory the package is installed
// into, and the decisions of the destination dialog (template 401) that
// settle it: the default proposal, the space measurement, the checks of the
// OK button and the creation of a missing directory. The dialog procedure
// reads and writes the controls; everything it decides is here.
//
// Once the dialog has ended with OK, InstallDirectory names an existing
// directory and ends with exactly one backslash (a drive root such as "c:\"
// included). Nothing else writes it.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "platform/platform.h"

extern char InstallDirectory[kPathSize];

// The free-space figure that means "cannot be determined".
constexpr uint32_t kFreeSpaceUnknown = 0xFFFFFFFFu;
// The largest figure a measurement reports: a volume with more free space
// reads as this much, never as "cannot be determined".
constexpr uint32_t kFreeSpaceLargest = 0xFFFFFFFEu;

// Empties InstallDirectory (for tests).
void ResetDestination();

// Kilobytes free from a volume's geometry: bytes per cluster shifted right
// by 8, times the free clusters, shifted right by 2, computed in 64 bits
// and limited to kFreeSpaceLargest (a nearly empty volume of a terabyte or
// more would wrap in 32 bits and read as almost full).
uint32_t FreeSpaceFromGeometry(uint32_t sectorsPerCluster,
                               uint32_t bytesPerSector, uint32_t freeClusters);

// Kilobytes free on the volume that holds path, or kFreeSpaceUnknown when
// the platform cannot tell. A UNC path (two leading backslashes) is asked
// about as it stands; a path with a drive letter is asked about its drive's
// root ("d:\"); any other path as it stands.
uint32_t FreeSpaceKb(const char* path);

// Puts the proposal into InstallDirectory: the Windows directory ("c:\" when
// it cannot be had), for a package that is not a Control Panel package
// followed by programFile without its extension, all in lower case, without
// a trailing backslash. C:\WINDOWS and GAME.EXE give c:\windows\game.
void SetDefaultInstallDirectory();

// Whether text has the form of a destination: it begins with two
// backslashes (UNC), or it begins with a drive letter, a colon and a
// backslash. "c:" and "games" are refused; so is "c:games", which would be
// taken against a current directory that the existence test itself moves.
bool DestinationFormAcceptable(const char* text);

// Creates the missing components of InstallDirectory, left to right, after
// the drive root or the UNC server name (a drive root is checked as a
// whole). A component counts as existing when it can be made the current
// directory (the test leaves it current). Returns 0 when every component
// exists afterwards; 41 at the first component that can be neither found
// nor created, or when the path has no room for its trailing backslash.
// Components created before a failure remain. Leaves InstallDirectory
// ending with a backslash when it fits. Shows nothing.
ResultCode CreateInstallDirectory();

// The OK button of the destination dialog with fieldText, the text the
// user left in the destination field (at most 259 characters are taken).
// In this order: the form check, the installer's own directory (compared
// without regard to case as the platform compares texts, accented letters
// included), the space check (string 42: Abort stays, Retry measures again,
// Ignore goes on), the existence test, string 200 and CreateInstallDirectory
// (string 41 when that fails). Boxes are owned by owner. Returns true when the
// dialog is to close with OK (InstallDirectory then settled), false when it
// stays open.
bool AcceptDestination(plat::Window owner, const char* fieldText);
