// pkgtool list: the header as the installer sees it and a row per record;
// damaged descriptors are refused with the record and the numbers at fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/host_files.h"
#include "pkgtool_testing.h"
#include "read/media.h"
#include "read/selection.h"
#include "stream/encoder.h"

namespace pkgtool {
namespace {

using pkgtool_testing::IsDir;
using pkgtool_testing::IsImage;
using pkgtool_testing::Listing;
using pkgtool_testing::RunTool;
using pkgtool_testing::SizeOf;

// The output with every run of spaces made one, for comparing rows.
std::string Squeezed(const std::string& text) {
  std::string squeezed;
  for (char c : text) {
    if (c == ' ' && !squeezed.empty() && squeezed.back() == ' ') continue;
    squeezed.push_back(c);
  }
  return squeezed;
}

std::vector<RecordSpec> SampleRecords() {
  RecordSpec exe;
  exe.sizeKb = 12;
  exe.name = "QUEST.EXE";
  exe.chunks = {{1, 2, 100}};
  RecordSpec dll;
  dll.flags = 2;
  dll.sizeKb = 3;
  dll.name = "\\WINDOWS\\SYSTEM\\GFX.DLL";
  dll.versionMs = 0x00010002;
  dll.versionLs = 0x00030004;
  dll.chunks = {{1, 102, 50}, {2, 2, 60}};
  RecordSpec readme;
  readme.flags = 1;
  readme.sizeKb = 1;
  readme.name = "README.TXT";
  readme.extraBytes = 1000;  // the table passes 1 Kb
  RecordSpec odd;
  odd.flags = 0x000D;  // noInstall, shared (bit 2) and bit 3
  odd.sizeKb = 65535;
  odd.name = "C:\\ODD.DAT";
  odd.versionMs = 0xFFFF0000;
  odd.chunks = {{3, 7, 1}};
  odd.shortTerminator = false;
  return {exe, dll, readme, odd};
}

TEST(PkgtoolList, ShowsTheHeaderAndOneRowPerRecord) {
  TempDir dir;
  Bytes descriptor =
      MakeDescriptor("xxxx", "QUEST.EXE", "Quest of Old", SampleRecords());
  size_t tableSize = descriptor.size() - kHeaderSize;
  ASSERT_GE(tableSize, 1024u);
  ASSERT_LT(tableSize, 2048u);
  // Alone in a directory of its own: no volume is found for it.
  WriteFile(dir.Make("media/SETUP.bin"), descriptor);
  pkgtool_testing::ToolRun run =
      RunTool({"list", dir.path() + "/media/SETUP.bin", "--chunks"});
  ASSERT_EQ(run.code, 0) << run.err;
  std::string out = Squeezed(run.out);
  EXPECT_NE(out.find("Kind: game\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Program file: QUEST.EXE\n"), std::string::npos);
  EXPECT_NE(out.find("Title: Quest of Old\n"), std::string::npos);
  EXPECT_NE(out.find("Records: 4\n"), std::string::npos);
  // 1 Kb of table, then 12 + 3 + 1 + 65535: noInstall sizes count too.
  EXPECT_NE(out.find("RequiredKb: 65552\n"), std::string::npos);
  EXPECT_NE(out.find("Data volume: QUEST.dat\n"), std::string::npos);
  EXPECT_NE(out.find("Disks: 3 (volumes found: none; missing: 1-3)\n"),
            std::string::npos);
  EXPECT_NE(out.find("\n1 ? 100 1 ordinary - QUEST.EXE\n"), std::string::npos);
  EXPECT_NE(out.find("\n2 ? 110 1-2 shared 1.2.3.4 \\WINDOWS\\SYSTEM\\GFX.DLL\n"
                     " chunks 1:102+50 2:2+60\n"),
            std::string::npos);
  EXPECT_NE(out.find("\n3 - 0 - noInstall - README.TXT\n chunks -\n"),
            std::string::npos);
  EXPECT_NE(out.find("\n4 ? 1 3 shared,noInstall,bits 0x8 65535.0.0.0 "
                     "C:\\ODD.DAT\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\nTotal: 4 files, 0 bytes and 3 of unknown size, 211 "
                     "stored\n"),
            std::string::npos);
}

TEST(PkgtoolList, ShowsAControlPanelPackage) {
  TempDir dir;
  WriteFile(dir.Make("SETUP.bin"),
            MakeDescriptor("INSV", "X.CPL", "X", SampleRecords()));
  pkgtool_testing::ToolRun run = RunTool({"list", dir.path() + "/SETUP.bin"});
  ASSERT_EQ(run.code, 0);
  EXPECT_NE(Squeezed(run.out).find("Kind: controlpanel\n"), std::string::npos);
  EXPECT_NE(Squeezed(run.out).find("Data volume: X.dat\n"), std::string::npos);
}

struct DamagedCase {
  const char* what;
  int cutFromEnd;        // bytes removed from the end of the descriptor
  uint16_t recordCount;  // 0: as built
  const char* expected;  // after "<path> is not a package descriptor: "
  size_t at = 0;         // with a byte, that byte from the end is changed
  uint8_t byte = 0;
};

class PkgtoolListDamaged : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(PkgtoolListDamaged, IsRefusedNamingTheFaultAndItsNumbers) {
  TempDir dir;
  RecordSpec a;
  a.name = "A";
  a.chunks = {{1, 2, 10}};
  RecordSpec b;
  b.name = "BB";
  b.chunks = {{1, 12, 10}, {2, 2, 5}};
  Bytes descriptor = MakeDescriptor("", "A.EXE", "A", {a, b});
  // The table: A takes 21 bytes, BB 32.
  descriptor.resize(descriptor.size() - GetParam().cutFromEnd);
  if (GetParam().at != 0) {
    descriptor[GetParam().at < kHeaderSize
                   ? GetParam().at
                   : descriptor.size() - (GetParam().at - kHeaderSize)] =
        GetParam().byte;
  }
  if (GetParam().recordCount != 0) {
    descriptor[kRecordCountOffset] =
        static_cast<uint8_t>(GetParam().recordCount);
  }
  std::string path = dir.Make("SETUP.bin");
  WriteFile(path, descriptor);
  pkgtool_testing::ToolRun run = RunTool({"list", path});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pkgtool: " + path + " is not a package descriptor: " +
                         GetParam().expected + "\n");
  EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, PkgtoolListDamaged,
    ::testing::Values(
        DamagedCase{"record 2 cut short", 4, 0,
                    "record 2 (at table offset 21) overruns the table "
                    "(offset 21 + 32 > 49)"},
        DamagedCase{"one record too many", 0, 3,
                    "record 3 (at table offset 53) lies past the end of the "
                    "table (53 bytes; recordCount 3)"},
        // "at" counts from the end past the header's size: the terminator
        // of BB's chunk list, its last two bytes, says disk 1.
        DamagedCase{"chunk list without a terminator", 0, 0,
                    "record 2 (at table offset 21) (BB) has a chunk list that "
                    "runs past its recordSize 32 (entry at 30)",
                    kHeaderSize + 2, 1},
        DamagedCase{"control character in programFile", 0, 0,
                    "its programFile holds the control character 0xD (byte "
                    "2)",
                    kProgramFileOffset + 1, '\r'},
        DamagedCase{"control character in the title", 0, 0,
                    "its productTitle holds the control character 0x7F "
                    "(byte 1)",
                    kProductTitleOffset, 0x7F}));

TEST(PkgtoolList, RefusesFilesTooShortForAHeaderOrATable) {
  TempDir dir;
  std::string path = dir.Make("SETUP.bin");
  WriteFile(path, Bytes(345, 0));
  pkgtool_testing::ToolRun run = RunTool({"list", path});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pkgtool: " + path +
                         " is not a package descriptor: 345 bytes, shorter "
                         "than the 346-byte header\n");
  WriteFile(path, Bytes(346, 0));
  run = RunTool({"list", path});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("the record table is empty"), std::string::npos);
  run = RunTool({"list", dir.path() + "/NONE.bin"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("NONE.bin: cannot read the descriptor"),
            std::string::npos);
}

