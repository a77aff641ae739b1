// The uninstaller's decisions (see uninstall.h).
#include "uninstall/uninstall.h"

#include <cstring>

#include "base/memory.h"
#include "base/text.h"
#include "install/placement.h"
#include "install/progman.h"
#include "platform/dde.h"
#include "platform/platform.h"
#include "ui/messages.h"
#include "ui/settings.h"

UninstallState Uninstall;

namespace {

constexpr char kUninstallerRecord[] = "uninstal.exe";
// The finishing copy tries to delete the uninstaller this often, 100 ms
// apart, while the first part's process still holds its file.
constexpr int kDeleteAttempts = 50;
constexpr unsigned kDeleteRetryMs = 100;
constexpr size_t kBoxTextSize = 512;
constexpr size_t kGroupReplySize = 4096;

bool SamePath(const char* a, const char* b) {
  return plat::lstrcmpi(a, b) == 0;
}

// Whether something of that name exists and is no directory.
bool FileIsThere(const char* path) {
  const uint32_t attributes = plat::GetFileAttributes(path);
  return attributes != plat::kInvalidFileAttributes &&
         (attributes & plat::kFileAttributeDirectory) == 0;
}

// A directory of the platform's (the Windows or the system directory), as
// a path ending with a backslash; empty when it cannot be had.
void PlatformDirectory(unsigned (*get)(char*, unsigned), char* path) {
  if (get(path, kPathSize) >= kPathSize || !AddTrailingBackslash(path)) {
    path[0] = '\0';
  }
}

// Whether a directory (ending with a backslash or not) may be removed when
// empty: never a drive root or a share's root, the Windows or the system
// directory.
bool MayRemoveDirectory(const char* directory) {
  char path[kPathSize];
  if (!CopyText(path, sizeof path, directory) || !AddTrailingBackslash(path)) {
    return false;
  }
  const char* rest = path;
  if (path[0] == '\\' && path[1] == '\\') {
    // \\server\share\ is the root of its drive.
    const char* share = strchr(path + 2, '\\');
    rest = share != nullptr ? strchr(share + 1, '\\') : nullptr;
  } else if (path[0] != '\0' && path[1] == ':') {
    rest = path + 2;
  }
  if (rest == nullptr || strlen(rest) <= 1) return false;
  char windows[kPathSize];
  char system[kPathSize];
  PlatformDirectory(plat::GetWindowsDirectory, windows);
  PlatformDirectory(plat::GetSystemDirectory, system);
  // Where either cannot be had, no directory is known to be safe.
  return windows[0] != '\0' && system[0] != '\0' && !SamePath(path, windows) &&
         !SamePath(path, system);
}

// Whether target lies below D, with no "." or ".." component that would
// lead elsewhere: the directories between D and target may then go.
bool BelowProductDirectory(const char* target) {
  const size_t length = strlen(Uninstall.ProductDirectory);
  if (strlen(target) <= length) return false;
  char head[kPathSize];
  memcpy(head, target, length);
  head[length] = '\0';
  if (!SamePath(head, Uninstall.ProductDirectory)) return false;
  for (const char* part = target + length; part != nullptr;) {
    if (part[0] == '.' &&
        (part[1] == '\\' || part[1] == '\0' ||
         (part[1] == '.' && (part[2] == '\\' || part[2] == '\0')))) {
      return false;
    }
    part = strchr(part, '\\');
    if (part != nullptr) ++part;
  }
  return true;
}

// The directory of target at depth levels below D (1: a directory in D),
// into directory; false when target has no directory that deep.
bool DirectoryAtDepth(const char* target, int depth, char* directory) {
  const size_t start = strlen(Uninstall.ProductDirectory);
  const char* end = target + start;
  for (int level = 0; level < depth; ++level) {
    end = strchr(end, '\\');
    if (end == nullptr) return false;
    if (level + 1 < depth) ++end;
  }
  const size_t length = static_cast<size_t>(end - target);
  memcpy(directory, target, length);
  directory[length] = '\0';
  return true;
}

int DirectoryDepth(const char* target) {
  int depth = 0;
  for (const char* p = target + strlen(Uninstall.ProductDirectory);
       (p = strchr(p, '\\')) != nullptr; ++p) {
    ++depth;
  }
  return depth;
}

// The process stands in the Windows directory: a directory that is some
// process's current one cannot be removed.
void StandInWindowsDirectory() {
  char windows[kPathSize];
  PlatformDirectory(plat::GetWindowsDirectory, windows);
  if (windows[0] != '\0') plat::SetCurrentDirectory(windows);
}

// D, when it is empty and may go.
void RemoveProductDirectory() {
  char directory[kPathSize];
  CopyText(directory, sizeof directory, Uninstall.ProductDirectory);
  RemoveTrailingBackslash(directory);
  if (MayRemoveDirectory(directory)) plat::RemoveDirectory(directory);
}

// Removes the emptied directories below D that hold the list's files,
// deepest first, then D itself when it is empty.
void RemoveEmptyDirectories() {
  StandInWindowsDirectory();
  char target[kPathSize];
  int deepest = 0;
  const uint8_t* record = FirstRecord();
  for (unsigned i = 0; i < Package.Header.recordCount;
       ++i, record = NextRecord(record)) {
    if (FateOfRecord(record, target) == RecordFate::kFile &&
        BelowProductDirectory(target) && DirectoryDepth(target) > deepest) {
      deepest = DirectoryDepth(target);
    }
  }
  char directory[kPathSize];
  for (int depth = deepest; depth > 0; --depth) {
    record = FirstRecord();
    for (unsigned i = 0; i < Package.Header.recordCount;
         ++i, record = NextRecord(record)) {
      if (FateOfRecord(record, target) == RecordFate::kFile &&
          BelowProductDirectory(target) &&
          DirectoryAtDepth(target, depth, directory) &&
          MayRemoveDirectory(directory)) {
        plat::RemoveDirectory(directory);
      }
    }
  }
  RemoveProductDirectory();
}

// The name part of a path.
const char* NameOf(const char* path) {
  const char* slash = strrchr(path, '\\');
  return slash != nullptr ? slash + 1 : path;
}

// Whether a name is an uninstaller's list as the installer names them:
// uninstal.bin or unins1.bin to unins999.bin.
bool IsUninstallerList(const char* name) {
  if (SameTextIgnoringCase(name, "uninstal.bin")) return true;
  if (strlen(name) < 10) return false;
  char head[6];
  memcpy(head, name, 5);
  head[5] = '\0';
  if (!SameTextIgnoringCase(head, "unins")) return false;
  const char* p = name + 5;
  int digits = 0;
  for (; *p >= '0' && *p <= '9'; ++p) ++digits;
  return digits >= 1 && digits <= 3 && name[5] != '0' &&
         SameTextIgnoringCase(p, ".bin");
}

// Whether D stays because of files the user added: it may go, and holds
// something besides the uninstaller and its list, none of it another
// product's uninstaller list (D then holds another product, which is not
// the user's doing).
bool AddedFilesRemain() {
  char pattern[kPathSize];
  if (!MayRemoveDirectory(Uninstall.ProductDirectory) ||
      !CopyText(pattern, sizeof pattern, Uninstall.ProductDirectory) ||
      !AppendText(pattern, sizeof pattern, "*")) {
    return false;
  }
  char name[kPathSize];
  bool found = false;
  bool anotherProduct = false;
  plat::FindHandle find = plat::FindFirstFile(pattern, name, sizeof name);
  for (bool more = find != nullptr; more;
       more = plat::FindNextFile(find, name, sizeof name)) {
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0 ||
        SamePath(name, NameOf(Uninstall.ProgramPath)) ||
        SamePath(name, NameOf(Uninstall.ListPath))) {
      continue;
    }
    found = true;
    if (IsUninstallerList(name)) anotherProduct = true;
  }
  if (find != nullptr) plat::FindClose(find);
  return found && !anotherProduct;
}

