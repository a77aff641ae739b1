// Loading the package descriptor (see descriptor.h).
#include "package/descriptor.h"

#include <cstring>

#include "base/memory.h"
#include "base/text.h"

PackageState Package;

void ResetPackage() { memset(&Package, 0, sizeof(Package)); }

namespace {

// The first chunk entry's offset inside a record whose name is nameLength
// bytes long (without its terminator).
size_t ChunkListOffset(size_t nameLength, bool shared) {
  return kRecordNameOffset + nameLength + 2 + (shared ? 8 : 0);
}

// Checks one record that starts at table + offset; on success stores its
// size in *size.
bool ValidateRecord(const uint8_t* table, size_t tableSize, size_t offset,
                    size_t* size) {
  // recordSize, flags, sizeKb and at least the name's terminator.
  if (tableSize - offset < kRecordNameOffset + 1) return false;
  const uint8_t* record = table + offset;
  size_t recordSize = RecordSize(record);
  if (recordSize > tableSize - offset) return false;
  if (recordSize < kRecordNameOffset + 1) return false;
  const char* name = RecordName(record);
  size_t nameRoom = recordSize - kRecordNameOffset;
  size_t nameLength = strnlen(name, nameRoom);
  if (nameLength == 0 || nameLength == nameRoom) return false;
  size_t entry = ChunkListOffset(nameLength, RecordIsShared(record));
  // The chunk list ends with an entry whose disk is 0 (2 bytes) or whose
  // length is 0 (10 bytes), inside the record.
  for (;;) {
    if (entry + 2 > recordSize) return false;
    if (ReadU16(record + entry) == 0) break;
    if (entry + kChunkEntrySize > recordSize) return false;
    if (ReadU32(record + entry + 6) == 0) break;
    entry += kChunkEntrySize;
  }
  *size = recordSize;
  return true;
}

}  // namespace

bool DataVolumeName(const char* directory, const char* programFile,
                    char* path) {
  if (CopyText(path, kPathSize, directory) &&
      AppendText(path, kPathSize, programFile) &&
      ReplaceExtension(path, ".dat")) {
    return true;
  }
  path[0] = '\0';
  return false;
}

bool ValidateRecordTable(const uint8_t* table, size_t tableSize,
                         unsigned recordCount) {
  size_t offset = 0;
  for (unsigned i = 0; i < recordCount; ++i) {
    if (offset >= tableSize) return false;
    size_t size = 0;
    if (!ValidateRecord(table, tableSize, offset, &size)) return false;
    offset += size;
  }
  return true;
}

const uint8_t* NextRecord(const uint8_t* record) {
  return record + RecordSize(record);
}

const uint8_t* FirstRecord() {
  return Package.Header.recordCount == 0 ? nullptr : Package.RecordTable;
}

uint32_t RecordVersionMs(const uint8_t* record) {
  return ReadU32(record + 8 + strlen(RecordName(record)));
}

uint32_t RecordVersionLs(const uint8_t* record) {
  return ReadU32(record + 12 + strlen(RecordName(record)));
}

const uint8_t* FirstChunkEntry(const uint8_t* record) {
  return record +
         ChunkListOffset(strlen(RecordName(record)), RecordIsShared(record));
}

ChunkEntry ReadChunkEntry(const uint8_t* p) {
  ChunkEntry entry = {ReadU16(p), 0, 0};
  if (entry.disk != 0) {
    entry.offset = ReadU32(p + 2);
    entry.length = ReadU32(p + 6);
  }
  return entry;
}

