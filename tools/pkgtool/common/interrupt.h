// Leaving nothing half-made behind when SIGINT or SIGTERM ends pkgtool.
//
// While a CleanupOnSignal lives, SIGINT and SIGTERM first remove what it
// holds (the files with unlink, then the directories with rmdir, the last
// added first) and then end the process as the signal would, so the shell
// sees the usual status (130, 143). The handler does nothing else, and the
// list is only changed with both signals held back, so it never sees a list
// half-changed. One at a time.
#pragma once

#include <csignal>
#include <string>
#include <vector>

namespace pkgtool {

class CleanupOnSignal {
 public:
  CleanupOnSignal();   // installs the handlers
  ~CleanupOnSignal();  // restores the handlers found; removes nothing
  CleanupOnSignal(const CleanupOnSignal&) = delete;
  CleanupOnSignal& operator=(const CleanupOnSignal&) = delete;

  void AddFile(const std::string& path);
  // rmdir only removes it when empty.
  void AddDirectory(const std::string& path);
  // Forgets every path (they are finished, or gone).
  void Clear();
  // Removes every path now, as the handler would, and forgets them.
  void RemoveAll();

  // Holds SIGINT and SIGTERM back while it lives; one that arrives is
  // handled when it goes.
  class Hold {
   public:
    Hold();
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    sigset_t previous_;
  };

 private:
  struct sigaction previousInt_;
  struct sigaction previousTerm_;
};

}  // namespace pkgtool
