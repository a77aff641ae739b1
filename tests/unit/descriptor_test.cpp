// Loading the package descriptor: paths, result codes in their order,
// classification, RequiredKb, the record-walking helpers and the refusal of
// tables whose records would lead a reader outside them.
#include "package/descriptor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/memory.h"
#include "platform/host/host_control.h"
#include "test_support.h"

namespace {

class LoadPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::MapDrive('D', dir_.path());
    host::SetModulePath("D:\\SETUP.EXE");
  }
  void Write(const std::string& name, const Bytes& data) {
    WriteFile(dir_.path() + "/" + name, data);
  }
  TempDir dir_;
};

RecordSpec Plain(const std::string& name, uint16_t sizeKb = 1) {
  RecordSpec entry;
  entry.name = name;
  entry.sizeKb = sizeKb;
  entry.chunks = {{1, 2, 10}};
  return entry;
}

TEST_F(LoadPackageTest, LoadsHeaderPathsAndRequiredKb) {
  RecordSpec skipped = Plain("README.TXT", 7);
  skipped.flags = kFlagNoInstall;
  Write("SETUP.bin", MakeDescriptor("GAME", "QUEST.EXE", "Quest",
                                    {Plain("QUEST.EXE", 100), skipped}));
  ASSERT_EQ(LoadPackage(), kResultOk);
  EXPECT_STREQ(Package.SourceDirectory, "D:\\");
  EXPECT_STREQ(Package.DescriptorName, "SETUP.bin");
  EXPECT_STREQ(SubjectPath, "D:\\SETUP.bin");
  EXPECT_STREQ(Package.Header.programFile, "QUEST.EXE");
  EXPECT_STREQ(Package.Header.productTitle, "Quest");
  EXPECT_EQ(Package.Header.recordCount, 2);
  EXPECT_EQ(Package.ControlPanelPackage, 0);
  EXPECT_EQ(Package.RequiredKb, 107u);  // table < 1 Kb, noInstall counted
  FreeLocked(&Package.TableHandle);
}

TEST_F(LoadPackageTest, MagicIsCaseSensitive) {
  Write("SETUP.bin", MakeDescriptor("INSV", "X.CPL", "X", {Plain("X.CPL")}));
  ASSERT_EQ(LoadPackage(), kResultOk);
  EXPECT_EQ(Package.ControlPanelPackage, 1);
  FreeLocked(&Package.TableHandle);
  Write("SETUP.bin", MakeDescriptor("insv", "X.CPL", "X", {Plain("X.CPL")}));
  ASSERT_EQ(LoadPackage(), kResultOk);
  EXPECT_EQ(Package.ControlPanelPackage, 0);
  FreeLocked(&Package.TableHandle);
}

TEST_F(LoadPackageTest, TableLengthCountsInWholeKilobytes) {
  // recordCount 0 with a non-empty table loads; only its length counts.
  for (size_t length : {1023u, 1024u, 2049u}) {
    Bytes descriptor = MakeDescriptor("GAME", "A.EXE", "A", {});
    descriptor.resize(kHeaderSize + length, 0xEE);
    Write("SETUP.bin", descriptor);
    ASSERT_EQ(LoadPackage(), kResultOk) << length;
    EXPECT_EQ(Package.RequiredKb, length / 1024) << length;
    FreeLocked(&Package.TableHandle);
  }
}

struct NameCase {
  const char* module;
  const char* descriptorFile;  // host file created
  const char* source;
  const char* descriptorName;
  const char* subject;
};

class DescriptorNames : public LoadPackageTest,
                        public ::testing::WithParamInterface<NameCase> {};

TEST_P(DescriptorNames, FollowTheExecutablesName) {
  const NameCase& c = GetParam();
  host::SetModulePath(c.module);
  Write(c.descriptorFile, MakeDescriptor("GAME", "A.EXE", "A", {Plain("A")}));
  ASSERT_EQ(LoadPackage(), kResultOk);
  EXPECT_STREQ(Package.SourceDirectory, c.source);
  EXPECT_STREQ(Package.DescriptorName, c.descriptorName);
  EXPECT_STREQ(SubjectPath, c.subject);
  FreeLocked(&Package.TableHandle);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DescriptorNames,
    ::testing::Values(NameCase{"D:\\SETUP.EXE", "SETUP.bin", "D:\\",
                               "SETUP.bin", "D:\\SETUP.bin"},
                      NameCase{"D:\\V1.0\\SETUP", "V1.0/SETUP.bin",
                               "D:\\V1.0\\", "SETUP.bin",
                               "D:\\V1.0\\SETUP.bin"},
                      NameCase{"D:\\SETUP.V2.EXE", "SETUP.V2.bin", "D:\\",
                               "SETUP.V2.bin", "D:\\SETUP.V2.bin"},
                      // Components are found without regard to case.
                      NameCase{"D:\\Disk1\\INSTALL.EXE", "disk1/install.BIN",
                               "D:\\Disk1\\", "INSTALL.bin",
                               "D:\\Disk1\\INSTALL.bin"}));

