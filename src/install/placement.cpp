// File placement: target paths, the uninstaller's name, creating a target
// file with its directory walk, decoding one record, and the descriptor
// copy beside the uninstaller (see placement.h).
#include "install/placement.h"

#include <cstdio>
#include <cstring>

#include "base/memory.h"
#include "base/text.h"
#include "package/descriptor.h"
#include "platform/platform.h"
#include "stream/lzhuf.h"
#include "stream/output.h"
#include "stream/volume.h"
#include "ui/messages.h"
#include "ui/ui_state.h"

PlacementState Placement;

namespace {

constexpr char kUninstallerProgram[] = "uninstal.exe";
// Candidates after "uninstal.exe": unins1.exe to unins999.exe.
constexpr int kLastUninstallerNumber = 999;
constexpr long kCopyBlockSize = 32768;

// Where a directory walk may create directories. A walk visits, shortest
// first, the prefix of the path that ends at firstEnd (when firstEnd is not
// 0), then every prefix that ends just before a backslash found after index
// after; the file name itself is never visited.
struct WalkPlan {
  bool enabled;
  size_t firstEnd;
  size_t after;
};

// The walk over a whole target path: from its root, "\\server" for a UNC
// path and "X:\" for a drive path. A path rooted on the current drive
// ("\DIR\F") or drive-relative ("X:DIR\F") has no root to visit: its walk
// starts at its first directory instead of at its first three characters.
WalkPlan TargetWalk(const char* path, bool enabled) {
  WalkPlan plan = {enabled, 0, 0};
  if (path[0] == '\\' && path[1] == '\\') {
    const char* next = strchr(path + 2, '\\');
    plan.firstEnd = next != nullptr ? static_cast<size_t>(next - path) : 2;
  } else if (path[0] != '\0' && path[1] == ':' && path[2] == '\\') {
    plan.firstEnd = 3;
  }
  plan.after = plan.firstEnd;
  return plan;
}

// Makes each visited prefix that is not an existing directory (one that
// cannot be made current) one level at a time. True when the last creation
// attempted succeeded; a walk that attempted none has failed. Leaves the
// current directory at the longest visited prefix that existed.
bool DirectoryWalk(const char* path, const WalkPlan& plan) {
  char prefix[kPathSize];
  bool attempted = false;
  bool created = false;
  auto visit = [&](size_t end) {
    memcpy(prefix, path, end);
    prefix[end] = '\0';
    if (!plat::SetCurrentDirectory(prefix)) {
      attempted = true;
      created = plat::CreateDirectory(prefix);
    }
  };
  const size_t length = strnlen(path, kPathSize - 1);
  if (plan.firstEnd > 0 && plan.firstEnd < length) visit(plan.firstEnd);
  for (size_t i = plan.after + 1; i < length; ++i) {
    if (path[i] == '\\') visit(i);
  }
  return attempted && created;
}

bool CanOpenForReading(const char* path) {
  plat::HFile file = plat::lopen(path, plat::kOpenRead);
  if (file == plat::kFileError) return false;
  plat::lclose(file);
  return true;
}

// Whether a file is there: one that can be opened for reading, or one
// that cannot be opened but shows its attributes (it is held by another
// program, or the open failed). Such a file is replaced, never cut short.
bool FileIsThere(const char* path) {
  if (CanOpenForReading(path)) return true;
  const uint32_t attributes = plat::GetFileAttributes(path);
  return attributes != plat::kInvalidFileAttributes &&
         (attributes & plat::kFileAttributeDirectory) == 0;
}

// Whether the uninstaller candidate at path has a sibling descriptor
// (".bin") whose programFile field names our own programFile.
bool SiblingNamesOurProduct(const char* path) {
  char sibling[kPathSize];
  if (!CopyText(sibling, sizeof sibling, path) ||
      !ReplaceExtension(sibling, ".bin")) {
    return false;
  }
  plat::HFile file = plat::lopen(sibling, plat::kOpenRead);
  if (file == plat::kFileError) return false;
  char field[kProgramFileSize + 1] = {};
  const bool read =
      plat::llseek(file, static_cast<int32_t>(kProgramFileOffset),
                   plat::kSeekSet) ==
          static_cast<int32_t>(kProgramFileOffset) &&
      plat::lread(file, field, kProgramFileSize) != plat::kIoError;
  plat::lclose(file);
  if (!read) return false;
  char ours[kProgramFileSize + 1];
  ProgramFileText(ours);
  return SameTextIgnoringCase(field, ours);
}

// An uninstaller that exists and is not known to be ours: replacing it
// could take another product's uninstaller away.
bool BelongsToAnotherProduct(const char* path) {
  return CanOpenForReading(path) && !SiblingNamesOurProduct(path);
}

// Chooses UninstallerName for the record "uninstal.exe" and sets target to
// destination + that name. Returns false when the target would not fit.
// *guarded is set when the chosen name was not probed (unins999.exe): the
// creation must then refuse a file of another product.
bool ChooseUninstallerName(const char* destination, char* target,
                           bool* guarded) {
  char* name = Placement.UninstallerName;
  if (Package.ControlPanelPackage) {
    char programFile[kProgramFileSize + 1];
    ProgramFileText(programFile);
    char candidate[kPathSize];
    if (!CopyText(candidate, sizeof candidate, programFile) ||
        !ReplaceExtension(candidate, ".exe")) {
      // No name fits: nothing is named, and the refusal names as much of
      // the path as fits.
      if (CopyText(target, kPathSize, destination)) {
        AppendText(target, kPathSize, programFile);
      }
      return false;
    }
    CopyText(name, kPathSize, candidate);
    return CopyText(target, kPathSize, destination) &&
           AppendText(target, kPathSize, name);
  }
  CopyText(name, kPathSize, kUninstallerProgram);  // target stays D + N
  for (int n = 1; n <= kLastUninstallerNumber; ++n) {
    if (!CanOpenForReading(target)) return true;
    if (SiblingNamesOurProduct(target)) {
      return CopyText(target, kPathSize, destination) &&
             AppendText(target, kPathSize, name);
    }
    FormatText(name, kPathSize, "unins%d.exe", n);
    // Never longer than "uninstal.exe", which fitted.
    if (!CopyText(target, kPathSize, destination) ||
        !AppendText(target, kPathSize, name)) {
      return false;
    }
  }
  *guarded = true;
  return true;
}

// Names the file that a replacement is decoded into: path's directory and
// "SETUP$$$.TMP" ("SETUP$$1.TMP" when path itself has that name). False
// when it does not fit.
bool ReplacementPath(const char* path, char* replacement) {
  const char* slash = strrchr(path, '\\');
  const char* fileName = slash != nullptr ? slash + 1 : path;
  const size_t directory = static_cast<size_t>(fileName - path);
  const char* temporary = SameTextIgnoringCase(fileName, "SETUP$$$.TMP")
                              ? "SETUP$$1.TMP"
                              : "SETUP$$$.TMP";
  if (directory + strlen(temporary) >= kPathSize) return false;
  memcpy(replacement, path, directory);
  replacement[directory] = '\0';
  return AppendText(replacement, kPathSize, temporary);
}

// Opens the replacement of the existing file at path: when path can be
// written to (it is not write protected), a new file beside it that takes
// its place once complete. False, with nothing open, when either fails.
bool CreateReplacement(const char* path, char* replacement,
                       plat::HFile* handle) {
  plat::HFile probe = plat::lopen(path, plat::kOpenWrite);
  if (probe == plat::kFileError) return false;
  plat::lclose(probe);
  if (!ReplacementPath(path, replacement)) return false;
  *handle = plat::lcreat(replacement, 0);
  return *handle != plat::kFileError;
}

// Creates path (truncating an existing file, normal attributes) as the
// target file and the descriptor copy do:
//   - with replacement (a kPathSize buffer), an existing file is not
//     truncated: the new one is created beside it under the name left in
//     replacement, and takes its place only when it is complete
//     (CommitReplacement); replacement stays empty when path is created
//     itself;
//   - an existing file that cannot be replaced asks 34 with Abort, Retry,
//     Ignore;
//   - a new file that cannot be created runs the directory walk first (when
//     walk is enabled) and tries again at once when the walk's last
//     creation succeeded, otherwise asks 36 with Retry and Cancel;
//   - a path that did not fit (fits false) fails like a new file that
//     cannot be created, without a walk;
//   - with guarded, a file of another product at path is not replaced: 36.
// Returns 0 with *handle open, 2 on Abort or Cancel, 5 on Ignore.
ResultCode CreateTargetFile(const char* path, bool fits, const WalkPlan& walk,
                            bool guarded, plat::HFile* handle,
                            char* replacement = nullptr) {
  *handle = plat::kFileError;
  if (replacement != nullptr) replacement[0] = '\0';
  const bool existed = fits && FileIsThere(path);
  for (;;) {
    const bool refused = guarded && BelongsToAnotherProduct(path);
    if (fits && !refused && existed && replacement != nullptr) {
      if (CreateReplacement(path, replacement, handle)) return kResultOk;
      replacement[0] = '\0';
    } else if (fits && !refused) {
      plat::HFile file = plat::lcreat(path, 0);
      if (file != plat::kFileError) {
        *handle = file;
        return kResultOk;
      }
    }
    int answer;
    if (existed && !refused) {
      answer =
          AbortRetryIgnoreBox(FileTransferDialog, kResultWriteProtected, path);
    } else {
      if (fits && !refused && walk.enabled && DirectoryWalk(path, walk)) {
        continue;
      }
      answer = RetryCancelBox(FileTransferDialog, kResultWriteError, path);
    }
    if (answer == kResultRetry) continue;
    if (answer == kResultIgnore) return kResultIgnore;
    return kResultCancel;  // Abort, Cancel, or a box that could not show
  }
}

// Reads block bytes at offset of the source and writes them to the
// destination; a short read asks 35, a short write 36, both Retry/Cancel.
// A retried read starts again at the block's start, a retried write goes on
// with what is still missing.
ResultCode TransferBlock(plat::HFile source, plat::HFile destination,
                         uint8_t* buffer, long offset, long block,
                         const char* sourcePath, const char* destinationPath) {
  for (;;) {
    if (plat::llseek(source, static_cast<int32_t>(offset), plat::kSeekSet) ==
            offset &&
        plat::lread(source, buffer, block) == block) {
      break;
    }
    if (RetryCancelBox(FileTransferDialog, kResultReadError, sourcePath) !=
        kResultRetry) {
      return kResultCancel;
    }
  }
  long written = 0;
  for (;;) {
    long n = plat::lwrite(destination, buffer + written, block - written);
    if (n > 0) written += n;
    if (written >= block) return kResultOk;
    if (RetryCancelBox(FileTransferDialog, kResultWriteError,
                       destinationPath) != kResultRetry) {
      return kResultCancel;
    }
  }
}

void CloseIfOpen(plat::HFile* file) {
  if (*file != plat::kFileError) {
    plat::lclose(*file);
    *file = plat::kFileError;
  }
}

// Ends a replacement decoded with result: a complete one takes the place of
// the file at target, asking 34 with Abort, Retry and Ignore when that
// cannot be done; otherwise, and on Abort or Ignore, the replacement is
// removed and target stays as it was. Returns result, or 2 on Abort, 0 on
// Ignore.
ResultCode CommitReplacement(const char* replacement, const char* target,
                             ResultCode result) {
  while (result == kResultOk) {
    if (plat::MoveFileEx(replacement, target)) return kResultOk;
    const int answer =
        AbortRetryIgnoreBox(FileTransferDialog, kResultWriteProtected, target);
    if (answer == kResultRetry) continue;
    if (answer != kResultIgnore) result = kResultCancel;
    break;
  }
  plat::DeleteFile(replacement);
  return result;
}

}  // namespace

