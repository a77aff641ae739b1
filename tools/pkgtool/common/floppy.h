// Media as floppy disk images: the four PC floppy formats and their FAT12
// layout, what a disk's files take of it, and images written and read with
// mtools (mformat, mcopy), run without a shell and with a fixed environment
// so that the same files give the same image byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pkgtool {

// A FAT12 floppy as DOS formats it: 512-byte sectors, one reserved (boot)
// sector and two FATs.
struct FloppyFormat {
  const char* name;            // "1.44M"
  unsigned sectors;            // in all
  unsigned sectorsPerCluster;  // 1 or 2
  unsigned fatSectors;         // of each FAT
  unsigned rootEntries;        // 32-byte entries of the root directory
  unsigned mformatSize;        // mformat -f: 1440, 720, 1200, 360

  uint64_t ImageBytes() const;
  uint64_t ClusterBytes() const;
  unsigned RootDirSectors() const;
  unsigned Clusters() const;
  // What the clusters hold: the room for files.
  uint64_t DataBytes() const;
};

// "1.44M" (or "1440K"), "720K", "1.2M" (or "1200K"), "360K", in any case;
// null for anything else.
const FloppyFormat* FindFloppyFormat(const std::string& name);
// "1.44M, 720K, 1.2M or 360K", for messages.
std::string FloppyFormatNames();

// The bytes of whole clusters a file of size bytes takes (0 when empty).
uint64_t ClusterRounded(const FloppyFormat& format, uint64_t size);

// The root directory entries mcopy uses for a file of this name: 1 for a
// short DOS name (8.3 of plain characters, each part in one case, which the
// entry's case bits keep: "QUEST.dat", "setup.exe"), otherwise a short
// alias and the long-name entries of 13 characters each ("SHA256SUMS": 2).
// Counted generously for names outside ASCII.
unsigned DirectoryEntries(const std::string& name);

// Whether files (name on the floppy, size) fit in the root directory of
// one floppy beside its volume label; false with *why saying what is short.
bool FitsOnFloppy(const FloppyFormat& format,
                  const std::vector<std::pair<std::string, uint64_t>>& files,
                  std::string* why);

// The volume label of a disk of a set: the title in upper case, cut so
// that title, a space and the disk number fit in 11 characters, with every
// character but A-Z, 0-9, space, '-' and '_' made '_' ("FIRST GA 12").
std::string VolumeLabel(const std::string& title, unsigned disk);

// Writes imagePath (replaced when it exists) as a freshly formatted floppy
// of exactly format.ImageBytes() bytes with the volume label and files
// (name on the floppy, host path; "DOCS/README.TXT" goes into a directory
// made for it) in that order.
// Every date on it is SOURCE_DATE_EPOCH's when set, else 2000-01-01 00:00,
// and the serial number follows from the label, so that the same files
// give the same image. Nothing is left at imagePath when it fails.
bool WriteFloppyImage(
    const FloppyFormat& format, const std::string& label,
    const std::vector<std::pair<std::string, std::string>>& files,
    const std::string& imagePath, std::string* error);

// Copies every file of a FAT image, sub-directories with theirs, into dir
// (which must exist); files already there are replaced.
bool UnpackFloppyImage(const std::string& imagePath, const std::string& dir,
                       std::string* error);

// A regular file named *.img (in any case) whose size is that of one of
// the four formats; false with *error set when it could not be looked at.
bool IsFloppyImage(const std::string& path, std::string* error);

// Runs an mtools program (args[0]: "mdir", "minfo", ...) in the fixed
// environment, stdin from /dev/null. True when it exits with 0; *output
// gets its stdout. Otherwise *error says why, with what it wrote on stderr.
bool RunMtools(const std::vector<std::string>& args, std::string* output,
               std::string* error);

}  // namespace pkgtool
