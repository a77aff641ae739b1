// Media found in directories and floppy images; see media_sources.h.
#include "read/media_sources.h"

#include <ftw.h>
#include <strings.h>
#include <unistd.h>

#include <cstdlib>

#include "common/console.h"
#include "common/floppy.h"
#include "common/host_files.h"

namespace pkgtool {
namespace {

int RemoveEntry(const char* path, const struct stat* /*info*/, int /*flag*/,
                struct FTW* /*ftw*/) {
  ::remove(path);
  return 0;
}

}  // namespace

MediaSources::~MediaSources() {
  if (!root_.empty()) {
    nftw(root_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
}

std::vector<std::string> MediaSources::ImagesIn(
    const std::string& dir, std::vector<std::string>* failures) {
  std::vector<std::string> images, names;
  std::string error;
  PathKind kind = PathKind::kNone;
  if (!LookAt(dir, &kind, &error) ||
      (kind == PathKind::kDirectory && !ListDirectory(dir, &names, &error))) {
    failures->push_back(error);
  }
  for (const std::string& name : names) {
    if (IsFloppyImage(JoinPath(dir, name), &error)) {
      images.push_back(JoinPath(dir, name));
    } else if (!error.empty()) {
      failures->push_back(error);
      error.clear();
    }
  }
  return images;
}

std::string MediaSources::Unpack(const std::string& image, std::string* error) {
  auto found = unpacked_.find(image);
  if (found != unpacked_.end()) return found->second;
  if (root_.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = JoinPath(
        tmp != nullptr && *tmp != '\0' ? tmp : "/tmp", "pkgtool-images-XXXXXX");
    if (mkdtemp(&pattern[0]) == nullptr) {
      *error = "cannot make a temporary directory for " + image + ": " +
               SystemError();
      return std::string();
    }
    root_ = pattern;
  }
  const std::string dir = JoinPath(root_, std::to_string(unpacked_.size() + 1));
  if (!MakeDirectories(dir) || !UnpackFloppyImage(image, dir, error)) {
    if (error->empty()) *error = dir + ": cannot create: " + SystemError();
    *error = image + ": " + *error;
    return std::string();
  }
  unpacked_[image] = dir;
  return dir;
}

namespace {

// The directory above dir, as short as it can be written.
std::string ParentOf(const std::string& dir) {
  const std::string base = BaseName(dir);
  return base == "." || base == ".." || base.empty() ? JoinPath(dir, "..")
                                                     : DirName(dir);
}

// The one descriptor (*.bin) in dir: "" with *error naming place when
// there is none or more than one.
std::string OnlyDescriptorIn(const std::string& dir, const std::string& place,
                             std::string* error) {
  std::string descriptor;
  std::vector<std::string> names;
  if (!ListDirectory(dir, &names, error)) return std::string();
  for (const std::string& name : names) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos ||
        strcasecmp(name.c_str() + dot, ".bin") != 0) {
      continue;
    }
    if (!descriptor.empty()) {
      *error = place +
               " holds more than one descriptor (*.bin): name the "
               "one you mean";
      return std::string();
    }
    descriptor = JoinPath(dir, name);
  }
  if (descriptor.empty()) {
    *error = place + " holds no descriptor (*.bin): is it disk 1?";
  }
  return descriptor;
}

}  // namespace

std::string MediaSources::Descriptor(const std::string& argument,
                                     std::string* error) {
  PathKind kind = PathKind::kNone;
  if (!LookAt(argument, &kind, error)) return std::string();
  if (kind == PathKind::kDirectory) {
    // Disk 1's directory stands for its descriptor.
    neighbourhood_ = ParentOf(argument);
    return OnlyDescriptorIn(argument, argument, error);
  }
  if (!IsFloppyImage(argument, error)) {
    if (!error->empty()) return std::string();
    const std::string dir = DirName(argument);
    neighbourhood_ = ParentOf(dir);
    // Names copied from a floppy may come in any case.
    if (kind == PathKind::kFile || !IsDirectory(dir, error)) {
      return error->empty() ? argument : std::string();
    }
    std::string name;
    if (!FindNoCase(dir, BaseName(argument), &name, error)) {
      return std::string();
    }
    return name.empty() ? argument : JoinPath(dir, name);
  }
  // The image stands for disk 1's directory: the other disks lie beside it.
  neighbourhood_ = DirName(argument);
  const std::string dir = Unpack(argument, error);
  return dir.empty() ? std::string() : OnlyDescriptorIn(dir, argument, error);
}

bool MediaSources::Open(const Console& console, const std::string& argument,
                        unsigned codepage, Media* media) {
  std::string error;
  const std::string descriptor = Descriptor(argument, &error);
  if (descriptor.empty() || !LoadMedia(descriptor, media, &error, codepage)) {
    PrintError(console, error);
    return false;
  }
  return true;
}

VolumeSet MediaSources::Scan(const Console& console, const Media& media,
                             const std::vector<std::string>& diskPlaces) {
  const std::string volumeName = media.VolumeName();
  std::vector<std::string> dirs{DirName(media.path)};
  std::vector<std::string> notes, failures;
  for (const std::string& place : diskPlaces) {
    std::string error;
    PathKind kind = PathKind::kNone;
    if (!LookAt(place, &kind, &error)) {
      failures.push_back(error);
      continue;
    }
    if (kind == PathKind::kFile && IsFloppyImage(place, &error)) {
      const std::string dir = Unpack(place, &error);
      if (dir.empty()) {
        notes.push_back(error);
      } else {
        dirs.push_back(dir);
      }
      continue;
    }
    dirs.push_back(place);
    if (kind != PathKind::kDirectory) continue;
    for (const std::string& image : ImagesIn(place, &failures)) {
      const std::string dir = Unpack(image, &error);
      if (dir.empty()) notes.push_back(error);
      if (!dir.empty()) dirs.push_back(dir);
    }
  }
  VolumeSet volumes;
  volumes.Scan(dirs, volumeName, &notes);
  for (const std::string& note : notes) PrintError(console, "note: " + note);
  // The neighbours: directories first, then images, only while a disk is
  // missing.
  if (neighbourhood_.empty()) neighbourhood_ = ParentOf(DirName(media.path));
  if (!MissingDisks(media, volumes).empty()) {
    std::vector<std::string> names;
    std::string error;
    if (!ListDirectory(neighbourhood_, &names, &error)) {
      failures.push_back(error);
    }
    std::vector<std::string> siblings;
    for (const std::string& name : names) {
      siblings.push_back(JoinPath(neighbourhood_, name));
    }
    volumes.AddMissing(siblings, volumeName);
    for (const std::string& image : ImagesIn(neighbourhood_, &failures)) {
      if (MissingDisks(media, volumes).empty()) break;
      const std::string dir = Unpack(image, &error);
      if (!dir.empty()) volumes.AddMissing({dir}, volumeName);
    }
  }
  // What could not be looked at is the cause of a missing disk when one is
  // missing; otherwise it cost nothing and is a note.
  const bool missing = !MissingDisks(media, volumes).empty();
  failures.insert(failures.end(), volumes.Failures().begin(),
                  volumes.Failures().end());
  for (const std::string& failure : failures) {
    PrintError(console, missing ? failure : "note: " + failure);
  }
  return volumes;
}

}  // namespace pkgtool
