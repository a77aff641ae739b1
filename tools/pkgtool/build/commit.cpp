// The commit stage: the staged media put in place, and what an earlier
// build of the product left behind removed; the media already in OUTDIR.
#include <strings.h>
#include <unistd.h>

#include <cerrno>

#include "build/stages.h"
#include "common/console.h"
#include "common/floppy.h"

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

// Once the new media are in place: what an earlier build of the same
// product left that the new media do not have would be taken for part of
// them. Removes the volumes of disks the new media do not write (and the
// directories of disks past the last, when that empties them), the earlier
// descriptors of another name and the noInstall copies they list.
void RemoveEarlierFiles(const std::string& outputDir,
                        const std::string& volumeName, const MediaPlan& plan,
                        const std::vector<Media>& earlier,
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
  // all of them when it writes none).
  for (unsigned disk = 1;; ++disk) {
    const std::string image = JoinPath(outputDir, "disk" + Num(disk) + ".img");
    if (disk > diskCount && !is(image, PathKind::kFile)) break;
    std::string error;
    if (staging.Temporary(image).empty() && IsFloppyImage(image, &error)) {
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
      if (record.noInstall && !copy.empty() &&
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
                 const Console& console, Staging* staging,
                 std::vector<std::string>* errors) {
  // A signal waits until the earlier build's leftovers are gone too.
  CleanupOnSignal::Hold hold;
  std::string error;
  if (!staging->Commit(&error)) {
    errors->push_back(error);
    return false;
  }
  const size_t before = errors->size();
  RemoveEarlierFiles(options.outputDir, volumeName, plan, earlier, *staging,
                     console, errors);
  return errors->size() == before;
}
}  // namespace pkgtool