TEST_F(LoadPackageTest, FailuresComeInTheOrderOfTheSteps) {
  // No backslash in the module path.
  host::SetModulePath("SETUP.EXE");
  EXPECT_EQ(LoadPackage(), kResultError);

  // Missing wins over a memory shortage.
  host::SetModulePath("D:\\SETUP.EXE");
  host::InjectFault(host::Fault::kAlloc);
  EXPECT_EQ(LoadPackage(), kResultMissing);
  EXPECT_STREQ(SubjectPath, "D:\\SETUP.bin");
  host::ClearFaults();

  // Shorter than the header.
  Write("SETUP.bin", Bytes(345, 0));
  EXPECT_EQ(LoadPackage(), kResultReadError);

  // Exactly the header: an empty table is a shortage of memory.
  Write("SETUP.bin", MakeDescriptor("GAME", "A.EXE", "A", {}));
  EXPECT_EQ(LoadPackage(), kResultNoMemory);

  // The allocation comes before any read.
  Write("SETUP.bin", MakeDescriptor("GAME", "A.EXE", "A", {Plain("A")}));
  host::InjectFault(host::Fault::kAlloc);
  int readsBefore = host::CallCount(host::Fault::kRead);
  EXPECT_EQ(LoadPackage(), kResultNoMemory);
  EXPECT_EQ(host::CallCount(host::Fault::kRead), readsBefore);
  EXPECT_EQ(Package.TableHandle, nullptr);

  // Short header read, short table read.
  host::InjectFault(host::Fault::kShortRead, 1);
  EXPECT_EQ(LoadPackage(), kResultReadError);
  FreeLocked(&Package.TableHandle);
  host::InjectFault(host::Fault::kShortRead, 2);
  EXPECT_EQ(LoadPackage(), kResultReadError);
  FreeLocked(&Package.TableHandle);
  host::InjectFault(host::Fault::kRead, 1);
  EXPECT_EQ(LoadPackage(), kResultReadError);
  FreeLocked(&Package.TableHandle);
}

TEST_F(LoadPackageTest, PathThatCannotTakeTheExtensionIsMissing) {
  std::string longName = "D:\\" + std::string(252, 'L') + "E";  // 256 chars
  host::SetModulePath(longName);
  EXPECT_EQ(LoadPackage(), kResultMissing);
}

// Damaged tables: every breach of the layout is a read error at load time.
struct DamageCase {
  const char* label;
  void (*damage)(Bytes* descriptor);
};

size_t FirstRecordAt() { return kHeaderSize; }

class DamagedTable : public LoadPackageTest,
                     public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedTable, IsRefusedWithReadError) {
  Bytes descriptor =
      MakeDescriptor("GAME", "A.EXE", "A", {Plain("FIRST.DAT"), Plain("B")});
  GetParam().damage(&descriptor);
  Write("SETUP.bin", descriptor);
  EXPECT_EQ(LoadPackage(), kResultReadError);
  EXPECT_STREQ(SubjectPath, "D:\\SETUP.bin");
  FreeLocked(&Package.TableHandle);
}