// The outcome once the removal is over.
int FinalOutcome(bool everythingGone) {
  if (!everythingGone) return kUninstallKept;
  return AddedFilesRemain() ? kUninstallAddedKept : kUninstallDone;
}

// Deletes the file at path and says whether it is gone (also when it was
// not there). The deletion comes first: a file that the platform could not
// look at is not taken for gone.
bool Delete(const char* path) {
  return plat::DeleteFile(path) || !FileIsThere(path);
}

// Deletes the uninstaller, trying a while when its first part still holds
// it. Whether it is gone.
bool DeleteProgram() {
  bool gone = false;
  for (int attempt = 0; attempt < kDeleteAttempts && !gone; ++attempt) {
    if (attempt > 0) plat::Sleep(kDeleteRetryMs);
    gone = Delete(Uninstall.ProgramPath);
  }
  return gone;
}

// The quiet second part: the list went with the first part, which told the
// outcome; the uninstaller goes, and D when that leaves it empty.
int FinishQuietly(const char* programPath) {
  ResetUninstall();
  Uninstall.Quiet = true;
  if (!CopyText(Uninstall.ProgramPath, kPathSize, programPath) ||
      strrchr(programPath, '\\') == nullptr) {
    return kUninstallKept;
  }
  CopyText(Uninstall.ProductDirectory, kPathSize, programPath);
  Uninstall.ProductDirectory[NameOf(programPath) - programPath] = '\0';
  const bool programGone = DeleteProgram();
  StandInWindowsDirectory();
  RemoveProductDirectory();
  return programGone ? kUninstallDone : kUninstallKept;
}

