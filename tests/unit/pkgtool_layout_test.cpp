// Placing streams on disks: disk 1's reserve, chunks that fill each disk to
// its last byte, and the descriptor's own room on disk 1.
#include <gtest/gtest.h>

#include <random>

#include "build/builder.h"
#include "build/disk_layout.h"
#include "pkgtool_testing.h"

// Found by argument-dependent lookup, which searches ChunkEntry's (global)
// namespace.
static bool operator==(const ChunkEntry& a, const ChunkEntry& b) {
  return a.disk == b.disk && a.offset == b.offset && a.length == b.length;
}

namespace pkgtool {
namespace {

using Chunks = std::vector<ChunkEntry>;

TEST(PkgtoolDiskPlan, EverythingFitsOnOneDiskBehindTheDiskNumber) {
  DiskPlan plan;
  std::string error;
  ASSERT_TRUE(PlanDisks(1000, 100, {10, 20, 30}, &plan, &error));
  EXPECT_EQ(plan.chunks[0], (Chunks{{1, 2, 10}}));
  EXPECT_EQ(plan.chunks[1], (Chunks{{1, 12, 20}}));
  EXPECT_EQ(plan.chunks[2], (Chunks{{1, 32, 30}}));
  EXPECT_EQ(plan.volumeSizes, (std::vector<uint64_t>{62}));
}

TEST(PkgtoolDiskPlan, Disk1KeepsItsReserveAndLaterDisksAreFilledWhole) {
  // Disk 1: 100 - 40 = 60 bytes of volume, 58 of data; later disks 98.
  DiskPlan plan;
  std::string error;
  ASSERT_TRUE(PlanDisks(100, 40, {50, 200}, &plan, &error));
  EXPECT_EQ(plan.chunks[0], (Chunks{{1, 2, 50}}));
  EXPECT_EQ(plan.chunks[1], (Chunks{{1, 52, 8}, {2, 2, 98}, {3, 2, 94}}));
  EXPECT_EQ(plan.volumeSizes, (std::vector<uint64_t>{60, 100, 96}));
}

TEST(PkgtoolDiskPlan, AStreamEndingOnTheLastByteOpensNoEmptyDisk) {
  DiskPlan plan;
  std::string error;
  ASSERT_TRUE(PlanDisks(100, 0, {98, 98}, &plan, &error));
  EXPECT_EQ(plan.chunks[0], (Chunks{{1, 2, 98}}));
  EXPECT_EQ(plan.chunks[1], (Chunks{{2, 2, 98}}));
  EXPECT_EQ(plan.volumeSizes.size(), 2u);
}

TEST(PkgtoolDiskPlan, AReserveThatLeavesNoRoomPutsTheDataOnDisk2) {
  for (uint64_t reserve : {98u, 99u, 100u}) {
    DiskPlan plan;
    std::string error;
    ASSERT_TRUE(PlanDisks(100, reserve, {10}, &plan, &error));
    EXPECT_EQ(plan.chunks[0], (Chunks{{2, 2, 10}})) << reserve;
    EXPECT_EQ(plan.volumeSizes, (std::vector<uint64_t>{0, 12}));
  }
  // One byte of room is used: a chunk boundary may fall anywhere.
  DiskPlan plan;
  std::string error;
  ASSERT_TRUE(PlanDisks(100, 97, {10}, &plan, &error));
  EXPECT_EQ(plan.chunks[0], (Chunks{{1, 2, 1}, {2, 2, 9}}));
}

TEST(PkgtoolDiskPlan, RefusesDisksTooSmallForAVolumeAndTooManyDisks) {
  DiskPlan plan;
  std::string error;
  EXPECT_FALSE(PlanDisks(2, 0, {1}, &plan, &error));
  EXPECT_EQ(error, "a disk of 2 bytes cannot hold a volume");
  EXPECT_FALSE(PlanDisks(3, 0, {70000}, &plan, &error));
  EXPECT_EQ(error, "the data needs more than 65535 disks of 3 bytes");
}

TEST(PkgtoolDiskPlan, RandomLayoutsKeepEveryStreamWholeAndInOrder) {
  uint32_t seed = pkgtool_testing::TestSeed();
  std::mt19937 random(seed);
  for (int round = 0; round < 200; ++round) {
    uint64_t diskSize = 3 + random() % 5000;
    uint64_t reserve = random() % (diskSize + 10);
    std::vector<uint64_t> lengths(random() % 12);
    for (uint64_t& length : lengths) length = 1 + random() % 9000;
    DiskPlan plan;
    std::string error;
    ASSERT_TRUE(PlanDisks(diskSize, reserve, lengths, &plan, &error)) << error;

    // Walking the chunks in order gives one contiguous run per disk that
    // fills every disk but the last to its capacity.
    std::vector<uint64_t> ends(plan.volumeSizes.size(), 2);
    for (size_t s = 0; s < lengths.size(); ++s) {
      uint64_t sum = 0;
      for (const ChunkEntry& chunk : plan.chunks[s]) {
        ASSERT_GT(chunk.length, 0u);
        ASSERT_GE(chunk.disk, 1u);
        ASSERT_LE(chunk.disk, plan.volumeSizes.size());
        ASSERT_EQ(chunk.offset, ends[chunk.disk - 1]) << "round " << round;
        ends[chunk.disk - 1] += chunk.length;
        sum += chunk.length;
      }
      ASSERT_EQ(sum, lengths[s]);
    }
    for (size_t d = 0; d < plan.volumeSizes.size(); ++d) {
      uint64_t capacity =
          d == 0 ? (reserve >= diskSize ? 0 : diskSize - reserve) : diskSize;
      uint64_t size = plan.volumeSizes[d];
      if (size == 0) {
        ASSERT_EQ(d, 0u);  // only disk 1 may go without a volume
        if (!lengths.empty()) {
          ASSERT_LE(capacity, 2u);
        }
        continue;
      }
      ASSERT_EQ(size, ends[d]);
      ASSERT_LE(size, capacity);
      if (d + 1 < plan.volumeSizes.size()) {
        ASSERT_EQ(size, capacity);
      }
    }
  }
}

// ---- the media plan: the descriptor's room on disk 1 -----------------------

PreparedFile File(const std::string& target, uint64_t size,
                  bool noInstall = false) {
  PreparedFile file;
  file.file.target = target;
  file.file.noInstall = noInstall;
  file.size = size;
  return file;
}

TEST(PkgtoolMediaPlan,
     Disk1HoldsInstallerDescriptorAndPlainFilesBesideItsVolume) {
  Manifest manifest;
  manifest.programFile = "Q.EXE";
  manifest.title = "Q";
  manifest.diskSize = 4096;
  manifest.installerReserve = 1000;
  std::vector<PreparedFile> files = {
      File("A", 3000), File("README.TXT", 300, true), File("B", 9000)};
  std::vector<uint64_t> streams = {2500, 0, 7000};
  for (uint64_t installer : {0u, 1500u}) {
    MediaPlan plan;
    std::string error;
    ASSERT_TRUE(PlanMedia(manifest, files, streams, installer, &plan, &error))
        << error;
    uint64_t installerBytes = installer > 1000 ? installer : 1000;
    EXPECT_GE(plan.disk1Reserve, installerBytes + 300 + plan.descriptor.size());
    EXPECT_LE(plan.disks.volumeSizes[0] + plan.disk1Reserve, 4096u);
    EXPECT_EQ(plan.disks.volumeSizes[0], 4096u - plan.disk1Reserve);
    EXPECT_TRUE(plan.records[1].chunks.empty());
    EXPECT_EQ(plan.records[1].flags, kFlagNoInstall);
    EXPECT_EQ(plan.records[0].sizeKb, 3);
    EXPECT_EQ(plan.records[2].sizeKb, 9);
    EXPECT_TRUE(ValidateRecordTable(plan.descriptor.data() + kHeaderSize,
                                    plan.descriptor.size() - kHeaderSize, 3));
  }
}

TEST(PkgtoolMediaPlan, TheDescriptorGrowsWithTheChunksItMustName) {
  // Tiny disks: each stream breaks into many chunks, so the descriptor is
  // far larger than a first guess of one chunk per file, and disk 1 must
  // still leave room for it.
  Manifest manifest;
  manifest.programFile = "Q.EXE";
  manifest.title = "Q";
  manifest.diskSize = 8192;
  std::vector<PreparedFile> files;
  std::vector<uint64_t> streams;
  for (int i = 0; i < 60; ++i) {
    files.push_back(File("FILE" + std::to_string(i), 5000));
    streams.push_back(3000);
  }
  MediaPlan plan;
  std::string error;
  ASSERT_TRUE(PlanMedia(manifest, files, streams, 0, &plan, &error)) << error;
  EXPECT_GT(plan.descriptor.size(), kHeaderSize + 60 * (14 + 10 + 2));
  EXPECT_GE(plan.disk1Reserve, plan.descriptor.size());
  EXPECT_LE(plan.disks.volumeSizes[0] + plan.descriptor.size(), 8192u);
}

TEST(PkgtoolMediaPlan, RefusesADisk1TooSmallForWhatItMustCarry) {
  Manifest manifest;
  manifest.programFile = "Q.EXE";
  manifest.title = "Q";
  manifest.diskSize = 2048;
  manifest.installerReserve = 2000;
  MediaPlan plan;
  std::string error;
  EXPECT_FALSE(PlanMedia(manifest, {File("A", 10)}, {14}, 0, &plan, &error));
  EXPECT_EQ(error.rfind("disk 1 (2048 bytes) cannot hold the installer (2000), "
                        "the descriptor (",
                        0),
            0u)
      << error;
}

TEST(PkgtoolMediaPlan, SizeKbRoundsUpAndSaturates) {
  EXPECT_EQ(SizeKb(0), 0);
  EXPECT_EQ(SizeKb(1), 1);
  EXPECT_EQ(SizeKb(1024), 1);
  EXPECT_EQ(SizeKb(1025), 2);
  EXPECT_EQ(SizeKb(uint64_t{65535} * 1024), 65535);
  EXPECT_EQ(SizeKb(uint64_t{65535} * 1024 + 1), 65535);
}

}  // namespace
}  // namespace pkgtool
