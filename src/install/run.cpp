// The installation run: the two passes, the version check of shared files,
// progress, halting, and the descriptor step (see run.h).
#include "install/run.h"

#include <cstring>

#include "base/memory.h"
#include "base/text.h"
#include "install/placement.h"
#include "package/descriptor.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "platform/progress.h"
#include "stream/volume.h"
#include "ui/messages.h"
#include "ui/ui_state.h"

InstallationState Installation;

namespace {

// The shared record that the run never writes, whatever the versions.
constexpr char kNeverWritten[] = "dva.386";

// The bits that keep a record out of pass 2: noInstall and both shared bits.
constexpr uint16_t kNotOrdinary = kFlagNoInstall | kFlagsShared;

struct VersionCheck {
  bool install;
  char destination[kPathSize + 1];  // room for the added backslash
};

// The installed copy's version words, read through the version library;
// false when the copy has no version information or it cannot be read.
bool InstalledVersion(const char* path, uint32_t* ms, uint32_t* ls) {
  const uint32_t size = plat::GetFileVersionInfoSize(path);
  if (size == 0) return false;
  plat::MemHandle memory = nullptr;
  void* data = AllocLocked(size, &memory);
  const bool read = data != nullptr &&
                    plat::GetFileVersionInfo(path, size, data) &&
                    plat::QueryFileVersion(data, ms, ls);
  FreeLocked(&memory);
  return read;
}

// The version check of a shared record, repeated from its start after Retry
// on the "in use" message. Returns 0, or 2 when the user cancelled that
// message; fills check.
ResultCode CheckSharedRecord(const uint8_t* record,
                             const char* installDirectory,
                             VersionCheck* check) {
  const char* name = RecordName(record);
  for (;;) {
    check->destination[0] = '\0';
    char windows[kPathSize] = {};
    if (plat::GetWindowsDirectory(windows, kPathSize) >= kPathSize) {
      windows[0] = '\0';
    }
    char current[kPathSize] = {};
    char proposed[kPathSize] = {};
    unsigned currentLength = kPathSize;
    unsigned proposedLength = kPathSize;
    const unsigned found = plat::VerFindFile(
        plat::kVfffIsSharedFile, name, windows, installDirectory, current,
        &currentLength, proposed, &proposedLength);
    current[kPathSize - 1] = '\0';
    proposed[kPathSize - 1] = '\0';

    check->install = true;
    if (current[0] != '\0') {
      // A copy is installed: its path is that directory and the name. A
      // path that does not fit has no readable version: it is replaced.
      char path[kPathSize];
      uint32_t ms = 0;
      uint32_t ls = 0;
      if (CopyText(path, sizeof path, current) && AddTrailingBackslash(path) &&
          AppendText(path, sizeof path, name) &&
          InstalledVersion(path, &ms, &ls) &&
          InstalledCopyIsNewer(ms, ls, RecordVersionMs(record),
                               RecordVersionLs(record))) {
        check->install = false;
      }
    }
    if (check->install && found == plat::kVffFileInUse) {
      if (RetryCancelBox(FileTransferDialog, kResultInUse, name) ==
          kResultRetry) {
        continue;
      }
      return kResultCancel;
    }
    if (proposed[0] != '\0') {
      // Room for the backslash even after 259 characters: the target path
      // then fails to fit and is refused like a file that cannot be
      // created, instead of losing its separator.
      size_t length = strlen(proposed);
      memcpy(check->destination, proposed, length + 1);
      if (proposed[length - 1] != '\\') {
        check->destination[length] = '\\';
        check->destination[length + 1] = '\0';
      }
    } else {
      CopyText(check->destination, sizeof check->destination, installDirectory);
    }
    return kResultOk;
  }
}

}  // namespace

int ReadingPass(uint16_t flags, const char* name) {
  if ((flags & kFlagNoInstall) != 0) return 0;
  if ((flags & kFlagsShared) != 0) {
    return SameTextIgnoringCase(name, kNeverWritten) ? 0 : 1;
  }
  return 2;
}