INSTANTIATE_TEST_SUITE_P(
    Breaches, DamagedTable,
    ::testing::Values(
        DamageCase{"MoreRecordsThanTheTableHolds",
                   [](Bytes* d) { (*d)[kRecordCountOffset] = 3; }},
        DamageCase{"RecordSizeZero",
                   [](Bytes* d) {
                     (*d)[FirstRecordAt()] = 0;
                     (*d)[FirstRecordAt() + 1] = 0;
                   }},
        DamageCase{"RecordOverrunsTable",
                   [](Bytes* d) { (*d)[FirstRecordAt() + 1] = 0x7F; }},
        DamageCase{"RecordTooSmallForItsChunkList",
                   [](Bytes* d) { (*d)[FirstRecordAt()] -= 3; }},
        DamageCase{"EmptyName",
                   [](Bytes* d) {
                     Bytes fixed = MakeDescriptor("GAME", "A.EXE", "A",
                                                  {Plain(""), Plain("B")});
                     *d = fixed;
                   }},
        DamageCase{"NameNotTerminatedInRecord",
                   [](Bytes* d) {
                     RecordSpec entry = Plain("NAME");
                     Bytes record = MakeRecord(entry);
                     record[0] = 8;  // size ends inside the name
                     record[1] = 0;
                     d->resize(kHeaderSize);
                     d->insert(d->end(), record.begin(), record.end());
                     (*d)[kRecordCountOffset] = 1;
                   }},
        DamageCase{"ChunkListWithoutTerminator",
                   [](Bytes* d) {
                     // Overwrite the first record's terminator with a chunk
                     // head; the record ends before a terminator comes.
                     size_t terminator = FirstRecordAt() + 6 + 10 + 1 + 10;
                     (*d)[terminator] = 1;
                   }},
        DamageCase{"SharedFlagMovesChunkListPastTheRecord",
                   [](Bytes* d) {
                     RecordSpec entry = Plain("FIRST.DAT");
                     entry.chunks = {{1, 2, 0x01010101}};
                     *d = MakeDescriptor("GAME", "A.EXE", "A", {entry});
                     (*d)[FirstRecordAt() + 2] = 2;
                   }},
        DamageCase{"ProgramFileUnterminated",
                   [](Bytes* d) {
                     memset(d->data() + kProgramFileOffset, 'P',
                            kProgramFileSize);
                   }},
        DamageCase{"ProductTitleUnterminated",
                   [](Bytes* d) {
                     memset(d->data() + kProductTitleOffset, 'T',
                            kProductTitleSize);
                   }}),
    [](const ::testing::TestParamInfo<DamageCase>& param) {
      return std::string(param.param.label);
    });

TEST(RecordTable, AcceptsBothTerminatorsAndSlack) {
  RecordSpec longEnd = Plain("A.DAT");
  longEnd.shortTerminator = false;
  RecordSpec slack = Plain("B.DAT");
  slack.extraBytes = 5;
  RecordSpec empty = Plain("C.DAT");
  empty.chunks.clear();
  Bytes table = MakeRecordTable({longEnd, slack, empty});
  EXPECT_TRUE(ValidateRecordTable(table.data(), table.size(), 3));
  EXPECT_FALSE(ValidateRecordTable(table.data(), table.size(), 4));
  EXPECT_FALSE(ValidateRecordTable(table.data(), table.size() - 1, 3));
}

TEST(RecordWalk, SharedFlagsMoveTheChunkListByEightBytes) {
  for (uint16_t flags : {0, 1, 2, 3, 4, 6}) {
    RecordSpec entry = Plain("LIB.DLL");
    entry.flags = flags;
    entry.versionMs = 0x00030001;
    entry.versionLs = 0x00020005;
    entry.chunks = {{2, 0x01020304, 77}};
    Bytes table = MakeRecordTable({entry, Plain("NEXT")});
    ASSERT_TRUE(ValidateRecordTable(table.data(), table.size(), 2));
    const uint8_t* record = table.data();
    bool shared = (flags & 6) != 0;
    EXPECT_EQ(RecordIsShared(record), shared);
    EXPECT_EQ(RecordIsNoInstall(record), (flags & 1) != 0);
    EXPECT_EQ(FirstChunkEntry(record) - record,
              static_cast<long>(8 + strlen("LIB.DLL") + (shared ? 8 : 0)));
    if (shared) {
      EXPECT_EQ(RecordVersionMs(record), 0x00030001u);
      EXPECT_EQ(RecordVersionLs(record), 0x00020005u);
    }
    ChunkEntry chunk = ReadChunkEntry(FirstChunkEntry(record));
    EXPECT_EQ(chunk.disk, 2);
    EXPECT_EQ(chunk.offset, 0x01020304u);
    EXPECT_EQ(chunk.length, 77u);
    EXPECT_STREQ(RecordName(NextRecord(record)), "NEXT");
  }
}

TEST(RecordWalk, EntryWithDiskZeroEndsTheListAtOnce) {
  RecordSpec entry = Plain("A");
  entry.chunks.clear();
  Bytes table = MakeRecordTable({entry});
  ChunkEntry end = ReadChunkEntry(FirstChunkEntry(table.data()));
  EXPECT_EQ(end.disk, 0);
  EXPECT_EQ(end.length, 0u);
}

}  // namespace
