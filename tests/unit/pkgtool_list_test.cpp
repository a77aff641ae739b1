// pkgtool list: the header as the installer sees it and a row per record;
// damaged descriptors are refused with the record and the numbers at fault.
#include <gtest/gtest.h>

#include "pkgtool_testing.h"

namespace pkgtool {
namespace {

using pkgtool_testing::RunTool;

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
  WriteFile(dir.Make("SETUP.bin"), descriptor);
  pkgtool_testing::ToolRun run = RunTool({"list", dir.path() + "/SETUP.bin"});
  ASSERT_EQ(run.code, 0) << run.err;
  std::string out = Squeezed(run.out);
  EXPECT_NE(out.find("Kind: game\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Program file: QUEST.EXE\n"), std::string::npos);
  EXPECT_NE(out.find("Title: Quest of Old\n"), std::string::npos);
  EXPECT_NE(out.find("Records: 4\n"), std::string::npos);
  // 1 Kb of table, then 12 + 3 + 1 + 65535: noInstall sizes count too.
  EXPECT_NE(out.find("RequiredKb: 65552\n"), std::string::npos);
  EXPECT_NE(out.find("Data volume: QUEST.dat\n"), std::string::npos);
  EXPECT_NE(out.find(" 1 ordinary 12 QUEST.EXE - 1:2+100\n"),
            std::string::npos);
  EXPECT_NE(out.find(" 2 shared 3 \\WINDOWS\\SYSTEM\\GFX.DLL 1.2.3.4 1:102+50 "
                     "2:2+60\n"),
            std::string::npos);
  EXPECT_NE(out.find(" 3 noInstall 1 README.TXT - -\n"), std::string::npos);
  EXPECT_NE(out.find(" 4 shared,noInstall,bits 0x8 65535 C:\\ODD.DAT "
                     "65535.0.0.0 3:7+1\n"),
            std::string::npos)
      << out;
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
  const char* expected;  // after "<path>: "
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
  if (GetParam().recordCount != 0) {
    descriptor[kRecordCountOffset] =
        static_cast<uint8_t>(GetParam().recordCount);
  }
  std::string path = dir.Make("SETUP.bin");
  WriteFile(path, descriptor);
  pkgtool_testing::ToolRun run = RunTool({"list", path});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pkgtool: " + path + ": " + GetParam().expected + "\n");
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
                    "table (53 bytes; recordCount 3)"}));

TEST(PkgtoolList, RefusesFilesTooShortForAHeaderOrATable) {
  TempDir dir;
  std::string path = dir.Make("SETUP.bin");
  WriteFile(path, Bytes(345, 0));
  pkgtool_testing::ToolRun run = RunTool({"list", path});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pkgtool: " + path +
                         ": 345 bytes, shorter than the 346-byte header\n");
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
                                "characters) leaves no room for the data "
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
                         ": productTitle is not terminated inside its 80 "
                         "bytes\n");
}

}  // namespace
}  // namespace pkgtool
