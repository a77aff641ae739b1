// Folding damage by its cause; see damage.h.
#include "read/damage.h"

#include <algorithm>

namespace pkgtool {
namespace {

std::string Records(size_t count) {
  return std::to_string(count) + (count == 1 ? " record" : " records");
}

bool Uses(const MediaRecord& record, uint16_t disk) {
  for (const ChunkEntry& chunk : record.chunks) {
    if (chunk.disk == disk) return true;
  }
  return false;
}

}  // namespace

DamageReport::DamageReport(const Media& media, const VolumeSet& volumes,
                           const ChecksumCheck& checksums, std::string prefix)
    : media_(media),
      volumes_(volumes),
      checksums_(checksums),
      prefix_(std::move(prefix)) {}

bool DamageReport::CountUnreadable(const MediaRecord& record) {
  for (const ChunkEntry& chunk : record.chunks) {
    if (volumes_.Find(chunk.disk) == nullptr) {
      unreadable_.push_back({&record, ""});
      return true;
    }
  }
  for (const ChunkEntry& chunk : record.chunks) {
    if (checksums_.Failed(chunk.disk)) {
      unreadable_.push_back({&record, "checksum"});
      return true;
    }
  }
  return false;
}

void DamageReport::Decoded(const MediaRecord& record,
                           const std::string& fault) {
  for (const Fault& counted : unreadable_) {
    if (counted.record == &record) return;  // its cause is a volume's
  }
  decoded_.push_back(&record);
  if (!fault.empty()) faults_.push_back({&record, fault});
}

uint16_t DamageReport::Culprit(const MediaRecord& record) const {
  // A volume is the cause when every decoded stream that uses it is
  // damaged, at least two do, and some other stream is sound.
  if (faults_.size() == decoded_.size()) return 0;
  for (const ChunkEntry& chunk : record.chunks) {
    size_t users = 0, damaged = 0;
    for (const MediaRecord* other : decoded_) {
      if (!Uses(*other, chunk.disk)) continue;
      ++users;
      for (const Fault& fault : faults_) damaged += fault.record == other;
    }
    if (users >= 2 && damaged == users) return chunk.disk;
  }
  return 0;
}

std::string DamageReport::VolumeText(uint16_t disk) const {
  const VolumeFile* volume = volumes_.Find(disk);
  return volume != nullptr
             ? volume->path + " (disk " + std::to_string(disk) + ")"
             : "disk " + std::to_string(disk);
}

std::vector<std::string> DamageReport::Lines(bool verbose) const {
  std::vector<std::string> lines;
  auto costs = [&](const std::vector<const MediaRecord*>& records,
                   const std::string& why) {
    if (!verbose) return;
    for (const MediaRecord* record : records) {
      lines.push_back(prefix_ + RecordLabel(*record) + ": " + why);
    }
  };
  // Missing volumes: MissingDisks' lines, the disks in ascending order.
  std::vector<uint16_t> missing;
  for (const MediaRecord& record : media_.records) {
    for (const ChunkEntry& chunk : record.chunks) {
      if (volumes_.Find(chunk.disk) == nullptr) missing.push_back(chunk.disk);
    }
  }
  std::sort(missing.begin(), missing.end());
  missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
  const std::vector<std::string> missingLines = MissingDisks(media_, volumes_);
  for (size_t i = 0; i < missingLines.size() && i < missing.size(); ++i) {
    std::vector<const MediaRecord*> cost;
    for (const Fault& fault : unreadable_) {
      if (fault.text.empty() && Uses(*fault.record, missing[i])) {
        cost.push_back(fault.record);
      }
    }
    if (cost.empty()) continue;  // no record read needs it
    lines.push_back(prefix_ + missingLines[i]);
    costs(cost, "needs missing disk " + std::to_string(missing[i]));
  }
  for (size_t i = 0; i < checksums_.failedDisks.size(); ++i) {
    const uint16_t disk = checksums_.failedDisks[i];
    std::vector<const MediaRecord*> cost;
    for (const Fault& fault : unreadable_) {
      if (!fault.text.empty() && Uses(*fault.record, disk)) {
        cost.push_back(fault.record);
      }
    }
    lines.push_back(prefix_ + checksums_.diskProblems[i] +
                    (cost.empty()
                         ? " (no record read uses it)"
                         : " (it costs " + Records(cost.size()) + ")"));
    costs(cost, "uses disk " + std::to_string(disk) +
                    ", whose volume fails its SHA-256 check");
  }
  // Volumes whose every stream is damaged.
  std::vector<uint16_t> culprits;
  std::vector<std::string> own;
  for (const Fault& fault : faults_) {
    const uint16_t disk = Culprit(*fault.record);
    if (disk == 0) {
      own.push_back(prefix_ + RecordLabel(*fault.record) + ": " + fault.text);
    } else if (std::find(culprits.begin(), culprits.end(), disk) ==
               culprits.end()) {
      culprits.push_back(disk);
    }
  }
  for (uint16_t disk : culprits) {
    std::vector<const MediaRecord*> cost;
    for (const Fault& fault : faults_) {
      if (Culprit(*fault.record) == disk) cost.push_back(fault.record);
    }
    lines.push_back(prefix_ + VolumeText(disk) + ": not one of the " +
                    std::to_string(cost.size()) +
                    " streams that use it decodes soundly, while others "
                    "do: it is damaged or from another build (it costs " +
                    Records(cost.size()) + ")");
    if (!verbose) continue;
    for (const Fault& fault : faults_) {
      if (Culprit(*fault.record) == disk) {
        lines.push_back(prefix_ + RecordLabel(*fault.record) + ": " +
                        fault.text);
      }
    }
  }
  lines.insert(lines.end(), own.begin(), own.end());
  return lines;
}

std::vector<std::string> DamageReport::OtherChecksumProblems() const {
  std::vector<std::string> other;
  for (const std::string& problem : checksums_.problems) {
    if (std::find(checksums_.diskProblems.begin(),
                  checksums_.diskProblems.end(),
                  problem) == checksums_.diskProblems.end()) {
      other.push_back(prefix_ + problem);
    }
  }
  return other;
}

unsigned DamageReport::Costs() const {
  return static_cast<unsigned>(unreadable_.size() + faults_.size());
}

}  // namespace pkgtool
