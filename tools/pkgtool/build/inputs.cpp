// The inputs stage: the manifest's files checked and measured, the names
// disk 1 gives its own files, and the notes and warnings of a build.
#include <errno.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/result.h"
#include "build/stages.h"
#include "common/codepage.h"
#include "common/console.h"
#include "manifest/target_name.h"
#include "platform/host/pe_version.h"
#include "read/checksums.h"

namespace pkgtool {
namespace {

constexpr uint64_t kMaxStreamInput = 0xFFFFFFFFu;

// Notes on console.err every file whose size its record's sizeKb cannot
// hold.
void NoteClampedSizes(const Manifest& manifest,
                      const std::vector<PreparedFile>& files,
                      const Console& console) {
  for (const PreparedFile& file : files) {
    if (SizeKb(file.size) != (file.size + 1023) / 1024) {
      std::fprintf(console.err,
                   "pkgtool: note: %s:%d: %s is %llu bytes; its record says "
                   "65535 Kb, the most it can hold, so the space the "
                   "installer asks for is too small\n",
                   manifest.path.c_str(), file.file.line,
                   file.file.utf8Target.c_str(),
                   static_cast<unsigned long long>(file.size));
    }
  }
}

// Names the descriptor, the data volume and the installer on disk 1 and
// finds the installer's size; false with *errors when the names cannot be
// had (an installer that cannot be read is an error, and true).
bool NameDisk1Files(const Manifest& manifest, const BuildOptions& options,
                    Disk1Files* disk1, std::vector<std::string>* errors) {
  disk1->descriptorName = DescriptorFileName(options.installerPath);
  std::string error;
  // The installer derives it from the code page's bytes; Linux shows it
  // in UTF-8.
  std::string volumeBytes;
  if (!VolumeNameFor(manifest.programFile, &volumeBytes, &error)) {
    errors->push_back(manifest.path + ": " + error);
    return false;
  }
  disk1->volumeName = DecodeText(volumeBytes, manifest.codepage);
  if (!options.installerPath.empty()) {
    disk1->installerName = BaseName(options.installerPath);
    // Reported; disk 1's names are checked all the same.
    PathKind kind = PathKind::kNone;
    if (!LookAt(options.installerPath, &kind, &error, &disk1->installerSize)) {
      errors->push_back(error);
    } else if (kind != PathKind::kFile) {
      errors->push_back(options.installerPath +
                        ": cannot read the installer: " + NotAFile(kind));
    }
  }
  return true;
}

// Appends to *errors every two files of disk 1 that would have the same
// name, whatever its case: everything disk 1 carries needs its own.
void CheckDisk1Names(const Manifest& manifest,
                     const std::vector<PreparedFile>& files,
                     const Disk1Files& disk1,
                     std::vector<std::string>* errors) {
  std::vector<std::pair<std::string, std::string>> disk1Names = {
      {disk1.descriptorName, "the descriptor"},
      {disk1.volumeName, "the data volume"},
      {kChecksumListName, "the checksum list"}};
  if (!disk1.installerName.empty()) {
    disk1Names.push_back({disk1.installerName, "the installer"});
  }
  for (const PreparedFile& file : files) {
    if (file.file.noInstall) {
      disk1Names.push_back({PlainCopyPath(file.file.utf8Target),
                            "the noInstall file " + file.file.utf8Target});
    }
  }
  for (size_t i = 0; i < disk1Names.size(); ++i) {
    for (size_t j = i + 1; j < disk1Names.size(); ++j) {
      if (strcasecmp(disk1Names[i].first.c_str(),
                     disk1Names[j].first.c_str()) == 0) {
        errors->push_back(manifest.path + ": " + disk1Names[i].second +
                          " and " + disk1Names[j].second +
                          " would both be disk1/" + disk1Names[j].first);
      }
    }
  }
}

// Warns on console.err of every installed file whose path, under the
// destination the installer proposes (C:\WINDOWS\ and the program file's
// name) or in the system directory (a shared file), is longer than the
// installer's paths hold: it would fail there with "write error!".
void WarnAboutLongPaths(const Manifest& manifest,
                        const std::vector<PreparedFile>& files,
                        const Console& console) {
  std::string windows = "c:\\windows\\";
  std::string destination = windows;
  if (manifest.kind == PackageKind::kGame) {
    const std::string stem =
        manifest.programFile.substr(0, manifest.programFile.rfind('.'));
    for (char c : stem) {
      destination +=
          c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    destination += "\\";
  }
  const size_t limit = kPathSize - 1;
  for (const PreparedFile& file : files) {
    if (file.file.noInstall) continue;
    const std::string& name = file.file.target;
    const bool rooted = name[0] == '\\' || (name.size() > 1 && name[1] == ':');
    const std::string dir =
        file.file.shared ? windows + "system\\" : destination;
    const std::string path =
        rooted ? "c:" + name.substr(name[0] == '\\' ? 0 : 2) : dir + name;
    if (path.size() <= limit) continue;
    const std::string shownDir = DecodeText(dir, manifest.codepage);
    PrintError(
        console,
        "warning: " + At(manifest, file.file) + file.file.utf8Target +
            ": its path " +
            (rooted ? std::string("on the destination's drive")
                    : "under " + shownDir) +
            " is " + Num(path.size()) + " bytes long, more than the " +
            Num(limit) +
            " the installer's paths hold: it cannot install the file there" +
            (rooted || name.size() >= limit
                 ? std::string(" (shorten the name)")
                 : " (shorten the name, or the destination to at most " +
                       Num(limit - name.size()) + " bytes)"));
  }
}

// Warns on console.err about what builds but is likely a mistake: a
// programFile the package does not install, and an installer larger than
// the room the manifest keeps for it.
void WarnAboutPackage(const Manifest& manifest,
                      const std::vector<PreparedFile>& files,
                      const Disk1Files& disk1, const Console& console) {
  const std::u32string program =
      NameKey(DecodeText(manifest.programFile, manifest.codepage));
  bool installed = false;
  for (const PreparedFile& file : files) {
    installed =
        installed ||
        (!file.file.noInstall &&
         NameKey(DecodeText(file.file.target, manifest.codepage)) == program);
  }
  if (!installed) {
    PrintError(console,
               "warning: " + manifest.path + ":" +
                   Num(manifest.programFileLine) + ": programFile " +
                   manifest.utf8ProgramFile +
                   " is not among the installed files (no target of that "
                   "name without noInstall): " +
                   (manifest.kind == PackageKind::kGame
                        ? "Program Manager's item would point at nothing"
                        : "the package would not install its own program"));
  }
  WarnAboutLongPaths(manifest, files, console);
  if (disk1.installerSize > manifest.installerReserve) {
    PrintError(console,
               "warning: the installer " + disk1.installerName + " is " +
                   ByteCount(disk1.installerSize) + ", " +
                   Num(disk1.installerSize - manifest.installerReserve) +
                   " more than installerReserve (" +
                   ByteCount(manifest.installerReserve) +
                   "): disk 1's layout grows to make room for it");
  }
}

// True when PATH holds an executable program of this name.
bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= dirs.size();) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    const std::string file = JoinPath(dir.empty() ? "." : dir, program);
    // As execvp(3) searches: a place that cannot be looked at is passed.
    std::string passed;
    if (IsRegularFile(file, &passed) && ::access(file.c_str(), X_OK) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

// What the build needs beyond the files, checked before any work, so that
// a dry run fails where the build would: the programs that make the disk
// images, and an OUTDIR that can be a directory.
void CheckBuildNeeds(const BuildOptions& options,
                     std::vector<std::string>* errors) {
  if (options.images) {
    for (const char* program : {"mformat", "mmd", "mcopy"}) {
      if (!OnPath(program)) {
        errors->push_back(std::string("--images: ") + program +
                          " not found: install mtools (apt-get install "
                          "mtools)");
        break;
      }
    }
  }
  if (options.outputDir.empty()) return;
  // The nearest directory that exists: OUTDIR, or where it is to be made.
  std::string existing = options.outputDir;
  struct stat info;
  while (::stat(existing.c_str(), &info) != 0 &&
         (errno == ENOENT || errno == ENOTDIR) &&
         DirName(existing) != existing) {
    existing = DirName(existing);
  }
  if (::stat(existing.c_str(), &info) != 0) {
    errors->push_back(existing + ": " + SystemError());
  } else if (!S_ISDIR(info.st_mode)) {
    errors->push_back(options.outputDir + ": cannot create: " + existing +
                      " is not a directory");
  } else if (::access(existing.c_str(), W_OK | X_OK) != 0) {
    errors->push_back(options.outputDir + ": cannot write in " + existing +
                      ": " + SystemError());
  }
}

}  // namespace

bool PrepareFiles(const Manifest& manifest, std::vector<PreparedFile>* files,
                  std::vector<std::string>* errors, std::vector<int>* lines) {
  size_t before = errors->size();
  files->clear();
  for (const ManifestFile& file : manifest.files) {
    auto fault = [&](const std::string& what) {
      errors->push_back(At(manifest, file) + file.sourcePath + what);
      if (lines != nullptr) lines->push_back(file.line);
    };
    PreparedFile prepared;
    prepared.file = file;
    const std::string& source = file.sourcePath;
    // One look gives the kind and the size; a file that could not be
    // looked at is a failure, never a file of 0 bytes.
    PathKind kind = PathKind::kNone;
    std::string error;
    if (!LookAt(source, &kind, &error, &prepared.size)) {
      fault(error.substr(source.size()));  // error names the source first
      continue;
    }
    if (kind != PathKind::kFile) {
      fault(": " + (kind == PathKind::kNone ? NotAFile(kind)
                    : kind == PathKind::kDirectory
                        ? std::string("is a directory (end the target with "
                                      "'\\' to take the files below it)")
                        : std::string("is not a regular file (a device, pipe "
                                      "or socket)")));
      continue;
    }
    // Opened as the encoder will open it: access() would let root pass.
    const int handle = ::open(source.c_str(), O_RDONLY);
    if (handle < 0) {
      fault(": cannot be read: " + SystemError());
      continue;
    }
    ::close(handle);
    if (prepared.size > kMaxStreamInput) {
      fault(": " + Num(prepared.size) + " bytes; a file may hold at most " +
            Num(kMaxStreamInput));
      continue;
    }
    if (file.shared) {
      if (file.hasVersion) {
        prepared.versionMs = file.versionMs;
        prepared.versionLs = file.versionLs;
      } else if (int cause = 0;
                 !host::ReadFileVersion(source, &prepared.versionMs,
                                        &prepared.versionLs, &cause)) {
        fault(cause != 0
                  ? ": cannot read its version resource: " +
                        std::string(std::strerror(cause))
                  : " has no version resource (it is not a Windows executable "
                    "or DLL that carries one); give version=a.b.c.d");
        continue;
      }
    }
    files->push_back(prepared);
  }
  return errors->size() == before;
}

void AddSourceErrors(const Manifest& manifest, std::vector<std::string>* errors,
                     std::vector<int>* lines) {
  std::vector<PreparedFile> files;
  std::vector<std::string> sourceErrors;
  std::vector<int> sourceLines;
  PrepareFiles(manifest, &files, &sourceErrors, &sourceLines);
  // Both lists are in line order: merged, a line's own faults first.
  std::vector<std::string> merged;
  std::vector<int> mergedLines;
  size_t i = 0, k = 0;
  while (i < errors->size() || k < sourceErrors.size()) {
    const bool fromLines =
        k == sourceErrors.size() ||
        (i < errors->size() && (*lines)[i] <= sourceLines[k]);
    merged.push_back(fromLines ? (*errors)[i] : sourceErrors[k]);
    mergedLines.push_back(fromLines ? (*lines)[i++] : sourceLines[k++]);
  }
  errors->swap(merged);
  lines->swap(mergedLines);
}

bool PrepareBuild(const Manifest& manifest, const BuildOptions& options,
                  const Console& console, BuildInputs* inputs,
                  std::vector<std::string>* errors) {
  // Every fault is reported in one run: the sources', disk 1's and
  // OUTDIR's.
  const size_t before = errors->size();
  PrepareFiles(manifest, &inputs->files, errors);
  CheckBuildNeeds(options, errors);
  if (NameDisk1Files(manifest, options, &inputs->disk1, errors)) {
    CheckDisk1Names(manifest, inputs->files, inputs->disk1, errors);
  }
  if (!options.outputDir.empty() &&
      FindEarlierMedia(manifest, options, console, &inputs->earlier,
                       &inputs->others, errors)) {
    CheckOtherProducts(manifest, options, inputs->files, inputs->others,
                       &inputs->disk1, errors);
  }
  if (errors->size() != before) return false;
  NoteClampedSizes(manifest, inputs->files, console);
  WarnAboutPackage(manifest, inputs->files, inputs->disk1, console);
  return true;
}

}  // namespace pkgtool
