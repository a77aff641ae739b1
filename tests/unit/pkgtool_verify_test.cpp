// pkgtool verify: sound media pass; a truncated volume, a chunk outside its
// volume, a missing disk, a failing read, a stream that yields another size
// than it states are each reported on a line naming the record (a sizeKb
// the size does not fit is only a note); a quiet change of any file is
// found by its SHA-256, on a line naming the file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "build/builder.h"
#include "common/host_files.h"
#include "pkgtool_testing.h"
#include "platform/host/host_control.h"
#include "read/media.h"
#include "stream/encoder.h"

namespace pkgtool {
namespace {

using pkgtool_testing::IsDir;
using pkgtool_testing::IsImage;
using pkgtool_testing::Listing;
using pkgtool_testing::RunTool;
using pkgtool_testing::SampleBytes;
using pkgtool_testing::SizeOf;
using pkgtool_testing::WriteManifest;

// Media of three files on disks of 4K, built by pkgtool.
class PkgtoolVerify : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_.Make("src/game.exe"), SampleBytes(12000, 11));
    // Ends in a long repeat, so its stream ends with a match.
    Bytes level = SampleBytes(30000, 12);
    for (int i = 0; i < 500; ++i) level.push_back("abcd"[i % 4]);
    WriteFile(dir_.Make("src/level.dat"), level);
    WriteFile(dir_.Make("src/last.dat"), SampleBytes(6000, 13));
    std::string manifest = WriteManifest(dir_,
                                         "[package]\nprogramFile = GAME.EXE\n"
                                         "title = Game\ndiskSize = 4K\n"
                                         "[files]\nGAME.EXE = src/game.exe\n"
                                         "DATA\\LEVEL.DAT = src/level.dat\n"
                                         "LAST.DAT = src/last.dat\n");
    pkgtool_testing::ToolRun run = RunTool({"build", manifest, "-o", Out()});
    ASSERT_EQ(run.code, 0) << run.err;
    std::string error;
    ASSERT_TRUE(LoadMedia(Descriptor(), &media_, &error)) << error;
    ASSERT_EQ(media_.records.size(), 3u);
    ASSERT_GE(media_.records[1].chunks.size(), 2u);
    ASSERT_GE(media_.records[2].chunks.back().disk, 3);
    lastDisk_ = media_.records[2].chunks.back().disk;
  }

  std::string Out() const { return dir_.path() + "/out"; }
  std::string Descriptor() const { return Out() + "/disk1/SETUP.bin"; }
  std::string Volume(int disk) const {
    return Out() + "/disk" + std::to_string(disk) + "/GAME.dat";
  }
  // verify with the later disks given last first.
  pkgtool_testing::ToolRun Verify() const {
    std::vector<std::string> args = {"verify", Descriptor()};
    for (int disk = lastDisk_; disk >= 2; --disk) {
      args.push_back("--disk");
      args.push_back(Out() + "/disk" + std::to_string(disk));
    }
    return RunTool(args);
  }
  // Where the chunk list of record index starts in the descriptor file.
  size_t ChunkListAt(size_t index) const {
    const MediaRecord& record = media_.records[index];
    return kHeaderSize + record.offset +
           static_cast<size_t>(FirstChunkEntry(record.record) - record.record);
  }

  TempDir dir_;
  Media media_;
  int lastDisk_ = 0;
};

// The verdict says what was checked: the streams' ends, and the contents
// against SHA256SUMS or, without it, that they were not compared.
TEST_F(PkgtoolVerify, PassesSoundMediaWithTheDisksInAnyOrder) {
  const std::string ok = Descriptor() + ": OK: 3 records, 3 streams decoded, " +
                         std::to_string(12000 + 30500 + 6000) +
                         " bytes; every stream ended at its chunks' end; ";
  pkgtool_testing::ToolRun run = Verify();
  EXPECT_EQ(run.code, 0) << run.out << run.err;
  EXPECT_EQ(run.out, ok + "every file matched SHA256SUMS\n");
  ASSERT_EQ(::unlink((Out() + "/disk1/SHA256SUMS").c_str()), 0);
  run = Verify();
  EXPECT_EQ(run.code, 0) << run.out << run.err;
  EXPECT_EQ(run.out.rfind(ok + "disk 1 has no SHA256SUMS, so contents were "
                               "not compared (",
                          0),
            0u)
      << run.out;
}

