// pkgtool uninstall: the uninstaller's own removal on Linux, for taking an
// installed product out of a Wine prefix or a plain directory tree again.
//
// The removal is the uninstaller's (uninstall/uninstall.h): RunUninstall as
// uninstal.exe runs it from the product's directory, then FinishUninstall as
// its finishing copy runs it, here at once in the same process. Drive C: is
// --root; the descriptor copy names the uninstaller (its name with ".exe")
// and the product's directory. Boxes are shown on the terminal; the Program
// Manager commands are printed, not sent.
#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/text.h"
#include "cli/commands.h"
#include "common/codepage.h"
#include "common/host_files.h"
#include "common/report.h"
#include "install/installer_state.h"
#include "install/progman.h"
#include "package/descriptor.h"
#include "platform/host/host_control.h"
#include "platform/platform.h"
#include "read/media.h"
#include "uninstall/uninstall.h"

namespace pkgtool {
namespace {

constexpr char kDefaultWindows[] = "C:\\WINDOWS";

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved)
                                                     : std::string();
}

// The command line, checked: drive C:, the Windows directory, and the
// uninstaller's DOS path.
struct UninstallRequest {
  std::string root;       // absolute
  std::string windows;    // DOS
  std::string copy;       // the descriptor copy as given
  std::string program;    // the uninstaller's DOS path
  std::string directory;  // the product's directory, DOS, no backslash
  unsigned codepage = kDefaultCodePage;
};

// The uninstaller's DOS path: the descriptor copy's place below the root,
// in the package's code page, with ".exe" in place of ".bin".
bool ProgramPath(const std::string& copy, UninstallRequest* request,
                 std::string* why) {
  const std::string real = RealPath(copy);
  if (real.size() <= request->root.size() + 1 ||
      real.compare(0, request->root.size() + 1, request->root + "/") != 0) {
    *why = copy + ": not below the --root directory";
    return false;
  }
  std::string relative = real.substr(request->root.size() + 1);
  for (char& c : relative) c = c == '/' ? '\\' : c;
  std::string bytes;
  if (!EncodeText(relative, request->codepage, &bytes, why)) {
    *why = copy + ": " + *why;
    return false;
  }
  char path[kPathSize];
  if (!CopyText(path, sizeof path, ("C:\\" + bytes).c_str()) ||
      !ReplaceExtension(path, ".exe")) {
    *why = copy + ": its path is longer than 259 characters";
    return false;
  }
  request->program = path;
  request->directory = request->program.substr(0, request->program.rfind('\\'));
  return true;
}

int CheckRequest(const Args& args, const Console& console,
                 UninstallRequest* request) {
  if (args.positional.size() != 1) {
    return UsageError(console, kUninstallCommand,
                      "expected one DESCRIPTOR-COPY");
  }
  if (!args.Has("root")) {
    return UsageError(console, kUninstallCommand,
                      "the directory for drive C: is missing (--root DIR)");
  }
  request->windows =
      args.Has("windows") ? args.Value("windows") : kDefaultWindows;
  if (request->windows.size() < 4 || request->windows.size() > 200 ||
      strncasecmp(request->windows.c_str(), "C:\\", 3) != 0) {
    return UsageError(console, kUninstallCommand,
                      "the Windows directory must lie on drive C:");
  }
  int status = kExitOk;
  if (!CodePageOption(args, console, kUninstallCommand, &request->codepage,
                      &status)) {
    return status;
  }
  request->copy = args.positional[0];
  const std::string problem = BinNameProblem(
      request->copy, "the descriptor copy", "uninstaller", "uninstal.bin");
  if (!problem.empty()) {
    PrintError(console, problem);
    return kExitFailure;
  }
  request->root = RealPath(args.Value("root"));
  std::string why;
  if (request->root.empty()) {
    PrintError(console, args.Value("root") + ": " + SystemError());
    return kExitFailure;
  }
  if (!IsDirectory(request->root, &why)) {
    PrintError(console,
               !why.empty() ? why : args.Value("root") + ": not a directory");
    return kExitFailure;
  }
  if (!ProgramPath(request->copy, request, &why)) {
    PrintError(console, why);
    return kExitFailure;
  }
  return kExitOk;
}