TEST(PkgtoolList, RefusesAProgramFileThatLeavesNoRoomForTheVolumeName) {
  TempDir dir;
  RecordSpec a;
  a.name = "A";
  std::string path = dir.Make("SETUP.bin");
  WriteFile(path, MakeDescriptor("", std::string(257, 'p'), "A", {a}));
  pkgtool_testing::ToolRun run = RunTool({"list", path});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(path + ": programFile pppppppppppppppp... (257 "
                                "bytes) leaves no room for the data "
                                "volume's name"),
            std::string::npos)
      << run.err;
}

TEST(PkgtoolList, RefusesAnUnterminatedTitle) {
  TempDir dir;
  RecordSpec a;
  a.name = "A";
  Bytes descriptor = MakeDescriptor("", "A.EXE", std::string(80, 't'), {a});
  std::string path = dir.Make("SETUP.bin");
  WriteFile(path, descriptor);
  pkgtool_testing::ToolRun run = RunTool({"list", path});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pkgtool: " + path +
                         " is not a package descriptor: its productTitle is "
                         "not terminated inside its 80 bytes\n");
}

// A picture or a data volume given as the descriptor is one line in every
// reading command, whatever its first four bytes (any magic is legal).
TEST(PkgtoolList, AFileThatIsNoDescriptorIsOneLineInEveryCommand) {
  TempDir dir;
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
               0,    0,   0,   13,  'I',  'H',  'D',  'R'};
  png.resize(2000, 0);
  Bytes volume = MakeVolume(1, EncodeBuffer(png.data(), png.size()));
  volume.resize(4000, 0x5A);
  const std::vector<std::pair<Bytes, std::string>> files = {
      {png, "its programFile holds the control character 0xD (byte 1)"},
      {volume, "its programFile is empty\n"}};
  for (const auto& file : files) {
    const std::string path = dir.Make("SETUP.bin");
    WriteFile(path, file.first);
    for (const char* command : {"list", "verify", "extract"}) {
      SCOPED_TRACE(command);
      pkgtool_testing::ToolRun run =
          RunTool({command, path, "-d", dir.path() + "/dest"});
      if (std::string(command) != "extract") {
        run = RunTool({command, path});
      }
      EXPECT_EQ(run.code, 1);
      EXPECT_EQ(
          run.err.rfind("pkgtool: " + path +
                            " is not a package descriptor: " + file.second,
                        0),
          0u)
          << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
      EXPECT_EQ(run.out, "");
    }
  }
  EXPECT_FALSE(IsDir(dir.path() + "/dest"));
}