// With SHA256SUMS a damaged volume is one line that says what it costs,
// its records listed below it only with --verbose; without the list, what
// is wrong with each chunk is told.
TEST_F(PkgtoolVerify, ReportsATruncatedVolume) {
  uint64_t size = 0;
  ASSERT_TRUE(SizeOf(Volume(2), &size));
  ASSERT_EQ(::truncate(Volume(2).c_str(), static_cast<off_t>(size - 10)), 0);
  pkgtool_testing::ToolRun run = Verify();
  EXPECT_EQ(run.code, 1);
  const std::string sums = Out() + "/disk1/SHA256SUMS";
  EXPECT_EQ(run.err, "pkgtool: " + Descriptor() + ": " + Volume(2) +
                         ": SHA-256 differs from " + sums +
                         " (it costs 1 record)\npkgtool: " + Descriptor() +
                         ": 1 problem\n");
  std::vector<std::string> args = {"verify", Descriptor(), "--verbose"};
  run = RunTool(args);
  EXPECT_NE(run.err.find("(it costs 1 record)\npkgtool: " + Descriptor() +
                         ": record 2 (DATA\\LEVEL.DAT): uses disk 2, whose "
                         "volume fails its SHA-256 check\n"),
            std::string::npos)
      << run.err;
  ASSERT_EQ(::unlink(sums.c_str()), 0);
  run = Verify();
  EXPECT_EQ(run.code, 1);
  const ChunkEntry& chunk = media_.records[1].chunks[1];
  ASSERT_EQ(chunk.disk, 2);
  EXPECT_NE(run.err.find(Descriptor() +
                         ": record 2 (DATA\\LEVEL.DAT): chunk 2 (disk 2, "
                         "offset 2, length " +
                         std::to_string(chunk.length) +
                         ") lies outside its volume (2 + " +
                         std::to_string(chunk.length) + " > " +
                         std::to_string(size - 10) + " bytes of " + Volume(2) +
                         ")\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(Descriptor() + ": 1 problem\n"), std::string::npos)
      << run.err;
}

TEST_F(PkgtoolVerify, ReportsAChunkOutsideItsVolume) {
  Bytes descriptor = ReadFile(Descriptor());
  size_t entry = ChunkListAt(0);
  pkgtool_testing::PutU32(&descriptor, entry + 2, 900000);
  WriteFile(Descriptor(), descriptor);
  pkgtool_testing::ToolRun run = Verify();
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(": record 1 (GAME.EXE): chunk 1 (disk 1, offset "
                         "900000, length "),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(") lies outside its volume (900000 + "),
            std::string::npos);
}

TEST_F(PkgtoolVerify, ReportsAChunkOverTheDiskNumber) {
  Bytes descriptor = ReadFile(Descriptor());
  pkgtool_testing::PutU32(&descriptor, ChunkListAt(0) + 2, 1);
  WriteFile(Descriptor(), descriptor);
  pkgtool_testing::ToolRun run = Verify();
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("starts inside the disk number of " + Volume(1)),
            std::string::npos)
      << run.err;
}

TEST_F(PkgtoolVerify, ReportsADiskWhoseVolumeIsMissingOrTooShort) {
  const int disk = lastDisk_;
  const std::string last = std::to_string(disk);
  WriteFile(Volume(disk), Bytes{3});
  pkgtool_testing::ToolRun run = Verify();
  EXPECT_EQ(run.code, 1);
  // The disk it leaves without a volume is one line, whatever its chunks.
  EXPECT_EQ(
      run.err,
      "pkgtool: note: " + Volume(disk) +
          ": 1 bytes, too short to carry its disk number\n"
          "pkgtool: " +
          Descriptor() + ": missing disk " + last + " of " + last +
          " (GAME.dat), which 1 record needs; give its directory with --disk\n"
          "pkgtool: " +
          Descriptor() +
          ": 1 problem; 1 record on missing disks not checked\n");
  EXPECT_EQ(run.out, "");
}

