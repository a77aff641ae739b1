// The version library on Linux: VerFindFile as the platform documents it,
// and the version information of a file read from its real version
// resource (pe_version.h).
//
// VerFindFile with VFFF_ISSHAREDFILE proposes the system directory as the
// destination and looks for the installed copy in the system directory,
// then in the application directory; without it, the destination is the
// application directory and the copy is looked for there, then in the
// Windows and the system directory. The current directory comes back empty
// when no copy is installed. Result bits: VFF_CURNEDEST when the copy lies
// elsewhere than the destination, VFF_FILEINUSE when host::SetFileInUse
// marked it, VFF_BUFFTOOSMALL when a buffer could not take its directory
// (which is then cut, as lstrcpyn would).
//
// The version information block handed out here is the file's
// VS_VERSIONINFO preceded by its length (u32), so that QueryFileVersion
// stays inside it.
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_internal.h"
#include "platform/host/pe_version.h"
#include "platform/platform.h"

namespace host {
namespace {

struct VersionState {
  std::vector<std::string> inUse;  // DOS paths of installed copies in use
};

VersionState& Versions() {
  static VersionState state;
  return state;
}

std::string Join(const std::string& directory, const char* name) {
  if (directory.empty() || directory.back() == '\\') return directory + name;
  return directory + "\\" + name;
}

bool Present(const std::string& directory, const char* name) {
  return !directory.empty() && FileExists(Join(directory, name));
}

// Same directory, without regard to case or a final backslash.
bool SameDirectory(std::string a, std::string b) {
  while (a.size() > 3 && a.back() == '\\') a.pop_back();
  while (b.size() > 3 && b.back() == '\\') b.pop_back();
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool InUse(const std::string& dosPath) {
  const std::string path = HostPath(dosPath);
  if (path.empty()) return false;
  for (const std::string& marked : Versions().inUse) {
    if (HostPath(marked) == path) return true;
  }
  return false;
}

// Copies text into buffer as lstrcpyn would and reports the size needed.
// True when the whole text fitted.
bool Deliver(const std::string& text, char* buffer, unsigned* length) {
  if (buffer == nullptr || length == nullptr) return true;
  const unsigned needed = static_cast<unsigned>(text.size() + 1);
  const bool fits = *length >= needed;
  if (*length > 0) {
    size_t count = fits ? text.size() : *length - 1;
    memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
  }
  *length = needed;
  return fits;
}

bool VersionBlock(const char* path, std::vector<uint8_t>* block) {
  const std::string hostPath = HostPath(path);
  int error = 0;
  if (hostPath.empty() || !FileExists(path)) return false;
  if (ReadFileVersionBlock(hostPath, block, &error)) return true;
  if (error != 0) NoteError(error);  // the file is there but cannot be read
  return false;
}

constexpr size_t kLengthPrefix = 4;

}  // namespace

void ResetVersion() { Versions() = VersionState(); }

void SetFileInUse(const std::string& dosPath, bool inUse) {
  std::vector<std::string>& marked = Versions().inUse;
  const std::string path = HostPath(dosPath);
  for (auto it = marked.begin(); it != marked.end();) {
    if (strcasecmp(it->c_str(), dosPath.c_str()) == 0 ||
        (!path.empty() && HostPath(*it) == path)) {
      it = marked.erase(it);
    } else {
      ++it;
    }
  }
  if (inUse) marked.push_back(dosPath);
}

}  // namespace host

namespace plat {

unsigned VerFindFile(unsigned flags, const char* fileName,
                     const char* windowsDirectory, const char* appDirectory,
                     char* currentDirectory, unsigned* currentLength,
                     char* destinationDirectory, unsigned* destinationLength) {
  const std::string app = appDirectory != nullptr ? appDirectory : "";
  const std::string& system = host::SystemDirectory();
  std::string destination;
  std::string current;
  if (fileName != nullptr && (flags & kVfffIsSharedFile) != 0) {
    destination = system;
    if (host::Present(system, fileName)) {
      current = system;
    } else if (host::Present(app, fileName)) {
      current = app;
    }
  } else if (fileName != nullptr) {
    const std::string windows = windowsDirectory != nullptr
                                    ? std::string(windowsDirectory)
                                    : host::WindowsDirectory();
    destination = app;
    if (host::Present(app, fileName)) {
      current = app;
    } else if (host::Present(windows, fileName)) {
      current = windows;
    } else if (host::Present(system, fileName)) {
      current = system;
    }
  }
  // An injected fault: the installed copy could not be looked for.
  if (host::InjectedFailure(host::Fault::kVersion)) current.clear();
  unsigned result = 0;
  if (!current.empty()) {
    if (!host::SameDirectory(current, destination)) result |= kVffCurNeDest;
    if (host::InUse(host::Join(current, fileName))) result |= kVffFileInUse;
  }
  bool fitted = host::Deliver(current, currentDirectory, currentLength);
  fitted =
      host::Deliver(destination, destinationDirectory, destinationLength) &&
      fitted;
  if (!fitted) result |= kVffBufTooSmall;
  return result;
}

uint32_t GetFileVersionInfoSize(const char* path) {
  if (host::InjectedFailure(host::Fault::kVersion)) return 0;
  std::vector<uint8_t> block;
  if (!host::VersionBlock(path, &block)) return 0;
  return static_cast<uint32_t>(block.size() + host::kLengthPrefix);
}

bool GetFileVersionInfo(const char* path, uint32_t size, void* data) {
  if (host::InjectedFailure(host::Fault::kVersion)) return false;
  std::vector<uint8_t> block;
  if (size < host::kLengthPrefix || !host::VersionBlock(path, &block)) {
    return false;
  }
  const size_t room = size - host::kLengthPrefix;
  const uint32_t length =
      static_cast<uint32_t>(block.size() < room ? block.size() : room);
  auto* out = static_cast<uint8_t*>(data);
  for (size_t i = 0; i < host::kLengthPrefix; ++i) {
    out[i] = static_cast<uint8_t>(length >> (8 * i));
  }
  memcpy(out + host::kLengthPrefix, block.data(), length);
  return true;
}

bool QueryFileVersion(const void* data, uint32_t* versionMs,
                      uint32_t* versionLs) {
  if (host::InjectedFailure(host::Fault::kVersion)) return false;
  const auto* in = static_cast<const uint8_t*>(data);
  const uint32_t length =
      static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
      static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
  return host::ParseFixedFileVersion(in + host::kLengthPrefix, length,
                                     versionMs, versionLs);
}

}  // namespace plat
