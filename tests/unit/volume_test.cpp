// The volume reader: the order of prompt, open, volumeDisk check and seek;
// reads in pieces of the InputBuffer; every row of its failure table.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "base/text.h"
#include "stream/encoder.h"
#include "stream_test_support.h"
#include "ui/messages.h"

namespace {

using stream_test::Drive;
using stream_test::ReadAll;

Bytes Pattern(size_t size, uint8_t seed = 1) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  }
  return bytes;
}

Bytes Join(const Bytes& a, const Bytes& b) {
  Bytes joined = a;
  joined.insert(joined.end(), b.begin(), b.end());
  return joined;
}

TEST(VolumeReader, ChunksAllOnDiskOneNeverPromptAndOpenTheVolumeOnce) {
  Drive drive;
  const Bytes a = Pattern(100, 1), b = Pattern(50, 2), c = Pattern(70, 3);
  ChunkEntry ea = drive.Place(1, a, 5);
  ChunkEntry eb = drive.Place(1, b, 3);
  ChunkEntry ec = drive.Place(1, c, 9);
  drive.Insert(1);
  const uint8_t* first = drive.LoadRecords({{eb, ea}, {ec}});

  int last = 0;
  StartRecordStream(first);
  EXPECT_EQ(ReadAll(&last), Join(b, a));
  EXPECT_EQ(last, -1);
  StartRecordStream(NextRecord(first));
  EXPECT_EQ(ReadAll(&last), c);
  EXPECT_EQ(last, -1);

  EXPECT_TRUE(drive.prompts().empty());
  EXPECT_TRUE(host::Boxes().empty());
  EXPECT_EQ(host::CallCount(host::Fault::kOpen), 1);
}

TEST(VolumeReader, FirstChunkOnDiskTwoPromptsBeforeAnyVolumeIsOpened) {
  Drive drive;
  const Bytes data = Pattern(300);
  ChunkEntry entry = drive.Place(2, data, 11);
  drive.Insert(1);
  StartRecordStream(drive.LoadRecord({entry}));

  int last = 0;
  EXPECT_EQ(ReadAll(&last), data);
  EXPECT_EQ(last, -1);
  EXPECT_EQ(drive.prompts(), std::vector<int>({2}));
  EXPECT_EQ(drive.opensBeforePrompt(), std::vector<int>({0}));
  EXPECT_EQ(Volume.CurrentDisk, 2);
}

TEST(VolumeReader, ChunksOnDisksOneTwoOnePromptTwice) {
  Drive drive;
  const Bytes a = Pattern(40, 1), b = Pattern(60, 2), c = Pattern(80, 3);
  ChunkEntry ea = drive.Place(1, a);
  ChunkEntry eb = drive.Place(2, b);
  ChunkEntry ec = drive.Place(1, c, 17);
  drive.Insert(1);
  StartRecordStream(drive.LoadRecord({ea, eb, ec}));

  int last = 0;
  EXPECT_EQ(ReadAll(&last), Join(Join(a, b), c));
  EXPECT_EQ(last, -1);
  EXPECT_EQ(drive.prompts(), std::vector<int>({2, 1}));
  EXPECT_EQ(host::CallCount(host::Fault::kOpen), 3);
}

TEST(VolumeReader, WrongDiskInTheDriveRepeatsThePromptUntilTheRightOne) {
  Drive drive;
  const Bytes data = Pattern(64);
  ChunkEntry entry = drive.Place(2, data);
  drive.SetVolume(3, MakeVolume(3, Pattern(200)));
  drive.Insert(1);
  drive.QueueWrongDisk(3);
  drive.QueueWrongDisk(1);
  StartRecordStream(drive.LoadRecord({entry}));

  int last = 0;
  EXPECT_EQ(ReadAll(&last), data);
  EXPECT_EQ(drive.prompts(), std::vector<int>({2, 2, 2}));
  EXPECT_TRUE(drive.otherBoxes().empty());
}

