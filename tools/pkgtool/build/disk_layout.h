// Placing the files' compressed streams on disks.
//
// Every disk carries one data volume: its 2-byte volumeDisk, then chunks.
// The streams are laid out in order, each continuing where the one before
// ended; a stream that does not fit in what is left of a disk is split, its
// first chunk filling the disk to its last byte and the rest going on to
// the next disk. Disk 1 also carries the installer, the descriptor and the
// plain copies of noInstall files, so its volume is smaller by that
// reserve; when the reserve leaves no room for a volume, disk 1 carries none
// and the data starts on disk 2.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/descriptor.h"

namespace pkgtool {

// Offset of the first chunk byte in a volume: after volumeDisk.
constexpr uint64_t kVolumeHeaderSize = 2;
constexpr unsigned kMaxDisks = 65535;

struct DiskPlan {
  // Per stream, its chunks in stream order (never a chunk of length 0).
  std::vector<std::vector<ChunkEntry>> chunks;
  // Per disk (index 0 is disk 1): the volume's size in bytes, 0 when the
  // disk carries no volume.
  std::vector<uint64_t> volumeSizes;
};

// Lays out streams of the given lengths on disks of diskSize bytes whose
// first keeps disk1Reserve bytes free. False, with *error saying why, when
// a disk cannot hold even one chunk byte after the volume header or more
// than 65535 disks would be needed.
bool PlanDisks(uint64_t diskSize, uint64_t disk1Reserve,
               const std::vector<uint64_t>& streamLengths, DiskPlan* plan,
               std::string* error);

}  // namespace pkgtool
