// pkgtool build: makes the media of a package from its manifest.
#include "builder.h"
#include "commands.h"
#include "manifest.h"

namespace pkgtool {
namespace {

std::string FlagText(const PreparedFile& file) {
  std::string text;
  if (file.file.shared) {
    text = "shared,version=" + FormatVersion(file.versionMs, file.versionLs);
  }
  if (file.file.noInstall) text += text.empty() ? "noInstall" : ",noInstall";
  return text.empty() ? "-" : text;
}

int RunBuild(const Args& args, const Console& console) {
  if (args.positional.size() != 1) {
    return UsageError(console, kBuildCommand, "expected one MANIFEST");
  }
  bool dryRun = args.Has("dry-run");
  if (!dryRun && args.Value("output").empty()) {
    return UsageError(console, kBuildCommand,
                      "the output directory is missing (-o OUTDIR)");
  }
  Variables variables;
  for (const std::string& definition : args.Values("define")) {
    size_t equals = definition.find('=');
    if (equals == std::string::npos || equals == 0) {
      return UsageError(console, kBuildCommand,
                        "-D expects NAME=VALUE, not \"" + definition + "\"");
    }
    variables[definition.substr(0, equals)] = definition.substr(equals + 1);
  }

  Manifest manifest;
  std::vector<std::string> errors;
  if (!LoadManifest(args.positional[0], variables, &manifest, &errors)) {
    PrintErrors(console, errors);
    return kExitFailure;
  }
  if (dryRun) {
    std::vector<PreparedFile> files;
    if (!PrepareFiles(manifest, &files, &errors)) {
      PrintErrors(console, errors);
      return kExitFailure;
    }
    for (const PreparedFile& file : files) {
      std::fprintf(console.out, "%s\t%s\t%s\n", file.file.target.c_str(),
                   file.file.sourcePath.c_str(), FlagText(file).c_str());
    }
    return kExitOk;
  }
  BuildOptions options;
  options.outputDir = args.Value("output");
  options.installerPath = args.Value("installer");
  options.force = args.Has("force");
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
    "                     [-D NAME=VALUE]... [--dry-run] [--force]\n"
    "\n"
    "Makes the distribution media described by MANIFEST (see MANIFEST.md):\n"
    "OUTDIR/disk1/ holds the descriptor (SETUP.bin, or named after the\n"
    "installer: X.EXE gives X.bin), the installer when given, plain copies\n"
    "of the noInstall files and the volume of disk 1; OUTDIR/disk2/ and on\n"
    "hold the later volumes. Every volume is named after the program file\n"
    "with \".dat\". Streams are split across disks to fill each to the\n"
    "manifest's diskSize; disk 1 keeps room for the installer (at least the\n"
    "manifest's installerReserve) and the descriptor. disk1/SHA256SUMS\n"
    "lists the SHA-256 of the descriptor and of every volume (check by hand\n"
    "with 'cd disk1 && sha256sum -c SHA256SUMS'). The same manifest and\n"
    "files always give byte-identical media.\n"
    "\n"
    "Everything is written under temporary names and put in place at the\n"
    "end: a build that fails or is interrupted leaves OUTDIR as it was. The\n"
    "earlier media of the same product are replaced, and what they had that\n"
    "the new media do not (a volume of a disk no longer needed, a descriptor\n"
    "of another name, its noInstall files) is removed. OUTDIR holding the\n"
    "media of another product (another programFile) is refused.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUTDIR  where the disks go (created when missing)\n"
    "  --installer FILE     the installer to put on disk 1\n"
    "  -D, --define NAME=VALUE\n"
    "                       replace ${NAME} in the manifest's values\n"
    "  --dry-run            check the manifest and its files and print one\n"
    "                       line per file (target, source, flags) instead\n"
    "  --force              build even where OUTDIR holds the media of "
    "another\n"
    "                       product (its files are left beside the new ones)\n"
    "  -q, --quiet          no progress bar\n",
    {{"output", 'o', true},
     {"installer", 0, true},
     {"define", 'D', true},
     {"dry-run", 0, false},
     {"force", 0, false}},
    RunBuild,
};

}  // namespace pkgtool
