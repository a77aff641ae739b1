// The destination dialog's decisions (see destination.h).
#include "ui/destination.h"

#include <cstring>

#include "base/text.h"
#include "package/descriptor.h"
#include "ui/messages.h"

char InstallDirectory[kPathSize];

namespace {

bool IsUncPath(const char* path) { return path[0] == '\\' && path[1] == '\\'; }

char LowerCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The existence test: a directory exists when it can be made the current
// directory.
bool DirectoryExists(const char* path) {
  return plat::SetCurrentDirectory(path);
}

// Makes sure one component exists, creating it when it does not. False when
// it still does not exist afterwards.
bool EnsureDirectory(const char* path) {
  if (DirectoryExists(path)) return true;
  if (plat::CreateDirectory(path)) return true;
  return DirectoryExists(path);
}

// The index of the first backslash that ends a component to be walked by
// CreateInstallDirectory, or -1 when there is none (a drive root).
long FirstSeparator(const char* path) {
  size_t start = 0;
  if (IsUncPath(path)) {
    start = 2;
  } else if (path[0] != '\0' && path[1] == ':' && path[2] == '\\') {
    start = 3;
  }
  const char* found = strchr(path + start, '\\');
  return found == nullptr ? -1 : static_cast<long>(found - path);
}

// The space check of the OK button: true to go on, false when the user
// chose Abort (or the box could not be shown).
bool SpaceAccepted(plat::Window owner) {
  for (;;) {
    const uint32_t freeKb = FreeSpaceKb(InstallDirectory);
    if (freeKb == kFreeSpaceUnknown || freeKb >= Package.RequiredKb) {
      return true;
    }
    const int answer =
        SetupBox(owner, kResultLowSpace,
                 plat::kMbAbortRetryIgnore | plat::kMbIconInformation);
    if (answer == plat::kIdIgnore) return true;
    if (answer != plat::kIdRetry) return false;
  }
}

}  // namespace

void ResetDestination() { InstallDirectory[0] = '\0'; }

uint32_t FreeSpaceFromGeometry(uint32_t sectorsPerCluster,
                               uint32_t bytesPerSector, uint32_t freeClusters) {
  const uint64_t clusterUnits =
      (static_cast<uint64_t>(bytesPerSector) * sectorsPerCluster) >> 8;
  // Units of 256 bytes times clusters; four units make a kilobyte.
  if (clusterUnits != 0 && freeClusters > UINT64_MAX / clusterUnits) {
    return kFreeSpaceLargest;
  }
  const uint64_t kb = (clusterUnits * freeClusters) >> 2;
  return kb > kFreeSpaceLargest ? kFreeSpaceLargest : static_cast<uint32_t>(kb);
}

uint32_t FreeSpaceKb(const char* path) {
  char root[kPathSize];
  CopyText(root, sizeof root, path);
  if (!IsUncPath(root) && root[0] != '\0' && root[1] == ':') {
    root[2] = '\\';
    root[3] = '\0';
  }
  uint32_t sectorsPerCluster = 0;
  uint32_t bytesPerSector = 0;
  uint32_t freeClusters = 0;
  uint32_t totalClusters = 0;
  if (!plat::GetDiskFreeSpace(root, &sectorsPerCluster, &bytesPerSector,
                              &freeClusters, &totalClusters)) {
    return kFreeSpaceUnknown;
  }
  return FreeSpaceFromGeometry(sectorsPerCluster, bytesPerSector, freeClusters);
}

void SetDefaultInstallDirectory() {
  char* directory = InstallDirectory;
  const unsigned length = plat::GetWindowsDirectory(directory, kPathSize);
  if (length == 0 || length >= kPathSize) {
    CopyText(directory, kPathSize, "c:\\");
  }
  if (!Package.ControlPanelPackage) {
    char program[kProgramFileSize + 1];
    ProgramFileText(program);
    if (AddTrailingBackslash(directory)) {
      AppendText(directory, kPathSize, program);
    }
    // The extension of the program's name goes; a full stop in a directory
    // name is not an extension.
    char* dot = strrchr(directory, '.');
    if (dot != nullptr && strchr(dot, '\\') == nullptr) *dot = '\0';
  }
  for (char* p = directory; *p != '\0'; ++p) *p = LowerCase(*p);
  RemoveTrailingBackslash(directory);
}

bool DestinationFormAcceptable(const char* text) {
  if (IsUncPath(text)) return true;
  return text[0] != '\0' && text[1] == ':' && text[2] == '\\';
}

ResultCode CreateInstallDirectory() {
  if (!AddTrailingBackslash(InstallDirectory)) return kResultCannotCreate;
  char prefix[kPathSize];
  const long first = FirstSeparator(InstallDirectory);
  if (first < 0) {
    CopyText(prefix, sizeof prefix, InstallDirectory);
    RemoveTrailingBackslash(prefix);
    return EnsureDirectory(prefix) ? kResultOk : kResultCannotCreate;
  }
  const size_t length = strlen(InstallDirectory);
  for (size_t i = static_cast<size_t>(first); i < length; ++i) {
    if (InstallDirectory[i] != '\\') continue;
    memcpy(prefix, InstallDirectory, i);
    prefix[i] = '\0';
    if (!EnsureDirectory(prefix)) return kResultCannotCreate;
  }
  return kResultOk;
}

bool AcceptDestination(plat::Window owner, const char* fieldText) {
  CopyText(InstallDirectory, kPathSize, fieldText);
  if (!DestinationFormAcceptable(InstallDirectory) ||
      !AddTrailingBackslash(InstallDirectory) ||
      // The platform's comparison knows accented letters as well.
      plat::lstrcmpi(InstallDirectory, Package.SourceDirectory) == 0) {
    PlainWarningBox(owner, kResultInvalidDirectory);
    return false;
  }
  if (!SpaceAccepted(owner)) return false;
  RemoveTrailingBackslash(InstallDirectory);
  if (!DirectoryExists(InstallDirectory)) {
    if (YesNoBox(owner, kStrCreateDirectory, InstallDirectory) !=
        plat::kIdYes) {
      return false;
    }
    if (CreateInstallDirectory() != kResultOk) {
      NoticeBox(owner, kResultCannotCreate, InstallDirectory);
      return false;
    }
  }
  return AddTrailingBackslash(InstallDirectory);
}
