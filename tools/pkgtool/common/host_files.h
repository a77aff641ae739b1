// Small helpers over the Linux file system for pkgtool's own files: the
// manifest and its sources, the media it writes, the directories it scans.
// The installer's data paths (volumes read, files extracted) go through the
// platform layer instead, as in the installer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pkgtool {

// "dir/name", without doubling a slash; name alone when dir is empty.
std::string JoinPath(const std::string& dir, const std::string& name);
// The directory part of a path ("." when there is none) and the last
// component.
std::string DirName(const std::string& path);
std::string BaseName(const std::string& path);

bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
// Size of a regular file; false when it is none or cannot be examined.
bool FileSize(const std::string& path, uint64_t* size);

// Creates path and every missing parent (like mkdir -p). False with errno
// set when a component cannot be created or is not a directory.
bool MakeDirectories(const std::string& path);

// Reads a whole file of at most maxSize bytes. False when it cannot be read
// or is larger (with *error saying which).
bool ReadSmallFile(const std::string& path, size_t maxSize, std::string* data,
                   std::string* error);

// Writes data as the whole content of path (created or truncated).
bool WriteWholeFile(const std::string& path, const void* data, size_t size,
                    std::string* error);

// Copies a file in fixed-size blocks; the destination is created or
// truncated. Copying a file onto itself (the same inode) does nothing.
bool CopyFileBytes(const std::string& from, const std::string& to,
                   std::string* error);

// Names of the entries of a directory (without "." and ".."), sorted so
// that every scan sees them in the same order.
std::vector<std::string> ListDirectory(const std::string& path);

// The entry of dir whose name equals name without regard to case ("" when
// none); the exact name wins when several match.
std::string FindNoCase(const std::string& dir, const std::string& name);

// strerror(errno) as a string.
std::string SystemError();

// A FILE* closed when the holder goes.
class FileCloser {
 public:
  explicit FileCloser(std::FILE* file) : file_(file) {}
  ~FileCloser() {
    if (file_ != nullptr) std::fclose(file_);
  }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;
  std::FILE* get() const { return file_; }
  // Holds file instead, closing the one held.
  void Reset(std::FILE* file) {
    Close();
    file_ = file;
  }
  // Closes now; false when the close reported an error (a failed flush).
  bool Close() {
    std::FILE* file = file_;
    file_ = nullptr;
    return file == nullptr || std::fclose(file) == 0;
  }

 private:
  std::FILE* file_;
};

}  // namespace pkgtool
