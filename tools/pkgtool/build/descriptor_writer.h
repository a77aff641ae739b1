// Writing a package descriptor: the header and the record table in the
// layout of package/descriptor.h, which the installer reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/descriptor.h"

namespace pkgtool {

// One file of the package as the descriptor records it.
struct RecordPlan {
  std::string name;
  uint16_t flags = 0;  // kFlagNoInstall, kFlagsShared bits
  uint16_t sizeKb = 0;
  uint32_t versionMs = 0;  // written when a shared bit is set
  uint32_t versionLs = 0;
  std::vector<ChunkEntry> chunks;  // none for a file without a stream
};

// recordSize of the record: 6 bytes of fields, the name and its NUL, the
// spare byte, the version words when shared, the chunk entries and the
// 2-byte terminator (an entry whose disk is 0).
size_t RecordLength(const RecordPlan& record);

// The whole descriptor. magic "INSV" for a Control Panel package, four zero
// bytes for a game. False, with *error saying which record, when a record
// is longer than a 16-bit recordSize allows, a text does not fit its field
// or there are more than 65535 records.
bool SerializeDescriptor(bool controlPanel, const std::string& programFile,
                         const std::string& title,
                         const std::vector<RecordPlan>& records,
                         std::vector<uint8_t>* descriptor, std::string* error);

}  // namespace pkgtool
