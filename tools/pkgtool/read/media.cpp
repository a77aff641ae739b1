// Reading descriptors and finding volumes; see media.h.
#include "read/media.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstring>

#include "base/result.h"
#include "base/text.h"
#include "common/codepage.h"
#include "common/console.h"
#include "common/host_files.h"

namespace pkgtool {
namespace {

std::string Num(uint64_t value) { return std::to_string(value); }

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// The text of a NUL-terminated field of size bytes (cut at size).
std::string FieldText(const uint8_t* field, size_t size) {
  const void* end = std::memchr(field, '\0', size);
  size_t length =
      end == nullptr
          ? size
          : static_cast<size_t>(static_cast<const uint8_t*>(end) - field);
  return std::string(reinterpret_cast<const char*>(field), length);
}

// Why a text field of the header cannot be a descriptor's: no terminator
// inside its size bytes, or a control character before it; "" when sound.
std::string TextFieldFault(const uint8_t* field, size_t size,
                           const char* name) {
  for (size_t i = 0; i < size; ++i) {
    if (field[i] == '\0') return std::string();
    if (field[i] < 0x20 || field[i] == 0x7F) {
      return std::string("its ") + name + " holds the control character " +
             Hex(field[i]) + " (byte " + Num(i + 1) + ")";
    }
  }
  return std::string("its ") + name + " is not terminated inside its " +
         Num(size) + " bytes";
}

// "PATH is not a package descriptor: why".
std::string NotADescriptor(const std::string& path, const std::string& why) {
  return path + " is not a package descriptor: " + why;
}

}  // namespace

bool VolumeNameFor(const std::string& programFile, std::string* name,
                   std::string* why) {
  char path[kPathSize];
  if (!DataVolumeName("", programFile.c_str(), path)) {
    *why = "programFile " + programFile.substr(0, 16) + "... (" +
           Num(programFile.size()) +
           " bytes) leaves no room for the data volume's name: with "
           "\".dat\" in place of its extension it would be longer than " +
           Num(kPathSize - 1) + " bytes";
    return false;
  }
  *name = path;
  return true;
}

std::string Media::VolumeName() const {
  std::string name, why;
  return VolumeNameFor(programFile, &name, &why) ? DecodeText(name, codepage)
                                                 : std::string();
}

std::string ExplainTableFault(const uint8_t* table, size_t tableSize,
                              unsigned recordCount) {
  size_t offset = 0;
  for (unsigned i = 1; i <= recordCount; ++i) {
    std::string which =
        "record " + Num(i) + " (at table offset " + Num(offset) + ")";
    if (offset >= tableSize) {
      return which + " lies past the end of the table (" + Num(tableSize) +
             " bytes; recordCount " + Num(recordCount) + ")";
    }
    if (tableSize - offset < kRecordNameOffset + 1) {
      return which + " overruns the table (" + Num(offset) + " + " +
             Num(kRecordNameOffset + 1) + " > " + Num(tableSize) + ")";
    }
    const uint8_t* record = table + offset;
    size_t recordSize = RecordSize(record);
    if (recordSize > tableSize - offset) {
      return which + " overruns the table (offset " + Num(offset) + " + " +
             Num(recordSize) + " > " + Num(tableSize) + ")";
    }
    if (recordSize < kRecordNameOffset + 1) {
      return which + " has recordSize " + Num(recordSize) +
             ", too small for a name";
    }
    size_t nameRoom = recordSize - kRecordNameOffset;
    size_t nameLength = strnlen(RecordName(record), nameRoom);
    if (nameLength == 0) return which + " has an empty name";
    if (nameLength == nameRoom) {
      return which + " has a name not terminated inside its " +
             Num(recordSize) + " bytes";
    }
    size_t entry =
        kRecordNameOffset + nameLength + 2 + (RecordIsShared(record) ? 8 : 0);
    for (;;) {
      if (entry + 2 > recordSize || (ReadU16(record + entry) != 0 &&
                                     entry + kChunkEntrySize > recordSize)) {
        return which + " (" + RecordName(record) +
               ") has a chunk list that runs past its recordSize " +
               Num(recordSize) + " (entry at " + Num(entry) + ")";
      }
      if (ReadU16(record + entry) == 0) break;
      if (ReadU32(record + entry + 6) == 0) break;
      entry += kChunkEntrySize;
    }
    offset += recordSize;
  }
  return std::string();
}

bool LoadMedia(const std::string& path, Media* media, std::string* error,
               unsigned codepage) {
  *media = Media();
  media->path = path;
  media->codepage = codepage;
  uint64_t size = 0;
  PathKind kind = PathKind::kNone;
  if (!LookAt(path, &kind, error, &size)) return false;
  if (kind != PathKind::kFile) {
    *error = path + ": cannot read the descriptor: " + NotAFile(kind);
    return false;
  }
  if (size < kHeaderSize) {
    *error = NotADescriptor(path, Num(size) + " bytes, shorter than the " +
                                      Num(kHeaderSize) + "-byte header");
    return false;
  }
  if (size == kHeaderSize) {
    *error = path +
             ": the record table is empty (the installer refuses "
             "a descriptor of exactly " +
             Num(kHeaderSize) + " bytes)";
    return false;
  }
  std::string data;
  if (!ReadSmallFile(path, kMaxDescriptorSize, &data, error)) return false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  // Any magic is legal; the texts and the table tell a descriptor from
  // another file.
  std::string why = TextFieldFault(bytes + kProgramFileOffset, kProgramFileSize,
                                   "programFile");
  if (why.empty() && bytes[kProgramFileOffset] == '\0') {
    why = "its programFile is empty";  // it names the data volume
  }
  if (why.empty()) {
    why = TextFieldFault(bytes + kProductTitleOffset, kProductTitleSize,
                         "productTitle");
  }
  if (!why.empty()) {
    *error = NotADescriptor(path, why);
    return false;
  }
  media->controlPanel = std::memcmp(bytes + kMagicOffset, "INSV", 4) == 0;
  media->programFile = FieldText(bytes + kProgramFileOffset, kProgramFileSize);
  media->title = FieldText(bytes + kProductTitleOffset, kProductTitleSize);
  media->utf8ProgramFile = DecodeText(media->programFile, codepage);
  media->utf8Title = DecodeText(media->title, codepage);
  std::string volumeName;
  if (!VolumeNameFor(media->programFile, &volumeName, error)) {
    *error = path + ": " + *error;
    return false;
  }
  media->recordCount = ReadU16(bytes + kRecordCountOffset);
  media->table.assign(bytes + kHeaderSize, bytes + data.size());

  const uint8_t* table = media->table.data();
  size_t tableSize = media->table.size();
  if (!ValidateRecordTable(table, tableSize, media->recordCount)) {
    why = ExplainTableFault(table, tableSize, media->recordCount);
    *error =
        NotADescriptor(path, why.empty() ? "its record table is damaged" : why);
    return false;
  }

  uint32_t requiredKb = static_cast<uint32_t>(tableSize >> 10);
  const uint8_t* record = table;
  for (unsigned i = 1; i <= media->recordCount; ++i) {
    MediaRecord entry;
    entry.number = i;
    entry.record = record;
    entry.offset = static_cast<size_t>(record - table);
    entry.name = RecordName(record);
    entry.utf8Name = DecodeText(entry.name, codepage);
    entry.flags = RecordFlags(record);
    entry.sizeKb = RecordSizeKb(record);
    entry.shared = RecordIsShared(record);
    entry.noInstall = RecordIsNoInstall(record);
    if (entry.shared) {
      entry.versionMs = RecordVersionMs(record);
      entry.versionLs = RecordVersionLs(record);
    }
    for (const uint8_t* p = FirstChunkEntry(record);; p += kChunkEntrySize) {
      ChunkEntry chunk = ReadChunkEntry(p);
      if (chunk.disk == 0 || chunk.length == 0) break;
      entry.chunks.push_back(chunk);
    }
    requiredKb += entry.sizeKb;
    media->records.push_back(entry);
    record = NextRecord(record);
  }
  media->requiredKb = requiredKb;
  return true;
}

void VolumeSet::Scan(const std::vector<std::string>& dirs,
                     const std::string& volumeName,
                     std::vector<std::string>* notes) {
  volumes_.clear();
  searched_.clear();
  seen_.clear();
  failures_.clear();
  for (size_t i = 0; i < dirs.size(); ++i) {
    const std::string& dir = dirs[i];
    if (!searched_.empty()) searched_ += i + 1 == dirs.size() ? " and " : ", ";
    searched_ += dir;
    std::string error;
    if (!IsDirectory(dir, &error)) {
      if (!error.empty()) {
        failures_.push_back(error);
      } else {
        notes->push_back(dir + ": not a directory");
      }
      continue;
    }
    Take(dir, volumeName, notes);
  }
}

void VolumeSet::AddMissing(const std::vector<std::string>& dirs,
                           const std::string& volumeName) {
  std::vector<std::string> ignored;
  for (const std::string& dir : dirs) {
    std::string error;
    if (IsDirectory(dir, &error)) Take(dir, volumeName, &ignored);
  }
}

void VolumeSet::Take(const std::string& dir, const std::string& volumeName,
                     std::vector<std::string>* notes) {
  std::string name, error;
  if (!FindNoCase(dir, volumeName, &name, &error)) {
    failures_.push_back(error);
    return;
  }
  if (name.empty()) return;
  VolumeFile volume;
  volume.dir = dir;
  volume.path = JoinPath(dir, name);
  struct stat info;
  if (stat(volume.path.c_str(), &info) != 0) {
    failures_.push_back(volume.path + ": cannot look: " + SystemError());
    return;
  }
  if (!S_ISREG(info.st_mode)) {
    notes->push_back(volume.path + ": not a regular file");
    return;
  }
  std::string identity =
      std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  bool duplicate = false;
  for (const std::string& other : seen_) duplicate |= other == identity;
  if (duplicate) return;  // the same file reached twice
  seen_.push_back(identity);
  volume.size = static_cast<uint64_t>(info.st_size);
  std::FILE* file = std::fopen(volume.path.c_str(), "rb");
  if (file == nullptr) {
    failures_.push_back(volume.path + ": cannot open: " + SystemError());
    return;
  }
  uint8_t field[2];
  const size_t got = std::fread(field, 1, 2, file);
  const bool failed = std::ferror(file) != 0;
  const std::string cause = failed ? SystemError() : std::string();
  std::fclose(file);
  if (failed) {
    failures_.push_back(volume.path + ": read error: " + cause);
    return;
  }
  if (got != 2) {
    notes->push_back(volume.path + ": " + Num(volume.size) +
                     " bytes, too short to carry its disk number");
    return;
  }
  volume.disk = ReadU16(field);
  if (const VolumeFile* earlier = Find(volume.disk)) {
    notes->push_back(volume.path + " says disk " + Num(volume.disk) + " as " +
                     earlier->path + " does; the latter is used");
    return;
  }
  volumes_.push_back(volume);
}

const VolumeFile* VolumeSet::Find(uint16_t disk) const {
  for (const VolumeFile& volume : volumes_) {
    if (volume.disk == disk) return &volume;
  }
  return nullptr;
}

std::string FlagWords(uint16_t flags) {
  std::string words;
  auto add = [&](const std::string& word) {
    if (!words.empty()) words += ",";
    words += word;
  };
  if (flags & kFlagsShared) add("shared");
  if (flags & kFlagNoInstall) add("noInstall");
  if (words.empty()) add("ordinary");
  unsigned other =
      flags & ~static_cast<unsigned>(kFlagsShared | kFlagNoInstall);
  if (other != 0) add("bits " + Hex(other));
  return words;
}

}  // namespace pkgtool

