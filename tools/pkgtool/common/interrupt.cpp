// Cleaning up on SIGINT and SIGTERM; see interrupt.h.
#include "common/interrupt.h"

#include <unistd.h>

namespace pkgtool {
namespace {

// Only changed with the signals held back; the handler reads them.
std::vector<std::string> gFiles;
std::vector<std::string> gDirectories;

void RemovePaths() {
  for (const std::string& file : gFiles) ::unlink(file.c_str());
  for (size_t i = gDirectories.size(); i-- > 0;) {
    ::rmdir(gDirectories[i].c_str());
  }
}

extern "C" void OnSignal(int signal) {
  RemovePaths();
  // Ends the process the signal's own way once the handler returns (the
  // signal is held back until then).
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

sigset_t Signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

CleanupOnSignal::CleanupOnSignal() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  action.sa_mask = Signals();
  sigaction(SIGINT, &action, &previousInt_);
  sigaction(SIGTERM, &action, &previousTerm_);
}

CleanupOnSignal::~CleanupOnSignal() {
  Clear();
  sigaction(SIGINT, &previousInt_, nullptr);
  sigaction(SIGTERM, &previousTerm_, nullptr);
}

void CleanupOnSignal::AddFile(const std::string& path) {
  Hold hold;
  gFiles.push_back(path);
}

void CleanupOnSignal::AddDirectory(const std::string& path) {
  Hold hold;
  gDirectories.push_back(path);
}

void CleanupOnSignal::Clear() {
  Hold hold;
  gFiles.clear();
  gDirectories.clear();
}

void CleanupOnSignal::RemoveAll() {
  Hold hold;
  RemovePaths();
  gFiles.clear();
  gDirectories.clear();
}

CleanupOnSignal::Hold::Hold() {
  sigset_t set = Signals();
  sigprocmask(SIG_BLOCK, &set, &previous_);
}

CleanupOnSignal::Hold::~Hold() {
  sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace pkgtool
