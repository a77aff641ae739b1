// The reporting stage: what each disk holds and how full it is, and the
// dry run's list of files.
#include <algorithm>

#include "build/stages.h"
#include "common/floppy.h"
#include "read/checksums.h"

namespace pkgtool {
namespace {

// The bytes disk 1 keeps for the installer: its size or the manifest's
// reserve, whichever is larger.
uint64_t InstallerRoom(const Manifest& manifest, const Disk1Files& disk1) {
  return std::max(manifest.installerReserve, disk1.installerSize);
}

// What disk 1 carries beside its volume, for the layout report; adds the
// bytes that count against diskSize to *used.
std::string Disk1Items(const Manifest& manifest,
                       const std::vector<PreparedFile>& files,
                       const Disk1Files& disk1, const MediaPlan& plan,
                       uint64_t* used) {
  std::string items;
  auto add = [&](const std::string& item) {
    items += items.empty() ? item : ", " + item;
  };
  if (!disk1.installerName.empty()) {
    add(disk1.installerName + " " + ByteCount(disk1.installerSize) +
        (manifest.installerReserve > disk1.installerSize
             ? " (room kept: " + ByteCount(manifest.installerReserve) + ")"
             : ""));
  } else if (manifest.installerReserve > 0) {
    add("room for the installer " + ByteCount(manifest.installerReserve));
  }
  add(disk1.descriptorName + " " + ByteCount(plan.descriptor.size()));
  *used = Takes(manifest, InstallerRoom(manifest, disk1)) +
          Takes(manifest, plan.descriptor.size());
  for (const PreparedFile& file : files) {
    if (!file.file.noInstall) continue;
    add(PlainCopyPath(file.file.utf8Target) + " " + ByteCount(file.size));
    *used += Takes(manifest, file.size);
  }
  const uint64_t checksums =
      ChecksumListBytes(disk1.descriptorName, disk1.volumeName, plan.disks,
                        Disk1ListedFiles(files, disk1.installerName));
  add(std::string(kChecksumListName) + " " + ByteCount(checksums));
  *used += Takes(manifest, checksums);
  return items;
}

// "disk 2", "disks 1-3", "-" (no stream) for the record of a file.
std::string DisksOf(const RecordPlan& record) {
  if (record.flags & kFlagNoInstall) return "disk 1, plain copy";
  if (record.chunks.empty()) return "-";
  unsigned first = record.chunks.front().disk;
  unsigned last = record.chunks.back().disk;
  return first == last ? "disk " + Num(first)
                       : "disks " + Num(first) + "-" + Num(last);
}

// A file's flags for the dry run's list: "shared,version=...",
// "noInstall" or "-".
std::string FlagText(const PreparedFile& file) {
  std::string text;
  if (file.file.shared) {
    text = "shared,version=" + FormatVersion(file.versionMs, file.versionLs);
  }
  if (file.file.noInstall) text += text.empty() ? "noInstall" : ",noInstall";
  return text.empty() ? "-" : text;
}

}  // namespace

void PrintLayout(const Manifest& manifest, const std::string& label,
                 const std::vector<PreparedFile>& files,
                 const Disk1Files& disk1, const MediaPlan& plan,
                 const Console& console) {
  const unsigned diskCount = DiskCount(plan);
  const bool bounded = manifest.diskFormat != nullptr || manifest.diskSizeGiven;
  for (unsigned disk = 1; disk <= diskCount; ++disk) {
    uint64_t used = 0;
    std::string items;
    if (disk == 1) items = Disk1Items(manifest, files, disk1, plan, &used);
    uint64_t volumeSize = plan.disks.volumeSizes[disk - 1];
    if (volumeSize > 0) {
      std::string volume = disk1.volumeName + " " + ByteCount(volumeSize);
      items = items.empty() ? volume : volume + ", " + items;
      used += Takes(manifest, volumeSize);
    }
    // Without a disk size there is no "of": one disk takes everything.
    std::fprintf(console.out, "%s: %s; %s\n",
                 label.empty() ? ("disk" + Num(disk)).c_str()
                               : DiskDir(label, disk).c_str(),
                 items.c_str(),
                 (bounded ? Num(used) + " of " + ByteCount(DiskRoom(manifest))
                          : ByteCount(used) + " in all")
                     .c_str());
  }
  std::string installer =
      !disk1.installerName.empty() ? "disk 1 holds the installer and the "
                                     "descriptor"
      : manifest.installerReserve > 0
          ? "disk 1 keeps " + ByteCount(manifest.installerReserve) +
                " for the installer and holds the descriptor"
          : "disk 1 holds the descriptor and keeps no room for an installer";
  const std::string capacity =
      manifest.diskFormat != nullptr
          ? std::string(manifest.diskFormat->name) + " floppies (" +
                ByteCount(DiskRoom(manifest)) + " for files, in clusters of " +
                Num(manifest.diskFormat->ClusterBytes()) + ")"
      : bounded ? ByteCount(manifest.diskSize)
                : "any size (no diskSize given)";
  std::fprintf(console.out, "%zu file%s on %u disk%s of %s; %s\n", files.size(),
               files.size() == 1 ? "" : "s", diskCount,
               diskCount == 1 ? "" : "s", capacity.c_str(), installer.c_str());
}

void PrintFileList(const std::vector<PreparedFile>& files,
                   const MediaPlan& plan, const Console& console) {
  for (size_t i = 0; i < files.size(); ++i) {
    const PreparedFile& file = files[i];
    std::fprintf(console.out, "%s\t%s\t%s\t%s\n", file.file.utf8Target.c_str(),
                 file.file.sourcePath.c_str(), FlagText(file).c_str(),
                 DisksOf(plan.records[i]).c_str());
  }
}
}  // namespace pkgtool