// A place that cannot be looked at is named with its cause, not taken
// for a place without the disk.
TEST_F(PkgtoolVerify, NamesAPlaceThatCannotBeLookedAt) {
  const std::string loop = dir_.path() + "/loop";
  ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
  pkgtool_testing::ToolRun run =
      RunTool({"verify", Descriptor(), "--disk", loop});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pkgtool: verify: --disk " + loop +
                         ": Too many levels of symbolic links\n")
      << run.err;
}

TEST_F(PkgtoolVerify, ReportsAReadThatFailsInsideTheInstallersReader) {
  // The first read takes disk 1's volumeDisk, the second the first chunk.
  host::InjectFault(host::Fault::kRead, 2);
  pkgtool_testing::ToolRun run = Verify();
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(Descriptor() +
                         ": record 1 (GAME.EXE): GAME.EXE: read error! (disk "
                         "1 volume " +
                         Volume(1)),
            std::string::npos)
      << run.err;
}

TEST_F(PkgtoolVerify, ReportsAStreamThatYieldsMoreThanItStates) {
  ASSERT_EQ(::unlink((Out() + "/disk1/SHA256SUMS").c_str()), 0);
  // Lower the size prefix of the level by one: its last match still
  // writes whole.
  const ChunkEntry& first = media_.records[1].chunks[0];
  Bytes volume = ReadFile(Volume(first.disk));
  uint32_t stated = ReadU32(volume.data() + first.offset);
  ASSERT_EQ(stated, 30500u);
  pkgtool_testing::PutU32(&volume, first.offset, stated - 1);
  WriteFile(Volume(first.disk), volume);
  pkgtool_testing::ToolRun run = Verify();
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(": record 2 (DATA\\LEVEL.DAT): the stream yields "),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(" bytes, its size prefix says 30499\n"),
            std::string::npos);
}

TEST_F(PkgtoolVerify, FindsAQuietChangeOfOneByteInAnyFileByItsChecksum) {
  const std::string list = Out() + "/disk1/SHA256SUMS";
  // In the descriptor: a byte of the title's padding, which nothing reads.
  const std::vector<std::pair<std::string, size_t>> changes = {
      {Descriptor(), kProductTitleOffset + 40},
      {Volume(1), 100},
      {Volume(2), 2000},
      {Volume(lastDisk_), 3}};
  for (const auto& change : changes) {
    Bytes original = ReadFile(change.first);
    Bytes changed = original;
    changed[change.second] ^= 0x20;
    WriteFile(change.first, changed);
    pkgtool_testing::ToolRun run = Verify();
    EXPECT_EQ(run.code, 1) << change.first;
    EXPECT_NE(run.err.find(Descriptor() + ": " + change.first +
                           ": SHA-256 differs from " + list),
              std::string::npos)
        << run.err;
    WriteFile(change.first, original);
  }
  // A list that does not name a file read.
  Bytes sums = ReadFile(list);
  std::string text(sums.begin(), sums.end());
  text.replace(text.find("../disk2/"), 9, "../diskX/");
  WriteFile(list, text);
  pkgtool_testing::ToolRun run = Verify();
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(Descriptor() + ": " + Volume(2) + ": not in " + list +
                         " (as ../disk2/GAME.dat) (it costs 1 record)\n"),
            std::string::npos)
      << run.err;
}

// Without SHA256SUMS a stream must still use exactly its chunks: a disk
// from another build of the product, or one flipped bit, mostly ends a
// stream before its chunks' end or past it.
TEST_F(PkgtoolVerify, WithoutTheChecksumListFindsAVolumeOfAnotherBuild) {
  ASSERT_EQ(::unlink((Out() + "/disk1/SHA256SUMS").c_str()), 0);
  // The same product with another level, built elsewhere.
  WriteFile(dir_.Make("src/level.dat"), SampleBytes(30500, 99));
  const std::string other = dir_.path() + "/other";
  ASSERT_EQ(
      RunTool({"build", dir_.path() + "/test.manifest", "-o", other}).code, 0);
  WriteFile(Volume(2), ReadFile(other + "/disk2/GAME.dat"));
  pkgtool_testing::ToolRun run = Verify();
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(": record 2 (DATA\\LEVEL.DAT): the stream "),
            std::string::npos)
      << run.err;
  const std::string dest = dir_.path() + "/dest";
  std::vector<std::string> args = {"extract", Descriptor(), "-d", dest};
  for (int disk = 2; disk <= lastDisk_; ++disk) {
    args.insert(args.end(), {"--disk", Out() + "/disk" + std::to_string(disk)});
  }
  run = RunTool(args);
  EXPECT_EQ(run.code, 1);
  EXPECT_FALSE(FileExistsOnHost(dest + "/DATA/LEVEL.DAT")) << run.err;
  EXPECT_EQ(ReadFile(dest + "/GAME.EXE"),
            ReadFile(dir_.path() + "/src/game.exe"));
}