TEST(VolumeReader, VolumeShorterThanItsDiskFieldCountsAsTheWrongDisk) {
  Drive drive;
  ChunkEntry entry = drive.Place(1, Pattern(10));
  WriteFile(drive.VolumeHostPath(), Bytes{1});
  drive.QueuePromptAnswer(plat::kIdCancel);
  StartRecordStream(drive.LoadRecord({entry}));

  int last = 0;
  EXPECT_TRUE(ReadAll(&last).empty());
  EXPECT_EQ(last, -2);
  EXPECT_EQ(drive.prompts(), std::vector<int>({1}));
  EXPECT_EQ(Volume.VolumeHandle, plat::kFileError);
}

TEST(VolumeReader, ChunkOfTwoBuffersAndARestIsReadInThreePieces) {
  Drive drive;
  const Bytes data = Pattern(2 * 32000 + 6000);
  ChunkEntry entry = drive.Place(1, data, 1000);
  drive.Insert(1);
  StartRecordStream(drive.LoadRecord({entry}));

  int last = 0;
  EXPECT_EQ(ReadAll(&last), data);
  EXPECT_EQ(last, -1);
  // One read of volumeDisk, then 32000, 32000 and 6000 bytes.
  EXPECT_EQ(host::CallCount(host::Fault::kRead), 4);
}

TEST(VolumeReader, EndOfTheChunkListIsReportedAgainOnEveryCall) {
  Drive drive;
  ChunkEntry entry = drive.Place(1, Pattern(3));
  drive.Insert(1);
  StartRecordStream(drive.LoadRecord({entry}));
  int last = 0;
  ReadAll(&last);
  EXPECT_EQ(last, -1);
  // Every later call ends again, as long as a decoder reading zero bits
  // could still be finishing a stream; past that the input is lost.
  for (uint32_t n = 2; n <= kEndReadsAllowed; ++n) {
    ASSERT_EQ(ReadSourceByte(), -1) << n;
  }
  EXPECT_TRUE(host::Boxes().empty());
  EXPECT_EQ(ReadSourceByte(), -2);
  ASSERT_EQ(host::Boxes().size(), 1u);
  EXPECT_EQ(host::Boxes()[0].text, "FILE0.DAT: read error!");
}

TEST(VolumeReader, RecordWithoutChunksEndsAtOnce) {
  Drive drive;
  drive.Insert(1);
  StartRecordStream(drive.LoadRecord({}));
  EXPECT_EQ(ReadSourceByte(), -1);
  EXPECT_EQ(host::CallCount(host::Fault::kOpen), 0);
}

TEST(VolumeReader, NewRecordDropsWhatWasBufferedAndKeepsTheVolumeOpen) {
  Drive drive;
  const Bytes a = Pattern(500, 1), b = Pattern(20, 9);
  ChunkEntry ea = drive.Place(1, a);
  ChunkEntry eb = drive.Place(1, b);
  drive.Insert(1);
  const uint8_t* first = drive.LoadRecords({{ea}, {eb}});
  StartRecordStream(first);
  EXPECT_EQ(ReadSourceByte(), a[0]);
  StartRecordStream(NextRecord(first));
  int last = 0;
  EXPECT_EQ(ReadAll(&last), b);
  EXPECT_EQ(host::CallCount(host::Fault::kOpen), 1);
}

// ---- the failure table
// ---------------------------------------------------------

