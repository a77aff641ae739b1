// Staged writing; see staging.h.
#include "build/staging.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/host_files.h"

namespace pkgtool {

bool Staging::MakeDirectories(const std::string& path) {
  std::string ignored;
  if (path.empty() || IsDirectory(path, &ignored)) return true;
  std::string parent = DirName(path);
  if (parent != path && !MakeDirectories(parent)) return false;
  CleanupOnSignal::Hold hold;
  if (::mkdir(path.c_str(), 0755) != 0) {
    if (errno != EEXIST) return false;
    const int failure = errno;
    if (IsDirectory(path, &ignored)) return true;
    errno = failure;
    return false;
  }
  cleanup_.AddDirectory(path);
  return true;
}

std::string Staging::Stage(const std::string& finalPath) {
  std::string dir = DirName(finalPath);
  std::string stem = ".pkgtool-" + std::to_string(entries_.size() + 1);
  Entry entry{finalPath, JoinPath(dir, stem + ".new"),
              JoinPath(dir, stem + ".old")};
  cleanup_.AddFile(entry.temp);
  entries_.push_back(entry);
  return entry.temp;
}

std::string Staging::Named(std::string message) const {
  for (const Entry& entry : entries_) {
    for (size_t at = message.find(entry.temp); at != std::string::npos;
         at = message.find(entry.temp, at + entry.final.size())) {
      message.replace(at, entry.temp.size(), entry.final);
    }
  }
  return message;
}

std::string Staging::Temporary(const std::string& finalPath) const {
  for (const Entry& entry : entries_) {
    if (entry.final == finalPath) return entry.temp;
  }
  return std::string();
}

bool Staging::Commit(std::string* error) {
  CleanupOnSignal::Hold hold;
  for (const Entry& entry : entries_) {
    if (IsDirectory(entry.final, error)) {
      *error = entry.final + ": is a directory, not replaced";
    }
    if (!error->empty()) return false;
  }
  std::vector<bool> earlier(entries_.size(), false);
  size_t done = 0;
  for (; done < entries_.size(); ++done) {
    const Entry& entry = entries_[done];
    struct stat info;
    earlier[done] = ::lstat(entry.final.c_str(), &info) == 0;
    if (earlier[done] &&
        std::rename(entry.final.c_str(), entry.aside.c_str()) != 0) {
      break;
    }
    if (std::rename(entry.temp.c_str(), entry.final.c_str()) != 0) {
      int failure = errno;
      if (earlier[done]) {
        std::rename(entry.aside.c_str(), entry.final.c_str());
      }
      errno = failure;
      break;
    }
  }
  if (done < entries_.size()) {
    *error = entries_[done].final +
             ": cannot be put in place: " + SystemError() +
             "; the earlier files are kept";
    for (size_t i = done; i-- > 0;) {
      const Entry& entry = entries_[i];
      std::string ignored;
      if (earlier[i]) {
        std::rename(entry.aside.c_str(), entry.final.c_str());
      } else {
        RemoveFile(entry.final, &ignored);
      }
    }
    return false;
  }
  // The new files are in place: what stays of the earlier ones is named.
  committed_ = true;
  for (size_t i = 0; i < entries_.size(); ++i) {
    std::string why;
    if (earlier[i] && !RemoveFile(entries_[i].aside, &why)) {
      *error = why + " (the earlier " + entries_[i].final +
               "; the new media are in place)";
    }
  }
  cleanup_.Clear();
  return error->empty();
}

}  // namespace pkgtool
