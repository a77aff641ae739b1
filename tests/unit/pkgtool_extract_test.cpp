// pkgtool extract: every file back byte for byte, below DEST whatever form
// its name has, volumes found by their disk number in any order; a name with
// a ".." component refused with nothing of it written anywhere; a file
// whose stream fails removed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "common/host_files.h"
#include "foreign_media.h"
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

TEST(PkgtoolExtract, RestoresEveryFileAcrossDisksGivenInAnyOrder) {
  uint32_t seed = pkgtool_testing::TestSeed();
  TempDir dir;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"GAME.EXE", "GAME.EXE"},
      {"DATA\\MAPS\\ONE.MAP", "DATA/MAPS/ONE.MAP"},
      {"\\WINDOWS\\GAME.INI", "WINDOWS/GAME.INI"},
      {"D:\\SYS\\GFX.DLL", "SYS/GFX.DLL"},
      {"EMPTY.DAT", "EMPTY.DAT"},
      {"EXACT.DAT", "EXACT.DAT"}};
  const size_t sizes[] = {20000, 45000, 300, 9000, 0, 32000};
  std::string manifest =
      "[package]\nprogramFile = GAME.EXE\ntitle = G\ndiskSize = 6K\n"
      "[files]\n";
  for (size_t i = 0; i < files.size(); ++i) {
    WriteFile(dir.Make("src/" + std::to_string(i)),
              SampleBytes(sizes[i], seed + static_cast<uint32_t>(i)));
    manifest += files[i].first + " = src/" + std::to_string(i) +
                (i == 3 ? ", shared, version=1.0" : "") + "\n";
  }
  std::string path = WriteManifest(dir, manifest);
  ASSERT_EQ(RunTool({"build", path, "-o", dir.path() + "/out"}).code, 0);
  std::vector<std::string> args = {"extract",
                                   dir.path() + "/out/disk1/SETUP.bin", "-d",
                                   dir.path() + "/dest"};
  std::vector<std::string> disks;
  for (int disk = 2; IsDir(dir.path() + "/out/disk" + std::to_string(disk));
       ++disk) {
    disks.insert(disks.begin(),
                 dir.path() + "/out/disk" + std::to_string(disk));
  }
  ASSERT_GE(disks.size(), 3u);
  for (const std::string& disk : disks) {
    args.push_back("--disk");
    args.push_back(disk);
  }
  pkgtool_testing::ToolRun run = RunTool(args);
  ASSERT_EQ(run.code, 0) << run.err;
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(ReadFile(dir.path() + "/dest/" + files[i].second),
              ReadFile(dir.path() + "/src/" + std::to_string(i)))
        << files[i].first;
  }
  EXPECT_NE(run.out.find("6 files extracted"), std::string::npos) << run.out;
}

