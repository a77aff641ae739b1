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

// What stands at a path (stat(2), links followed).
enum class PathKind { kNone, kFile, kDirectory, kOther };

// Looks at path: *kind and, for a file, *size. False with *error
// ("PATH: cannot look: CAUSE") when it could not be looked at (permission,
// I/O, too many open files, ...): that is never "not there". Nothing at the
// path (ENOENT, ENOTDIR) is kNone, not a failure.
bool LookAt(const std::string& path, PathKind* kind, std::string* error,
            uint64_t* size = nullptr);

// Why what stands at a path of this kind is no regular file: "No such file
// or directory", "is a directory", "is not a regular file".
std::string NotAFile(PathKind kind);

// Whether path is a directory, a regular file; false with *error set when
// it could not be looked at, false with *error left empty for "no".
bool IsDirectory(const std::string& path, std::string* error);
bool IsRegularFile(const std::string& path, std::string* error);

// Size of a regular file; false with *error when it is none or cannot be
// examined.
bool FileSize(const std::string& path, uint64_t* size, std::string* error);

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
// that every scan sees them in the same order. False with *error when the
// directory cannot be opened or read; a directory that is not there is
// such a failure too (look first where "not there" is an answer).
bool ListDirectory(const std::string& path, std::vector<std::string>* names,
                   std::string* error);

// *found gets the entry of dir whose name equals name without regard to
// case ("" when none); the exact name wins when several match. False with
// *error when dir cannot be listed.
bool FindNoCase(const std::string& dir, const std::string& name,
                std::string* found, std::string* error);

// Removes a file that must not stay (a temporary, an earlier file moved
// aside). A failure is tried once more, as it may pass (a file busy for a
// moment); nothing there is success. False with *error ("PATH: cannot
// remove: CAUSE") when it stays.
bool RemoveFile(const std::string& path, std::string* error);

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