// The boxes: printed, and answered from the terminal or by the options.
int Answer(const host::Box& box, const Console& console, bool ask, bool yes,
           unsigned codepage) {
  // The uninstaller's text in UTF-8, and the cause the platform saw for it.
  const int cause = host::TakeLastError();
  std::fprintf(console.err, "uninstal: %s%s\n",
               Printable(OneLine(DecodeText(box.text, codepage))).c_str(),
               cause != 0
                   ? (std::string(" (") + std::strerror(cause) + ")").c_str()
                   : "");
  const unsigned buttons = box.type & 0x0F;
  if (buttons == plat::kMbYesNo) {
    if (yes) return plat::kIdYes;
    if (!ask) return plat::kIdNo;  // nobody to ask: nothing is removed
  } else if (buttons == plat::kMbAbortRetryIgnore) {
    if (!ask) return plat::kIdIgnore;
  } else {
    return plat::kIdOk;
  }
  const bool question = buttons == plat::kMbYesNo;
  for (;;) {
    std::fprintf(console.err,
                 question ? "[Y]es, [N]o? " : "[A]bort, [R]etry, [I]gnore? ");
    std::fflush(console.err);
    std::string line;
    if (!std::getline(std::cin, line)) {
      return question ? plat::kIdNo : plat::kIdAbort;
    }
    const char key = static_cast<char>(tolower(line.empty() ? 0 : line[0]));
    if (question && (key == 'y' || key == 'n')) {
      return key == 'y' ? plat::kIdYes : plat::kIdNo;
    }
    if (!question && (key == 'a' || key == 'r' || key == 'i')) {
      return key == 'a'   ? plat::kIdAbort
             : key == 'r' ? plat::kIdRetry
                          : plat::kIdIgnore;
    }
  }
}

// One record of the list, as found before the removal.
struct Planned {
  RecordFate fate;
  std::string name;    // as listed
  std::string target;  // resolved
  bool there;
};

std::vector<Planned> Plan(const UninstallRequest& request) {
  std::vector<Planned> plan;
  if (LoadUninstallList(request.program.c_str()) != kResultOk) {
    ReleaseUninstallList();
    return plan;
  }
  char target[kPathSize];
  const uint8_t* record = FirstRecord();
  for (unsigned i = 0; i < Package.Header.recordCount;
       ++i, record = NextRecord(record)) {
    const RecordFate fate = FateOfRecord(record, target);
    plan.push_back(
        {fate, RecordName(record), target,
         plat::GetFileAttributes(target) != plat::kInvalidFileAttributes});
  }
  plan.push_back({RecordFate::kUninstaller, "", Uninstall.ListPath,
                  plat::GetFileAttributes(Uninstall.ListPath) !=
                      plat::kInvalidFileAttributes});
  ReleaseUninstallList();
  return plan;
}

void PrintProgmanRemoval(const Console& console, const std::string& title) {
  std::fprintf(console.out, "Program Manager commands (not sent):\n");
  char block[kCommandBlockSize];
  for (int n = 1; n <= kProgmanRemovalCount; ++n) {
    if (ComposeProgmanRemoval(n, title.c_str(), block)) {
      std::fprintf(console.out, "  %s%s\n", block,
                   n == kProgmanRemovalCount
                       ? "  (only when the group is then empty)"
                       : "");
    }
  }
}

// What was removed and what stays, in the list's order; returns how many
// files that were to go had to stay. cause is the errno of a failure the
// run passed over without a box (0 for none): it is why a file stays.
unsigned Report(const Console& console, const UninstallRequest& request,
                const std::vector<Planned>& plan, unsigned codepage,
                int cause) {
  unsigned kept = 0;
  const std::string why =
      cause != 0 ? std::string(": ") + std::strerror(cause) : std::string();
  for (const Planned& entry : plan) {
    const std::string shown = DecodeText(entry.target, codepage);
    const bool there = plat::GetFileAttributes(entry.target.c_str()) !=
                       plat::kInvalidFileAttributes;
    switch (entry.fate) {
      case RecordFate::kShared:
        std::fprintf(console.out, "kept     %s (shared)\n",
                     DecodeText(entry.name, codepage).c_str());
        break;
      case RecordFate::kSettings:
        std::fprintf(console.out, "kept     %s (the settings file)\n",
                     shown.c_str());
        break;
      case RecordFate::kUninstaller:
      case RecordFate::kFile:
        if (there) {
          std::fprintf(console.out, "kept     %s (could not be removed%s)\n",
                       shown.c_str(), why.c_str());
          ++kept;
        } else if (entry.there) {
          std::fprintf(console.out, "removed  %s\n", shown.c_str());
        }
        break;
      case RecordFate::kNotPlaced:
        break;
    }
  }
  const std::string directory = DecodeText(request.directory, codepage);
  if (plat::GetFileAttributes(request.directory.c_str()) ==
      plat::kInvalidFileAttributes) {
    std::fprintf(console.out, "removed  %s\\\n", directory.c_str());
  } else {
    std::fprintf(console.out, "kept     %s\\ (not empty)\n", directory.c_str());
  }
  return kept;
}