// Random and real files on random disk sizes: build, verify and extract
// give every file back, whatever the chunk boundaries.
TEST(PkgtoolExtract, RoundTripsRandomAndRealFilesOnRandomDisks) {
  uint32_t seed = pkgtool_testing::TestSeed();
  std::mt19937 random(seed);
  Bytes real;  // a slice of a real program, when the machine has one
  {
    Bytes program = ReadFile("/usr/bin/cmake");
    if (program.size() > 200000) {
      real.assign(program.begin() + 100000, program.begin() + 160000);
    }
  }
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TempDir dir;
    // Disk 1 must hold the checksum list of up to some 35 disks.
    unsigned diskSize = 12 * 1024 + random() % 20000;
    std::string manifest =
        "[package]\nprogramFile = R.EXE\ntitle = R\n"
        "diskSize = " +
        std::to_string(diskSize) + "\n[files]\n";
    int count = 1 + static_cast<int>(random() % 6);
    std::vector<Bytes> contents;
    for (int i = 0; i < count; ++i) {
      Bytes data;
      switch (random() % 4) {
        case 0: {
          size_t size = random() % 40000;
          data = SampleBytes(size, random());
          break;
        }
        case 1:
          data.resize(random() % 20000);
          for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
          break;
        case 2:
          data.assign(random() % 70000, static_cast<uint8_t>(random()));
          break;
        default:
          data = real.empty() ? SampleBytes(30000, random()) : real;
          break;
      }
      contents.push_back(data);
      WriteFile(dir.Make("src/" + std::to_string(i)), data);
      manifest +=
          "F" + std::to_string(i) + ".DAT = src/" + std::to_string(i) + "\n";
    }
    std::string path = WriteManifest(dir, manifest);
    pkgtool_testing::ToolRun run =
        RunTool({"build", path, "-o", dir.path() + "/out"});
    ASSERT_EQ(run.code, 0) << run.err;
    // The later disks, copied under names of their own, are found beside
    // disk 1 without being named.
    for (int disk = 2; IsDir(dir.path() + "/out/disk" + std::to_string(disk));
         ++disk) {
      ASSERT_EQ(
          std::rename((dir.path() + "/out/disk" + std::to_string(disk)).c_str(),
                      (dir.path() + "/out/floppy " + std::to_string(100 - disk))
                          .c_str()),
          0);
    }
    std::string descriptor = dir.path() + "/out/disk1/SETUP.bin";
    run = RunTool({"verify", descriptor});
    ASSERT_EQ(run.code, 0) << run.err;
    run = RunTool({"extract", descriptor, "-d", dir.path() + "/dest"});
    ASSERT_EQ(run.code, 0) << run.err;
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(ReadFile(dir.path() + "/dest/F" + std::to_string(i) + ".DAT"),
                contents[static_cast<size_t>(i)])
          << "file " << i << ", disk size " << diskSize;
    }
  }
}

// Media another tool wrote from the format alone: chunks in any order with
// gaps, sizeKb 0 or rounded down, either terminator, no SHA256SUMS, the
// noInstall copy on disk 1. list, verify and extract take them whole.
TEST(PkgtoolExtract, TakesMediaOfAnotherWriterWhole) {
  const uint32_t seed = pkgtool_testing::TestSeed();
  std::mt19937 random(seed);
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TempDir dir;
    std::vector<foreign_media::File> files;
    const int count = 3 + static_cast<int>(random() % 8);
    for (int i = 0; i < count; ++i) {
      foreign_media::File file;
      file.name = (i % 3 == 1 ? "DATA\\F" : "F") + std::to_string(i) + ".BIN";
      file.data = SampleBytes(random() % 30000, random());
      file.sizeKb =
          i % 2 == 0 ? 0 : static_cast<uint16_t>(file.data.size() / 1024);
      if (i == 2) file.flags = 2, file.versionMs = 0x10002;
      files.push_back(file);
    }
    files.push_back({"README.TXT", 1, 0, SampleBytes(900, random()), 0, 0});
    const int disks = 1 + static_cast<int>(random() % 3);
    const std::string descriptor = foreign_media::Write(
        dir.path() + "/m", "F.EXE", "F.dat", files, disks, random());
    pkgtool_testing::ToolRun run = RunTool({"list", descriptor});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("Total: " + std::to_string(count + 1) + " files"),
              std::string::npos)
        << run.out;
    run = RunTool({"verify", descriptor});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("every stream ended at its chunks' end; disk 1 "
                           "has no SHA256SUMS"),
              std::string::npos)
        << run.out;
    run = RunTool({"extract", descriptor, "-d", dir.path() + "/dest"});
    EXPECT_EQ(run.code, 0) << run.err;
    for (const foreign_media::File& file : files) {
      std::string name = file.name;
      std::replace(name.begin(), name.end(), '\\', '/');
      EXPECT_EQ(ReadFile(dir.path() + "/dest/" + name), file.data) << name;
    }
  }
}

