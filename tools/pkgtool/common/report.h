// Where a failure is printed: every failure once, on standard error, in
// UTF-8 that a terminal can show; repeats of one cause folded into a count.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/console.h"

namespace pkgtool {

// text as a terminal may show it: control characters and bytes that are
// not UTF-8 (a damaged file's name, say) written as \xNN; valid UTF-8 kept.
std::string Printable(const std::string& text);

// A message box's text on one line: each run of line breaks one space.
std::string OneLine(const std::string& text);

// Prints failures of many files: the first failure of a cause in full, the
// later ones of the same cause only counted, and Finish adds a line
// "... and N more files for the same cause (CAUSE)".
class Reporter {
 public:
  explicit Reporter(const Console& console, std::string label = "pkgtool: ")
      : console_(console), label_(std::move(label)) {}
  ~Reporter() { Finish(); }
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;

  // Prints message, unless a failure of the same cause ("" for a cause of
  // its own) was printed already; true when it was printed.
  bool Fail(const std::string& message, const std::string& cause = "");
  // Prints the folded counts, once.
  void Finish();
  // Failures in all, printed or folded.
  unsigned Count() const { return count_; }

 private:
  const Console& console_;
  std::string label_;
  std::map<std::string, unsigned> folded_;  // cause -> failures not printed
  std::vector<std::string> order_;          // causes in the order met
  unsigned count_ = 0;
};

}  // namespace pkgtool
