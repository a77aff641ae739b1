// The commit stage: the staged media put in place, and what an earlier
// build of the product left behind removed; the media already in OUTDIR.
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "build/stages.h"
#include "common/console.h"
#include "common/floppy.h"
#include "read/checksums.h"

namespace pkgtool {
namespace {

// The descriptors that OUTDIR's disk 1 holds (*.bin files that load), read
// in codepage; false with *error when disk 1 or one of them cannot be
// looked at.
bool EarlierDescriptors(const std::string& disk1, unsigned codepage,
                        std::vector<Media>* found, std::string* error) {
  PathKind kind = PathKind::kNone;
  std::vector<std::string> names;
  if (!LookAt(disk1, &kind, error)) return false;
  if (kind != PathKind::kDirectory) return true;
  if (!ListDirectory(disk1, &names, error)) return false;
  for (const std::string& name : names) {
    std::string path = JoinPath(disk1, name);
    Media media;
    std::string ignored;
    if (name.size() <= 4 ||
        strcasecmp(name.c_str() + name.size() - 4, ".bin") != 0) {
      continue;
    }
    if (!LookAt(path, &kind, error)) return false;
    if (kind == PathKind::kFile &&
        LoadMedia(path, &media, &ignored, codepage)) {
      found->push_back(media);
    }
  }
  return true;
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
                        const Staging& staging, const Console& console,
                        std::vector<std::string>* errors) {
  // What cannot be removed, or looked at, is a failure: the new media are
  // in place, but the leftover would be taken for part of them.
  auto failed = [&](const std::string& why) {
    errors->push_back(why + "; the new media are in place beside it");
  };
  auto remove = [&](const std::string& path) {
    std::string why;
    if (RemoveFile(path, &why)) {
      PrintError(console, "note: removed " + path + " from an earlier build");
    } else {
      failed(why + " (what an earlier build left)");
    }
  };
  auto is = [&](const std::string& path, PathKind wanted) {
    PathKind kind = PathKind::kNone;
    std::string error;
    if (LookAt(path, &kind, &error)) return kind == wanted;
    failed(error);
    return false;
  };
  const unsigned diskCount =
      static_cast<unsigned>(plan.disks.volumeSizes.size());
  for (unsigned disk = 1;; ++disk) {
    std::string dir = DiskDir(outputDir, disk);
    if (disk > diskCount && !is(dir, PathKind::kDirectory)) break;
    if (disk <= diskCount && plan.disks.volumeSizes[disk - 1] > 0) continue;
    std::string stale, error;
    if (!FindNoCase(dir, volumeName, &stale, &error)) failed(error);
    if (!stale.empty()) remove(JoinPath(dir, stale));
    if (disk > diskCount) ::rmdir(dir.c_str());
  }
  // Disk images this build does not write (of disks it no longer has, or
  // all of them when it writes none), unless they are another product's.
  for (unsigned disk = 1;; ++disk) {
    const std::string image = JoinPath(outputDir, "disk" + Num(disk) + ".img");
    if (disk > diskCount && !is(image, PathKind::kFile)) break;
    std::string error;
    if (staging.Temporary(image).empty() && IsFloppyImage(image, &error) &&
        !IsImageOfAnother(image, disk, others)) {
      remove(image);
    } else if (!error.empty()) {
      failed(error);
    }
  }
  const std::string disk1 = DiskDir(outputDir, 1);
  for (const Media& media : earlier) {
    if (staging.Temporary(media.path).empty()) remove(media.path);
    for (const MediaRecord& record : media.records) {
      std::string copy = PlainCopyPath(record.utf8Name);
      if (record.noInstall && !copy.empty() && !IsCopyOfAnother(copy, others) &&
          staging.Temporary(JoinPath(disk1, copy)).empty() &&
          is(JoinPath(disk1, copy), PathKind::kFile)) {
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
  std::vector<Media> found;
  std::string error;
  if (!EarlierDescriptors(DiskDir(options.outputDir, 1), manifest.codepage,
                          &found, &error)) {
    errors->push_back(error);
    return false;
  }
  for (const Media& media : found) {
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
  const size_t before = errors->size();
  RemoveEarlierFiles(options.outputDir, volumeName, plan, earlier, others,
                     *staging, console, errors);
  return errors->size() == before;
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
  std::string list, error;
  const std::string listPath = JoinPath(disk1Dir, kChecksumListName);
  PathKind kind = PathKind::kNone;
  if (!others.empty() && (!LookAt(listPath, &kind, &error) ||
                          (kind != PathKind::kNone &&
                           !ReadSmallFile(listPath, 1 << 20, &list, &error)))) {
    errors->push_back(error);
    return false;
  }
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
    if (!IsRegularFile(image, &error)) {
      if (!error.empty()) errors->push_back(error);
      break;
    }
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
