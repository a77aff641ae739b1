// Placing streams on disks; see disk_layout.h.
#include "build/disk_layout.h"

namespace pkgtool {

bool PlanDisks(uint64_t diskSize, uint64_t disk1Reserve,
               const std::vector<uint64_t>& streamLengths, DiskPlan* plan,
               std::string* error) {
  plan->chunks.assign(streamLengths.size(), std::vector<ChunkEntry>());
  plan->volumeSizes.clear();
  if (diskSize <= kVolumeHeaderSize) {
    *error =
        "a disk of " + std::to_string(diskSize) + " bytes cannot hold a volume";
    return false;
  }
  // Bytes the volume of the current disk may grow to.
  auto capacity = [&](unsigned disk) -> uint64_t {
    if (disk != 1) return diskSize;
    return disk1Reserve >= diskSize ? 0 : diskSize - disk1Reserve;
  };

  unsigned disk = 1;
  uint64_t used = kVolumeHeaderSize;
  plan->volumeSizes.push_back(0);
  bool anyData = false;
  for (size_t s = 0; s < streamLengths.size(); ++s) {
    uint64_t left = streamLengths[s];
    while (left > 0) {
      if (used >= capacity(disk)) {
        if (disk == kMaxDisks) {
          *error = "the data needs more than " + std::to_string(kMaxDisks) +
                   " disks of " + std::to_string(diskSize) + " bytes";
          return false;
        }
        ++disk;
        used = kVolumeHeaderSize;
        plan->volumeSizes.push_back(0);
        continue;
      }
      uint64_t take = capacity(disk) - used;
      if (take > left) take = left;
      plan->chunks[s].push_back(ChunkEntry{static_cast<uint16_t>(disk),
                                           static_cast<uint32_t>(used),
                                           static_cast<uint32_t>(take)});
      used += take;
      left -= take;
      plan->volumeSizes[disk - 1] = used;
      anyData = true;
    }
  }
  if (!anyData) plan->volumeSizes.assign(1, 0);
  return true;
}

}  // namespace pkgtool
