// Reading a stream's size prefix; see stream_sizes.h.
#include "read/stream_sizes.h"

#include <sys/types.h>

#include <cstdio>

#include "common/host_files.h"

namespace pkgtool {
namespace {

constexpr size_t kPrefixSize = 4;

// Reads count bytes at offset of the file at path into bytes.
bool ReadAt(const std::string& path, uint64_t offset, size_t count,
            uint8_t* bytes) {
  FileCloser file(std::fopen(path.c_str(), "rb"));
  return file.get() != nullptr &&
         fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) == 0 &&
         std::fread(bytes, 1, count, file.get()) == count;
}

}  // namespace

bool ReadStreamSize(const MediaRecord& record, const VolumeSet& volumes,
                    uint32_t* size) {
  uint8_t prefix[kPrefixSize];
  size_t have = 0;
  for (const ChunkEntry& chunk : record.chunks) {
    if (have == kPrefixSize) break;
    const VolumeFile* volume = volumes.Find(chunk.disk);
    if (volume == nullptr || chunk.offset < 2 ||
        uint64_t{chunk.offset} + chunk.length > volume->size) {
      return false;
    }
    size_t count = kPrefixSize - have;
    if (chunk.length < count) count = chunk.length;
    if (count > 0 &&
        !ReadAt(volume->path, chunk.offset, count, prefix + have)) {
      return false;
    }
    have += count;
  }
  if (have < kPrefixSize) return false;
  *size = uint32_t{prefix[0]} | uint32_t{prefix[1]} << 8 |
          uint32_t{prefix[2]} << 16 | uint32_t{prefix[3]} << 24;
  return true;
}

}  // namespace pkgtool
