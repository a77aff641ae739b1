// Where a pkgtool command writes: its report (stdout), its errors and the
// progress bar (stderr), and whether the bar is wanted. Tests pass memory
// streams to read back what a command said.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pkgtool {

enum ExitCode : int {
  kExitOk = 0,       // everything held
  kExitFailure = 1,  // the work failed: bad input, a damaged medium, I/O
  kExitUsage = 2,    // the command line is wrong
  kExitKept = 3,     // done, but some files had to stay as they were
};

struct Console {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool progress = false;  // draw a progress bar on err (a terminal)
  // pkgtool's own program (main sets it), where the files shipped with it
  // are looked for; "" in tests.
  std::string self;
};

// "pkgtool: " and the message, on its own line on err.
void PrintError(const Console& console, const std::string& message);
// The same for every message of a list.
void PrintErrors(const Console& console,
                 const std::vector<std::string>& messages);

// A bar that redraws one line of err in place, only when its percentage or
// label changes; nothing at all when the console has no progress.
class ProgressBar {
 public:
  ProgressBar(const Console& console, uint64_t total);
  ~ProgressBar() { Finish(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void SetLabel(const std::string& label);
  // For work whose size is known only once it has started.
  void SetTotal(uint64_t total) { total_ = total; }
  void Update(uint64_t done);
  // Clears the line (also done when the bar goes).
  void Finish();

 private:
  void Draw();

  std::FILE* err_;
  bool enabled_;
  uint64_t total_;
  uint64_t done_ = 0;
  int shownPercent_ = -1;
  std::string label_;
  bool drawn_ = false;
};

}  // namespace pkgtool
