// The installation run: puts the package's files on disk under the
// file-transfer dialog, in two passes over the record table.
//
// Pass 1 places the shared system files, each only when the copy already
// installed is not newer, in the directory that the platform's version
// library proposes. Pass 2 places the ordinary files in the install
// directory. Between records the run pumps the dialog's messages, so a
// confirmed Cancel (ModalResult 2) takes effect between files. After the
// passes it closes the data volume, releases the InputBuffer and, when an
// uninstaller was placed, copies the descriptor beside it (asking for disk 1
// first when the data came from a later disk).
//
// The dialog side goes through platform/progress.h; FileTransferDialog
// (ui/ui_state.h) is the created dialog for as long as the run shows it.
#pragma once

#include <cstdint>

#include "base/result.h"

struct InstallationState {
  uint32_t FilesToInstall;  // records whose noInstall bit is clear
  uint32_t FilesDone;       // records handled so far, in both passes
  int ProgressPercent;      // FilesDone * 100 / FilesToInstall, truncated
};

extern InstallationState Installation;

void ResetRun();

// Stores ProgressPercent and draws the bar at once.
void SetProgress(int percent);

// Whether the installed copy's version (installedMs:installedLs) is newer
// than the packaged one, the two words compared as one unsigned 64-bit
// number with the MS word high. Equal versions are not newer.
bool InstalledCopyIsNewer(uint32_t installedMs, uint32_t installedLs,
                          uint32_t packagedMs, uint32_t packagedLs);

// Which pass of the run reads the stream of a record with these flags and
// this name: 1 for a shared file (except the one the run never writes), 2
// for an ordinary file, 0 when neither does (noInstall, or that one shared
// file). The builder lays the streams out in this order.
int ReadingPass(uint16_t flags, const char* name);

// The run, with installDirectory (the setup sequence passes InstallDirectory
// of ui/destination.h: an existing directory ending with a backslash) as
// the destination of the ordinary files. Expects the setup sequence's
// preparation: the descriptor loaded, CurrentDisk 1, DataVolumePath set, no
// volume open, the InputBuffer obtained and empty. Returns:
//   0  every file handled (placed, skipped by the version check, or
//      ignored by the user) and the descriptor step ended without error;
//   2  Cancel or Abort in a message of the run, a failed decode, a
//      cancelled "in use" message, or a confirmed halt;
//   32 the file-transfer dialog cannot be created (nothing installed);
//   37 a buffer of the file placement cannot be obtained.
// A table without a record to install returns 0 at once, without a dialog
// (the InputBuffer is then left to the caller).
ResultCode RunInstallation(const char* installDirectory);