struct FailureCase {
  const char* name;
  // Sets up the drive (the chunk of 40000 bytes at offset 2 of disk 1 is
  // already placed; the record is FILE0.DAT) and the faults.
  std::function<void(Drive*)> arrange;
  int last;                        // the value that ends the reading
  size_t delivered;                // bytes delivered before it
  std::vector<const char*> texts;  // the boxes shown, other than prompts
  std::vector<unsigned> types;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class VolumeFailure : public ::testing::TestWithParam<FailureCase> {};

constexpr unsigned kRetryCancel =
    plat::kMbRetryCancel | plat::kMbIconExclamation;
constexpr unsigned kNotice = plat::kMbOk | plat::kMbIconExclamation;

TEST_P(VolumeFailure, ShowsItsBoxAndEndsAsTheTableSays) {
  const FailureCase& c = GetParam();
  Drive drive;
  const Bytes data = Pattern(40000);
  ChunkEntry entry = drive.Place(1, data);
  drive.Insert(1);
  StartRecordStream(drive.LoadRecord({entry}));
  c.arrange(&drive);

  int last = 0;
  Bytes delivered = ReadAll(&last);
  EXPECT_EQ(last, c.last);
  ASSERT_EQ(delivered.size(), c.delivered);
  EXPECT_TRUE(std::equal(delivered.begin(), delivered.end(), data.begin()));
  ASSERT_EQ(drive.otherBoxes().size(), c.texts.size());
  for (size_t i = 0; i < c.texts.size(); ++i) {
    const host::Box& box = drive.otherBoxes()[i];
    EXPECT_EQ(box.text, c.texts[i]);
    EXPECT_EQ(box.type, c.types[i]);
    EXPECT_EQ(box.caption, "GAME.EXE");
    EXPECT_EQ(box.owner, FileTransferDialog);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, VolumeFailure,
    ::testing::Values(
        FailureCase{"OpenFailsRetried",
                    [](Drive* d) {
                      host::InjectFault(host::Fault::kOpen);
                      d->QueueBoxAnswer(plat::kIdRetry);
                    },
                    -1,
                    40000,
                    {"A:\\GAME.DAT: read error!"},
                    {kRetryCancel}},
        FailureCase{"OpenFailsCancelled",
                    [](Drive* d) {
                      host::InjectFault(host::Fault::kOpen);
                      d->QueueBoxAnswer(plat::kIdCancel);
                    },
                    -2,
                    0,
                    {"A:\\GAME.DAT: read error!"},
                    {kRetryCancel}},
        FailureCase{"VolumeMissingCancelled",
                    [](Drive* d) {
                      std::remove(d->VolumeHostPath().c_str());
                      d->QueueBoxAnswer(plat::kIdCancel);
                    },
                    -2,
                    0,
                    {"A:\\GAME.DAT: read error!"},
                    {kRetryCancel}},
        FailureCase{"DiskFieldReadFailsRetried",
                    [](Drive* d) {
                      host::InjectFault(host::Fault::kRead, 1);
                      d->QueueBoxAnswer(plat::kIdRetry);
                    },
                    -1,
                    40000,
                    {"A:\\GAME.DAT: read error!"},
                    {kRetryCancel}},
        FailureCase{"DiskFieldReadFailsCancelled",
                    [](Drive* d) {
                      host::InjectFault(host::Fault::kRead, 1);
                      d->QueueBoxAnswer(plat::kIdCancel);
                    },
                    -2,
                    0,
                    {"A:\\GAME.DAT: read error!"},
                    {kRetryCancel}},
        FailureCase{"ChunkReadFailsRetried",
                    [](Drive* d) {
                      host::InjectFault(host::Fault::kRead, 3);
                      d->QueueBoxAnswer(plat::kIdRetry);
                    },
                    -1,
                    40000,
                    {"FILE0.DAT: read error!"},
                    {kRetryCancel}},
        FailureCase{"ChunkReadFailsTwiceRetriedTwice",
                    [](Drive* d) {
                      host::InjectFault(host::Fault::kRead, 2, 2);
                      d->QueueBoxAnswer(plat::kIdRetry);
                      d->QueueBoxAnswer(plat::kIdRetry);
                    },
                    -1,
                    40000,
                    {"FILE0.DAT: read error!", "FILE0.DAT: read error!"},
                    {kRetryCancel, kRetryCancel}},
        FailureCase{"ChunkReadFailsCancelled",
                    [](Drive* d) {
                      host::InjectFault(host::Fault::kRead, 3);
                      d->QueueBoxAnswer(plat::kIdCancel);
                    },
                    -2,
                    32000,
                    {"FILE0.DAT: read error!"},
                    {kRetryCancel}},
        FailureCase{
            "ChunkReadShort",
            [](Drive*) { host::InjectFault(host::Fault::kShortRead, 2); },
            -2,
            0,
            {"FILE0.DAT: read error!"},
            {kNotice}},
        FailureCase{"VolumeTruncatedInsideTheChunk",
                    [](Drive* d) {
                      Bytes volume = ReadFile(d->VolumeHostPath());
                      volume.resize(2 + 35000);
                      WriteFile(d->VolumeHostPath(), volume);
                    },
                    -2,
                    32000,
                    {"FILE0.DAT: read error!"},
                    {kNotice}},
        // A read that finds nothing while the chunk still has bytes to
        // deliver is a short read too: decoding on would fill the file with
        // zero bits and report success.
        FailureCase{"VolumeTruncatedAtABufferBoundary",
                    [](Drive* d) {
                      Bytes volume = ReadFile(d->VolumeHostPath());
                      volume.resize(2 + 32000);
                      WriteFile(d->VolumeHostPath(), volume);
                    },
                    -2,
                    32000,
                    {"FILE0.DAT: read error!"},
                    {kNotice}},
        FailureCase{
            "VolumeTruncatedAtTheChunkStart",
            [](Drive* d) { WriteFile(d->VolumeHostPath(), MakeVolume(1, {})); },
            -2,
            0,
            {"FILE0.DAT: read error!"},
            {kNotice}},
        FailureCase{"DiskPromptCancelled",
                    [](Drive* d) {
                      Volume.CurrentDisk = 2;
                      d->QueuePromptAnswer(plat::kIdCancel);
                    },
                    -2,
                    0,
                    {},
                    {}}),
    [](const ::testing::TestParamInfo<FailureCase>& param) {
      return std::string(param.param.name);
    });

// Offsets past the end, and offsets that _llseek's signed 32-bit argument
// cannot reach (0xFFFFFFFF turns into -1, the failure value itself), with
// the volume opened for the chunk or already open from the one before.
TEST(VolumeReader, ChunkPastTheEndOfItsVolumeIsAReadErrorNamingTheRecord) {
  for (uint32_t offset : {5000u, 0x80000000u, 0xFFFFFFFFu}) {
    for (bool opened : {false, true}) {
      SCOPED_TRACE(testing::Message() << offset << (opened ? " open" : ""));
      ResetAllState();
      Drive drive;
      ChunkEntry first = drive.Place(1, Pattern(10));
      drive.Place(1, Pattern(300));  // bytes a failed seek would read
      drive.Insert(1);
      std::vector<ChunkEntry> chunks = {ChunkEntry{1, offset, 100}};
      if (opened) chunks.insert(chunks.begin(), first);
      StartRecordStream(drive.LoadRecord(chunks));
      int last = 0;
      EXPECT_EQ(ReadAll(&last).size(), opened ? 10u : 0u);
      EXPECT_EQ(last, -2);
      ASSERT_EQ(host::Boxes().size(), 1u);
      EXPECT_EQ(host::Boxes()[0].text, "FILE0.DAT: read error!");
      EXPECT_STREQ(SubjectPath, "FILE0.DAT");
    }
  }
}

TEST(VolumeReader, ChunkBoundaryInsideTheSizePrefixIsInvisibleToTheDecoder) {
  const Bytes data = Pattern(5000);
  const Bytes stream = EncodeBuffer(data.data(), data.size());
  for (size_t cut = 1; cut <= 4; ++cut) {
    SCOPED_TRACE(cut);
    Drive drive;
    ChunkEntry a = drive.Place(1, Bytes(stream.begin(), stream.begin() + cut));
    ChunkEntry b = drive.Place(2, Bytes(stream.begin() + cut, stream.end()));
    drive.Insert(1);
    Bytes decoded;
    EXPECT_EQ(drive.DecodeRecord(drive.LoadRecord({a, b}), &decoded), 0);
    EXPECT_EQ(decoded, data);
    EXPECT_EQ(drive.prompts(), std::vector<int>({2}));
  }
}

// ---- the disk prompt
// -----------------------------------------------------------

TEST(DataStream, OpensOnDiskOneWithAnEmptyBufferAndClosesOnceOnly) {
  TempDir dir;
  host::MapDrive('A', dir.path());
  WriteFile(dir.path() + "/QUEST.dat", MakeVolume(1, Pattern(10)));
  CopyText(Package.SourceDirectory, kPathSize, "A:\\");
  CopyText(Package.Header.programFile, kProgramFileSize, "QUEST.EXE");
  Volume.CurrentDisk = 3;
  ASSERT_EQ(OpenDataStream(), kResultOk);
  EXPECT_EQ(Volume.CurrentDisk, 1);
  EXPECT_STREQ(Volume.DataVolumePath, "A:\\QUEST.dat");
  EXPECT_EQ(Volume.VolumeHandle, plat::kFileError);
  ASSERT_NE(Volume.InputBuffer, nullptr);
  EXPECT_EQ(Volume.InputCursor, Volume.InputBuffer);
  EXPECT_EQ(Volume.InputLeft, 0);

  Volume.VolumeHandle = plat::lopen(Volume.DataVolumePath, plat::kOpenRead);
  ASSERT_NE(Volume.VolumeHandle, plat::kFileError);
  CloseDataStream();
  EXPECT_EQ(Volume.VolumeHandle, plat::kFileError);
  EXPECT_EQ(Volume.InputBuffer, nullptr);
  EXPECT_EQ(Volume.InputMemory, nullptr);
  CloseDataStream();  // a second close finds nothing to release
  EXPECT_EQ(Volume.InputBuffer, nullptr);
}

struct PromptCase {
  const char* sourceDirectory;
  uint16_t disk;
  int answer;
  const char* text;
  int result;
};

class DiskPrompt : public ::testing::TestWithParam<PromptCase> {};

TEST_P(DiskPrompt, AsksForTheDiskInTheSourceDrive) {
  const PromptCase& c = GetParam();
  LoadCaption();
  CopyText(Package.SourceDirectory, kPathSize, c.sourceDirectory);
  Volume.CurrentDisk = c.disk;
  host::QueueAnswer(c.answer);
  plat::Window parent = reinterpret_cast<plat::Window>(0x99);
  EXPECT_EQ(PromptForDisk(parent), c.result);
  ASSERT_EQ(host::Boxes().size(), 1u);
  const host::Box& box = host::Boxes()[0];
  EXPECT_EQ(box.text, c.text);
  EXPECT_EQ(box.caption, "Setup");
  EXPECT_EQ(box.type, plat::kMbOkCancel | plat::kMbIconExclamation);
  EXPECT_EQ(box.owner, parent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DiskPrompt,
    ::testing::Values(
        PromptCase{"A:\\", 2, plat::kIdOk, "Insert disk 2 in drive A.", 0},
        PromptCase{"b:\\setup\\", 12, plat::kIdOk, "Insert disk 12 in drive B.",
                   0},
        PromptCase{"A:\\", 1, plat::kIdCancel, "Insert disk 1 in drive A.", 1},
        PromptCase{"A:\\", 3, 0, "Insert disk 3 in drive A.", 1},
        PromptCase{"\\\\server\\share\\", 2, plat::kIdOk,
                   "Insert disk 2 in drive \\.", 0}));

}  // namespace
