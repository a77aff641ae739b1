// Helpers over the Linux file system; see host_files.h.
#include "common/host_files.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool LookAt(const std::string& path, PathKind* kind, std::string* error,
            uint64_t* size) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      *kind = PathKind::kNone;
      return true;
    }
    *error = path + ": cannot look: " + SystemError();
    return false;
  }
  *kind = S_ISREG(info.st_mode)   ? PathKind::kFile
          : S_ISDIR(info.st_mode) ? PathKind::kDirectory
                                  : PathKind::kOther;
  if (size != nullptr) {
    *size = *kind == PathKind::kFile ? static_cast<uint64_t>(info.st_size) : 0;
  }
  return true;
}

std::string NotAFile(PathKind kind) {
  switch (kind) {
    case PathKind::kNone:
      return std::strerror(ENOENT);
    case PathKind::kDirectory:
      return "is a directory";
    default:
      return "is not a regular file";
  }
}

bool IsDirectory(const std::string& path, std::string* error) {
  PathKind kind = PathKind::kNone;
  return LookAt(path, &kind, error) && kind == PathKind::kDirectory;
}

bool IsRegularFile(const std::string& path, std::string* error) {
  PathKind kind = PathKind::kNone;
  return LookAt(path, &kind, error) && kind == PathKind::kFile;
}

bool FileSize(const std::string& path, uint64_t* size, std::string* error) {
  PathKind kind = PathKind::kNone;
  if (!LookAt(path, &kind, error, size)) return false;
  if (kind == PathKind::kFile) return true;
  *error = path + ": cannot read: " + NotAFile(kind);
  return false;
}

bool MakeDirectories(const std::string& path) {
  std::string ignored;
  if (path.empty() || IsDirectory(path, &ignored)) return true;
  std::string parent = DirName(path);
  if (parent != path && !MakeDirectories(parent)) return false;
  if (mkdir(path.c_str(), 0755) == 0) return true;
  if (errno != EEXIST) return false;
  const int failure = errno;
  if (IsDirectory(path, &ignored)) return true;
  errno = failure;
  return false;
}

bool ReadSmallFile(const std::string& path, size_t maxSize, std::string* data,
                   std::string* error) {
  uint64_t size = 0;
  if (!FileSize(path, &size, error)) return false;
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
    *error = path + ": read error: " +
             (std::ferror(file.get()) ? SystemError() : "the file shrank");
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
    *error = from + ": read error: " + SystemError();
    return false;
  }
  if (!out.Close()) {
    *error = to + ": write error: " + SystemError();
    return false;
  }
  return true;
}

bool ListDirectory(const std::string& path, std::vector<std::string>* names,
                   std::string* error) {
  names->clear();
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) {
    *error = path + ": cannot list: " + SystemError();
    return false;
  }
  errno = 0;
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 &&
        std::strcmp(entry->d_name, "..") != 0) {
      names->push_back(entry->d_name);
    }
    errno = 0;
  }
  const int failure = errno;
  closedir(dir);
  if (failure != 0) {
    *error = path + ": cannot list: " + std::strerror(failure);
    return false;
  }
  std::sort(names->begin(), names->end());
  return true;
}

bool FindNoCase(const std::string& dir, const std::string& name,
                std::string* found, std::string* error) {
  std::vector<std::string> names;
  found->clear();
  if (!ListDirectory(dir, &names, error)) return false;
  for (const std::string& entry : names) {
    if (entry == name) {
      *found = entry;
      return true;
    }
    if (found->empty() && strcasecmp(entry.c_str(), name.c_str()) == 0) {
      *found = entry;
    }
  }
  return true;
}

bool RemoveFile(const std::string& path, std::string* error) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  }
  *error = path + ": cannot remove: " + SystemError();
  return false;
}

std::string SystemError() { return std::strerror(errno); }

}  // namespace pkgtool