void ResetPlacement() { Placement.UninstallerName[0] = '\0'; }

bool SameTextIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
    char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

bool ResolveTargetPath(const char* name, const char* destination,
                       char* target) {
  char drive[3] = {};
  if (destination[0] != '\0' && destination[1] == ':') {
    drive[0] = destination[0];
    drive[1] = ':';
  }
  if (name[0] == '\\') {
    return CopyText(target, kPathSize, drive) &&
           AppendText(target, kPathSize, name);
  }
  if (name[0] != '\0' && name[1] == ':') {
    return CopyText(target, kPathSize, drive) &&
           AppendText(target, kPathSize, name + 2);
  }
  return CopyText(target, kPathSize, destination) &&
         AppendText(target, kPathSize, name);
}

ResultCode InstallFileRecord(const uint8_t* record, const char* destination) {
  const char* name = RecordName(record);
  char* target = Output.TargetPath;
  bool fits = ResolveTargetPath(name, destination, target);
  const bool relative = name[0] != '\\' && (name[0] == '\0' || name[1] != ':');
  bool guarded = false;
  if (fits && relative && SameTextIgnoringCase(name, kUninstallerProgram)) {
    fits = ChooseUninstallerName(destination, target, &guarded);
  }

  Output.OutputBuffer = static_cast<uint8_t*>(
      AllocLocked(kOutputBufferSize, &Output.OutputMemory));
  if (Output.OutputBuffer == nullptr) return kResultNoMemory;
  Output.OutputCount = 0;

  // An existing file is decoded into a replacement beside it, so that a
  // failed or cancelled decoding leaves it as it was.
  char replacement[kPathSize];
  ResultCode result = CreateTargetFile(
      target, fits, TargetWalk(target, strchr(name, '\\') != nullptr), guarded,
      &Output.OutputHandle, replacement);
  if (result == kResultOk) {
    StartRecordStream(record);
    Output.OutputCount = 0;
    result = DecodeStream();
  } else if (result == kResultIgnore) {
    result = kResultOk;  // the existing file stays as it was
  }

  FreeLocked(&Output.OutputMemory);
  Output.OutputBuffer = nullptr;
  Output.OutputCount = 0;
  CloseIfOpen(&Output.OutputHandle);
  if (replacement[0] != '\0') {
    result = CommitReplacement(replacement, target, result);
  }
  return result;
}

