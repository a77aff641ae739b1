// The writing stage: the volumes, disk 1's own files, the checksum list
// and the disk images, each under its temporary name.
#include "build/stages.h"
#include "common/floppy.h"
#include "read/checksums.h"

namespace pkgtool {
namespace {

// Copies length bytes from in to out.
// Copies length bytes from in (inPath) to out (outPath); "" or what failed.
std::string CopyBytes(std::FILE* in, const std::string& inPath, std::FILE* out,
                      const std::string& outPath, uint64_t length) {
  static char block[64 * 1024];
  while (length > 0) {
    size_t n =
        length < sizeof block ? static_cast<size_t>(length) : sizeof block;
    if (std::fread(block, 1, n, in) != n) {
      return inPath + ": read error: " +
             (std::ferror(in) ? SystemError() : "ends too soon");
    }
    if (std::fwrite(block, 1, n, out) != n) {
      return outPath + ": write error: " + SystemError();
    }
    length -= n;
  }
  return std::string();
}

// Writes the volumes, staged: the streams of the store, in the plan's
// stream order, cut into the planned chunks. *volumes gets each volume's
// final path, by disk.
bool WriteVolumes(const std::string& outputDir, const std::string& volumeName,
                  const MediaPlan& plan, const StreamStore& store,
                  Staging* staging,
                  std::vector<std::pair<unsigned, std::string>>* volumes,
                  std::vector<std::string>* errors) {
  std::FILE* volume = nullptr;
  std::string volumePath;
  unsigned disk = 0;
  auto closeVolume = [&]() {
    bool ok = volume == nullptr || std::fclose(volume) == 0;
    volume = nullptr;
    if (!ok) errors->push_back(volumePath + ": write error: " + SystemError());
    return ok;
  };
  for (size_t owner : plan.streamOrder) {
    const RecordPlan& record = plan.records[owner];
    std::FILE* temp = store.files[store.spans[owner].file];
    const std::string& tempPath = store.paths[store.spans[owner].file];
    if (std::fseek(temp, static_cast<long>(store.spans[owner].offset),
                   SEEK_SET) != 0) {
      errors->push_back(tempPath + ": cannot seek: " + SystemError());
      closeVolume();
      return false;
    }
    for (const ChunkEntry& chunk : record.chunks) {
      if (chunk.disk != disk) {
        if (!closeVolume()) return false;
        disk = chunk.disk;
        volumePath = JoinPath(DiskDir(outputDir, disk), volumeName);
        volumes->push_back({disk, volumePath});
        volume = std::fopen(staging->Stage(volumePath).c_str(), "wb");
        const uint8_t header[2] = {static_cast<uint8_t>(disk),
                                   static_cast<uint8_t>(disk >> 8)};
        if (volume == nullptr || std::fwrite(header, 1, 2, volume) != 2) {
          errors->push_back(volumePath + ": cannot create: " + SystemError());
          closeVolume();
          return false;
        }
      }
      long position = std::ftell(volume);
      if (position < 0) {
        errors->push_back(volumePath +
                          ": cannot tell its position: " + SystemError());
        closeVolume();
        return false;
      }
      if (position != static_cast<long>(chunk.offset)) {
        errors->push_back("internal: " + volumePath + " is at " +
                          Num(static_cast<uint64_t>(position)) +
                          " where a chunk of " + record.name + " starts at " +
                          Num(chunk.offset));
        closeVolume();
        return false;
      }
      const std::string copyError =
          CopyBytes(temp, tempPath, volume, volumePath, chunk.length);
      if (!copyError.empty()) {
        errors->push_back(copyError);
        closeVolume();
        return false;
      }
    }
  }
  return closeVolume();
}

// Stages SHA256SUMS on disk 1: every file the build writes on a disk, as
// staged: the descriptor, the installer and the noInstall copies (others,
// as disk 1 names them) and every volume. The images hold the same files.
bool WriteChecksumList(
    const std::string& disk1, const std::string& descriptorPath,
    const std::vector<std::string>& others, const std::string& volumeName,
    const std::vector<std::pair<unsigned, std::string>>& volumes,
    const std::string& otherLines, Staging* staging, std::string* error) {
  std::vector<std::pair<std::string, std::string>> files = {
      {descriptorPath, BaseName(descriptorPath)}};
  for (const std::string& other : others) {
    files.push_back({JoinPath(disk1, other), other});
  }
  for (const auto& volume : volumes) {
    files.push_back(
        {volume.second, ListedVolumeName(volume.first, volumeName)});
  }
  std::string list;
  for (const auto& file : files) {
    std::string hex;
    if (!FileSha256(staging->Temporary(file.first), &hex, error)) {
      *error = staging->Named(*error);
      return false;
    }
    list += ChecksumLine(hex, file.second);
  }
  list += otherLines;  // another product's, left in OUTDIR by --force
  std::string listPath = JoinPath(disk1, kChecksumListName);
  if (!WriteWholeFile(staging->Stage(listPath), list.data(), list.size(),
                      error)) {
    *error = staging->Named(*error);
    return false;
  }
  return true;
}

// Stages disk 1's own files: the plain copies of the noInstall files, the
// installer, the descriptor and, last, the checksum list over the volumes.
bool StageDisk1Files(
    const BuildOptions& options, const std::vector<PreparedFile>& files,
    const Disk1Files& disk1Files, const std::vector<uint8_t>& descriptor,
    const std::vector<std::pair<unsigned, std::string>>& volumes,
    Staging* staging, std::vector<std::string>* errors) {
  const std::string disk1 = DiskDir(options.outputDir, 1);
  std::string error;
  for (const PreparedFile& file : files) {
    if (!file.file.noInstall) continue;
    std::string copy = JoinPath(disk1, PlainCopyPath(file.file.utf8Target));
    if (!staging->MakeDirectories(DirName(copy))) {
      errors->push_back(DirName(copy) + ": cannot create: " + SystemError());
      return false;
    }
    if (!CopyFileBytes(file.file.sourcePath, staging->Stage(copy), &error)) {
      errors->push_back(staging->Named(error));
      return false;
    }
  }
  const std::string descriptorPath = JoinPath(disk1, disk1Files.descriptorName);
  if ((!disk1Files.installerName.empty() &&
       !CopyFileBytes(options.installerPath,
                      staging->Stage(JoinPath(disk1, disk1Files.installerName)),
                      &error)) ||
      !WriteWholeFile(staging->Stage(descriptorPath), descriptor.data(),
                      descriptor.size(), &error) ||
      !WriteChecksumList(disk1, descriptorPath,
                         Disk1ListedFiles(files, disk1Files.installerName),
                         disk1Files.volumeName, volumes,
                         disk1Files.otherChecksums, staging, &error)) {
    errors->push_back(staging->Named(error));
    return false;
  }
  return true;
}

// Stages OUTDIR/diskN.img for every disk: a floppy of the manifest's
// format holding exactly that disk's files, labelled with the title and
// the disk number.
bool StageImages(const Manifest& manifest, const BuildOptions& options,
                 const std::vector<PreparedFile>& files,
                 const Disk1Files& disk1Files,
                 const std::vector<std::pair<unsigned, std::string>>& volumes,
                 unsigned diskCount, Staging* staging,
                 std::vector<std::string>* errors) {
  const std::string disk1 = DiskDir(options.outputDir, 1);
  for (unsigned disk = 1; disk <= diskCount; ++disk) {
    // (name on the floppy, the staged file)
    std::vector<std::pair<std::string, std::string>> content;
    auto add = [&](const std::string& name, const std::string& finalPath) {
      content.push_back({name, staging->Temporary(finalPath)});
    };
    if (disk == 1) {
      if (!disk1Files.installerName.empty()) {
        add(disk1Files.installerName,
            JoinPath(disk1, disk1Files.installerName));
      }
      add(disk1Files.descriptorName,
          JoinPath(disk1, disk1Files.descriptorName));
      add(kChecksumListName, JoinPath(disk1, kChecksumListName));
      for (const PreparedFile& file : files) {
        if (!file.file.noInstall) continue;
        const std::string copy = PlainCopyPath(file.file.utf8Target);
        add(copy, JoinPath(disk1, copy));
      }
    }
    for (const auto& volume : volumes) {
      if (volume.first == disk) add(disk1Files.volumeName, volume.second);
    }
    const std::string image =
        JoinPath(options.outputDir, "disk" + Num(disk) + ".img");
    std::string error;
    if (!WriteFloppyImage(*manifest.diskFormat,
                          VolumeLabel(manifest.utf8Title, disk), content,
                          staging->Stage(image), &error)) {
      errors->push_back(staging->Named(error));  // it names the image
      return false;
    }
  }
  return true;
}

}  // namespace

bool StageMedia(const Manifest& manifest, const BuildOptions& options,
                const std::vector<PreparedFile>& files,
                const Disk1Files& disk1Files, const MediaPlan& plan,
                StreamStore* store, Staging* staging,
                std::vector<std::string>* errors) {
  for (unsigned disk = 1; disk <= DiskCount(plan); ++disk) {
    if (!staging->MakeDirectories(DiskDir(options.outputDir, disk))) {
      errors->push_back(DiskDir(options.outputDir, disk) +
                        ": cannot create: " + SystemError());
      return false;
    }
  }
  std::vector<std::pair<unsigned, std::string>> volumes;
  if (!WriteVolumes(options.outputDir, disk1Files.volumeName, plan, *store,
                    staging, &volumes, errors)) {
    return false;
  }
  if (!store->Close(errors)) return false;
  return StageDisk1Files(options, files, disk1Files, plan.descriptor, volumes,
                         staging, errors) &&
         (!options.images ||
          StageImages(manifest, options, files, disk1Files, volumes,
                      DiskCount(plan), staging, errors));
}
}  // namespace pkgtool