// Media of three files on two disks, for choosing and overwriting.
class PkgtoolExtractChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_.Make("src/game"), SampleBytes(30000, 1));
    WriteFile(dir_.Make("src/a"), SampleBytes(3000, 2));
    WriteFile(dir_.Make("src/b"), SampleBytes(5000, 3));
    WriteFile(dir_.Make("src/readme"), SampleBytes(700, 4));
    std::string manifest = WriteManifest(
        dir_,
        "[package]\nprogramFile=GAME.EXE\ntitle=G\ndiskSize=6K\n[files]\n"
        "GAME.EXE=src/game\nDATA\\MAPS\\A.MAP=src/a\nDATA\\B.MAP=src/b\n"
        "README.TXT=src/readme, noInstall\n");
    ASSERT_EQ(RunTool({"build", manifest, "-o", dir_.path() + "/out"}).code, 0);
  }
  pkgtool_testing::ToolRun Extract(std::vector<std::string> more) {
    std::vector<std::string> args = {"extract", Descriptor()};
    args.insert(args.end(), more.begin(), more.end());
    return RunTool(args);
  }
  std::string Descriptor() const {
    return dir_.path() + "/out/disk1/SETUP.bin";
  }
  std::string Dest() const { return dir_.path() + "/dest"; }
  Bytes Source(const std::string& name) const {
    return ReadFile(dir_.path() + "/src/" + name);
  }
  TempDir dir_;
};

TEST_F(PkgtoolExtractChoice, PatternsAndStandardOutputTakeTheChosenFiles) {
  // '*' crosses the backslash, and case does not count.
  pkgtool_testing::ToolRun run = Extract({"-d", Dest(), "data\\*.map"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(Dest() + "/DATA/MAPS/A.MAP"), Source("a"));
  EXPECT_EQ(ReadFile(Dest() + "/DATA/B.MAP"), Source("b"));
  EXPECT_FALSE(FileExistsOnHost(Dest() + "/GAME.EXE"));
  // A pattern that matches nothing stops the run before anything is done.
  run = Extract({"-d", Dest(), "GAME.EXE", "*.DLL"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pkgtool: pattern \"*.DLL\" matches no file\n");
  EXPECT_FALSE(FileExistsOnHost(Dest() + "/GAME.EXE"));
  // -p: the bytes alone on stdout, in table order.
  run = Extract({"-p", "?ATA\\B.MAP", "game.exe"});
  ASSERT_EQ(run.code, 0) << run.err;
  Bytes both = Source("game");
  Bytes b = Source("b");
  both.insert(both.end(), b.begin(), b.end());
  EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), both);
  EXPECT_NE(run.err.find("2 files written to standard output"),
            std::string::npos);
  // A noInstall file comes from its plain copy on disk 1.
  run = Extract({"-p", "readme.txt"});
  EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), Source("readme"));
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"-d", "-"},
        {"-p", "-d", Dest()},
        {"-d", Dest(), "-f", "-k"},
        {"-d"}}) {
    EXPECT_EQ(Extract(wrong).code, 2) << wrong.size();
  }
}

