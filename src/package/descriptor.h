// The package descriptor: the installer's table of contents, and the one
// definition of its layout that the installer and pkgtool share.
//
// A descriptor is a 346-byte header followed by the record table, which is
// the whole rest of the file. Integers are little-endian and unaligned,
// texts NUL-terminated.
//
//   header:  magic[4] ("INSV": Control Panel package), programFile[260],
//            productTitle[80], recordCount u16
//   record:  recordSize u16, flags u16, sizeKb u16, name (NUL-terminated),
//            spareByte, [fileVersionMs u32, fileVersionLs u32 when shared],
//            chunk list of 10-byte entries (disk u16, offset u32, length u32)
//            ended by an entry whose disk is 0 (2 bytes read) or whose
//            length is 0 (10 bytes read)
//   volume:  volumeDisk u16, then chunk data at absolute offsets
//
// LoadPackage reads the descriptor beside the running executable once, at
// start-up, checks that every record lies inside the table, and leaves the
// package state below fixed for the rest of the run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/result.h"
#include "platform/platform.h"

constexpr size_t kHeaderSize = 346;
constexpr size_t kMagicOffset = 0;
constexpr size_t kProgramFileOffset = 4;
constexpr size_t kProgramFileSize = 260;
constexpr size_t kProductTitleOffset = 264;
constexpr size_t kProductTitleSize = 80;
constexpr size_t kRecordCountOffset = 344;

constexpr size_t kRecordNameOffset = 6;
constexpr size_t kChunkEntrySize = 10;

constexpr uint16_t kFlagNoInstall = 0x0001;
constexpr uint16_t kFlagsShared = 0x0006;  // either bit makes a shared file

// The header as loaded (a byte copy of the file's first 346 bytes).
struct PackageHeader {
  char magic[4];
  char programFile[kProgramFileSize];
  char productTitle[kProductTitleSize];
  uint16_t recordCount;
};

// One entry of a record's chunk list, decoded.
struct ChunkEntry {
  uint16_t disk;
  uint32_t offset;
  uint32_t length;
};

// Everything LoadPackage leaves for the rest of the run.
struct PackageState {
  PackageHeader Header;
  uint8_t* RecordTable;  // the table, TableSize bytes
  uint32_t TableSize;
  plat::MemHandle TableHandle;  // released by FreeLocked at teardown
  int ControlPanelPackage;      // 1 when magic is "INSV"
  uint32_t RequiredKb;
  char SourceDirectory[kPathSize];  // installer's directory, ends in '\'
  char DescriptorName[kPathSize];   // descriptor's name without directory
};

extern PackageState Package;

// Clears the package state (for tests; the table is not freed).
void ResetPackage();

// Reads the descriptor beside the running executable. 0 on success; 43 when
// the executable's path has no backslash; 33 when the descriptor cannot be
// opened; 35 when it is shorter than the header, a read comes back short or
// a record breaks the table's layout; 37 when the table cannot be
// allocated. SubjectPath names the descriptor from step 4 on.
ResultCode LoadPackage();
// The same for the descriptor beside another executable (a full path): the
// uninstaller's finishing copy reads the list of the uninstaller it
// removes. A path of 260 characters or more is not looked at: 43.
ResultCode LoadPackageBeside(const char* executablePath);

// The data volume's path: directory ("" for the bare name) followed by
// programFile with ".dat" in place of its extension (appended when it has
// none); the volume has the same name on every disk. False, with path
// empty, when the result would not fit in 259 characters: a path is never
// cut into the name of another file. path holds kPathSize bytes.
bool DataVolumeName(const char* directory, const char* programFile, char* path);

// Checks the record table's layout: every record inside the table, its
// recordSize large enough for its name, terminator, version words and chunk
// list, the name terminated and not empty, the chunk list terminated inside
// the record. Returns true when all recordCount records are sound. pkgtool
// uses it too.
bool ValidateRecordTable(const uint8_t* table, size_t tableSize,
                         unsigned recordCount);

// Little-endian reads of unaligned fields.
inline uint16_t ReadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// The loaded package's programFile as a text: its field up to the first
// NUL, never past the field's 260 bytes, always terminated.
void ProgramFileText(char (&text)[kProgramFileSize + 1]);

// Record-walking helpers. A record is a pointer into a validated table.
inline uint16_t RecordSize(const uint8_t* record) { return ReadU16(record); }
inline uint16_t RecordFlags(const uint8_t* record) {
  return ReadU16(record + 2);
}
inline uint16_t RecordSizeKb(const uint8_t* record) {
  return ReadU16(record + 4);
}
inline const char* RecordName(const uint8_t* record) {
  return reinterpret_cast<const char*>(record + kRecordNameOffset);
}
inline bool RecordIsShared(const uint8_t* record) {
  return (RecordFlags(record) & kFlagsShared) != 0;
}
inline bool RecordIsNoInstall(const uint8_t* record) {
  return (RecordFlags(record) & kFlagNoInstall) != 0;
}
// The next record: start + recordSize.
const uint8_t* NextRecord(const uint8_t* record);
// The first record of the loaded table, or null when recordCount is 0.
const uint8_t* FirstRecord();
// fileVersionMs and fileVersionLs: start + 8 + L and start + 12 + L.
uint32_t RecordVersionMs(const uint8_t* record);
uint32_t RecordVersionLs(const uint8_t* record);
// First chunk entry: start + 8 + L, plus 8 when shared.
const uint8_t* FirstChunkEntry(const uint8_t* record);
// Decodes the entry at p. An entry whose disk is 0 reads only its disk.
ChunkEntry ReadChunkEntry(const uint8_t* p);
