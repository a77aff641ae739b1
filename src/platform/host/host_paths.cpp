// DOS paths on Linux, the way Wine maps them: a drive letter stands for a
// host directory, backslashes (and slashes) separate components, and an
// existing component is found without regard to case.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_internal.h"
#include "platform/platform.h"

namespace host {
namespace {

struct PathState {
  std::string drives[26];
  std::string currentDirectory = "C:\\";
  NameDecoder decodeName;     // DOS name bytes to a host name; none: as is
  std::string decodedDrives;  // the drives it applies to; "": all
};

PathState& Paths() {
  static PathState state;
  return state;
}

int DriveIndex(char letter) {
  if (letter >= 'a' && letter <= 'z') return letter - 'a';
  if (letter >= 'A' && letter <= 'Z') return letter - 'A';
  return -1;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The entry of directory that matches name: the exact name when it exists,
// otherwise the first entry equal to it without regard to case, otherwise
// the name as written.
std::string MatchComponent(const std::string& directory,
                           const std::string& name) {
  std::string exact = directory + "/" + name;
  struct stat info;
  if (lstat(exact.c_str(), &info) == 0) return name;
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return name;
  std::string found = name;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

void ResetPaths() { Paths() = PathState(); }

void SetNameDecoder(NameDecoder decoder, const std::string& drives) {
  Paths().decodeName = std::move(decoder);
  Paths().decodedDrives = drives;
}

void MapDrive(char letter, const std::string& hostDirectory) {
  int index = DriveIndex(letter);
  if (index < 0) return;
  std::string directory = hostDirectory;
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  Paths().drives[index] = directory;
}

std::string CurrentDirectory() { return Paths().currentDirectory; }

void SetCurrentDosDirectory(const std::string& dosPath) {
  Paths().currentDirectory = dosPath;
}

bool AbsoluteDosPath(const std::string& dosPath, std::string* absolute) {
  const std::string& current = Paths().currentDirectory;
  std::string full;
  if (dosPath.size() >= 2 && IsSeparator(dosPath[0]) &&
      IsSeparator(dosPath[1])) {
    return false;  // UNC paths lead to no mapped drive
  }
  if (dosPath.size() >= 2 && dosPath[1] == ':' && DriveIndex(dosPath[0]) >= 0) {
    std::string rest = dosPath.substr(2);
    if (!rest.empty() && IsSeparator(rest[0])) {
      full = dosPath.substr(0, 2) + rest;
    } else if (DriveIndex(current[0]) == DriveIndex(dosPath[0])) {
      full = current + "\\" + rest;  // relative to that drive's directory
    } else {
      full = dosPath.substr(0, 2) + "\\" + rest;
    }
  } else if (!dosPath.empty() && IsSeparator(dosPath[0])) {
    full = current.substr(0, 2) + dosPath;
  } else {
    full = current + "\\" + dosPath;
  }

  // Normalise: one backslash between components, "." dropped, ".." removes
  // the component before it but never the drive.
  std::vector<std::string> parts;
  size_t start = 2;
  while (start <= full.size()) {
    size_t end = start;
    while (end < full.size() && !IsSeparator(full[end])) ++end;
    std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result = full.substr(0, 2);
  result[0] = static_cast<char>(toupper(static_cast<unsigned char>(result[0])));
  if (parts.empty()) result += "\\";
  for (const std::string& part : parts) result += "\\" + part;
  *absolute = result;
  return true;
}

std::string HostPath(const std::string& dosPath) {
  std::string absolute;
  if (!AbsoluteDosPath(dosPath, &absolute)) return std::string();
  const std::string& root = Paths().drives[DriveIndex(absolute[0])];
  if (root.empty()) return std::string();
  std::string host = root;
  size_t start = 3;
  bool matching = true;
  const std::string& decoded = Paths().decodedDrives;
  const bool decode =
      Paths().decodeName &&
      (decoded.empty() || decoded.find(absolute[0]) != std::string::npos);
  while (start < absolute.size()) {
    size_t end = absolute.find('\\', start);
    if (end == std::string::npos) end = absolute.size();
    std::string part = absolute.substr(start, end - start);
    if (decode) part = Paths().decodeName(part);
    if (matching) {
      std::string matched = MatchComponent(host, part);
      struct stat info;
      matching = lstat((host + "/" + matched).c_str(), &info) == 0;
      part = matched;
    }
    host += "/" + part;
    start = end + 1;
  }
  return host;
}

bool FileExists(const std::string& dosPath) {
  std::string path = HostPath(dosPath);
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0 &&
         S_ISREG(info.st_mode);
}

bool DirectoryExists(const std::string& dosPath) {
  std::string path = HostPath(dosPath);
  struct stat info;
  if (path.empty()) return false;
  if (stat(path.c_str(), &info) != 0) {
    RecordError(errno);  // could not look: the cause of what follows
    return false;
  }
  return S_ISDIR(info.st_mode);
}

}  // namespace host

// The directory listing: only the pattern "DIR\*"; the names are the host's
// own (the name decoder maps DOS names to host names, not back).
namespace plat {
namespace {

bool NextName(DIR* directory, char* name, size_t size) {
  const dirent* entry = readdir(directory);
  if (entry == nullptr || size == 0) return false;
  size_t length = 0;
  for (; entry->d_name[length] != '\0' && length + 1 < size; ++length) {
    name[length] = entry->d_name[length];
  }
  name[length] = '\0';
  return true;
}

}  // namespace

FindHandle FindFirstFile(const char* pattern, char* name, size_t size) {
  std::string directory = pattern;
  if (directory.size() < 2 ||
      directory.compare(directory.size() - 2, 2, "\\*") != 0) {
    return nullptr;
  }
  directory.resize(directory.size() - 2);
  const std::string path = host::HostPath(directory);
  DIR* listing = path.empty() ? nullptr : opendir(path.c_str());
  if (listing == nullptr) return nullptr;
  if (!NextName(listing, name, size)) {
    closedir(listing);
    return nullptr;
  }
  return listing;
}

bool FindNextFile(FindHandle find, char* name, size_t size) {
  return NextName(static_cast<DIR*>(find), name, size);
}

void FindClose(FindHandle find) { closedir(static_cast<DIR*>(find)); }

}  // namespace plat
