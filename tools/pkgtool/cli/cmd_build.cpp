// pkgtool build: makes the media of a package from its manifest.
#include <algorithm>
#include <cstdlib>
#include <thread>

#include "build/builder.h"
#include "cli/commands.h"
#include "common/floppy.h"
#include "common/host_files.h"
#include "manifest/manifest.h"

namespace pkgtool {
namespace {

// The setup.exe shipped with pkgtool, found from pkgtool's own program:
// beside it, in ../share/pkgtool/ (an installed package) or in
// ../../win32/bin/ (a host build tree beside the Windows tree). *found is
// "" when there is none or pkgtool's place is unknown; false with *error
// when a place cannot be looked at.
bool ShippedInstaller(const std::string& self, std::string* found,
                      std::string* error) {
  found->clear();
  if (self.empty()) return true;
  for (const char* place : {"", "../share/pkgtool/", "../../win32/bin/"}) {
    const std::string path = JoinPath(DirName(self), place) + "setup.exe";
    if (!IsRegularFile(path, error)) {
      if (!error->empty()) return false;
      continue;
    }
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) continue;
    *found = real;
    std::free(real);
    return true;
  }
  return true;
}

// The command line's options into *options, *variables (-D), *codepage
// (0: the manifest's) and *format (null: the manifest's); kExitOk, or the
// status of the usage error printed.
int ReadBuildOptions(const Args& args, const Console& console,
                     BuildOptions* options, Variables* variables,
                     unsigned* codepage, const FloppyFormat** format) {
  options->outputDir = args.Value("output");
  options->installerPath = args.Value("installer");
  if (args.Has("installer") && args.Has("no-installer")) {
    return UsageError(console, kBuildCommand,
                      "--installer and --no-installer exclude each other");
  }
  options->force = args.Has("force");
  options->dryRun = args.Has("dry-run");
  if (options->outputDir == "-") {
    return UsageError(console, kBuildCommand,
                      "-o takes a directory: the media cannot go to standard "
                      "output (write -o ./- for a directory named \"-\")");
  }
  if (!options->dryRun && options->outputDir.empty()) {
    return UsageError(console, kBuildCommand,
                      "the output directory is missing (-o OUTDIR)");
  }
  // The option wins over the manifest's codepage; 0 leaves it to the
  // manifest.
  *codepage = 0;
  int exitCode = kExitOk;
  if (args.Has("codepage") &&
      !CodePageOption(args, console, kBuildCommand, codepage, &exitCode)) {
    return exitCode;
  }
  for (const std::string& definition : args.Values("define")) {
    size_t equals = definition.find('=');
    if (equals == std::string::npos || equals == 0) {
      return UsageError(console, kBuildCommand,
                        "-D expects NAME=VALUE, not \"" + definition + "\"");
    }
    (*variables)[definition.substr(0, equals)] = definition.substr(equals + 1);
  }

  *format = nullptr;
  if (args.Has("disk-format")) {
    *format = FindFloppyFormat(args.Value("disk-format"));
    if (*format == nullptr) {
      return UsageError(console, kBuildCommand,
                        "--disk-format \"" + args.Value("disk-format") +
                            "\" is no floppy format (" + FloppyFormatNames() +
                            ")");
    }
  }
  options->images = args.Has("images");
  // Every processor encodes, unless -j says how many.
  options->jobs = std::max(1u, std::thread::hardware_concurrency());
  if (args.Has("jobs")) {
    const std::string jobs = args.Value("jobs");
    char* end = nullptr;
    const unsigned long count = std::strtoul(jobs.c_str(), &end, 10);
    if (jobs.empty() || *end != '\0' || count < 1 || count > 256) {
      return UsageError(
          console, kBuildCommand,
          "-j takes a number of jobs from 1 to 256, not \"" + jobs + "\"");
    }
    options->jobs = static_cast<unsigned>(count);
  }

  return kExitOk;
}

int RunBuild(const Args& args, const Console& console) {
  if (args.positional.size() != 1) {
    return UsageError(console, kBuildCommand, "expected one MANIFEST");
  }
  BuildOptions options;
  Variables variables;
  unsigned codepage = 0;
  const FloppyFormat* format = nullptr;
  const int status =
      ReadBuildOptions(args, console, &options, &variables, &codepage, &format);
  if (status != kExitOk) return status;

  Manifest manifest;
  std::vector<std::string> errors;
  std::vector<int> lines;
  const bool parsed = LoadManifest(args.positional[0], variables, &manifest,
                                   &errors, codepage, &lines);
  for (const std::string& warning : manifest.warnings) {
    PrintError(console, "warning: " + warning);
  }
  if (!parsed) {
    AddSourceErrors(manifest, &errors, &lines);
    PrintErrors(console, errors);
    return kExitFailure;
  }
  // The options win over the manifest.
  if (format != nullptr) manifest.diskFormat = format;
  if (args.Has("best")) manifest.best = true;
  if (options.images && manifest.diskFormat == nullptr) {
    PrintError(console, manifest.path +
                            ": --images needs a floppy format (diskFormat in "
                            "[package], or --disk-format)");
    return kExitFailure;
  }
  if (!args.Has("installer") && !args.Has("no-installer") &&
      !console.self.empty()) {
    std::string error;
    if (!ShippedInstaller(console.self, &options.installerPath, &error)) {
      PrintError(console, error);
      return kExitFailure;
    }
    std::fprintf(
        console.err, "pkgtool: installer: %s\n",
        options.installerPath.empty()
            ? "none (no --installer, none shipped with pkgtool)"
            : (options.installerPath + ", shipped with pkgtool").c_str());
  }
  if (!BuildMedia(manifest, options, console, &errors)) {
    PrintErrors(console, errors);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

const Command kBuildCommand = {
    "build",
    "make the media of a package from its manifest",
    "Usage: pkgtool build MANIFEST -o OUTDIR [--installer SETUP.EXE]\n"
    "                     [--no-installer] [-D NAME=VALUE]... [--codepage N]\n"
    "                     [--dry-run] [--disk-format F] [--images] [--best]\n"
    "                     [-j N] [--force]\n"
    "\n"
    "Makes the distribution media described by MANIFEST (see MANIFEST.md):\n"
    "OUTDIR/disk1/ holds the descriptor (SETUP.bin, or named after the\n"
    "installer: X.EXE gives X.bin), the installer when given, plain copies\n"
    "of the noInstall files and the volume of disk 1; OUTDIR/disk2/ and on\n"
    "hold the later volumes. Every volume is named after the program file\n"
    "with \".dat\". The streams go on the disks in the order the installer\n"
    "reads them (the shared files first), so that it asks for each disk\n"
    "once, and are split across disks to fill each to the manifest's\n"
    "diskSize, or to what a floppy of its diskFormat holds (every file in\n"
    "whole clusters); disk 1 keeps room for the installer (at least the\n"
    "manifest's installerReserve), the descriptor, the checksum list and\n"
    "the noInstall files. disk1/SHA256SUMS\n"
    "lists the SHA-256 of the descriptor and of every volume (check by hand\n"
    "with 'cd disk1 && sha256sum -c SHA256SUMS'). The same manifest and\n"
    "files always give byte-identical media. The target names, the title\n"
    "and the program file are stored in a Windows code page (1252, or the\n"
    "manifest's codepage); a character it cannot hold is an error.\n"
    "\n"
    "Everything is written under temporary names and put in place at the\n"
    "end: a build that fails or is interrupted leaves OUTDIR as it was. The\n"
    "earlier media of the same product are replaced, and what they had that\n"
    "the new media do not (a volume of a disk no longer needed, a descriptor\n"
    "of another name, its noInstall files) is removed. OUTDIR holding the\n"
    "media of another product (another programFile) is refused unless\n"
    "forced; a forced build leaves every file of theirs as it is (their\n"
    "lines of SHA256SUMS included) and is refused where it would overwrite\n"
    "one (a descriptor of the same name, a disk image of theirs).\n"
    "\n"
    "Without --installer, disk 1 gets the setup.exe shipped with pkgtool,\n"
    "found from pkgtool's own program: beside it, in ../share/pkgtool/\n"
    "(the package: /usr/share/pkgtool/setup.exe) or in ../../win32/bin/ (a\n"
    "host build tree beside its Windows tree). A line on standard error\n"
    "names the installer taken.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUTDIR  where the disks go (created when missing)\n"
    "  --installer FILE     the installer to put on disk 1 (default: the\n"
    "                       setup.exe shipped with pkgtool)\n"
    "  --no-installer       no installer on disk 1 (installerReserve stays)\n"
    "  -D, --define NAME=VALUE\n"
    "                       replace ${NAME} in the manifest's targets and\n"
    "                       values\n"
    "  --codepage N         store the names in Windows code page N (437,\n"
    "                       850, 1250, ...) whatever the manifest says\n"
    "  --dry-run            check the manifest, compress the files to\n"
    "                       measure them and print the layout instead: a\n"
    "                       line per file (target, source, flags, disks),\n"
    "                       one per disk, and a total; writes nothing and\n"
    "                       fails wherever the build would (mtools for\n"
    "                       --images, OUTDIR included)\n"
    "  --disk-format F      disks of floppy format F (1.44M, 720K, 1.2M,\n"
    "                       360K) whatever the manifest says\n"
    "  --images             also write OUTDIR/diskN.img, a FAT12 floppy\n"
    "                       image of each disk (needs a floppy format)\n"
    "  --best               compress harder (optimal parsing): smaller\n"
    "                       streams\n"
    "  -j, --jobs N         encode N files at a time (default: one per\n"
    "                       processor); the media are the same for any N\n"
    "  --force              build even where OUTDIR holds the media of\n"
    "                       another product (its files are left as they\n"
    "                       are, beside the new ones)\n"
    "  -q, --quiet          no progress bar\n"
    "\n"
    "Exit status: 0 built (or laid out, with --dry-run), also with\n"
    "warnings; 1 a fault of the manifest, its files or OUTDIR (all are\n"
    "reported, nothing is written; or, once the new media are in place, a\n"
    "file of an earlier build that could not be removed, named);\n"
    "2 usage error.\n"
    "\n"
    "Examples:\n"
    "  The bundled sample's media in quest/, with the shipped setup.exe:\n"
    "    pkgtool build /usr/share/pkgtool/sample/quest.manifest -o quest \\\n"
    "      -D WIN32_BIN=bin -D DATA=data\n"
    "  How a manifest's files would lie on 1.44M floppies, writing nothing:\n"
    "    pkgtool build game.manifest --dry-run --disk-format 1.44M\n",
    {{"output", 'o', true},
     {"installer", 0, true},
     {"no-installer", 0, false},
     {"define", 'D', true},
     {"codepage", 0, true},
     {"dry-run", 0, false},
     {"disk-format", 0, true},
     {"images", 0, false},
     {"best", 0, false},
     {"jobs", 'j', true},
     {"force", 0, false}},
    RunBuild,
};

}  // namespace pkgtool
