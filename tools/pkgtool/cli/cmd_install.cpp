// pkgtool install: the installer's own installation run on Linux, for
// installing a product into a Wine prefix or a plain directory without the
// user interface.
//
// The run is the installer's: LoadPackage, RunInstallation (both passes,
// the version check, the uninstaller's name and its descriptor copy), then
// the settings write of a first installation. Drive C: is --root, drive A:
// the disk in the drive (the descriptor's directory is disk 1). Disk
// prompts are answered from the directories that hold each disk's volume;
// every other message box is shown on the terminal with its buttons.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/result.h"
#include "base/text.h"
#include "cli/box_answers.h"
#include "cli/commands.h"
#include "common/codepage.h"
#include "common/host_files.h"
#include "install/installer_state.h"
#include "install/placement.h"
#include "install/progman.h"
#include "install/run.h"
#include "package/descriptor.h"
#include "platform/host/host_control.h"
#include "platform/platform.h"
#include "read/media.h"
#include "read/media_sources.h"
#include "stream/lzhuf.h"
#include "stream/output.h"
#include "stream/volume.h"
#include "ui/destination.h"
#include "ui/settings.h"
#include "ui/ui_state.h"

namespace pkgtool {
namespace {

constexpr char kDefaultWindows[] = "C:\\WINDOWS";

bool OnDriveC(const std::string& path) {
  return path.size() >= 3 && (path[0] == 'C' || path[0] == 'c') &&
         path[1] == ':' && path[2] == '\\';
}

// Creates every missing directory of a DOS path on a drive, one level at a
// time. False when one cannot be created.
bool CreateDosDirectories(const std::string& path) {
  std::string prefix;
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\') continue;
    prefix = path.substr(0, i);
    if (prefix.size() <= 3) continue;
    if (!plat::SetCurrentDirectory(prefix.c_str()) &&
        !plat::CreateDirectory(prefix.c_str())) {
      return false;
    }
  }
  return true;
}

// A text field of the header, bounded to its size.
std::string HeaderText(const char* field, size_t size) {
  return std::string(field, strnlen(field, size));
}

// What a non-zero result of the run means, for the closing message.
std::string ResultText(ResultCode result) {
  switch (result) {
    case kResultCancel:
      return "cancelled";
    case kResultWindowProblem:
      return "the progress dialog could not be created";
    case kResultNoMemory:
      return "not enough memory";
    default:
      return "failed (result " + std::to_string(result) + ")";
  }
}

// " (CAUSE)" for the platform call that failed last, "" when none did.
std::string PlatformCause() {
  const int cause = host::TakeLastError();
  return cause != 0 ? std::string(" (") + std::strerror(cause) + ")" : "";
}

std::string LoadFailureWords(ResultCode result, const std::string& path) {
  switch (result) {
    case kResultMissing:
      return path + ": cannot be opened";
    case kResultReadError:
      return path + ": read error, or not a package descriptor";
    case kResultNoMemory:
      return path + ": not enough memory (or an empty record table)";
    default:
      return path + ": cannot be loaded (result " + std::to_string(result) +
             ")";
  }
}

std::string LoadFailureText(ResultCode result, const std::string& path) {
  return LoadFailureWords(result, path) + PlatformCause();
}

// Prints the Program Manager commands the installer would send.
void PrintProgmanCommands(const Console& console, const char* directory,
                          unsigned codepage) {
  if (Package.ControlPanelPackage) {
    std::fprintf(console.out,
                 "Control Panel package: no Program Manager entries\n");
    return;
  }
  const std::string programFile =
      HeaderText(Package.Header.programFile, kProgramFileSize);
  const std::string title =
      HeaderText(Package.Header.productTitle, kProductTitleSize);
  ProgmanItems items = {directory, programFile.c_str(), title.c_str(),
                        Placement.UninstallerName};
  std::fprintf(console.out, "Program Manager commands (not sent):\n");
  char block[kCommandBlockSize];
  for (int n = 1; n <= ProgmanCommandCount(items); ++n) {
    if (ComposeProgmanCommand(n, items, block)) {
      std::fprintf(console.out, "  %s\n", DecodeText(block, codepage).c_str());
    } else {
      std::fprintf(console.out, "  (command %d does not fit its block)\n", n);
    }
  }
}

void ReleaseInstallerState() {
  CloseDataStream();
  FreeLocked(&Package.TableHandle);
  Package.RecordTable = nullptr;
  host::SetResponder(nullptr);
  host::SetProgressObserver(nullptr);
  host::SetNameDecoder(nullptr);
  SetStrictStreamEnd(false);
}

// The command line, checked: what drive C: and the destination are, and
// which descriptor stands on drive A:.
struct InstallRequest {
  std::string root;
  std::string windows;
  std::string descriptor;
  std::string descriptorDir;  // absolute
  std::string programName;    // the descriptor's name without ".bin"
  unsigned codepage = 1252;   // of the package's names and of the paths
  char installDirectory[kPathSize];
};

// The options. kExitOk with *request filled, or a usage error's status.
int CheckOptions(const Args& args, const Console& console,
                 InstallRequest* request) {
  if (args.positional.size() != 1) {
    return UsageError(console, kInstallCommand, "expected one DESCRIPTOR");
  }
  request->root = args.Value("root");
  int status = kExitOk;
  if (!CodePageOption(args, console, kInstallCommand, &request->codepage,
                      &status)) {
    return status;
  }
  // The installer's paths are in the package's code page.
  std::string to, why;
  if (!EncodeText(args.Value("to"), request->codepage, &to, &why)) {
    return UsageError(console, kInstallCommand, "--to " + why);
  }
  if (request->root.empty()) {
    return UsageError(console, kInstallCommand,
                      "the directory for drive C: is missing (--root DIR)");
  }
  if (to.empty()) {
    return UsageError(console, kInstallCommand,
                      "the destination is missing (--to PATH)");
  }
  if (!DestinationFormAcceptable(to.c_str())) {
    return UsageError(
        console, kInstallCommand,
        "invalid directory \"" + to + "\" (a path such as C:\\GAMES\\QUEST)");
  }
  char* directory = request->installDirectory;
  if (!CopyText(directory, kPathSize, to.c_str()) ||
      !AddTrailingBackslash(directory)) {
    return UsageError(console, kInstallCommand,
                      "the destination is longer than 258 characters");
  }
  if (!OnDriveC(to)) {
    return UsageError(console, kInstallCommand,
                      "the destination must lie on drive C: (--root)");
  }
  if (!EncodeText(args.Has("windows") ? args.Value("windows") : kDefaultWindows,
                  request->codepage, &request->windows, &why)) {
    return UsageError(console, kInstallCommand, "--windows " + why);
  }
  if (!OnDriveC(request->windows) || request->windows.size() > 200) {
    return UsageError(console, kInstallCommand,
                      "the Windows directory must lie on drive C:");
  }
  return kExitOk;
}

// The descriptor and drive C:'s directory. kExitOk, or kExitFailure with
// the reason printed.
int CheckFiles(const std::string& descriptor, const Console& console,
               InstallRequest* request) {
  request->descriptor = descriptor;
  const std::string problem =
      BinNameProblem(descriptor, "a descriptor", "installer", "SETUP.bin");
  if (!problem.empty()) {
    PrintError(console, problem);
    return kExitFailure;
  }
  const std::string name = BaseName(request->descriptor);
  const size_t dot = name.rfind('.');
  if (!MakeDirectories(request->root)) {
    PrintError(console, request->root + ": cannot create: " + SystemError());
    return kExitFailure;
  }
  request->programName = name.substr(0, dot);
  request->descriptorDir = Absolute(DirName(request->descriptor));
  return kExitOk;
}

// The installer's state cleared and the host set up as setup.exe would find
// it, started from drive A: with the Windows directory on drive C:.
void SetUpHost(const InstallRequest& request) {
  ResetInstallerState();
  host::MapDrive('C', Absolute(request.root));
  host::MapDrive(kSourceDrive, request.descriptorDir);
  host::SetWindowsDirectory(request.windows);
  host::SetSystemDirectory(request.windows + "\\SYSTEM");
  host::SetModulePath(std::string(1, kSourceDrive) + ":\\" +
                      request.programName + ".EXE");
}

// What the installer does before the run: the package loaded, the
// destination created as the destination dialog settles it (component by
// component, ending with a backslash), the settings read as the main flow
// reads them; and the data volume's name, for finding the later disks.
// False with the failure printed.
bool PrepareRun(const InstallRequest& request, const Console& console,
                std::string* volumeName) {
  const ResultCode loaded = LoadPackage();
  if (loaded != kResultOk) {
    PrintError(console, LoadFailureText(loaded, request.descriptor));
    return false;
  }
  if (!CreateDosDirectories(request.windows + "\\SYSTEM")) {
    PrintError(console, "cannot create " + request.windows + "\\SYSTEM below " +
                            request.root + PlatformCause());
    return false;
  }
  CopyText(InstallDirectory, kPathSize, request.installDirectory);
  if (CreateInstallDirectory() != kResultOk) {
    PrintError(console, std::string("Cannot create ") +
                            request.installDirectory + "!" + PlatformCause());
    return false;
  }
  ReadSettings();
  std::string why;
  if (!VolumeNameFor(HeaderText(Package.Header.programFile, kProgramFileSize),
                     volumeName, &why)) {
    PrintError(console, request.descriptor + ": " + why);
    return false;
  }
  if (OpenDataStream() != kResultOk) {
    PrintError(console, "not enough memory for the input buffer");
    return false;
  }
  return true;
}

// The installation run, with every box answered by answers and the
// progress drawn on bar. A damaged stream is refused, not decoded on into
// zero bits.
ResultCode RunAnswered(BoxAnswers* answers, ProgressBar* bar) {
  host::SetResponder(
      [answers](const host::Box& box) { return answers->Respond(box); });
  host::SetProgressObserver([bar](const host::ProgressEvent& event) {
    if (event.kind == host::ProgressEvent::kName) bar->SetLabel(event.name);
    if (event.kind == host::ProgressEvent::kPercent) {
      bar->Update(static_cast<uint64_t>(event.value));
    }
  });
  SetStrictStreamEnd(true);
  const ResultCode result = RunInstallation(InstallDirectory);
  bar->Finish();
  return result;
}

// After a successful run: the settings write of a first installation (as
// the setup sequence makes it, but a failure is noted) and what was
// installed where.
void ReportInstalled(const InstallRequest& request, const Console& console) {
  if (SettingsPresent == 0 &&
      !plat::WritePrivateProfileString(
          kSettingsSection, kSettingsKey,
          std::to_string(GraphicsModeFlags).c_str(), kSettingsFile)) {
    PrintError(console, "note: " + request.windows + "\\" + kSettingsFile +
                            " could not be written" + PlatformCause());
  }
  // The terminal speaks UTF-8.
  auto shown = [&request](const std::string& text) {
    return DecodeText(text, request.codepage);
  };
  std::fprintf(
      console.out, "%s: %s installed into %s", request.descriptor.c_str(),
      shown(HeaderText(Package.Header.productTitle, kProductTitleSize)).c_str(),
      shown(InstallDirectory).c_str());
  if (Placement.UninstallerName[0] != '\0') {
    std::fprintf(console.out, " (uninstaller %s)",
                 shown(Placement.UninstallerName).c_str());
  }
  std::fprintf(console.out, "\n");
  PrintProgmanCommands(console, InstallDirectory, request.codepage);
}

// The first installed file whose path, under the destination (or the
// system directory, for a shared file), is longer than the installer's
// paths hold: what to say of it, or "" when every one fits. The installer
// itself says only "write error!" of such a file.
std::string OverlongPath(const InstallRequest& request,
                         const host::NameDecoder& decode) {
  const std::string system = request.windows + "\\SYSTEM\\";
  const uint8_t* record = FirstRecord();
  for (unsigned i = 0; i < Package.Header.recordCount;
       ++i, record = NextRecord(record)) {
    if (RecordIsNoInstall(record)) continue;
    const char* name = RecordName(record);
    const std::string dir =
        RecordIsShared(record) ? system : std::string(InstallDirectory);
    const std::string path = name[0] == '\\' ? dir.substr(0, 2) + name
                             : name[0] != '\0' && name[1] == ':'
                                 ? dir.substr(0, 2) + (name + 2)
                                 : dir + name;
    if (path.size() >= kPathSize) {
      return decode(path) + ": the path is " + std::to_string(path.size()) +
             " bytes long, more than the " + std::to_string(kPathSize - 1) +
             " the installer's paths hold (a shorter destination leaves "
             "room)";
    }
  }
  return std::string();
}

int RunInstall(const Args& args, const Console& console) {
  InstallRequest request;
  int status = CheckOptions(args, console, &request);
  if (status != kExitOk) return status;
  // A floppy image stands for the directory of its files.
  MediaSources sources;
  std::string error;
  const std::string descriptor = sources.Descriptor(args.positional[0], &error);
  if (descriptor.empty()) {
    PrintError(console, error);
    return kExitFailure;
  }
  status = CheckFiles(descriptor, console, &request);
  if (status != kExitOk) return status;

  const unsigned codepage = request.codepage;
  SetUpHost(request);
  // The package's names are in its code page, the host's in UTF-8.
  host::NameDecoder decode = [codepage](const std::string& name) {
    return DecodeText(name, codepage);
  };
  host::SetNameDecoder(decode);
  std::string volumeName;
  if (!PrepareRun(request, console, &volumeName)) {
    ReleaseInstallerState();
    return kExitFailure;
  }
  Media media;
  if (!LoadMedia(request.descriptor, &media, &error, codepage)) {
    PrintError(console, error);
    ReleaseInstallerState();
    return kExitFailure;
  }
  const VolumeSet volumes = sources.Scan(console, media, args.Values("disk"));
  const bool interactive = !args.Has("yes") && isatty(STDIN_FILENO) == 1;
  ProgressBar bar(console, 100);
  BoxAnswers answers(console, &bar, volumes, request.descriptorDir,
                     interactive);
  answers.SetNameDecoder(decode);
  const ResultCode result = RunAnswered(&answers, &bar);
  answers.Finish();
  const std::string failedRecord =
      Volume.CurrentRecord != nullptr ? decode(RecordName(Volume.CurrentRecord))
                                      : "";
  const std::string overlong =
      result != kResultOk ? OverlongPath(request, decode) : std::string();
  ReleaseInstallerState();  // also what the run left open
  if (!overlong.empty()) {
    PrintError(console,
               request.descriptor + ": installation failed: " + overlong);
    return kExitFailure;
  }
  if (result == kResultReadError) {
    PrintError(console, request.descriptor + ": " + failedRecord +
                            ": the stream needs more bits than its chunks "
                            "hold (a chunk entry or the size prefix is "
                            "damaged); installation failed");
    return kExitFailure;
  }
  if (result == kResultCancel && !answers.UserCancelled()) {
    // Cancel was the only way on from a failure nobody could answer.
    PrintError(console, request.descriptor + ": installation failed: " +
                            (answers.Failure().empty() ? failedRecord
                                                       : answers.Failure()));
    return kExitFailure;
  }
  if (result != kResultOk) {
    PrintError(console, request.descriptor + ": installation " +
                            ResultText(result) +
                            (failedRecord.empty() || result == kResultCancel
                                 ? ""
                                 : " at " + failedRecord));
    return kExitFailure;
  }
  ReportInstalled(request, console);
  if (answers.Kept() > 0) {
    PrintError(console, request.descriptor + ": installed, " +
                            std::to_string(answers.Kept()) + " file" +
                            (answers.Kept() == 1 ? "" : "s") +
                            " kept as they were (answered Ignore)");
    return kExitKept;
  }
  return kExitOk;
}

}  // namespace

