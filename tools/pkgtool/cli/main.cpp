// pkgtool: the command-line tool that makes the installer's media and
// lists, verifies and extracts them (see commands.h for the commands).
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/host/host_control.h"

int main(int argc, char** argv) {
  host::Reset();
  std::vector<std::string> args(argv + 1, argv + argc);
  pkgtool::Console console;
  console.progress = isatty(STDERR_FILENO) == 1;
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self);
  if (length > 0 && length < static_cast<ssize_t>(sizeof self)) {
    console.self.assign(self, static_cast<size_t>(length));
  }
  int code = pkgtool::RunPkgtool(args, console);
  // A report that could not be written is a failure, and says so (unless
  // the command failed and said so already).
  if ((std::fflush(stdout) != 0 || std::ferror(stdout)) &&
      code == pkgtool::kExitOk) {
    std::fprintf(stderr, "pkgtool: standard output: write error: %s\n",
                 errno != 0 ? std::strerror(errno) : "unknown cause");
    code = pkgtool::kExitFailure;
  }
  return code;
}