// Runs python3 on the JSON text: a line per object of the array, its
// fields joined by '|' ("" when the text is no JSON array).
std::string JsonFields(const TempDir& dir, const std::string& json) {
  std::string path = dir.Make("list.json");
  WriteFile(path, json);
  std::string command =
      "python3 -c 'import json, sys\n"
      "for r in json.load(open(sys.argv[1])):\n"
      "  print(r[\"name\"], r[\"size\"], r[\"stored\"], r[\"disks\"], "
      "r[\"flags\"], r[\"version\"], r[\"sizeKb\"], len(r[\"chunks\"]), "
      "sep=\"|\")' " +
      path + " 2>/dev/null";
  std::FILE* pipe = popen(command.c_str(), "r");
  std::string fields;
  char buffer[256];
  size_t count = 0;
  while (pipe != nullptr &&
         (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    fields.append(buffer, count);
  }
  if (pipe != nullptr) pclose(pipe);
  return fields;
}

// Media built on 2K disks: three files spread over several disks, one of
// them with a long name.
class PkgtoolListMedia : public ::testing::Test {
 protected:
  static constexpr const char* kLongName =
      "DATA\\MUSIC\\ORCHESTRAL_ARRANGEMENTS\\SECOND_ACT\\THEME_OF_THE_NORTH."
      "MID";

  void SetUp() override {
    WriteFile(dir_.Make("src/game.exe"),
              pkgtool_testing::SampleBytes(12000, 1));
    WriteFile(dir_.Make("src/level.dat"),
              pkgtool_testing::SampleBytes(9000, 2));
    WriteFile(dir_.Make("src/theme.mid"),
              pkgtool_testing::SampleBytes(3000, 3));
    std::string manifest = pkgtool_testing::WriteManifest(
        dir_, std::string("[package]\nprogramFile = GAME.EXE\ntitle = Game\n"
                          "diskSize = 2K\n[files]\nGAME.EXE = src/game.exe\n"
                          "DATA\\LEVEL.DAT = src/level.dat\n") +
                  kLongName + " = src/theme.mid\n");
    pkgtool_testing::ToolRun run =
        RunTool({"build", manifest, "-o", dir_.path() + "/out"});
    ASSERT_EQ(run.code, 0) << run.err;
    std::string error;
    ASSERT_TRUE(LoadMedia(Descriptor(), &media_, &error)) << error;
    ASSERT_EQ(media_.records.size(), 3u);
    ASSERT_GT(media_.records[0].chunks.back().disk, 1);
  }

  std::string Descriptor() const {
    return dir_.path() + "/out/disk1/SETUP.bin";
  }
  uint64_t Stored(size_t index) const {
    uint64_t stored = 0;
    for (const ChunkEntry& chunk : media_.records[index].chunks) {
      stored += chunk.length;
    }
    return stored;
  }
  std::string Disks(size_t index) const {
    const std::vector<ChunkEntry>& chunks = media_.records[index].chunks;
    int first = chunks.front().disk, last = chunks.back().disk;
    return std::to_string(first) +
           (last > first ? "-" + std::to_string(last) : "");
  }

  TempDir dir_;
  Media media_;
};

TEST_F(PkgtoolListMedia, ShowsEachFilesExactSizeAndTheTotals) {
  pkgtool_testing::ToolRun run = RunTool({"list", Descriptor()});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::string out = Squeezed(run.out);
  const uint64_t sizes[] = {12000, 9000, 3000};
  const char* names[] = {"GAME.EXE", "DATA\\LEVEL.DAT", kLongName};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_NE(
        out.find("\n" + std::to_string(i + 1) + " " + std::to_string(sizes[i]) +
                 " " + std::to_string(Stored(i)) + " " + Disks(i) +
                 " ordinary - " + names[i] + "\n"),
        std::string::npos)
        << out;
  }
  uint64_t stored = Stored(0) + Stored(1) + Stored(2);
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, "%.1f%%", 100.0 * stored / 24000);
  EXPECT_NE(out.find("\nTotal: 3 files, 24000 bytes, " +
                     std::to_string(stored) + " stored (" + ratio + ")\n"),
            std::string::npos)
      << out;
}

