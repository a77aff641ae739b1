// Reading the version resource of a PE image; see pe_version.h.
//
// Layout notes (all integers little-endian):
//   DOS header: "MZ" at 0, e_lfanew (u32) at 0x3C: offset of "PE\0\0".
//   COFF header (20 bytes after the signature): NumberOfSections at +2,
//   SizeOfOptionalHeader at +16. Optional header: magic 0x10B (PE32) keeps
//   NumberOfRvaAndSizes at +92 and the data directories at +96; 0x20B
//   (PE32+) at +108 and +112. Directory 2 is the resource directory (RVA,
//   size). Section headers (40 bytes) follow the optional header:
//   VirtualAddress at +12, SizeOfRawData at +16, PointerToRawData at +20.
//   Resource directory (16 bytes): named entries at +12, id entries at +14,
//   then 8-byte entries (name or id; offset, high bit set for a
//   sub-directory, relative to the resource root). A data entry holds the
//   data's RVA and size.
#include "platform/host/pe_version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace host {
namespace {

constexpr uint32_t kRtVersion = 16;
constexpr unsigned kMaxSections = 96;          // the Windows loader's limit
constexpr unsigned kMaxEntriesScanned = 4096;  // per resource directory
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr size_t kFixedInfoOffset = 40;  // 6-byte header + 32-byte key
constexpr size_t kFixedInfoSize = 52;

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

struct Section {
  uint32_t virtualAddress;
  uint32_t rawSize;
  uint32_t rawOffset;
};

// The section table of an image, for mapping RVAs to file offsets.
struct SectionMap {
  Section sections[kMaxSections];
  unsigned count = 0;

  // File offset of length bytes at rva, when they lie wholly inside one
  // section's raw data.
  bool Map(uint32_t rva, uint64_t length, uint64_t* offset) const {
    for (unsigned i = 0; i < count; ++i) {
      const Section& s = sections[i];
      if (rva < s.virtualAddress) continue;
      uint64_t within = rva - s.virtualAddress;
      if (within >= s.rawSize || within + length > s.rawSize) continue;
      *offset = s.rawOffset + within;
      return true;
    }
    return false;
  }
};

bool ReadSections(const ImageSource& image, SectionMap* map,
                  uint64_t* resourceRoot, uint32_t* resourceRva) {
  uint8_t dos[64];
  if (!image.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
    return false;
  }
  uint64_t pe = U32(dos + 0x3C);
  uint8_t coff[24];
  if (!image.ReadAt(pe, coff, sizeof coff) ||
      std::memcmp(coff, "PE\0\0", 4) != 0) {
    return false;
  }
  unsigned sectionCount = U16(coff + 4 + 2);
  uint32_t optionalSize = U16(coff + 4 + 16);
  uint64_t optional = pe + sizeof coff;

  uint8_t magic[2];
  if (!image.ReadAt(optional, magic, 2)) return false;
  uint32_t countField;
  uint32_t directories;
  switch (U16(magic)) {
    case 0x10B:
      countField = 92;
      directories = 96;
      break;
    case 0x20B:
      countField = 108;
      directories = 112;
      break;
    default:
      return false;
  }
  const uint32_t resourceEntry = directories + 2 * 8;
  if (optionalSize < resourceEntry + 8) return false;
  uint8_t field[8];
  if (!image.ReadAt(optional + countField, field, 4) || U32(field) < 3) {
    return false;
  }
  if (!image.ReadAt(optional + resourceEntry, field, 8)) return false;
  *resourceRva = U32(field);
  if (*resourceRva == 0 || U32(field + 4) == 0) return false;

  if (sectionCount > kMaxSections) sectionCount = kMaxSections;
  uint64_t table = optional + optionalSize;
  for (unsigned i = 0; i < sectionCount; ++i) {
    uint8_t header[40];
    if (!image.ReadAt(table + 40ull * i, header, sizeof header)) return false;
    Section& s = map->sections[map->count++];
    s.virtualAddress = U32(header + 12);
    s.rawSize = U32(header + 16);
    s.rawOffset = U32(header + 20);
  }
  return map->Map(*resourceRva, 16, resourceRoot);
}

// Reads the directory at root + dirOffset and returns the offset field of
// the entry wanted: the id entry equal to id, or the first entry of all
// when id is negative.
bool FindEntry(const ImageSource& image, uint64_t root, uint32_t dirOffset,
               long id, uint32_t* entryOffset) {
  uint8_t dir[16];
  if (!image.ReadAt(root + dirOffset, dir, sizeof dir)) return false;
  unsigned named = U16(dir + 12);
  unsigned total = named + U16(dir + 14);
  if (total > kMaxEntriesScanned) total = kMaxEntriesScanned;
  for (unsigned i = 0; i < total; ++i) {
    uint8_t entry[8];
    if (!image.ReadAt(root + dirOffset + 16 + 8ull * i, entry, 8)) {
      return false;
    }
    uint32_t name = U32(entry);
    bool match = id < 0 || (i >= named && (name & 0x80000000u) == 0 &&
                            name == static_cast<uint32_t>(id));
    if (match) {
      *entryOffset = U32(entry + 4);
      return true;
    }
  }
  return false;
}

constexpr uint32_t kSubdirectory = 0x80000000u;

class FileImage : public ImageSource {
 public:
  explicit FileImage(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
      error_ = errno;
    } else if (S_ISREG(st.st_mode)) {
      size_ = static_cast<uint64_t>(st.st_size);
    }
  }
  ~FileImage() override {
    if (fd_ >= 0) ::close(fd_);
  }
  FileImage(const FileImage&) = delete;
  FileImage& operator=(const FileImage&) = delete;

