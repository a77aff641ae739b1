// A second writer of media, written from the format of the descriptor and
// the data volumes alone (nothing of pkgtool's builder or of the tests'
// descriptor writer): what an archivist finds on disks another tool made.
// Its streams come from the published encoder's model (lzhuf_reference.h);
// each is cut into pieces at random points (the size prefix included),
// spread over the disks and laid into each volume in a shuffled order with
// gaps of junk between them. sizeKb is whatever the file says (0, or
// rounded down), chunk lists end with either terminator, records may carry
// slack after it, and a noInstall file has its plain copy on disk 1. No
// SHA256SUMS is written.
#pragma once

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lzhuf_reference.h"
#include "test_support.h"

namespace foreign_media {

struct File {
  std::string name;  // as the descriptor holds it (backslashes)
  uint16_t flags = 0;
  uint16_t sizeKb = 0;
  Bytes data;
  uint32_t versionMs = 0, versionLs = 0;  // of a shared file
};

inline void Put(Bytes* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(uint8_t(value >> (8 * i)));
}

// Writes dir/disk1/<descriptor> (and the plain copies), dir/diskN/<volume>
// for disks 1 to disks; returns the descriptor's path.
inline std::string Write(const std::string& dir, const std::string& program,
                         const std::string& volume,
                         const std::vector<File>& files, int disks,
                         uint32_t seed,
                         const std::string& descriptor = "INSTALL.BIN") {
  std::mt19937 random(seed);
  struct Piece {
    size_t file;
    Bytes bytes;
    uint32_t offset = 0;
  };
  std::vector<std::vector<Piece>> onDisk(static_cast<size_t>(disks) + 1);
  std::vector<std::vector<std::pair<int, size_t>>> where(files.size());
  for (size_t f = 0; f < files.size(); ++f) {
    if (files[f].flags & 1) {  // noInstall: a plain copy on disk 1
      WriteFile(dir + "/disk1/" + files[f].name, files[f].data);
      continue;
    }
    const Bytes stream =
        std::make_unique<reference::Encoder>()->Encode(files[f].data);
    std::vector<size_t> cuts = {0, stream.size()};
    for (unsigned n = random() % 3; n > 0; --n)
      cuts.push_back(1 + random() % (stream.size() - 1));
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
      const int disk =
          1 + static_cast<int>(random() % static_cast<unsigned>(disks));
      onDisk[size_t(disk)].push_back(
          {f, Bytes(stream.begin() + long(cuts[i]),
                    stream.begin() + long(cuts[i + 1]))});
      where[f].push_back({disk, onDisk[size_t(disk)].size() - 1});
    }
  }
  for (int disk = 1; disk <= disks; ++disk) {
    std::vector<Piece>& pieces = onDisk[size_t(disk)];
    std::vector<size_t> order(pieces.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), random);
    Bytes bytes;
    Put(&bytes, uint32_t(disk), 2);
    for (size_t i : order) {
      for (unsigned gap = random() % 40; gap > 0; --gap)
        bytes.push_back(uint8_t(random()));
      pieces[i].offset = uint32_t(bytes.size());
      bytes.insert(bytes.end(), pieces[i].bytes.begin(), pieces[i].bytes.end());
    }
    for (unsigned gap = random() % 40; gap > 0; --gap)
      bytes.push_back(uint8_t(random()));
    WriteFile(dir + "/disk" + std::to_string(disk) + "/" + volume, bytes);
  }
  // The header: magic, programFile and title in their fields, the count.
  Bytes out = {'G', 'A', 'M', 'E'};
  out.resize(4 + 260 + 80, 0);
  std::copy(program.begin(), program.end(), out.begin() + 4);
  const std::string title = "Foreign " + program;
  std::copy(title.begin(), title.end(), out.begin() + 264);
  Put(&out, uint32_t(files.size()), 2);
  for (size_t f = 0; f < files.size(); ++f) {
    Bytes record;
    Put(&record, files[f].flags, 2);
    Put(&record, files[f].sizeKb, 2);
    record.insert(record.end(), files[f].name.begin(), files[f].name.end());
    record.push_back(0);
    record.push_back(uint8_t(random()));  // spareByte
    if (files[f].flags & 6) {
      Put(&record, files[f].versionMs, 4);
      Put(&record, files[f].versionLs, 4);
    }
    for (const auto& piece : where[f]) {
      const Piece& p = onDisk[size_t(piece.first)][piece.second];
      Put(&record, uint32_t(piece.first), 2);
      Put(&record, p.offset, 4);
      Put(&record, uint32_t(p.bytes.size()), 4);
    }
    if (random() % 2 == 0) {
      Put(&record, 0, 2);  // disk 0 ends the list
    } else {
      Put(&record, 1, 2);  // or a length of 0
      Put(&record, random(), 4);
      Put(&record, 0, 4);
    }
    for (unsigned slack = random() % 3; slack > 0; --slack)
      record.push_back(0xEE);
    Put(&out, uint32_t(record.size() + 2), 2);
    out.insert(out.end(), record.begin(), record.end());
  }
  const std::string path = dir + "/disk1/" + descriptor;
  WriteFile(path, out);
  return path;
}

}  // namespace foreign_media
