// The files that a command's PATTERN arguments choose: shell-style patterns
// ('*', '?', '[...]') matched against a target name as pkgtool lists it,
// without regard to case in the fold build uses for name clashes (café and
// CAFÉ are one name), '/' taken for the descriptor's '\' ('*' crosses
// both). No pattern chooses every file.
#pragma once

#include <string>
#include <vector>

namespace pkgtool {

class Selection {
 public:
  explicit Selection(std::vector<std::string> patterns);

  bool ChoosesAll() const { return patterns_.empty(); }
  // Whether name is chosen; every pattern that matches it counts as used.
  bool Chooses(const std::string& name);
  // The patterns that no name has matched so far, in the order given.
  std::vector<std::string> Unmatched() const;

 private:
  std::vector<std::string> patterns_;
  std::vector<std::u32string> folded_;  // as they are compared
  std::vector<bool> used_;
};

}  // namespace pkgtool