namespace pkgtool {

std::vector<std::string> ChunkProblems(const MediaRecord& record,
                                       const VolumeSet& volumes) {
  std::vector<std::string> problems;
  for (size_t i = 0; i < record.chunks.size(); ++i) {
    const ChunkEntry& chunk = record.chunks[i];
    std::string which = "chunk " + Num(i + 1) + " (disk " + Num(chunk.disk) +
                        ", offset " + Num(chunk.offset) + ", length " +
                        Num(chunk.length) + ")";
    const VolumeFile* volume = volumes.Find(chunk.disk);
    if (volume == nullptr) {
      problems.push_back(which + ": no volume of disk " + Num(chunk.disk) +
                         " in " + volumes.Searched());
    } else if (chunk.offset < 2) {
      problems.push_back(which + " starts inside the disk number of " +
                         volume->path);
    } else if (uint64_t{chunk.offset} + chunk.length > volume->size) {
      problems.push_back(which + " lies outside its volume (" +
                         Num(chunk.offset) + " + " + Num(chunk.length) + " > " +
                         Num(volume->size) + " bytes of " + volume->path + ")");
    }
  }
  return problems;
}

std::vector<std::string> MissingDisks(const Media& media,
                                      const VolumeSet& volumes) {
  uint16_t disks = 0;
  std::vector<bool> named(65536, false);
  for (const MediaRecord& record : media.records) {
    for (const ChunkEntry& chunk : record.chunks) {
      named[chunk.disk] = true;
      if (chunk.disk > disks) disks = chunk.disk;
    }
  }
  std::vector<std::string> lines;
  for (unsigned disk = 1; disk <= disks; ++disk) {
    if (!named[disk] || volumes.Find(static_cast<uint16_t>(disk)) != nullptr) {
      continue;
    }
    unsigned needing = 0;
    for (const MediaRecord& record : media.records) {
      for (const ChunkEntry& chunk : record.chunks) {
        if (chunk.disk == disk) {
          ++needing;
          break;
        }
      }
    }
    lines.push_back("missing disk " + Num(disk) + " of " + Num(disks) + " (" +
                    media.VolumeName() + "), which " + Num(needing) +
                    (needing == 1 ? " record needs" : " records need") +
                    "; give its directory with --disk");
  }
  return lines;
}

bool NeedsMissingDisk(const MediaRecord& record, const VolumeSet& volumes) {
  for (const ChunkEntry& chunk : record.chunks) {
    if (volumes.Find(chunk.disk) == nullptr) return true;
  }
  return false;
}

std::string BinNameProblem(const std::string& path, const std::string& what,
                           const std::string& program,
                           const std::string& example) {
  std::string error;
  if (!IsRegularFile(path, &error)) {
    return error.empty() ? path + ": no such file" : error;
  }
  const std::string name = BaseName(path);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || strcasecmp(name.c_str() + dot, ".bin") != 0) {
    return path + ": " + what + " is named after its " + program +
           " with \".bin\" (" + example + ")";
  }
  return std::string();
}

std::string RecordLabel(const MediaRecord& record) {
  return "record " + Num(record.number) + " (" + record.utf8Name + ")";
}

bool SizeMatchesKb(uint64_t size, uint16_t sizeKb) {
  const uint64_t kb = uint64_t{sizeKb} * 1024;
  if (size + 1024 < kb) return false;
  return sizeKb == 0xFFFF || size <= kb + 1024;
}

std::string SizeKbProblem(uint64_t size, const MediaRecord& record) {
  return "the stream yields " + Num(size) + " bytes, its record's sizeKb is " +
         Num(record.sizeKb) +
         (record.sizeKb == 0xFFFF ? " (that much or more)" : "");
}

std::string SizeKbNote(const std::string& path, const std::string& what,
                       uint64_t size, const MediaRecord& record) {
  return "note: " + path + ": " + RecordLabel(record) + ": " + what + " " +
         Num(size) + " bytes, its record's sizeKb is " + Num(record.sizeKb) +
         " (only what the installer's space check adds up)";
}

}  // namespace pkgtool