TEST_F(PkgtoolListMedia, JsonIsOneArrayWithTheExactSizes) {
  pkgtool_testing::ToolRun run = RunTool({"list", Descriptor(), "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  std::string expected;
  const char* rows[] = {"GAME.EXE|12000|", "DATA\\LEVEL.DAT|9000|", "|3000|"};
  for (size_t i = 0; i < 3; ++i) {
    std::string disks;
    for (int disk = media_.records[i].chunks.front().disk;
         disk <= media_.records[i].chunks.back().disk; ++disk) {
      disks += (disks.empty() ? "" : ", ") + std::to_string(disk);
    }
    expected += (i == 2 ? kLongName : "") + std::string(rows[i]) +
                std::to_string(Stored(i)) + "|[" + disks + "]|[]|None|" +
                std::to_string(media_.records[i].sizeKb) + "|" +
                std::to_string(media_.records[i].chunks.size()) + "\n";
  }
  EXPECT_EQ(JsonFields(dir_, run.out), expected) << run.out;
}

TEST_F(PkgtoolListMedia, PatternsChooseTheFilesAndEachMustMatchOne) {
  // Without regard to case, '*' crossing '\\'.
  pkgtool_testing::ToolRun run = RunTool({"list", Descriptor(), "data*.dat"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.out.find("DATA\\LEVEL.DAT\n"), std::string::npos);
  EXPECT_EQ(Squeezed(run.out).find("- GAME.EXE"), std::string::npos);
  EXPECT_NE(run.out.find("Total: 1 file, 9000 bytes"), std::string::npos);
  run = RunTool({"list", Descriptor(), "*.EXE", "*.TXT"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(Squeezed(run.out).find("- GAME.EXE\n"), std::string::npos);
  EXPECT_EQ(run.err, "pkgtool: pattern \"*.TXT\" matches no file\n");
}

// Patterns fold case as build folds names for clashes, beyond ASCII, and
// take '/' for '\\'.
TEST(PkgtoolPatterns, FoldCaseAsBuildDoesAndTakeSlashForBackslash) {
  const struct {
    const char* pattern;
    const char* name;
    bool chosen;
  } cases[] = {
      {"data/café.txt", "DATA\\CAFÉ.TXT", true},
      {"DATA\\CAFÉ.TXT", "data\\café.txt", true},
      {"data/*", "DATA\\MAPS\\A.MAP", true},
      {"*/a.map", "DATA\\MAPS\\A.MAP", true},
      {"σοφια.txt", "ΣΟΦΙΑ.TXT", true},
      {"жук?.dat", "ЖУКИ.DAT", true},
      {"[a-c]*.exe", "Game.EXE", false},
      {"[!a-c]*.exe", "Game.EXE", true},
      {"[ÉE]cole", "école", true},
      {"a[b", "A[B", true},
      {"data/x", "DATA\\XY", false},
      {"café.txt", "CAFE.TXT", false},
  };
  for (const auto& c : cases) {
    Selection selection({c.pattern});
    EXPECT_EQ(selection.Chooses(c.name), c.chosen)
        << c.pattern << " " << c.name;
  }
  // And in a command, on names a descriptor holds in its code page.
  TempDir dir;
  WriteFile(dir.Make("src/cafe"), pkgtool_testing::SampleBytes(700, 1));
  const std::string manifest = pkgtool_testing::WriteManifest(
      dir,
      "[package]\nprogramFile = A.EXE\ntitle = A\n[files]\n"
      "DATA\\CAFÉ.TXT = src/cafe\nA.EXE = src/cafe\n");
  ASSERT_EQ(RunTool({"build", manifest, "-o", dir.path() + "/out"}).code, 0);
  pkgtool_testing::ToolRun run =
      RunTool({"extract", dir.path() + "/out/disk1", "data/café.txt", "-d",
               dir.path() + "/dest"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.path() + "/dest/DATA/CAFÉ.TXT"),
            ReadFile(dir.path() + "/src/cafe"));
  EXPECT_FALSE(FileExistsOnHost(dir.path() + "/dest/A.EXE"));
}

// Sets COLUMNS for as long as it lives (unsets it for null).
class ScopedColumns {
 public:
  explicit ScopedColumns(const char* value) {
    const char* old = std::getenv("COLUMNS");
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      setenv("COLUMNS", value, 1);
    } else {
      unsetenv("COLUMNS");
    }
  }
  ~ScopedColumns() {
    if (had_) {
      setenv("COLUMNS", old_.c_str(), 1);
    } else {
      unsetenv("COLUMNS");
    }
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST_F(PkgtoolListMedia, ALongNameIsShortenedInTheMiddleOnlyToFitAWidth) {
  {
    ScopedColumns columns("70");
    std::string out = RunTool({"list", Descriptor()}).out;
    size_t row = out.find(" DATA\\MUSIC\\");
    ASSERT_NE(row, std::string::npos) << out;
    size_t start = out.rfind('\n', row) + 1, end = out.find('\n', row);
    EXPECT_EQ(end - start, 70u) << out;
    EXPECT_NE(out.substr(row, end - row).find("..."), std::string::npos);
    EXPECT_EQ(out.substr(end - 9, 9), "NORTH.MID");
    EXPECT_NE(out.find("  DATA\\LEVEL.DAT\n"), std::string::npos);
    // However little room the other columns leave, no row is wider.
    const size_t others = row + 1 - start;
    ScopedColumns narrow(std::to_string(others + 10).c_str());
    out = RunTool({"list", Descriptor()}).out;
    row = out.find(" DAT...");
    ASSERT_NE(row, std::string::npos) << out;
    start = out.rfind('\n', row) + 1;
    end = out.find('\n', row);
    EXPECT_EQ(end - start, others + 10) << out;
  }
  ScopedColumns none(nullptr);
  EXPECT_NE(RunTool({"list", Descriptor()}).out.find(kLongName),
            std::string::npos);
}

// Hand-made volumes: record 1's size prefix lies half on disk 1, half on
// disk 2; record 2 lies on disk 3, which is missing.
TEST(PkgtoolList, ReadsASplitSizePrefixAndMarksWhatAMissingDiskHides) {
  TempDir dir;
  RecordSpec split;
  split.name = "SPLIT.DAT";
  split.sizeKb = 69;  // 70196 bytes, rounded down: no note
  split.chunks = {{1, 2, 2}, {2, 2, 6}};
  RecordSpec gone;
  gone.name = "GO\"NE\\\x01.DAT";
  gone.chunks = {{3, 2, 8}};
  std::string path = dir.Make("disk1/SETUP.bin");
  WriteFile(path, MakeDescriptor("", "A.EXE", "A", {split, gone}));
  WriteFile(dir.Make("disk1/A.dat"), MakeVolume(1, {0x34, 0x12}));
  WriteFile(dir.Make("disk2/A.dat"), MakeVolume(2, {0x01, 0, 9, 9, 9, 9}));
  pkgtool_testing::ToolRun run = RunTool({"list", path});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.err,
            "pkgtool: missing disk 3 of 3 (A.dat), which 1 record needs; "
            "give its directory with --disk\n");
  std::string out = Squeezed(run.out);
  EXPECT_NE(out.find("Disks: 3 (volumes found: 1-2; missing: 3)\n"),
            std::string::npos);
  EXPECT_NE(out.find("\n1 70196 8 1-2 ordinary - SPLIT.DAT\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\n2 ? 8 3 ordinary - GO\"NE\\?.DAT\n"),
            std::string::npos);
  run = RunTool({"list", path, "--json"});
  EXPECT_EQ(JsonFields(dir, run.out),
            "SPLIT.DAT|70196|8|[1, 2]|[]|None|69|2\n"
            "GO\"NE\\\x01.DAT|None|8|[3]|[]|None|0|1\n");
}

}  // namespace
}  // namespace pkgtool
