// The output writer: one write per full buffer, and the Retry/Cancel rules
// of a failed or short write.
#include <gtest/gtest.h>

#include <functional>

#include "base/memory.h"
#include "base/text.h"
#include "stream_test_support.h"

namespace {

using stream_test::Drive;

Bytes Numbered(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i % 251);
  return bytes;
}

ResultCode PutAll(const Bytes& bytes) {
  for (uint8_t b : bytes) {
    ResultCode result = PutOutputByte(b);
    if (result != 0) return result;
  }
  return 0;
}

TEST(OutputWriter, FullBufferIsWrittenByOneWriteAndTheLastFlushFindsItEmpty) {
  Drive drive;
  drive.OpenOutput();
  const Bytes data = Numbered(32000);
  EXPECT_EQ(PutAll(data), 0);
  EXPECT_EQ(host::CallCount(host::Fault::kWrite), 1);
  EXPECT_EQ(Output.OutputCount, 0);
  EXPECT_EQ(FlushOutput(), 0);
  EXPECT_EQ(host::CallCount(host::Fault::kWrite), 1);
  EXPECT_EQ(drive.CloseOutput(), data);
}

TEST(OutputWriter, PartBufferIsWrittenByTheFlush) {
  Drive drive;
  drive.OpenOutput();
  const Bytes data = Numbered(32000 + 123);
  EXPECT_EQ(PutAll(data), 0);
  EXPECT_EQ(Output.OutputCount, 123);
  EXPECT_EQ(FlushOutput(), 0);
  EXPECT_EQ(host::CallCount(host::Fault::kWrite), 2);
  EXPECT_EQ(drive.CloseOutput(), data);
}

struct WriteCase {
  const char* name;
  host::Fault fault;
  std::vector<int> answers;
  ResultCode result;
  const char* text;  // every box shows this
  size_t written;    // bytes in the file afterwards
  int leftInBuffer;  // OutputCount afterwards
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class WriteFailure : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteFailure, AsksRetryOrCancelAndWritesEveryByteOnce) {
  const WriteCase& c = GetParam();
  Drive drive;
  drive.OpenOutput();
  const Bytes data = Numbered(1000);
  EXPECT_EQ(PutAll(data), 0);
  host::InjectFault(c.fault);
  for (int answer : c.answers) drive.QueueBoxAnswer(answer);

  EXPECT_EQ(FlushOutput(), c.result);
  EXPECT_EQ(Output.OutputCount, c.leftInBuffer);
  if (c.leftInBuffer > 0) {
    // What is left is the tail not yet written, at the buffer's start.
    EXPECT_TRUE(std::equal(Output.OutputBuffer,
                           Output.OutputBuffer + c.leftInBuffer,
                           data.end() - c.leftInBuffer));
  }
  Bytes file = drive.CloseOutput();
  EXPECT_EQ(file, Bytes(data.begin(), data.begin() + c.written));
  ASSERT_EQ(drive.otherBoxes().size(), c.answers.size());
  for (const host::Box& box : drive.otherBoxes()) {
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.type, plat::kMbRetryCancel | plat::kMbIconExclamation);
    EXPECT_EQ(box.owner, FileTransferDialog);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, WriteFailure,
    ::testing::Values(WriteCase{"FailedRetried",
                                host::Fault::kWrite,
                                {plat::kIdRetry},
                                0,
                                "A:\\OUT.BIN: write error!",
                                1000,
                                0},
                      WriteCase{"FailedCancelled",
                                host::Fault::kWrite,
                                {plat::kIdCancel},
                                2,
                                "A:\\OUT.BIN: write error!",
                                0,
                                1000},
                      WriteCase{"FailedBoxNotShown",
                                host::Fault::kWrite,
                                {0},
                                2,
                                "A:\\OUT.BIN: write error!",
                                0,
                                1000},
                      WriteCase{"ShortRetried",
                                host::Fault::kShortWrite,
                                {plat::kIdRetry},
                                0,
                                "Disk full!",
                                1000,
                                0},
                      WriteCase{"ShortCancelled",
                                host::Fault::kShortWrite,
                                {plat::kIdCancel},
                                2,
                                "Disk full!",
                                500,
                                500}),
    [](const ::testing::TestParamInfo<WriteCase>& param) {
      return std::string(param.param.name);
    });

TEST(OutputWriter, WriteOfNothingIsADiskFullAndARetryWritesEverything) {
  Drive drive;
  std::vector<long> asked;
  struct Sink {
    std::vector<long>* asked;
    Bytes written;
  } sink{&asked, {}};
  Output.OutputBuffer = static_cast<uint8_t*>(
      AllocLocked(kOutputBufferSize, &Output.OutputMemory));
  CopyText(Output.TargetPath, kPathSize, "A:\\OUT.BIN");
  Output.WriteHook = [](void* context, const uint8_t* bytes, long count) {
    Sink* s = static_cast<Sink*>(context);
    s->asked->push_back(count);
    if (s->asked->size() == 1) return 0L;
    s->written.insert(s->written.end(), bytes, bytes + count);
    return count;
  };
  Output.WriteContext = &sink;
  const Bytes data = Numbered(700);
  EXPECT_EQ(PutAll(data), 0);
  drive.QueueBoxAnswer(plat::kIdRetry);
  EXPECT_EQ(FlushOutput(), 0);
  EXPECT_EQ(asked, std::vector<long>({700, 700}));
  EXPECT_EQ(sink.written, data);
  ASSERT_EQ(drive.otherBoxes().size(), 1u);
  EXPECT_EQ(drive.otherBoxes()[0].text, "Disk full!");
}

TEST(OutputWriter, RepeatedShortWritesEachWriteOnlyWhatIsMissing) {
  Drive drive;
  drive.OpenOutput();
  const Bytes data = Numbered(32000);
  host::InjectFault(host::Fault::kShortWrite, 1, 3);
  for (int i = 0; i < 3; ++i) drive.QueueBoxAnswer(plat::kIdRetry);
  EXPECT_EQ(PutAll(data), 0);
  EXPECT_EQ(drive.CloseOutput(), data);
  // 16000, 8000, 4000, then the last 4000.
  EXPECT_EQ(host::CallCount(host::Fault::kWrite), 4);
}

}  // namespace
