// The SHA-256 list of the media pkgtool builds: SHA256SUMS beside the
// descriptor on disk 1, in sha256sum's own format, so that
// `cd disk1 && sha256sum -c SHA256SUMS` checks them by hand. It lists every
// file build writes on a disk: the descriptor, the installer and the
// noInstall copies by their names on disk 1, and every volume: disk 1's by
// its name, a later disk's as "../diskN/NAME", which is also how verify and
// extract tell the disks apart wherever their volumes are found. The
// installer never reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "read/media.h"

namespace pkgtool {

constexpr char kChecksumListName[] = "SHA256SUMS";

// The SHA-256 of a file in 64 lower-case hex digits; false with *error.
bool FileSha256(const std::string& path, std::string* hex, std::string* error);

// How the list names the volume of a disk.
std::string ListedVolumeName(unsigned disk, const std::string& volumeName);

// One line of the list, with its newline.
std::string ChecksumLine(const std::string& hex, const std::string& name);

// Media checked against the list beside their descriptor.
struct ChecksumCheck {
  std::string listPath;               // "" when there is no list
  std::vector<std::string> problems;  // "<file>: ...", one per fault
  bool mediaFailed = false;           // the descriptor or the list itself fails
  std::vector<uint16_t> failedDisks;  // whose volume differs or is unlisted
  std::vector<std::string> diskProblems;  // the problem of each, in order
  std::vector<std::string> failedFiles;   // other files of disk 1 that differ
  bool Failed(uint16_t disk) const;
  bool FileFailed(const std::string& path) const;
};

// Checks the descriptor, the volume of every disk a record's chunk is on,
// and every other file the list names on disk 1 (an installer, the
// noInstall copies: found without regard to case; one missing is a
// problem). Media without a list pass unchecked.
ChecksumCheck CheckChecksums(const Media& media, const VolumeSet& volumes);

}  // namespace pkgtool
