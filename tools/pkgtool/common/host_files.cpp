// Helpers over the Linux file system; see host_files.h.
#include "common/host_files.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pkgtool {

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string DirName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FileSize(const std::string& path, uint64_t* size) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

bool MakeDirectories(const std::string& path) {
  if (path.empty() || IsDirectory(path)) return true;
  std::string parent = DirName(path);
  if (parent != path && !MakeDirectories(parent)) return false;
  if (mkdir(path.c_str(), 0755) == 0) return true;
  return errno == EEXIST && IsDirectory(path);
}

bool ReadSmallFile(const std::string& path, size_t maxSize, std::string* data,
                   std::string* error) {
  uint64_t size = 0;
  if (!FileSize(path, &size)) {
    *error =
        path + ": cannot read: " +
        (IsDirectory(path) ? std::string("is a directory") : SystemError());
    return false;
  }
  if (size > maxSize) {
    *error = path + ": too large (" + std::to_string(size) + " bytes > " +
             std::to_string(maxSize) + ")";
    return false;
  }
  FileCloser file(std::fopen(path.c_str(), "rb"));
  if (file.get() == nullptr) {
    *error = path + ": cannot open: " + SystemError();
    return false;
  }
  data->assign(static_cast<size_t>(size), '\0');
  if (size > 0 &&
      std::fread(&(*data)[0], 1, data->size(), file.get()) != data->size()) {
    *error = path + ": read error";
    return false;
  }
  return true;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size,
                    std::string* error) {
  FileCloser file(std::fopen(path.c_str(), "wb"));
  if (file.get() == nullptr) {
    *error = path + ": cannot create: " + SystemError();
    return false;
  }
  if ((size > 0 && std::fwrite(data, 1, size, file.get()) != size) ||
      !file.Close()) {
    *error = path + ": write error: " + SystemError();
    return false;
  }
  return true;
}

bool CopyFileBytes(const std::string& from, const std::string& to,
                   std::string* error) {
  struct stat source, target;
  if (stat(from.c_str(), &source) == 0 && stat(to.c_str(), &target) == 0 &&
      source.st_dev == target.st_dev && source.st_ino == target.st_ino) {
    return true;  // truncating the destination would lose the source
  }
  FileCloser in(std::fopen(from.c_str(), "rb"));
  if (in.get() == nullptr) {
    *error = from + ": cannot open: " + SystemError();
    return false;
  }
  FileCloser out(std::fopen(to.c_str(), "wb"));
  if (out.get() == nullptr) {
    *error = to + ": cannot create: " + SystemError();
    return false;
  }
  std::vector<char> block(64 * 1024);
  for (;;) {
    size_t n = std::fread(block.data(), 1, block.size(), in.get());
    if (n > 0 && std::fwrite(block.data(), 1, n, out.get()) != n) {
      *error = to + ": write error: " + SystemError();
      return false;
    }
    if (n < block.size()) break;
  }
  if (std::ferror(in.get())) {
    *error = from + ": read error";
    return false;
  }
  if (!out.Close()) {
    *error = to + ": write error: " + SystemError();
    return false;
  }
  return true;
}

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 ||
        std::strcmp(entry->d_name, "..") == 0) {
      continue;
    }
    names.push_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string FindNoCase(const std::string& dir, const std::string& name) {
  std::string found;
  for (const std::string& entry : ListDirectory(dir)) {
    if (entry == name) return entry;
    if (found.empty() && strcasecmp(entry.c_str(), name.c_str()) == 0) {
      found = entry;
    }
  }
  return found;
}

std::string SystemError() { return std::strerror(errno); }

}  // namespace pkgtool
