// Writing a package descriptor; see descriptor_writer.h.
#include "build/descriptor_writer.h"

#include <cstring>

namespace pkgtool {
namespace {

void PutU16(std::vector<uint8_t>* out, uint32_t value) {
  out->push_back(static_cast<uint8_t>(value));
  out->push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(std::vector<uint8_t>* out, uint32_t value) {
  PutU16(out, value & 0xFFFF);
  PutU16(out, value >> 16);
}

}  // namespace

size_t RecordLength(const RecordPlan& record) {
  size_t length = kRecordNameOffset + record.name.size() + 1 + 1;
  if (record.flags & kFlagsShared) length += 8;
  return length + kChunkEntrySize * record.chunks.size() + 2;
}

bool SerializeDescriptor(bool controlPanel, const std::string& programFile,
                         const std::string& title,
                         const std::vector<RecordPlan>& records,
                         std::vector<uint8_t>* descriptor, std::string* error) {
  if (programFile.size() >= kProgramFileSize ||
      title.size() >= kProductTitleSize) {
    *error = "the program file or the title is too long for the header";
    return false;
  }
  if (records.size() > 0xFFFF) {
    *error = std::to_string(records.size()) + " files (at most 65535)";
    return false;
  }
  std::vector<uint8_t>& out = *descriptor;
  out.assign(kHeaderSize, 0);
  if (controlPanel) std::memcpy(&out[kMagicOffset], "INSV", 4);
  std::memcpy(&out[kProgramFileOffset], programFile.data(), programFile.size());
  std::memcpy(&out[kProductTitleOffset], title.data(), title.size());
  out[kRecordCountOffset] = static_cast<uint8_t>(records.size());
  out[kRecordCountOffset + 1] = static_cast<uint8_t>(records.size() >> 8);

  for (size_t i = 0; i < records.size(); ++i) {
    const RecordPlan& record = records[i];
    size_t length = RecordLength(record);
    if (length > 0xFFFF) {
      *error = "record " + std::to_string(i + 1) + " (" + record.name +
               ") is " + std::to_string(length) +
               " bytes long (at most 65535): too many chunks";
      return false;
    }
    size_t start = out.size();
    PutU16(&out, static_cast<uint32_t>(length));
    PutU16(&out, record.flags);
    PutU16(&out, record.sizeKb);
    out.insert(out.end(), record.name.begin(), record.name.end());
    out.push_back(0);  // the name's terminator
    out.push_back(0);  // spareByte
    if (record.flags & kFlagsShared) {
      PutU32(&out, record.versionMs);
      PutU32(&out, record.versionLs);
    }
    for (const ChunkEntry& chunk : record.chunks) {
      PutU16(&out, chunk.disk);
      PutU32(&out, chunk.offset);
      PutU32(&out, chunk.length);
    }
    PutU16(&out, 0);  // terminator: disk 0
    if (out.size() - start != length) {
      *error = "internal: record " + std::to_string(i + 1) + " came out " +
               std::to_string(out.size() - start) + " bytes, not " +
               std::to_string(length);
      return false;
    }
  }
  return true;
}

}  // namespace pkgtool
