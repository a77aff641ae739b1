// Staged writing: a build's files under temporary names, put in place all
// at the end.
#pragma once

#include <string>
#include <vector>

#include "common/interrupt.h"

namespace pkgtool {

// Everything a build writes goes to a temporary name beside its final one
// and is put in place by Commit, all at the end. Until then a failure or
// SIGINT/SIGTERM removes the temporaries and the directories the build
// created, so OUTDIR holds exactly what it held.
class Staging {
 public:
  Staging() = default;
  ~Staging() {
    if (!committed_) cleanup_.RemoveAll();
  }
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // Like MakeDirectories, remembering the directories it creates.
  bool MakeDirectories(const std::string& path);

  // A file removed when the build ends, whatever way.
  void AddScratch(const std::string& path) { cleanup_.AddFile(path); }

  // Where to write what is to become finalPath.
  std::string Stage(const std::string& finalPath);

  // message with every temporary name replaced by its final one.
  std::string Named(std::string message) const;

  // The temporary of a staged file; "" when it is not staged.
  std::string Temporary(const std::string& finalPath) const;

  // Renames every temporary to its final name, with the signals held back.
  // An earlier file is first moved aside, so that when a rename fails the
  // ones done are undone and the earlier files come back. False with
  // *error when nothing was put in place (the earlier files are kept), or
  // when everything was but an earlier file moved aside could not be
  // removed (it is named).
  bool Commit(std::string* error);

 private:
  struct Entry {
    std::string final;
    std::string temp;
    std::string aside;  // the earlier file while the commit runs
  };
  CleanupOnSignal cleanup_;
  std::vector<Entry> entries_;
  bool committed_ = false;
};

}  // namespace pkgtool