TEST_F(PkgtoolVerify, WithoutTheChecksumListNoticesMostOneBitFlips) {
  ASSERT_EQ(::unlink((Out() + "/disk1/SHA256SUMS").c_str()), 0);
  std::vector<Bytes> volumes;
  size_t bytes = 0;
  for (int disk = 1; disk <= lastDisk_; ++disk) {
    volumes.push_back(ReadFile(Volume(disk)));
    bytes += volumes.back().size();
  }
  const uint32_t seed = pkgtool_testing::TestSeed();
  std::mt19937 random(seed);
  const int kTries = 400;
  int noticed = 0;
  for (int i = 0; i < kTries; ++i) {
    size_t at = random() % bytes;
    int disk = 0;
    while (at >= volumes[static_cast<size_t>(disk)].size()) {
      at -= volumes[static_cast<size_t>(disk++)].size();
    }
    Bytes flipped = volumes[static_cast<size_t>(disk)];
    flipped[at] ^= static_cast<uint8_t>(1u << (random() % 8));
    WriteFile(Volume(disk + 1), flipped);
    noticed += Verify().code == 1 ? 1 : 0;
    WriteFile(Volume(disk + 1), volumes[static_cast<size_t>(disk)]);
  }
  std::printf("[ MEASURED ] verify noticed %d of %d one-bit flips\n", noticed,
              kTries);
  EXPECT_GE(noticed * 2, kTries);
}

// sizeKb is only what the installer's space check adds up, rounded as the
// maker's tool chose: a size it does not fit is a note in verify and list,
// and extract writes the file all the same.
TEST_F(PkgtoolVerify, ASizeThatDoesNotFitTheRecordsSizeKbIsOnlyANote) {
  ASSERT_EQ(::unlink((Out() + "/disk1/SHA256SUMS").c_str()), 0);
  const size_t at = kHeaderSize + media_.records[0].offset + 4;  // sizeKb
  Bytes original = ReadFile(Descriptor());
  ASSERT_EQ(ReadU16(original.data() + at), 12u);  // 12000 bytes
  // 11 Kb lies within 1 Kb of 12000 bytes; 0, 10 and 13 do not.
  for (uint32_t sizeKb : {0u, 10u, 11u, 13u, 65535u}) {
    SCOPED_TRACE(sizeKb);
    Bytes changed = original;
    pkgtool_testing::PutU16(&changed, at, sizeKb);
    WriteFile(Descriptor(), changed);
    const bool fits = sizeKb == 11;
    const std::string note = "pkgtool: note: " + Descriptor() +
                             ": record 1 (GAME.EXE): the stream yields 12000 "
                             "bytes, its record's sizeKb is " +
                             std::to_string(sizeKb);
    pkgtool_testing::ToolRun run = Verify();
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err.find(note) != std::string::npos, !fits) << run.err;
    run = RunTool({"list", Descriptor()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err.find("record 1 (GAME.EXE): its size prefix states "
                           "12000 bytes, its record's sizeKb is") !=
                  std::string::npos,
              !fits)
        << run.err;
    const std::string dest = dir_.path() + "/dest" + std::to_string(sizeKb);
    run = RunTool({"extract", Descriptor(), "-d", dest});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(ReadFile(dest + "/GAME.EXE"),
              ReadFile(dir_.path() + "/src/game.exe"));
  }
  // Whatever build writes fits.
  for (uint64_t size : {0ull, 1ull, 1024ull, 1025ull, 65534ull * 1024 + 1,
                        65535ull * 1024, 65535ull * 1024 + 1, 0xFFFFFFFFull}) {
    EXPECT_TRUE(SizeMatchesKb(size, SizeKb(size))) << size;
  }
}