int TitledBox(unsigned stringId, const char* argument, unsigned type) {
  char text[kBoxTextSize];
  FormatStringWithText(stringId, argument, text, sizeof text);
  return plat::MessageBox(nullptr, text, Uninstall.Title, type);
}

// Deletes the file at path: 0 when it is gone (also when it was not
// there), 5 when it stays (Ignore), 2 on Abort or a box that cannot show.
ResultCode RemoveFile(const char* path) {
  for (;;) {
    if (Delete(path)) return kResultOk;
    if (Uninstall.Quiet) return kResultIgnore;
    const int answer =
        TitledBox(kStrCannotRemove, path,
                  plat::kMbAbortRetryIgnore | plat::kMbIconExclamation);
    if (answer == plat::kIdRetry) continue;
    return answer == plat::kIdIgnore ? kResultIgnore : kResultCancel;
  }
}

// Every file of fate kFile, in the list's order. 0, or 2 on Abort.
ResultCode RemoveProductFiles() {
  char target[kPathSize];
  const uint8_t* record = FirstRecord();
  for (unsigned i = 0; i < Package.Header.recordCount;
       ++i, record = NextRecord(record)) {
    if (FateOfRecord(record, target) == RecordFate::kFile &&
        RemoveFile(target) == kResultCancel) {
      return kResultCancel;
    }
  }
  return kResultOk;
}

// How many records have a fate.
unsigned CountRecords(RecordFate fate, bool onlyThere) {
  unsigned count = 0;
  char target[kPathSize];
  const uint8_t* record = FirstRecord();
  for (unsigned i = 0; i < Package.Header.recordCount;
       ++i, record = NextRecord(record)) {
    if (FateOfRecord(record, target) == fate &&
        (!onlyThere || FileIsThere(target))) {
      ++count;
    }
  }
  return count;
}

// The entries of a game, over DDE: its two items and, when Program Manager
// says the group is empty then, the group. Where it cannot tell, the
// group stays.
void RemoveFromProgramManager() {
  plat::DdeInstance instance = 0;
  if (plat::DdeInitializeClient(&instance) != plat::kDmlErrNoError) return;
  plat::MemHandle memory = nullptr;
  char* block = static_cast<char*>(AllocLocked(kCommandBlockSize, &memory));
  plat::MemHandle replyMemory = nullptr;
  char* reply = static_cast<char*>(AllocLocked(kGroupReplySize, &replyMemory));
  if (block != nullptr && reply != nullptr) {
    for (int number = 1; number < kProgmanRemovalCount; ++number) {
      if (ComposeProgmanRemoval(number, Uninstall.Title, block)) {
        plat::SendProgmanCommand(instance, block);
      }
    }
    char group[kCommandStringSize];
    if (plat::LoadString(kStrGroup, group, sizeof group) > 0 &&
        plat::RequestProgmanGroup(instance, group, reply, kGroupReplySize) &&
        GroupReplyIsEmpty(reply) &&
        ComposeProgmanRemoval(kProgmanRemovalCount, Uninstall.Title, block)) {
      plat::SendProgmanCommand(instance, block);
    }
  }
  FreeLocked(&replyMemory);
  FreeLocked(&memory);
  plat::DdeUninitializeClient(instance);
}

// Shows why the list could not be loaded, naming it.
void ReportListFailure(ResultCode result) {
  if (Uninstall.Quiet) return;
  char caption[64];
  if (plat::LoadString(kStrUninstallCaption, caption, sizeof caption) == 0) {
    caption[0] = '\0';
  }
  unsigned id = static_cast<unsigned>(result);
  if (result == kResultReadError) id = kStrListDamaged;
  char text[kBoxTextSize];
  FormatStringWithText(id, SubjectPath, text, sizeof text);
  plat::MessageBox(nullptr, text, caption,
                   plat::kMbOk | plat::kMbIconExclamation);
}

// Loads the list, showing why when it cannot be.
bool LoadListOrReport(const char* programPath) {
  const ResultCode loaded = LoadUninstallList(programPath);
  if (loaded == kResultOk) return true;
  ReleaseUninstallList();
  ReportListFailure(loaded);
  return false;
}

}  // namespace

void ResetUninstall() { Uninstall = UninstallState(); }

void ReleaseUninstallList() {
  FreeLocked(&Package.TableHandle);
  Package.RecordTable = nullptr;
  Package.Header.recordCount = 0;
}

