// One cause, one line: what verify and extract report of damaged media. A
// volume that is missing or fails its SHA-256 check is a line of its own
// that says how many records it costs; so is a volume none of whose
// streams decodes soundly while others do (damaged, or from another build
// of the product). The records such a volume costs are listed one by one
// only when asked for (--verbose); any other record's fault is its own
// line.
#pragma once

#include <string>
#include <vector>

#include "read/checksums.h"
#include "read/media.h"

namespace pkgtool {

class DamageReport {
 public:
  // prefix starts every line ("PATH: ").
  DamageReport(const Media& media, const VolumeSet& volumes,
               const ChecksumCheck& checksums, std::string prefix);

  // Whether the record needs a volume that is missing or failed its
  // checksum: then it is counted under that volume, not read.
  bool CountUnreadable(const MediaRecord& record);
  // The record's stream was decoded: fault is "" when it is sound.
  void Decoded(const MediaRecord& record, const std::string& fault);

  // The lines, in the order: missing volumes, volumes that fail their
  // checksum (the list's own line about them is replaced), volumes whose
  // every stream is damaged, then every other record's fault. With
  // verbose, each record a volume costs follows its volume's line.
  std::vector<std::string> Lines(bool verbose) const;
  // The checksum list's problems that are not about a volume a record
  // uses (those are in Lines).
  std::vector<std::string> OtherChecksumProblems() const;
  // How many lines Lines gives without verbose.
  size_t Causes() const { return Lines(false).size(); }
  // Records whose stream is damaged, or that a volume costs.
  unsigned Costs() const;

 private:
  struct Fault {
    const MediaRecord* record;
    std::string text;
  };
  // The volume a decoded record's fault is laid to, or 0.
  uint16_t Culprit(const MediaRecord& record) const;
  std::string VolumeText(uint16_t disk) const;

  const Media& media_;
  const VolumeSet& volumes_;
  const ChecksumCheck& checksums_;
  std::string prefix_;
  std::vector<Fault> unreadable_;  // text: "" (missing) or "checksum"
  std::vector<const MediaRecord*> decoded_;
  std::vector<Fault> faults_;
};

}  // namespace pkgtool