namespace {

// Steps 5 to 12 of loading, once the paths are known: open, size, allocate,
// read, classify, sum.
ResultCode ReadDescriptor(const char* path) {
  plat::HFile file = plat::lopen(path, plat::kOpenRead);
  if (file == plat::kFileError) return kResultMissing;

  long size = plat::llseek(file, 0, plat::kSeekEnd);
  plat::llseek(file, 0, plat::kSeekSet);
  if (size < static_cast<long>(kHeaderSize)) {
    plat::lclose(file);
    return kResultReadError;
  }
  // The table is the rest of the file; a table of 0 bytes yields no usable
  // block and is reported as a shortage of memory.
  size_t tableSize = static_cast<size_t>(size) - kHeaderSize;
  Package.RecordTable = static_cast<uint8_t*>(
      tableSize == 0 ? nullptr : AllocLocked(tableSize, &Package.TableHandle));
  if (Package.RecordTable == nullptr) {
    plat::lclose(file);
    return kResultNoMemory;
  }
  Package.TableSize = static_cast<uint32_t>(tableSize);

  uint8_t header[kHeaderSize];
  if (plat::lread(file, header, kHeaderSize) !=
      static_cast<long>(kHeaderSize)) {
    plat::lclose(file);
    return kResultReadError;
  }
  memcpy(Package.Header.magic, header + kMagicOffset, 4);
  memcpy(Package.Header.programFile, header + kProgramFileOffset,
         kProgramFileSize);
  memcpy(Package.Header.productTitle, header + kProductTitleOffset,
         kProductTitleSize);
  Package.Header.recordCount = ReadU16(header + kRecordCountOffset);

  if (plat::lread(file, Package.RecordTable, static_cast<long>(tableSize)) !=
      static_cast<long>(tableSize)) {
    plat::lclose(file);
    return kResultReadError;
  }

  // The texts must end inside their fields, and every record must lie
  // inside the table, so that nothing later reads outside it.
  if (memchr(Package.Header.programFile, '\0', kProgramFileSize) == nullptr ||
      memchr(Package.Header.productTitle, '\0', kProductTitleSize) == nullptr ||
      !ValidateRecordTable(Package.RecordTable, tableSize,
                           Package.Header.recordCount)) {
    plat::lclose(file);
    return kResultReadError;
  }

  Package.ControlPanelPackage =
      memcmp(Package.Header.magic, "INSV", 4) == 0 ? 1 : 0;

  uint32_t requiredKb = static_cast<uint32_t>(tableSize >> 10);
  const uint8_t* record = FirstRecord();
  for (unsigned i = 0; i < Package.Header.recordCount; ++i) {
    requiredKb += RecordSizeKb(record);
    record = NextRecord(record);
  }
  Package.RequiredKb = requiredKb;

  plat::lclose(file);
  return kResultOk;
}

}  // namespace

ResultCode LoadPackage() {
  char modulePath[kPathSize] = {};
  if (plat::GetModuleFileName(modulePath, kPathSize - 1) == 0) {
    modulePath[0] = '\0';
  }
  modulePath[kPathSize - 1] = '\0';
  return LoadPackageBeside(modulePath);
}

ResultCode LoadPackageBeside(const char* executablePath) {
  char modulePath[kPathSize];
  if (!CopyText(modulePath, sizeof modulePath, executablePath)) {
    modulePath[0] = '\0';  // a path cut short names another file
  }

  // DescriptorName: the executable's own name with ".bin".
  const char* lastBackslash = strrchr(modulePath, '\\');
  const char* fileName = lastBackslash ? lastBackslash + 1 : modulePath;
  CopyText(Package.DescriptorName, kPathSize, fileName);
  bool nameFits = ReplaceExtension(Package.DescriptorName, ".bin");

  Package.SourceDirectory[0] = '\0';
  if (lastBackslash == nullptr) return kResultError;
  size_t directoryLength = static_cast<size_t>(lastBackslash - modulePath) + 1;
  memcpy(Package.SourceDirectory, modulePath, directoryLength);
  Package.SourceDirectory[directoryLength] = '\0';
  AddTrailingBackslash(Package.SourceDirectory);

  // The descriptor's path; one that would not fit beside the executable
  // cannot be opened under its true name.
  char descriptorPath[kPathSize];
  CopyText(descriptorPath, kPathSize, modulePath);
  bool pathFits = ReplaceExtension(descriptorPath, ".bin");
  CopyText(SubjectPath, kPathSize, descriptorPath);
  if (!nameFits || !pathFits) return kResultMissing;

  return ReadDescriptor(descriptorPath);
}

void ProgramFileText(char (&text)[kProgramFileSize + 1]) {
  memcpy(text, Package.Header.programFile, kProgramFileSize);
  text[kProgramFileSize] = '\0';
}