ResultCode CopyDescriptorForUninstaller(const char* uninstallerDescriptorName,
                                        const char* descriptorName,
                                        const char* installDirectory) {
  char source[kPathSize];
  char destination[kPathSize];
  const bool sourceFits =
      CopyText(source, sizeof source, Package.SourceDirectory) &&
      AppendText(source, sizeof source, descriptorName);
  const bool destinationFits =
      CopyText(destination, sizeof destination, installDirectory) &&
      AppendText(destination, sizeof destination, uninstallerDescriptorName);

  plat::HFile in = plat::kFileError;
  long length = -1;
  for (;;) {
    if (sourceFits) in = plat::lopen(source, plat::kOpenRead);
    if (in != plat::kFileError) {
      length = plat::llseek(in, 0, plat::kSeekEnd);
      if (length >= 0 && plat::llseek(in, 0, plat::kSeekSet) == 0) break;
      CloseIfOpen(&in);
    }
    if (RetryCancelBox(FileTransferDialog, kResultReadError, source) !=
        kResultRetry) {
      return kResultCancel;
    }
  }

  // The walk covers only the directories inside the uninstaller's name.
  const size_t directoryLength = strnlen(installDirectory, kPathSize);
  WalkPlan walk = {strchr(uninstallerDescriptorName, '\\') != nullptr, 0,
                   directoryLength > 0 ? directoryLength - 1 : 0};
  plat::HFile out;
  char replacement[kPathSize];
  ResultCode result = CreateTargetFile(destination, destinationFits, walk,
                                       false, &out, replacement);
  if (result != kResultOk) {
    CloseIfOpen(&in);
    return result == kResultIgnore ? kResultOk : result;
  }

  plat::MemHandle memory = nullptr;
  auto* buffer = static_cast<uint8_t*>(
      AllocLocked(static_cast<size_t>(kCopyBlockSize), &memory));
  if (buffer == nullptr) result = kResultNoMemory;
  long offset = 0;
  while (result == kResultOk && offset < length) {
    const long left = length - offset;
    const long block = left > kCopyBlockSize ? kCopyBlockSize : left;
    result = TransferBlock(in, out, buffer, offset, block, source, destination);
    offset += block;
  }
  CloseIfOpen(&in);
  CloseIfOpen(&out);
  if (buffer != nullptr) FreeLocked(&memory);
  if (replacement[0] != '\0') {
    result = CommitReplacement(replacement, destination, result);
  }
  return result;
}