// Disk 2 from another build of a product of twelve files: one cause, one
// line that says what it costs, in verify and extract; the records it
// costs only with --verbose; extract writes every file that does not
// touch it.
TEST(PkgtoolVerifyRecords, AVolumeOfAnotherBuildIsOneLineThatSaysWhatItCosts) {
  TempDir dir;
  std::string manifest =
      "[package]\nprogramFile = F0.DAT\ntitle = F\ndiskSize = 20K\n"
      "[files]\n";
  for (int i = 0; i < 12; ++i) {
    manifest +=
        "F" + std::to_string(i) + ".DAT = src/" + std::to_string(i) + "\n";
  }
  const std::string path = WriteManifest(dir, manifest);
  for (const char* out : {"out", "other"}) {
    for (uint32_t i = 0; i < 12; ++i) {
      WriteFile(dir.Make("src/" + std::to_string(i)),
                SampleBytes(3000 + i * 1000, i + (out[1] == 'u' ? 0 : 50)));
    }
    ASSERT_EQ(RunTool({"build", path, "-o", dir.path() + "/" + out}).code, 0);
  }
  const std::string descriptor = dir.path() + "/out/disk1/SETUP.bin";
  WriteFile(dir.path() + "/out/disk2/F0.dat",
            ReadFile(dir.path() + "/other/disk2/F0.dat"));
  ASSERT_EQ(::unlink((dir.path() + "/out/disk1/SHA256SUMS").c_str()), 0);
  Media media;
  std::string error;
  ASSERT_TRUE(LoadMedia(descriptor, &media, &error)) << error;
  std::vector<std::string> touching;
  for (const MediaRecord& record : media.records) {
    for (const ChunkEntry& chunk : record.chunks) {
      if (chunk.disk == 2) {
        touching.push_back(record.name);
        break;
      }
    }
  }
  ASSERT_GE(touching.size(), 2u);
  const std::string line =
      "pkgtool: " + descriptor + ": " + dir.path() +
      "/out/disk2/F0.dat (disk 2): not one of the " +
      std::to_string(touching.size()) +
      " streams that use it decodes soundly, while others do: it is damaged "
      "or from another build (it costs " +
      std::to_string(touching.size()) + " records)\n";
  pkgtool_testing::ToolRun run = RunTool({"verify", descriptor});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, line + "pkgtool: " + descriptor + ": 1 problem\n");
  run = RunTool({"verify", descriptor, "--verbose"});
  EXPECT_EQ(run.err.find(line), 0u) << run.err;
  for (const std::string& name : touching) {
    EXPECT_NE(run.err.find(" (" + name + "): the stream "), std::string::npos)
        << run.err;
  }
  run = RunTool({"extract", descriptor, "-d", dir.path() + "/dest"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, line);
  for (int i = 0; i < 12; ++i) {
    const std::string name = "F" + std::to_string(i) + ".DAT";
    const bool damaged =
        std::find(touching.begin(), touching.end(), name) != touching.end();
    EXPECT_EQ(FileExistsOnHost(dir.path() + "/dest/" + name), !damaged) << name;
  }
}

TEST(PkgtoolVerifyRecords, ReportsAnInstallableRecordWithoutAStream) {
  TempDir dir;
  Bytes stream = EncodeBuffer(reinterpret_cast<const uint8_t*>("hello"), 5);
  RecordSpec withStream;
  withStream.name = "A.TXT";
  withStream.chunks = {{1, 2, static_cast<uint32_t>(stream.size())}};
  RecordSpec plain;
  plain.name = "B.TXT";
  RecordSpec note;
  note.flags = 1;
  note.name = "README.TXT";
  WriteFile(dir.Make("SETUP.bin"),
            MakeDescriptor("", "A.EXE", "A", {withStream, plain, note}));
  WriteFile(dir.Make("A.dat"), MakeVolume(1, stream));
  pkgtool_testing::ToolRun run = RunTool({"verify", dir.path() + "/SETUP.bin"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err,
            "pkgtool: " + dir.path() +
                "/SETUP.bin: record 2 (B.TXT): has no "
                "stream, but the installer would install it (it is not "
                "noInstall)\npkgtool: " +
                dir.path() + "/SETUP.bin: 1 problem\n");
  EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace pkgtool
