// Reading existing media: a descriptor as the installer would load it, its
// records decoded for reporting, and the data volumes found in a set of
// directories by the disk number each one carries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/descriptor.h"

namespace pkgtool {

// One record of a loaded descriptor.
struct MediaRecord {
  unsigned number = 0;              // 1 for the first record
  const uint8_t* record = nullptr;  // into Media::table
  size_t offset = 0;                // of the record in the table
  std::string name;      // as the descriptor holds it (code page bytes)
  std::string utf8Name;  // name in UTF-8, as pkgtool shows and writes it
  uint16_t flags = 0;
  uint16_t sizeKb = 0;
  bool shared = false;
  bool noInstall = false;
  uint32_t versionMs = 0;
  uint32_t versionLs = 0;
  std::vector<ChunkEntry> chunks;  // without the terminator
};

struct Media {
  std::string path;  // the descriptor's host path
  bool controlPanel = false;
  std::string programFile;
  std::string title;
  unsigned codepage = 1252;     // the one the texts are read in
  std::string utf8ProgramFile;  // programFile and title in UTF-8
  std::string utf8Title;
  unsigned recordCount = 0;
  std::vector<uint8_t> table;  // the record table, as in the file
  uint32_t requiredKb = 0;     // as LoadPackage computes it
  std::vector<MediaRecord> records;

  // programFile with its extension replaced by ".dat", in UTF-8 as the
  // volume's host file is named (LoadMedia refuses a programFile that
  // gives none).
  std::string VolumeName() const;
};

// The data volume's name for programFile, by the installer's own rule
// (DataVolumeName, package/descriptor.h). False, with *why, when the name
// would not fit in 259 characters: the installer would then open no volume.
bool VolumeNameFor(const std::string& programFile, std::string* name,
                   std::string* why);

// The largest descriptor pkgtool reads (real ones are a few kilobytes).
constexpr uint64_t kMaxDescriptorSize = 4 * 1024 * 1024;

// Reads and checks the descriptor at path: at least the header, a table of
// at least one byte, texts terminated inside their fields and free of
// control characters, and a record table that ValidateRecordTable accepts
// (records inside the table, each chunk list terminated inside its
// record). False with *error naming the file and the first fault found: a
// file that cannot be a descriptor at all (a picture, a data volume) as
// "PATH is not a package descriptor: why". The magic is not checked: any
// value is legal. The names and texts are read in codepage.
bool LoadMedia(const std::string& path, Media* media, std::string* error,
               unsigned codepage = 1252);

// Explains why a record table is refused: the first record that breaks the
// layout, with the offsets involved. "" when every record is sound.
std::string ExplainTableFault(const uint8_t* table, size_t tableSize,
                              unsigned recordCount);

// One data volume found on the host.
struct VolumeFile {
  uint16_t disk = 0;  // its volumeDisk
  std::string dir;    // the directory it lies in
  std::string path;   // its host path
  uint64_t size = 0;
};

// The volumes that a set of directories holds.
class VolumeSet {
 public:
  // Looks for volumeName (without regard to case) in each directory, in
  // order; a directory without one is passed over. A path that is not a
  // directory, a volume shorter than 2 bytes or a second volume of a disk
  // already found adds a note to *notes (the first found is kept; the same
  // file reached through two directories counts once).
  void Scan(const std::vector<std::string>& dirs, const std::string& volumeName,
            std::vector<std::string>* notes);
  // Then looks in dirs for the volumes of disks not found yet, quietly: a
  // directory without one, or with one of a disk already found, is passed
  // over.
  void AddMissing(const std::vector<std::string>& dirs,
                  const std::string& volumeName);
  // The volume of a disk, or null.
  const VolumeFile* Find(uint16_t disk) const;
  const std::vector<VolumeFile>& volumes() const { return volumes_; }
  // The places that could not be looked at (a directory that cannot be
  // listed, a volume that cannot be opened or read), each with its cause:
  // what is missing may lie there.
  const std::vector<std::string>& Failures() const { return failures_; }
  // "a, b and c": the directories scanned, for messages.
  const std::string& Searched() const { return searched_; }

 private:
  // Takes the volume in dir, if any, unless its disk is found already.
  void Take(const std::string& dir, const std::string& volumeName,
            std::vector<std::string>* notes);

  std::vector<VolumeFile> volumes_;
  std::vector<std::string> seen_;  // device:inode of the volumes taken
  std::vector<std::string> failures_;
  std::string searched_;
};

// Words for a record's flags: "shared", "noInstall", "ordinary" and any
// other bits as "bits 0x...".
std::string FlagWords(uint16_t flags);

}  // namespace pkgtool

namespace pkgtool {

// What keeps a record's chunks from being read: a disk whose volume was not
// found, a chunk that starts inside the volume's disk number or reaches
// past the volume's end. One message per fault, without the record's name.
std::vector<std::string> ChunkProblems(const MediaRecord& record,
                                       const VolumeSet& volumes);

struct Console;

// The disks the records' chunks name that no volume of volumes carries, in
// ascending order, one line each: "missing disk 3 of 6 (QUEST.dat), which
// 5 records need; give its directory with --disk". The count is the
// highest disk any chunk names.
std::vector<std::string> MissingDisks(const Media& media,
                                      const VolumeSet& volumes);
// Whether a chunk of the record lies on a disk that volumes lack.
bool NeedsMissingDisk(const MediaRecord& record, const VolumeSet& volumes);

// Why path cannot be a descriptor that a program beside it reads: "" when
// it is a regular file named *.bin, otherwise "PATH: no such file" or
// "PATH: <what> is named after its <program> with ".bin" (<example>)".
std::string BinNameProblem(const std::string& path, const std::string& what,
                           const std::string& program,
                           const std::string& example);

// "record 3 (DATA\LEVEL1.DAT)".
std::string RecordLabel(const MediaRecord& record);

// Whether size bytes can be a file whose record says sizeKb: build rounds
// up to whole kilobytes, 65535 standing for that much or more; a size more
// than 1 Kb away from sizeKb cannot. Other tools round as they like, and
// the installer only adds sizeKb up for its space check: a mismatch is a
// note, never a reason to refuse a file.
bool SizeMatchesKb(uint64_t size, uint16_t sizeKb);
// "the stream yields N bytes, its record's sizeKb is K".
std::string SizeKbProblem(uint64_t size, const MediaRecord& record);
// The note on such a mismatch: "note: PATH: record 3 (X): <what> N bytes,
// its record's sizeKb is K (what the installer's space check adds up)".
std::string SizeKbNote(const std::string& path, const std::string& what,
                       uint64_t size, const MediaRecord& record);

}  // namespace pkgtool