int RunUninstallCommand(const Args& args, const Console& console) {
  UninstallRequest request;
  const int status = CheckRequest(args, console, &request);
  if (status != kExitOk) return status;

  ResetInstallerState();
  ResetUninstall();
  host::MapDrive('C', request.root);
  host::SetWindowsDirectory(request.windows);
  host::SetSystemDirectory(request.windows + "\\SYSTEM");
  const unsigned codepage = request.codepage;
  host::SetNameDecoder([codepage](const std::string& name) {
    return DecodeText(name, codepage);
  });
  const bool ask = !args.Has("yes") && isatty(STDIN_FILENO) == 1;
  const bool yes = args.Has("yes");
  host::SetResponder([&console, ask, yes, codepage](const host::Box& box) {
    return Answer(box, console, ask, yes, codepage);
  });
  // --quiet keeps quiet, as in every command; only --yes removes without
  // asking.

  const std::vector<Planned> plan = Plan(request);
  bool finish = false;
  int code = RunUninstall(request.program.c_str(), &finish);
  const bool game = !Package.ControlPanelPackage;
  const std::string title = Uninstall.Title;
  ReleaseUninstallList();
  if (finish) {
    // Quiet, the first part's outcome is final unless the uninstaller stays.
    const int finished = FinishUninstall(request.program.c_str());
    if (!Uninstall.Quiet || finished != kUninstallDone) code = finished;
    ReleaseUninstallList();
  }
  unsigned kept = 0;
  if (code != kUninstallNothing) {
    kept = Report(console, request, plan, codepage, host::TakeLastError());
    if (game && finish) PrintProgmanRemoval(console, title);
  }
  host::SetResponder(nullptr);
  host::SetNameDecoder(nullptr);
  // The uninstaller's outcomes as pkgtool's statuses: 2 is a usage error
  // in every command; a file kept after Ignore is a removal in part too.
  // The user's own files are not the installation's: their staying is a
  // complete removal, shown in the report.
  const bool complete = code == kUninstallDone || code == kUninstallAddedKept;
  return code == kUninstallNothing ? kExitFailure
         : complete && kept == 0   ? kExitOk
                                   : kExitKept;
}

}  // namespace

const Command kUninstallCommand = {
    "uninstall",
    "remove an installed product as its uninstaller does",
    "Usage: pkgtool uninstall DESCRIPTOR-COPY --root DIR [--windows PATH]\n"
    "                         [--yes] [--quiet] [--codepage N]\n"
    "\n"
    "Runs the uninstaller's own removal on Linux. DESCRIPTOR-COPY is the\n"
    "package descriptor that the installer copied beside the uninstaller\n"
    "(uninstal.bin, unins1.bin, or the program's name for a Control Panel\n"
    "package), below DIR, which stands for drive C: (for a Wine prefix, its\n"
    "drive_c). As uninstal.exe does, it removes every file the installation\n"
    "placed, then the directories that became empty, the uninstaller, its\n"
    "descriptor copy and the product's directory when it is empty. Shared\n"
    "files stay (other products may use them), and so do tarny.ini, files\n"
    "the user added and their directories. It prints what it removed and\n"
    "kept, and the Program Manager commands that uninstal.exe would send.\n"
    "\n"
    "The question and every other message are shown on the terminal; without\n"
    "one the question is answered No (nothing is removed) unless --yes is\n"
    "given, and a file that cannot be removed is kept (Ignore).\n"
    "\n"
    "Options:\n"
    "  --root DIR       the directory that stands for drive C:\n"
    "  --windows PATH   the Windows directory (default C:\\WINDOWS)\n"
    "  -y, --yes        remove without asking, as uninstal.exe /quiet: Yes\n"
    "                   to the question, Ignore for a file that cannot be\n"
    "                   removed\n"
    "  -q, --quiet      no progress bar, as in every command (it answers\n"
    "                   nothing: that is --yes)\n"
    "  --codepage N     the code page of the package's names (default\n"
    "                   1252), as given to pkgtool install\n"
    "\n"
    "Exit status: 0 removed, 1 nothing removed (no descriptor copy or a\n"
    "damaged one, the answer No), 2 usage error, 3 removed in part: a file\n"
    "that could not be removed (\"kept ... (could not be removed)\") or\n"
    "Abort stopped the removal. Files the user added stay in the product's\n"
    "directory (\"kept DIR\\ (not empty)\"), with status 0.\n"
    "\n"
    "Examples:\n"
    "  Remove what the install example placed, answering Yes:\n"
    "    pkgtool uninstall ~/.wine/drive_c/GAMES/QUEST/uninstal.bin \\\n"
    "      --root ~/.wine/drive_c --yes\n",
    {{"root", 0, true},
     {"windows", 0, true},
     {"yes", 'y', false},
     {"codepage", 0, true}},
    RunUninstallCommand,
};

}  // namespace pkgtool
