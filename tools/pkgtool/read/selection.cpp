// Choosing files by pattern; see selection.h.
#include "read/selection.h"

#include <fnmatch.h>

namespace pkgtool {

Selection::Selection(std::vector<std::string> patterns)
    : patterns_(std::move(patterns)), used_(patterns_.size(), false) {}

bool Selection::Chooses(const std::string& name) {
  if (patterns_.empty()) return true;
  bool chosen = false;
  for (size_t i = 0; i < patterns_.size(); ++i) {
    // No FNM_PATHNAME: '*' crosses both '\' and '/'; no escapes, since the
    // backslash separates a target name's directories.
    if (fnmatch(patterns_[i].c_str(), name.c_str(),
                FNM_NOESCAPE | FNM_CASEFOLD) == 0) {
      used_[i] = true;
      chosen = true;
    }
  }
  return chosen;
}

std::vector<std::string> Selection::Unmatched() const {
  std::vector<std::string> unmatched;
  for (size_t i = 0; i < patterns_.size(); ++i) {
    if (!used_[i]) unmatched.push_back(patterns_[i]);
  }
  return unmatched;
}

}  // namespace pkgtool
