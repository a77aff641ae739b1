// The planning stage: the records, the disks and the descriptor laid out
// so that disk 1 holds what it must.
#include <algorithm>

#include "build/descriptor_writer.h"
#include "build/stages.h"
#include "common/codepage.h"
#include "common/floppy.h"
#include "install/run.h"
#include "read/checksums.h"

namespace pkgtool {
namespace {

// What disk 1 keeps besides its volume, as a floppy would take it: the
// installer's room, the noInstall copies (a cluster for each directory they
// need), the descriptor and the checksum list. *entries counts the root
// directory's entries, the volume's among them. "" when one file alone
// cannot fit an empty disk, else the file.
std::string Disk1Needs(const Manifest& manifest,
                       const std::vector<PreparedFile>& files,
                       uint64_t installerBytes, uint64_t descriptorBytes,
                       uint64_t checksumBytes, uint64_t* reserve,
                       unsigned* entries, const std::string& descriptorName,
                       const std::string& volumeName) {
  std::string tooLarge;
  const uint64_t room = DiskRoom(manifest);
  auto add = [&](const std::string& name, uint64_t size) {
    *reserve += Takes(manifest, size);
    if (Takes(manifest, size) > room && tooLarge.empty()) tooLarge = name;
  };
  *reserve = 0;
  add("the installer", installerBytes);
  add(descriptorName, descriptorBytes);
  add(kChecksumListName, checksumBytes);
  std::vector<std::string> roots = {descriptorName, kChecksumListName,
                                    volumeName};
  std::vector<std::string> directories;
  for (const PreparedFile& file : files) {
    if (!file.file.noInstall) continue;
    const std::string copy = PlainCopyPath(file.file.utf8Target);
    add(copy, file.size);
    for (size_t slash = copy.find('/'); slash != std::string::npos;
         slash = copy.find('/', slash + 1)) {
      const std::string directory = copy.substr(0, slash);
      if (std::find(directories.begin(), directories.end(), directory) ==
          directories.end()) {
        directories.push_back(directory);
        *reserve += Takes(manifest, 1);
      }
    }
    const std::string root = copy.substr(0, copy.find('/'));
    if (std::find(roots.begin(), roots.end(), root) == roots.end()) {
      roots.push_back(root);
    }
  }
  // The volume label takes an entry; the installer is named as the
  // descriptor is, with another extension.
  *entries = 1 + DirectoryEntries(descriptorName);
  for (const std::string& root : roots) *entries += DirectoryEntries(root);
  return tooLarge;
}

}  // namespace

uint64_t Takes(const Manifest& manifest, uint64_t size) {
  return manifest.diskFormat != nullptr
             ? ClusterRounded(*manifest.diskFormat, size)
             : size;
}

// The size SHA256SUMS has for a descriptor name and the disks that carry a

std::vector<std::string> Disk1ListedFiles(
    const std::vector<PreparedFile>& files, const std::string& installerName) {
  std::vector<std::string> names;
  if (!installerName.empty()) names.push_back(installerName);
  for (const PreparedFile& file : files) {
    if (file.file.noInstall)
      names.push_back(PlainCopyPath(file.file.utf8Target));
  }
  return names;
}

uint64_t ChecksumListBytes(const std::string& descriptorName,
                           const std::string& volumeName, const DiskPlan& disks,
                           const std::vector<std::string>& others) {
  const std::string hex(64, '0');
  uint64_t size = ChecksumLine(hex, descriptorName).size();
  for (const std::string& name : others) size += ChecksumLine(hex, name).size();
  for (size_t disk = 1; disk <= disks.volumeSizes.size(); ++disk) {
    if (disks.volumeSizes[disk - 1] > 0) {
      size += ChecksumLine(hex, ListedVolumeName(static_cast<unsigned>(disk),
                                                 volumeName))
                  .size();
    }
  }
  return size;
}

uint64_t DiskRoom(const Manifest& manifest) {
  return manifest.diskFormat != nullptr ? manifest.diskFormat->DataBytes()
                                        : manifest.diskSize;
}

std::vector<size_t> ReadingOrder(const std::vector<RecordPlan>& records) {
  std::vector<size_t> order;
  for (int pass : {1, 2, 0}) {
    for (size_t i = 0; i < records.size(); ++i) {
      const RecordPlan& record = records[i];
      if ((record.flags & kFlagNoInstall) == 0 &&
          ReadingPass(record.flags, record.name.c_str()) == pass) {
        order.push_back(i);
      }
    }
  }
  return order;
}

bool PlanCheckedMedia(const Manifest& manifest,
                      const std::vector<PreparedFile>& files,
                      const std::vector<uint64_t>& lengths,
                      const Disk1Files& disk1, MediaPlan* plan,
                      std::vector<std::string>* errors) {
  std::string error;
  if (!PlanMedia(manifest, files, lengths, disk1.installerSize, plan, &error,
                 disk1.descriptorName, disk1.installerName)) {
    errors->push_back(manifest.path + ": " + error);
    return false;
  }
  const std::vector<uint8_t>& descriptor = plan->descriptor;
  if (!ValidateRecordTable(descriptor.data() + kHeaderSize,
                           descriptor.size() - kHeaderSize,
                           static_cast<unsigned>(files.size()))) {
    errors->push_back("internal: the record table written fails validation");
    return false;
  }
  return true;
}

bool PlanMedia(const Manifest& manifest, const std::vector<PreparedFile>& files,
               const std::vector<uint64_t>& streamLengths,
               uint64_t installerSize, MediaPlan* plan, std::string* error,
               const std::string& descriptorName,
               const std::string& installerName) {
  plan->records.clear();
  std::vector<size_t> streamOwners;  // record index of each stream
  std::vector<uint64_t> lengths;
  uint64_t descriptorGuess = kHeaderSize;
  for (size_t i = 0; i < files.size(); ++i) {
    const PreparedFile& file = files[i];
    RecordPlan record;
    record.name = file.file.target;
    record.flags =
        static_cast<uint16_t>((file.file.noInstall ? kFlagNoInstall : 0) |
                              (file.file.shared ? 2 : 0));
    record.sizeKb = SizeKb(file.size);
    record.versionMs = file.versionMs;
    record.versionLs = file.versionLs;
    if (!file.file.noInstall) {
      record.chunks.push_back(ChunkEntry{1, 2, 1});  // one chunk, for now
    }
    descriptorGuess += RecordLength(record);
    plan->records.push_back(record);
  }
  // The streams go on the disks in the order the installer reads them, so
  // that it asks for each disk once; the table keeps the manifest's order.
  plan->streamOrder = ReadingOrder(plan->records);
  for (size_t owner : plan->streamOrder) {
    streamOwners.push_back(owner);
    lengths.push_back(streamLengths[owner]);
  }
  const uint64_t installerBytes =
      std::max(manifest.installerReserve, installerSize);
  std::string volumeName, why;
  VolumeNameFor(manifest.programFile, &volumeName, &why);
  volumeName = DecodeText(volumeName, manifest.codepage);
  const uint64_t room = DiskRoom(manifest);
  const std::vector<std::string> listed =
      Disk1ListedFiles(files, installerName);
  uint64_t checksumGuess =
      ChecksumListBytes(descriptorName, volumeName, {}, listed);

  for (int attempt = 0; attempt < 1000; ++attempt) {
    uint64_t reserve = 0;
    unsigned entries = 0;
    std::string tooLarge = Disk1Needs(manifest, files, installerBytes,
                                      descriptorGuess, checksumGuess, &reserve,
                                      &entries, descriptorName, volumeName);
    const std::string disk =
        manifest.diskFormat != nullptr
            ? std::string("a ") + manifest.diskFormat->name + " floppy"
            : "a disk";
    if (!tooLarge.empty()) {
      *error = tooLarge + " does not fit on " + disk + " (" + Num(room) +
               " bytes for files)";
      return false;
    }
    if (reserve > room) {
      *error =
          "disk 1 (" + Num(room) + " bytes) cannot hold the installer (" +
          Num(installerBytes) + "), the descriptor (" + Num(descriptorGuess) +
          "), the checksum list and the noInstall files (" + Num(reserve) +
          " bytes in all" +
          (manifest.diskFormat != nullptr ? ", in whole clusters" : "") + ")";
      return false;
    }
    if (manifest.diskFormat != nullptr &&
        entries > manifest.diskFormat->rootEntries) {
      *error = "disk 1's root directory would need " + Num(entries) +
               " entries; " + disk + " has " +
               Num(manifest.diskFormat->rootEntries);
      return false;
    }
    if (!PlanDisks(room, reserve, lengths, &plan->disks, error)) return false;
    for (size_t s = 0; s < streamOwners.size(); ++s) {
      plan->records[streamOwners[s]].chunks = plan->disks.chunks[s];
    }
    if (!SerializeDescriptor(manifest.kind == PackageKind::kControlPanel,
                             manifest.programFile, manifest.title,
                             plan->records, &plan->descriptor, error)) {
      return false;
    }
    const uint64_t checksums =
        ChecksumListBytes(descriptorName, volumeName, plan->disks, listed);
    if (plan->descriptor.size() <= descriptorGuess &&
        checksums <= checksumGuess) {
      plan->disk1Reserve = reserve;
      return true;
    }
    descriptorGuess =
        std::max<uint64_t>(descriptorGuess, plan->descriptor.size());
    checksumGuess = std::max(checksumGuess, checksums);
  }
  *error = "internal: the layout of disk 1 does not settle";
  return false;
}
}  // namespace pkgtool
