// The stages of a build, in the order BuildMedia runs them: the inputs
// checked (inputs.cpp), the streams encoded (encode.cpp), the disks planned
// (plan.cpp), every file written under a temporary name (write.cpp), all put
// in place (commit.cpp) and the layout reported (layout_report.cpp). What
// they hand each other is declared here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "build/builder.h"
#include "build/staging.h"
#include "common/host_files.h"
#include "read/media.h"

namespace pkgtool {

inline std::string Num(uint64_t value) { return std::to_string(value); }

inline std::string ByteCount(uint64_t count) { return Num(count) + " bytes"; }

// "MANIFEST:LINE: " for the line that names file.
inline std::string At(const Manifest& manifest, const ManifestFile& file) {
  return manifest.path + ":" + Num(file.line) + ": ";
}

inline std::string DiskDir(const std::string& outputDir, unsigned disk) {
  return JoinPath(outputDir, "disk" + Num(disk));
}

// The number of disks of a plan.
inline unsigned DiskCount(const MediaPlan& plan) {
  return static_cast<unsigned>(plan.disks.volumeSizes.size());
}

// What a file of size bytes takes of a disk: whole clusters on a floppy
// format, its bytes otherwise.
uint64_t Takes(const Manifest& manifest, uint64_t size);

// The room a disk has for files.
uint64_t DiskRoom(const Manifest& manifest);

// The files of disk 1 that SHA256SUMS lists besides the descriptor and the
// volumes, as disk 1 names them: the installer (when given) and the
// noInstall copies, in manifest order.
std::vector<std::string> Disk1ListedFiles(
    const std::vector<PreparedFile>& files, const std::string& installerName);

// The size SHA256SUMS has for a descriptor name, the disks that carry a
// volume and the other files of disk 1 it lists.
uint64_t ChecksumListBytes(const std::string& descriptorName,
                           const std::string& volumeName, const DiskPlan& disks,
                           const std::vector<std::string>& others = {});

// The names of the files disk 1 carries beside the noInstall copies, and
// the installer's size (0 without one). Host names are UTF-8.
struct Disk1Files {
  std::string descriptorName;
  std::string volumeName;     // programFile's volume name, in UTF-8
  std::string installerName;  // "" when no installer is given
  uint64_t installerSize = 0;
  // The lines of disk1/SHA256SUMS of the other products' files that a
  // forced build leaves in OUTDIR: the new list keeps them.
  std::string otherChecksums;
};

// What a build works from once everything is checked: the files, the names
// disk 1 gives them, and the media of the product already in OUTDIR.
struct BuildInputs {
  std::vector<PreparedFile> files;
  Disk1Files disk1;
  std::vector<Media> earlier;
  std::vector<Media> others;  // of other products, left as they are (force)
};

// The streams of a build, encoded: each lies in the temporary file of the
// worker that encoded it. Without files (a dry run) they are only measured.
// The files are removed when the store goes.
struct StreamStore {
  struct Span {
    size_t file = 0;  // the worker's
    uint64_t offset = 0;
    uint64_t length = 0;  // 0 for a file without a stream
  };
  std::vector<std::string> paths;
  std::vector<std::FILE*> files;
  std::vector<Span> spans;  // one per manifest file

  StreamStore() = default;
  StreamStore(const StreamStore&) = delete;
  StreamStore& operator=(const StreamStore&) = delete;
  ~StreamStore() {
    std::vector<std::string> ignored;
    Close(&ignored);
  }
  // Closes and removes the files; false with *errors naming a file that
  // stays.
  bool Close(std::vector<std::string>* errors) {
    for (std::FILE* file : files) std::fclose(file);
    files.clear();
    const size_t before = errors->size();
    std::string error;
    for (const std::string& path : paths) {
      if (!RemoveFile(path, &error)) errors->push_back(error);
    }
    paths.clear();
    return errors->size() == before;
  }
  std::vector<uint64_t> Lengths() const {
    std::vector<uint64_t> lengths;
    for (const Span& span : spans) lengths.push_back(span.length);
    return lengths;
  }
};

// Inputs: the files, checked, and the names disk 1 gives them; the media
// already in OUTDIR (none for a dry run). Notes and warnings go to
// console.err.
bool PrepareBuild(const Manifest& manifest, const BuildOptions& options,
                  const Console& console, BuildInputs* inputs,
                  std::vector<std::string>* errors);

// Sorts the media already in OUTDIR: this product's go to *earlier, to be
// replaced; another product's stop the build (false) unless forced, when
// they go to *others, to be left as they are.
bool FindEarlierMedia(const Manifest& manifest, const BuildOptions& options,
                      const Console& console, std::vector<Media>* earlier,
                      std::vector<Media>* others,
                      std::vector<std::string>* errors);

// A forced build leaves the files of others as they are: false, with
// *errors, when the new media would overwrite one of them (a descriptor,
// a volume or a noInstall copy of the same name, a disk image of theirs).
// disk1->otherChecksums gets their lines of SHA256SUMS.
bool CheckOtherProducts(const Manifest& manifest, const BuildOptions& options,
                        const std::vector<PreparedFile>& files,
                        const std::vector<Media>& others, Disk1Files* disk1,
                        std::vector<std::string>* errors);

// Encoding: every file that has a stream, jobs of them at a time, each
// worker into its own temporary file in dir (none when dir is "": a dry
// run measures only); the store gets where each stream lies. The streams
// do not depend on the number of workers, so neither do the media. The
// files are staging's scratch: a signal removes them.
bool EncodeAll(const Manifest& manifest, const std::vector<PreparedFile>& files,
               const std::string& dir, unsigned jobs, const Console& console,
               Staging* staging, StreamStore* store,
               std::vector<std::string>* errors);

// Planning: lays out the media and checks the record table it wrote; false
// with *errors when there is no layout or the table does not validate.
bool PlanCheckedMedia(const Manifest& manifest,
                      const std::vector<PreparedFile>& files,
                      const std::vector<uint64_t>& lengths,
                      const Disk1Files& disk1, MediaPlan* plan,
                      std::vector<std::string>* errors);

// Writing: every file of the media under its temporary name: the disks'
// directories, the volumes from the store (closed once they are written),
// disk 1's own files and, when asked for, the disk images.
bool StageMedia(const Manifest& manifest, const BuildOptions& options,
                const std::vector<PreparedFile>& files,
                const Disk1Files& disk1Files, const MediaPlan& plan,
                StreamStore* store, Staging* staging,
                std::vector<std::string>* errors);

// Committing: puts the staged media in place, then removes what an earlier
// build of the product left that they do not have (nothing of others');
// false with *errors when the commit fails (the earlier files are then
// kept).
bool CommitMedia(const BuildOptions& options, const std::string& volumeName,
                 const MediaPlan& plan, const std::vector<Media>& earlier,
                 const std::vector<Media>& others, const Console& console,
                 Staging* staging, std::vector<std::string>* errors);

// Reporting: prints on console.out what each disk holds, how full it is
// and a line of totals; the disks are named as under label (OUTDIR, or ""
// for none).
void PrintLayout(const Manifest& manifest, const std::string& label,
                 const std::vector<PreparedFile>& files,
                 const Disk1Files& disk1, const MediaPlan& plan,
                 const Console& console);

// The dry run's list: a line per file with its target, source, flags and
// disks.
void PrintFileList(const std::vector<PreparedFile>& files,
                   const MediaPlan& plan, const Console& console);

}  // namespace pkgtool