namespace {

void CountHandled() {
  ++Installation.FilesDone;
  SetProgress(static_cast<int>(static_cast<uint64_t>(Installation.FilesDone) *
                               100 / Installation.FilesToInstall));
}

// Pass 1: the shared records.
ResultCode PlaceSharedFiles(const char* installDirectory) {
  ResultCode result = kResultOk;
  const uint8_t* record = FirstRecord();
  for (unsigned i = 0; i < Package.Header.recordCount && result == kResultOk;
       ++i, record = NextRecord(record)) {
    if (plat::PumpMessages(FileTransferDialog) != 0) break;
    if (RecordIsNoInstall(record) || !RecordIsShared(record)) continue;
    const char* name = RecordName(record);
    plat::ShowTransferName(FileTransferDialog, name);
    VersionCheck check;
    result = CheckSharedRecord(record, installDirectory, &check);
    if (check.install && result == kResultOk &&
        !SameTextIgnoringCase(name, kNeverWritten)) {
      result = InstallFileRecord(record, check.destination);
    }
    CountHandled();
  }
  return result;
}

// Pass 2: the ordinary records.
ResultCode PlaceOrdinaryFiles(const char* installDirectory) {
  ResultCode result = kResultOk;
  const uint8_t* record = FirstRecord();
  for (unsigned i = 0; i < Package.Header.recordCount && result == kResultOk;
       ++i, record = NextRecord(record)) {
    if (plat::PumpMessages(FileTransferDialog) != 0) break;
    if ((RecordFlags(record) & kNotOrdinary) != 0) continue;
    plat::ShowTransferName(FileTransferDialog, RecordName(record));
    result = InstallFileRecord(record, installDirectory);
    CountHandled();
  }
  return result;
}

// Asks for disk 1 until the descriptor can be opened on it. False when the
// user cancelled the prompt.
bool DescriptorDiskInserted() {
  char path[kPathSize];
  const bool fits = CopyText(path, sizeof path, Package.SourceDirectory) &&
                    AppendText(path, sizeof path, Package.DescriptorName);
  for (;;) {
    if (PromptForDisk(FileTransferDialog) != 0) return false;
    plat::HFile file =
        fits ? plat::lopen(path, plat::kOpenRead) : plat::kFileError;
    if (file != plat::kFileError) {
      plat::lclose(file);
      return true;
    }
  }
}

// The descriptor copy beside the uninstaller. UninstallerName carries
// ".bin" only inside this step.
ResultCode CopyDescriptorStep(const char* installDirectory) {
  char* name = Placement.UninstallerName;
  // The name ends in ".exe", so ".bin" always takes its place.
  if (!ReplaceExtension(name, ".bin")) return kResultOk;
  plat::ShowTransferName(FileTransferDialog, name);
  ResultCode result = kResultOk;
  bool inserted = true;
  if (Volume.CurrentDisk != 1) {
    Volume.CurrentDisk = 1;
    inserted = DescriptorDiskInserted();
  }
  if (inserted) {
    result = CopyDescriptorForUninstaller(name, Package.DescriptorName,
                                          installDirectory);
  }
  ReplaceExtension(name, ".exe");
  return result;
}

}  // namespace

void ResetRun() { Installation = InstallationState(); }

void SetProgress(int percent) {
  Installation.ProgressPercent = percent;
  plat::DrawTransferProgress(FileTransferDialog, percent);
}

bool InstalledCopyIsNewer(uint32_t installedMs, uint32_t installedLs,
                          uint32_t packagedMs, uint32_t packagedLs) {
  const uint64_t installed =
      (static_cast<uint64_t>(installedMs) << 32) | installedLs;
  const uint64_t packaged =
      (static_cast<uint64_t>(packagedMs) << 32) | packagedLs;
  return installed > packaged;
}

ResultCode RunInstallation(const char* installDirectory) {
  Installation.FilesToInstall = 0;
  const uint8_t* record = FirstRecord();
  for (unsigned i = 0; i < Package.Header.recordCount;
       ++i, record = NextRecord(record)) {
    if (!RecordIsNoInstall(record)) ++Installation.FilesToInstall;
  }
  if (Installation.FilesToInstall == 0) return kResultOk;

  ModalResult = 0;
  FileTransferDialog = plat::CreateTransferDialog();
  if (FileTransferDialog == nullptr) return kResultWindowProblem;
  Installation.FilesDone = 0;
  SetProgress(0);

  ResultCode result = PlaceSharedFiles(installDirectory);
  if (result == kResultOk) result = PlaceOrdinaryFiles(installDirectory);

  CloseVolume();
  FreeLocked(&Volume.InputMemory);
  Volume.InputBuffer = nullptr;
  Volume.InputCursor = nullptr;
  Volume.InputLeft = 0;

  // A halt does not prevent the copy: the uninstaller placed needs it.
  if (Placement.UninstallerName[0] != '\0' && result == kResultOk) {
    result = CopyDescriptorStep(installDirectory);
  }

  plat::DestroyTransferDialog(FileTransferDialog);
  FileTransferDialog = nullptr;
  return result != kResultOk ? result : ModalResult;
}
