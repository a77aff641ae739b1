// The commit stage: the staged media put in place, and what an earlier
// build of the product left behind removed; the media already in OUTDIR.
#include <strings.h>
#include <unistd.h>

#include <fstream>

#include "build/stages.h"
#include "common/console.h"
#include "common/floppy.h"
#include "read/checksums.h"

namespace pkgtool {
namespace {

// The descriptors that OUTDIR's disk 1 holds (*.bin files that load), read
// in codepage.
std::vector<Media> EarlierDescriptors(const std::string& disk1,
                                      unsigned codepage) {
  std::vector<Media> found;
  for (const std::string& name : ListDirectory(disk1)) {
    std::string path = JoinPath(disk1, name);
    Media media;
    std::string error;
    if (name.size() > 4 &&
        strcasecmp(name.c_str() + name.size() - 4, ".bin") == 0 &&
        IsRegularFile(path) && LoadMedia(path, &media, &error, codepage)) {
      found.push_back(media);
    }
  }
  return found;
}

// The label in an image's boot sector (mformat -v writes it there), without
// its padding; "" when there is none.
std::string ImageLabel(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char label[11];
  if (!in.seekg(43) || !in.read(label, sizeof label)) return std::string();
  std::string text(label, sizeof label);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// True when the image of disk is one of another product's: its label is
// the one pkgtool gives that product's disk.
bool IsImageOfAnother(const std::string& image, unsigned disk,
                      const std::vector<Media>& others) {
  const std::string label = ImageLabel(image);
  for (const Media& other : others) {
    if (label == VolumeLabel(other.utf8Title, disk)) return true;
  }
  return false;
}

// True when path (below disk 1) is a noInstall copy another product lists.
bool IsCopyOfAnother(const std::string& copy,
                     const std::vector<Media>& others) {
  for (const Media& other : others) {
    for (const MediaRecord& record : other.records) {
      if (record.noInstall && strcasecmp(PlainCopyPath(record.utf8Name).c_str(),
                                         copy.c_str()) == 0) {
        return true;
      }
    }
  }
  return false;
}

// Once the new media are in place: what an earlier build of the same
// product left that the new media do not have would be taken for part of
// them. Removes the volumes of disks the new media do not write (and the
// directories of disks past the last, when that empties them), the earlier
// descriptors of another name and the noInstall copies they list.
void RemoveEarlierFiles(const std::string& outputDir,
                        const std::string& volumeName, const MediaPlan& plan,
                        const std::vector<Media>& earlier,
                        const std::vector<Media>& others,
                        const Staging& staging, const Console& console) {
  auto remove = [&](const std::string& path) {
    if (::unlink(path.c_str()) == 0) {
      PrintError(console, "note: removed " + path + " from an earlier build");
    }
  };
  const unsigned diskCount =
      static_cast<unsigned>(plan.disks.volumeSizes.size());
  for (unsigned disk = 1;; ++disk) {
    std::string dir = DiskDir(outputDir, disk);
    if (disk > diskCount && !IsDirectory(dir)) break;
    if (disk <= diskCount && plan.disks.volumeSizes[disk - 1] > 0) continue;
    std::string stale = FindNoCase(dir, volumeName);
    if (!stale.empty()) remove(JoinPath(dir, stale));
    if (disk > diskCount) ::rmdir(dir.c_str());
  }
  // Disk images this build does not write (of disks it no longer has, or
  // all of them when it writes none), unless they are another product's.
  for (unsigned disk = 1;; ++disk) {
    const std::string image = JoinPath(outputDir, "disk" + Num(disk) + ".img");
    if (disk > diskCount && !IsRegularFile(image)) break;
    if (staging.Temporary(image).empty() && IsFloppyImage(image) &&
        !IsImageOfAnother(image, disk, others)) {
      remove(image);
    }
  }
  const std::string disk1 = DiskDir(outputDir, 1);
  for (const Media& media : earlier) {
    if (staging.Temporary(media.path).empty()) remove(media.path);
    for (const MediaRecord& record : media.records) {
      std::string copy = PlainCopyPath(record.utf8Name);
      if (record.noInstall && !copy.empty() && !IsCopyOfAnother(copy, others) &&
          staging.Temporary(JoinPath(disk1, copy)).empty() &&
          IsRegularFile(JoinPath(disk1, copy))) {
        remove(JoinPath(disk1, copy));
      }
    }
  }
}

}  // namespace

bool FindEarlierMedia(const Manifest& manifest, const BuildOptions& options,
                      const Console& console, std::vector<Media>* earlier,
                      std::vector<Media>* others,
                      std::vector<std::string>* errors) {
  for (const Media& media :
       EarlierDescriptors(DiskDir(options.outputDir, 1), manifest.codepage)) {
    if (strcasecmp(media.programFile.c_str(), manifest.programFile.c_str()) ==
        0) {
      earlier->push_back(media);
    } else if (options.force) {
      PrintError(console, "note: " + media.path + " (" + media.utf8ProgramFile +
                              ") belongs to another product; --force: "
                              "its files are left beside the new media");
      others->push_back(media);
    } else {
      errors->push_back(media.path + " holds the media of another product (" +
                        media.utf8ProgramFile + ", \"" + media.utf8Title +
                        "\"), not of " + manifest.utf8ProgramFile +
                        "; give --force to build into " + options.outputDir +
                        " all the same");
      return false;
    }
  }
  return true;
}

bool CommitMedia(const BuildOptions& options, const std::string& volumeName,
                 const MediaPlan& plan, const std::vector<Media>& earlier,
                 const std::vector<Media>& others, const Console& console,
                 Staging* staging, std::vector<std::string>* errors) {
  // A signal waits until the earlier build's leftovers are gone too.
  CleanupOnSignal::Hold hold;
  std::string error;
  if (!staging->Commit(&error)) {
    errors->push_back(error);
    return false;
  }
  RemoveEarlierFiles(options.outputDir, volumeName, plan, earlier, others,
                     *staging, console);
  return true;
}

bool CheckOtherProducts(const Manifest& manifest, const BuildOptions& options,
                        const std::vector<PreparedFile>& files,
                        const std::vector<Media>& others, Disk1Files* disk1,
                        std::vector<std::string>* errors) {
  const size_t before = errors->size();
  const std::string disk1Dir = DiskDir(options.outputDir, 1);
  auto collides = [&](const std::string& path, const Media& other,
                      const std::string& way) {
    errors->push_back(path + " belongs to the media of " +
                      other.utf8ProgramFile +
                      ", which --force leaves as they are, and the new media "
                      "would overwrite it; " +
                      way);
  };
  std::string kept;  // their lines of SHA256SUMS
  std::string list;
  std::string ignored;
  ReadSmallFile(JoinPath(disk1Dir, kChecksumListName), 1 << 20, &list,
                &ignored);
  for (const Media& other : others) {
    const std::string descriptor = BaseName(other.path);
    const std::string volume = other.VolumeName();
    if (strcasecmp(descriptor.c_str(), disk1->descriptorName.c_str()) == 0) {
      collides(other.path, other,
               "give an installer of another name (--installer) or build "
               "into another OUTDIR");
    }
    if (strcasecmp(volume.c_str(), disk1->volumeName.c_str()) == 0) {
      collides(JoinPath(disk1Dir, volume), other, "build into another OUTDIR");
    }
    for (const PreparedFile& file : files) {
      const std::string copy = PlainCopyPath(file.file.utf8Target);
      if (file.file.noInstall && IsCopyOfAnother(copy, {other})) {
        collides(JoinPath(disk1Dir, copy), other,
                 manifest.path + ":" + Num(file.file.line) +
                     " names it too: give it another name or build into "
                     "another OUTDIR");
      }
    }
    // Their descriptor's and volumes' lines stay in the list.
    for (size_t start = 0; start < list.size();) {
      size_t end = list.find('\n', start);
      end = end == std::string::npos ? list.size() : end + 1;
      const std::string line = list.substr(start, end - start);
      start = end;
      const size_t gap = line.find("  ");
      if (gap == std::string::npos) continue;
      std::string name = line.substr(gap + 2);
      name.erase(name.find_last_not_of("\r\n") + 1);
      const size_t slash = name.rfind('/');
      const bool later = name.compare(0, 7, "../disk") == 0 &&
                         slash != std::string::npos && slash > 7;
      if (name == descriptor || name == volume ||
          (later && name.substr(slash + 1) == volume)) {
        kept += line.back() == '\n' ? line : line + "\n";
      }
    }
  }
  for (unsigned disk = 1; options.images; ++disk) {
    const std::string image =
        JoinPath(options.outputDir, "disk" + Num(disk) + ".img");
    if (!IsRegularFile(image)) break;
    for (const Media& other : others) {
      if (IsImageOfAnother(image, disk, {other})) {
        collides(image, other, "build the images into another OUTDIR");
        break;
      }
    }
  }
  disk1->otherChecksums = kept;
  return errors->size() == before;
}

}  // namespace pkgtool