  uint64_t Size() const override { return size_; }
  // errno of the open or read that failed; 0 when none did.
  int Error() const { return error_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) const override {
    if (fd_ < 0 || offset > size_ || count > size_ - offset) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    while (count > 0) {
      ssize_t n = ::pread(fd_, out, count, static_cast<off_t>(offset));
      if (n <= 0) {
        if (n < 0) error_ = errno;
        return false;
      }
      out += n;
      offset += static_cast<uint64_t>(n);
      count -= static_cast<size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
  uint64_t size_ = 0;
  mutable int error_ = 0;
};

}  // namespace

bool MemoryImage::ReadAt(uint64_t offset, void* buffer, size_t count) const {
  if (offset > size_ || count > size_ - offset) return false;
  if (count > 0) std::memcpy(buffer, data_ + offset, count);
  return true;
}

bool LocateVersionResource(const ImageSource& image, uint64_t* offset,
                           uint32_t* length) {
  SectionMap map;
  uint64_t root = 0;
  uint32_t rootRva = 0;
  if (!ReadSections(image, &map, &root, &rootRva)) return false;

  // Type, then name, then language: two sub-directories and a data entry.
  uint32_t entry = 0;
  if (!FindEntry(image, root, 0, kRtVersion, &entry) ||
      !(entry & kSubdirectory)) {
    return false;
  }
  if (!FindEntry(image, root, entry & ~kSubdirectory, -1, &entry) ||
      !(entry & kSubdirectory)) {
    return false;
  }
  if (!FindEntry(image, root, entry & ~kSubdirectory, -1, &entry) ||
      (entry & kSubdirectory)) {
    return false;
  }
  uint8_t data[16];
  if (!image.ReadAt(root + entry, data, sizeof data)) return false;
  uint32_t size = U32(data + 4);
  uint64_t fileOffset = 0;
  if (size == 0 || !map.Map(U32(data), size, &fileOffset) ||
      fileOffset > image.Size() || size > image.Size() - fileOffset) {
    return false;
  }
  *offset = fileOffset;
  *length = size;
  return true;
}

bool ReadVersionBlock(const ImageSource& image, std::vector<uint8_t>* block) {
  uint64_t offset = 0;
  uint32_t length = 0;
  if (!LocateVersionResource(image, &offset, &length)) return false;
  uint8_t head[2];
  if (!image.ReadAt(offset, head, 2)) return false;
  size_t size = U16(head);
  if (size > length) size = length;
  if (size < kFixedInfoOffset + kFixedInfoSize) return false;
  block->assign(size, 0);
  return image.ReadAt(offset, block->data(), size);
}

bool ParseFixedFileVersion(const uint8_t* block, size_t size,
                           uint32_t* versionMs, uint32_t* versionLs) {
  static const char kKey[] = "VS_VERSION_INFO";  // 15 letters and the NUL
  if (size < kFixedInfoOffset + kFixedInfoSize) return false;
  size_t declared = U16(block);
  if (declared < kFixedInfoOffset + kFixedInfoSize || U16(block + 2) < 52) {
    return false;
  }
  for (size_t i = 0; i < sizeof kKey; ++i) {
    if (U16(block + 6 + 2 * i) != static_cast<uint8_t>(kKey[i])) return false;
  }
  const uint8_t* fixed = block + kFixedInfoOffset;
  if (U32(fixed) != kFixedInfoSignature) return false;
  *versionMs = U32(fixed + 8);
  *versionLs = U32(fixed + 12);
  return true;
}

bool ReadFileVersionBlock(const std::string& hostPath,
                          std::vector<uint8_t>* block, int* error) {
  FileImage image(hostPath);
  const bool read = ReadVersionBlock(image, block);
  if (error != nullptr) *error = read ? 0 : image.Error();
  return read;
}

bool ReadFileVersion(const std::string& hostPath, uint32_t* versionMs,
                     uint32_t* versionLs, int* error) {
  std::vector<uint8_t> block;
  return ReadFileVersionBlock(hostPath, &block, error) &&
         ParseFixedFileVersion(block.data(), block.size(), versionMs,
                               versionLs);
}

}  // namespace host