ResultCode LoadUninstallList(const char* programPath) {
  const bool quiet = Uninstall.Quiet;
  ResetUninstall();
  Uninstall.Quiet = quiet;
  const ResultCode loaded = LoadPackageBeside(programPath);
  if (loaded != kResultOk) return loaded;
  CopyText(Uninstall.ProgramPath, kPathSize, programPath);
  CopyText(Uninstall.ListPath, kPathSize, programPath);
  ReplaceExtension(Uninstall.ListPath, ".bin");  // it fitted for the load
  CopyText(Uninstall.ProductDirectory, kPathSize, Package.SourceDirectory);
  const size_t length =
      strnlen(Package.Header.productTitle, kProductTitleSize - 1);
  memcpy(Uninstall.Title, Package.Header.productTitle, length);
  Uninstall.Title[length] = '\0';
  return kResultOk;
}

RecordFate FateOfRecord(const uint8_t* record, char* target) {
  target[0] = '\0';
  if (RecordIsNoInstall(record)) return RecordFate::kNotPlaced;
  if (RecordIsShared(record)) return RecordFate::kShared;
  const char* name = RecordName(record);
  if (SameTextIgnoringCase(name, kUninstallerRecord)) {
    CopyText(target, kPathSize, Uninstall.ProgramPath);
    return RecordFate::kUninstaller;
  }
  if (!ResolveTargetPath(name, Uninstall.ProductDirectory, target)) {
    target[0] = '\0';
    return RecordFate::kNotPlaced;  // the installer refused such a path
  }
  if (SamePath(target, Uninstall.ProgramPath) ||
      SamePath(target, Uninstall.ListPath)) {
    return RecordFate::kUninstaller;
  }
  char settings[kPathSize];
  PlatformDirectory(plat::GetWindowsDirectory, settings);
  if (AppendText(settings, sizeof settings, kSettingsFile) &&
      SamePath(target, settings)) {
    return RecordFate::kSettings;
  }
  return RecordFate::kFile;
}

int RunUninstall(const char* programPath, bool* finish) {
  *finish = false;
  if (!LoadListOrReport(programPath)) return kUninstallNothing;
  if (!Uninstall.Quiet &&
      TitledBox(kStrUninstallQuestion, Uninstall.Title,
                plat::kMbYesNo | plat::kMbIconQuestion) != plat::kIdYes) {
    return kUninstallNothing;
  }
  if (RemoveProductFiles() != kResultOk) return kUninstallKept;  // Abort
  RemoveEmptyDirectories();
  if (!Package.ControlPanelPackage) RemoveFromProgramManager();
  *finish = true;
  const bool filesGone = CountRecords(RecordFate::kFile, true) == 0;
  if (!Uninstall.Quiet) return FinalOutcome(filesGone);
  // Nobody waits for the second part of a quiet run: all but the
  // uninstaller and D goes now, and this part tells the outcome.
  const bool listGone = Delete(Uninstall.ListPath);
  return FinalOutcome(filesGone && listGone);
}

int FinishUninstall(const char* programPath) {
  if (Uninstall.Quiet) return FinishQuietly(programPath);
  if (!LoadListOrReport(programPath)) return kUninstallNothing;
  const bool programGone = DeleteProgram();
  // The list goes only after its program: an uninstaller left behind still
  // finds it.
  const bool listGone = programGone && Delete(Uninstall.ListPath);
  RemoveEmptyDirectories();
  const int outcome =
      FinalOutcome(listGone && CountRecords(RecordFate::kFile, true) == 0);
  ShowClosingBox(outcome);
  return outcome;
}

void ShowClosingBox(int outcome) {
  if (Uninstall.Quiet) return;
  char text[kBoxTextSize];
  const unsigned id = outcome == kUninstallDone        ? kStrUninstallDone
                      : outcome == kUninstallAddedKept ? kStrAddedFilesKept
                                                       : kStrFilesKept;
  FormatStringWithText(id, Uninstall.Title, text, sizeof text);
  if (outcome == kUninstallAddedKept) {
    char directory[kPathSize];
    CopyText(directory, sizeof directory, Uninstall.ProductDirectory);
    RemoveTrailingBackslash(directory);
    char where[kBoxTextSize];
    FormatStringWithText(kStrAddedFilesWhere, directory, where, sizeof where);
    AppendText(text, sizeof text, "\n\n");
    AppendText(text, sizeof text, where);
  }
  const bool everythingGone = outcome != kUninstallKept;
  if (CountRecords(RecordFate::kShared, false) > 0) {
    char shared[kBoxTextSize];
    FormatStringWithText(kStrSharedKept, "", shared, sizeof shared);
    AppendText(text, sizeof text, "\n\n");
    AppendText(text, sizeof text, shared);
  }
  plat::MessageBox(nullptr, text, Uninstall.Title,
                   plat::kMbOk | (everythingGone ? plat::kMbIconInformation
                                                 : plat::kMbIconExclamation));
}