TEST_F(PkgtoolExtractChoice, OverwritesNothingBySurprise) {
  ASSERT_EQ(Extract({"-d", Dest(), "DATA\\*"}).code, 0);
  const Bytes edited = {'m', 'i', 'n', 'e'};
  WriteFile(Dest() + "/DATA/B.MAP", edited);
  // Identical files are fine, another content stops everything.
  pkgtool_testing::ToolRun run = Extract({"-d", Dest()});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(Dest() + "/DATA/B.MAP: exists with other content\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("A.MAP"), std::string::npos) << run.err;
  EXPECT_FALSE(FileExistsOnHost(Dest() + "/GAME.EXE"));
  run = Extract({"-d", Dest(), "--skip-existing"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(Dest() + "/DATA/B.MAP"), edited);
  EXPECT_EQ(ReadFile(Dest() + "/GAME.EXE"), Source("game"));
  EXPECT_NE(run.out.find("2 files extracted"), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(Dest() + "/README.TXT"), Source("readme"));
  run = Extract({"-d", Dest(), "--force"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(Dest() + "/DATA/B.MAP"), Source("b"));
  EXPECT_EQ(Listing(Dest() + "/DATA"),
            (std::vector<std::string>{"B.MAP", "MAPS"}));
}

TEST_F(PkgtoolExtractChoice, KeepsTheHabitsOfCabextract) {
  // Without -d, into the current directory; -v names each file written.
  ASSERT_TRUE(MakeDirectories(Dest()));
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(Dest().c_str()), 0);
  struct Back {
    const char* to;
    ~Back() { EXPECT_EQ(chdir(to), 0); }
  } back{previous};
  pkgtool_testing::ToolRun run = Extract({"-v"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "./GAME.EXE\n./DATA/MAPS/A.MAP\n./DATA/B.MAP\n./README.TXT\n" +
                Descriptor() + ": 4 files extracted into . (38700 bytes)\n");
  EXPECT_EQ(ReadFile(Dest() + "/DATA/MAPS/A.MAP"), Source("a"));
  // Still nothing overwritten by surprise, and nothing named.
  WriteFile(Dest() + "/GAME.EXE", std::string("mine"));
  run = Extract({"-v"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  // -l is list, -t is verify.
  EXPECT_EQ(Extract({"-l"}).out, RunTool({"list", Descriptor()}).out);
  run = Extract({"--test"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, RunTool({"verify", Descriptor()}).out);
  EXPECT_NE(run.out.find(": OK: 4 records"), std::string::npos) << run.out;
}

TEST_F(PkgtoolExtractChoice, AMissingDiskIsOneLineAndTheRestIsExtracted) {
  ASSERT_EQ(std::rename((dir_.path() + "/out/disk2").c_str(),
                        (dir_.path() + "/away").c_str()),
            0);
  pkgtool_testing::ToolRun run = Extract({"-d", Dest()});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err.find("missing disk 2 of"), run.err.rfind("missing disk"))
      << run.err;
  EXPECT_NE(run.err.find("(GAME.dat), which 3 records need; give its "
                         "directory with --disk\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find(" on missing disks"), std::string::npos) << run.out;
  // With its directory given, the rest follows.
  run = Extract({"-d", Dest(), "--disk", dir_.path() + "/away"});
  EXPECT_EQ(run.code, 0) << run.err;
}

TEST(PkgtoolExtract, PutsANameIntoAnExistingDirectoryOfAnotherCase) {
  TempDir dir;
  WriteFile(dir.Make("src/a"), SampleBytes(100, 1));
  std::string manifest = WriteManifest(
      dir,
      "[package]\nprogramFile=A.EXE\ntitle=A\n[files]\nDATA\\A.DAT=src/a\n");
  ASSERT_EQ(RunTool({"build", manifest, "-o", dir.path() + "/out"}).code, 0);
  ASSERT_TRUE(MakeDirectories(dir.path() + "/dest/data"));
  ASSERT_EQ(RunTool({"extract", dir.path() + "/out/disk1/SETUP.bin", "-d",
                     dir.path() + "/dest"})
                .code,
            0);
  EXPECT_TRUE(FileExistsOnHost(dir.path() + "/dest/data/A.DAT"));
  EXPECT_FALSE(IsDir(dir.path() + "/dest/DATA"));
}

// A medium of two records sharing one stream: a harmless name, then the
// name under test.
class PkgtoolExtractDotDot : public ::testing::TestWithParam<const char*> {};

TEST_P(PkgtoolExtractDotDot, RefusesTheRecordAndWritesNothingOfIt) {
  TempDir dir;
  const std::string content = "payload of the record";
  Bytes stream = EncodeBuffer(reinterpret_cast<const uint8_t*>(content.data()),
                              content.size());
  RecordSpec good;
  good.name = "GOOD.TXT";
  good.chunks = {{1, 2, static_cast<uint32_t>(stream.size())}};
  RecordSpec bad = good;
  bad.name = GetParam();
  std::string media = dir.path() + "/media/deep/er";
  WriteFile(media + "/SETUP.bin",
            MakeDescriptor("", "A.EXE", "A", {good, bad}));
  WriteFile(media + "/A.dat", MakeVolume(1, stream));
  std::string dest = media + "/dest";
  pkgtool_testing::ToolRun run =
      RunTool({"extract", media + "/SETUP.bin", "-d", dest});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pkgtool: " + media + "/SETUP.bin: record 2 (" +
                         GetParam() +
                         "): refused: the name has a '..' component; nothing "
                         "written\n");
  EXPECT_NE(run.out.find("1 file extracted"), std::string::npos);
  EXPECT_NE(run.out.find("1 failed"), std::string::npos);
  // Only the good record landed, and nothing appeared anywhere else.
  std::vector<std::string> everything;
  std::vector<std::string> pending = {dir.path()};
  while (!pending.empty()) {
    std::string current = pending.back();
    pending.pop_back();
    for (const std::string& name : Listing(current)) {
      std::string path = current + "/" + name;
      if (IsDir(path)) {
        pending.push_back(path);
      } else {
        everything.push_back(path.substr(dir.path().size() + 1));
      }
    }
  }
  std::sort(everything.begin(), everything.end());
  EXPECT_EQ(everything, (std::vector<std::string>{
                            "media/deep/er/A.dat", "media/deep/er/SETUP.bin",
                            "media/deep/er/dest/GOOD.TXT"}));
}

INSTANTIATE_TEST_SUITE_P(Names, PkgtoolExtractDotDot,
                         ::testing::Values("x\\..\\y", "..\\evil", "..",
                                           "\\..\\..\\evil", "C:\\..\\evil",
                                           "C:..\\evil", "a/../../../evil",
                                           "DATA\\..\\..\\..\\..\\evil",
                                           "DATA\\.."));

TEST(PkgtoolExtractDotDotLookalikes, AreOrdinaryNames) {
  TempDir dir;
  const std::string content = "lookalike";
  Bytes stream = EncodeBuffer(reinterpret_cast<const uint8_t*>(content.data()),
                              content.size());
  std::vector<RecordSpec> records;
  for (const char* name : {"a..b", "...", "..x\\y..", "C:\\.\\z"}) {
    RecordSpec record;
    record.name = name;
    record.chunks = {{1, 2, static_cast<uint32_t>(stream.size())}};
    records.push_back(record);
  }
  WriteFile(dir.Make("SETUP.bin"), MakeDescriptor("", "A.EXE", "A", records));
  WriteFile(dir.Make("A.dat"), MakeVolume(1, stream));
  pkgtool_testing::ToolRun run =
      RunTool({"extract", dir.path() + "/SETUP.bin", "-d", dir.path() + "/d"});
  ASSERT_EQ(run.code, 0) << run.err;
  for (const char* path : {"a..b", "...", "..x/y..", "z"}) {
    EXPECT_EQ(ReadFile(dir.path() + "/d/" + path),
              Bytes(content.begin(), content.end()))
        << path;
  }
}

TEST(PkgtoolExtractFailures, RemovesAFileWhoseStreamFails) {
  TempDir dir;
  std::mt19937 random(5);
  Bytes data(50000);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
  Bytes stream = EncodeBuffer(data.data(), data.size());
  ASSERT_GT(stream.size(), 40000u);
  RecordSpec record;
  record.name = "BIG.DAT";
  record.chunks = {{1, 2, static_cast<uint32_t>(stream.size())}};
  WriteFile(dir.Make("SETUP.bin"), MakeDescriptor("", "A.EXE", "A", {record}));
  // The volume ends 32000 bytes into the chunk: the reader finds nothing
  // where the chunk still has bytes.
  Bytes shortStream(stream.begin(), stream.begin() + 32000);
  WriteFile(dir.Make("A.dat"), MakeVolume(1, shortStream));
  std::string dest = dir.path() + "/d";
  pkgtool_testing::ToolRun run =
      RunTool({"extract", dir.path() + "/SETUP.bin", "-d", dest});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(
      run.err.find("record 1 (BIG.DAT): chunk 1 (disk 1, offset 2, "
                   "length " +
                   std::to_string(stream.size()) + ") lies outside its volume"),
      std::string::npos)
      << run.err;
  EXPECT_FALSE(FileExistsOnHost(dest + "/BIG.DAT"));
}

TEST(PkgtoolExtractFailures, RemovesAFileWhoseWriteFails) {
  TempDir dir;
  Bytes data = SampleBytes(70000, 6);
  Bytes stream = EncodeBuffer(data.data(), data.size());
  RecordSpec record;
  record.name = "BIG.DAT";
  record.chunks = {{1, 2, static_cast<uint32_t>(stream.size())}};
  WriteFile(dir.Make("SETUP.bin"), MakeDescriptor("", "A.EXE", "A", {record}));
  WriteFile(dir.Make("A.dat"), MakeVolume(1, stream));
  host::InjectFault(host::Fault::kShortWrite, 2);
  std::string dest = dir.path() + "/d";
  pkgtool_testing::ToolRun run =
      RunTool({"extract", dir.path() + "/SETUP.bin", "-d", dest});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("record 1 (BIG.DAT): " + dest +
                         "/BIG.DAT: disk full (nothing written)"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(FileExistsOnHost(dest + "/BIG.DAT"));
}

// Media of a small file on disk 1 and a large one that spans the later
// disks.
std::string BuildTwoFiles(const TempDir& dir) {
  WriteFile(dir.Make("src/first"), SampleBytes(3000, 1));
  Bytes big(300000);
  std::mt19937 random(2);
  for (uint8_t& byte : big) byte = static_cast<uint8_t>(random() % 16);
  WriteFile(dir.Make("src/big"), big);
  std::string manifest = WriteManifest(
      dir,
      "[package]\nprogramFile=A.EXE\ntitle=A\ndiskSize=64K\n[files]\n"
      "FIRST.DAT=src/first\nBIG.DAT=src/big\n");
  EXPECT_EQ(RunTool({"build", manifest, "-o", dir.path() + "/out"}).code, 0);
  return dir.path() + "/out/disk1/SETUP.bin";
}

std::vector<std::string> ExtractArgs(const TempDir& dir) {
  std::vector<std::string> args = {"extract",
                                   dir.path() + "/out/disk1/SETUP.bin", "-d",
                                   dir.path() + "/dest"};
  for (int disk = 2; IsDir(dir.path() + "/out/disk" + std::to_string(disk));
       ++disk) {
    args.push_back("--disk");
    args.push_back(dir.path() + "/out/disk" + std::to_string(disk));
  }
  return args;
}

TEST(PkgtoolExtractFailures, RemovesTheFileBeingWrittenWhenInterrupted) {
  TempDir dir;
  BuildTwoFiles(dir);
  for (int signal : {SIGINT, SIGTERM}) {
    int status = pkgtool_testing::RunToolInChild(ExtractArgs(dir), nullptr,
                                                 "BIG.DAT", signal);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(ReadFile(dir.path() + "/dest/FIRST.DAT"),
              ReadFile(dir.path() + "/src/first"));
    EXPECT_FALSE(FileExistsOnHost(dir.path() + "/dest/BIG.DAT"));
  }
}

// A damaged volume: without --salvage nothing of the file is written; with
// it, the file is written as far as it decodes, under its own name, and
// listed as damaged; so is one that needs a missing disk. Every sound file
// is written whole and the exit status still says the media are damaged.
TEST(PkgtoolExtractFailures, SalvageWritesWhatADamagedStreamDecodesTo) {
  TempDir dir;
  BuildTwoFiles(dir);
  ASSERT_TRUE(IsDir(dir.path() + "/out/disk3"));
  const std::string dest = dir.path() + "/dest/";
  const std::string volume = dir.path() + "/out/disk2/A.dat";
  const Bytes big = ReadFile(dir.path() + "/src/big");
  uint64_t size = 0;
  ASSERT_TRUE(SizeOf(volume, &size));
  ASSERT_EQ(::truncate(volume.c_str(), static_cast<off_t>(size / 2)), 0);
  for (const char* place : {"truncated", "missing"}) {
    SCOPED_TRACE(place);
    if (std::string(place) == "missing") {
      ASSERT_EQ(::unlink(volume.c_str()), 0);
    }
    std::vector<std::string> args = ExtractArgs(dir);
    pkgtool_testing::ToolRun run = RunTool(args);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(ReadFile(dest + "FIRST.DAT"),
              ReadFile(dir.path() + "/src/first"));
    EXPECT_FALSE(FileExistsOnHost(dest + "BIG.DAT"));
    args.push_back("--salvage");
    run = RunTool(args);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("record 2 (BIG.DAT): damaged, written as far as it "
                           "decodes: " +
                           dest + "BIG.DAT\n"),
              std::string::npos)
        << run.err;
    const Bytes part = ReadFile(dest + "BIG.DAT");
    EXPECT_GT(part.size(), 0u);
    EXPECT_LT(part.size(), big.size());
    // What it decoded before the damage is the file's beginning.
    const size_t sound = std::min<size_t>(part.size(), 60000);
    EXPECT_TRUE(std::equal(
        part.begin(), part.begin() + static_cast<long>(sound), big.begin()));
    EXPECT_NE(run.out.find(", 1 in part"), std::string::npos) << run.out;
    ASSERT_EQ(::unlink((dest + "BIG.DAT").c_str()), 0);
  }
}

TEST(PkgtoolExtractFailures, TakesNothingFromAFileThatFailsItsChecksum) {
  TempDir dir;
  const std::string descriptor = BuildTwoFiles(dir);
  const std::string list = dir.path() + "/out/disk1/SHA256SUMS";
  const std::string dest = dir.path() + "/dest/";
  // A later disk's volume changed: the big file is not written.
  const std::string volume = dir.path() + "/out/disk2/A.dat";
  Bytes original = ReadFile(volume);
  Bytes changed = original;
  changed[5000] ^= 1;
  WriteFile(volume, changed);
  pkgtool_testing::ToolRun run = RunTool(ExtractArgs(dir));
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("pkgtool: " + descriptor + ": " + volume +
                         ": SHA-256 differs from " + list),
            std::string::npos)
      << run.err;
  // One line for the volume, saying what it costs; the file itself only
  // with --verbose.
  EXPECT_NE(run.err.find(" (it costs 1 record)\n"), std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("record 2 (BIG.DAT)"), std::string::npos) << run.err;
  std::vector<std::string> verbose = ExtractArgs(dir);
  verbose.push_back("-v");
  run = RunTool(verbose);
  EXPECT_NE(run.err.find(descriptor +
                         ": record 2 (BIG.DAT): uses disk 2, whose volume "
                         "fails its SHA-256 check\n"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(FileExistsOnHost(dest + "FIRST.DAT"));
  EXPECT_FALSE(FileExistsOnHost(dest + "BIG.DAT"));
  WriteFile(volume, original);
  // The descriptor changed: nothing is written.
  Bytes media = ReadFile(descriptor);
  Bytes record = media;
  record[kHeaderSize + 4] = 1;  // FIRST.DAT's sizeKb
  WriteFile(descriptor, record);
  ASSERT_EQ(::unlink((dest + "FIRST.DAT").c_str()), 0);
  run = RunTool(ExtractArgs(dir));
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(descriptor + ": SHA-256 differs from " + list),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(FileExistsOnHost(dest + "FIRST.DAT"));
  // Without the list, a sizeKb that does not fit the file is no reason to
  // refuse it: the installer only adds sizeKb up.
  ASSERT_EQ(::unlink(list.c_str()), 0);
  run = RunTool(ExtractArgs(dir));
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(dest + "FIRST.DAT"), ReadFile(dir.path() + "/src/first"));
  EXPECT_EQ(ReadFile(dest + "BIG.DAT"), ReadFile(dir.path() + "/src/big"));
}

}  // namespace
}  // namespace pkgtool