const Command kInstallCommand = {
    "install",
    "install a product from its media into a directory tree",
    "Usage: pkgtool install DESCRIPTOR --root DIR --to PATH [--disk DIR]...\n"
    "                       [--windows PATH] [--codepage N] [--yes]\n"
    "                       [--quiet]\n"
    "\n"
    "DESCRIPTOR is disk 1's descriptor (SETUP.bin, found in any case), the\n"
    "directory that holds it or its floppy image (disk1.img).\n"
    "\n"
    "Runs the installer's own installation on Linux: every file of the\n"
    "package is placed as setup.exe would place it (shared files by their\n"
    "versions, the uninstaller named so that it does not collide with\n"
    "another product's, the descriptor copied beside it), then the setting\n"
    "grmf=35 is written to tarny.ini in the Windows directory on a first\n"
    "installation. The Program Manager commands that setup.exe would send\n"
    "are printed, not sent.\n"
    "\n"
    "DIR stands for drive C: (for a Wine prefix, its drive_c). PATH is the\n"
    "Windows-style destination on drive C:, created when missing. The\n"
    "descriptor's directory is disk 1; a prompt for another disk is\n"
    "answered from the --disk directories that hold its volume, or asked on\n"
    "the terminal. Every other message is shown with its buttons; without a\n"
    "terminal, or with --yes, it is answered OK, Retry once and then\n"
    "Cancel, and Ignore for a write-protected file (which is kept).\n"
    "\n"
    "Options:\n"
    "  --root DIR       the directory that stands for drive C: (created\n"
    "                   when missing)\n"
    "  --to PATH        the destination, such as C:\\GAMES\\QUEST\n"
    "  --disk DIR       a later disk: its directory, its image, or a\n"
    "                   directory of images (repeatable)\n"
    "  --windows PATH   the Windows directory (default C:\\WINDOWS; its\n"
    "                   SYSTEM directory receives the shared files)\n"
    "  --yes            answer every message without asking\n"
    "  --codepage N     the code page of the package's names (default\n"
    "                   1252); files are created with UTF-8 names\n"
    "  -q, --quiet      no progress bar\n"
    "\n"
    "Exit status: 0 installed, 1 failed or cancelled, 2 usage error, 3\n"
    "installed but some files kept as they were (a box answered Ignore: a\n"
    "file that could not be replaced).\n"
    "\n"
    "Examples:\n"
    "  Install the sample into a Wine prefix without a question:\n"
    "    pkgtool install quest/disk1 --root ~/.wine/drive_c \\\n"
    "      --to 'C:\\GAMES\\QUEST' --yes\n",
    {{"root", 0, true},
     {"to", 0, true},
     {"disk", 0, true},
     {"windows", 0, true},
     {"yes", 'y', false},
     {"codepage", 0, true}},
    RunInstall,
};

}  // namespace pkgtool
