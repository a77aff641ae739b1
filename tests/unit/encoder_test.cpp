// The LZHUF encoder: its streams decode exactly with our decoder (through
// the real volume reader, cut into chunks across disks) and with the
// published decoder, and come out no larger than the published encoder's.
#include "stream/encoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <random>

#include "lzhuf_reference.h"
#include "stream_test_support.h"

namespace {

using stream_test::Drive;
using stream_test::TextSample;

Bytes HostFileSlice(const char* path, size_t offset, size_t size) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  in.seekg(static_cast<std::streamoff>(offset));
  Bytes bytes(size);
  in.read(reinterpret_cast<char*>(bytes.data()),
          static_cast<std::streamsize>(size));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

// Real data: a slice of a system program and text.
struct RealInput {
  const char* name;
  Bytes data;
};

std::vector<RealInput> RealInputs() {
  std::vector<RealInput> inputs;
  Bytes program = HostFileSlice("/bin/ls", 0, 120000);
  if (!program.empty()) inputs.push_back({"bin_ls", program});
  Bytes license = HostFileSlice("/usr/share/common-licenses/GPL-3", 0, 40000);
  if (!license.empty()) inputs.push_back({"license_text", license});
  inputs.push_back({"prose", TextSample(80000, 5)});
  return inputs;
}

TEST(Encoder,
     StreamsDecodeWithThePublishedDecoderAndAreNoLargerThanItsEncoder) {
  for (const RealInput& input : RealInputs()) {
    SCOPED_TRACE(input.name);
    const Bytes ours = EncodeBuffer(input.data.data(), input.data.size());
    auto published = std::make_unique<reference::Encoder>();
    const Bytes theirs = published->Encode(input.data);
    EXPECT_EQ(reference::Decode(ours), input.data);
    EXPECT_LE(ours.size(), theirs.size());
    std::printf("[   SIZE   ] %s: %zu bytes, ours %zu, published %zu\n",
                input.name, input.data.size(), ours.size(), theirs.size());
  }
}

TEST(Encoder, GreedyParseIsThePublishedEncoderBitForBit) {
  for (const RealInput& input : RealInputs()) {
    SCOPED_TRACE(input.name);
    Bytes slice(
        input.data.begin(),
        input.data.begin() + std::min<size_t>(input.data.size(), 60000));
    auto published = std::make_unique<reference::Encoder>();
    EXPECT_EQ(EncodeBuffer(slice.data(), slice.size(), MatchParse::kGreedy),
              published->Encode(slice));
  }
}

TEST(Encoder, EmptyInputGivesTheSizePrefixAlone) {
  EXPECT_EQ(EncodeBuffer(nullptr, 0), Bytes({0, 0, 0, 0}));
}

// ---- the streaming interface
// --------------------------------------------------

struct Pipe {
  Bytes input;
  size_t next = 0;
  size_t chunk = 7;     // bytes handed out per read
  long failAfter = -1;  // reads before read fails
  long writesBeforeFailure = -1;
  long reads = 0;
  Bytes stream;
  size_t largestRead = 0;
};

EncodeIo PipeIo(Pipe* pipe) {
  EncodeIo io;
  io.read = [](void* context, uint8_t* buffer, size_t count) -> long {
    Pipe* p = static_cast<Pipe*>(context);
    if (p->failAfter >= 0 && p->reads >= p->failAfter) return -1;
    ++p->reads;
    p->largestRead = std::max(p->largestRead, count);
    size_t n = std::min({count, p->chunk, p->input.size() - p->next});
    std::memcpy(buffer, p->input.data() + p->next, n);
    p->next += n;
    return static_cast<long>(n);
  };
  io.readContext = pipe;
  io.write = [](void* context, const uint8_t* bytes, size_t count) {
    Pipe* p = static_cast<Pipe*>(context);
    if (p->writesBeforeFailure == 0) return false;
    if (p->writesBeforeFailure > 0) --p->writesBeforeFailure;
    p->stream.insert(p->stream.end(), bytes, bytes + count);
    return true;
  };
  io.writeContext = pipe;
  return io;
}

TEST(EncoderStreaming, SmallReadsGiveTheSameStreamAndNothingPastTheSizeIsRead) {
  Pipe pipe;
  pipe.input = TextSample(50000, 2);
  const Bytes expected = EncodeBuffer(pipe.input.data(), 30000);
  uint64_t streamSize = 0;
  EXPECT_EQ(EncodeStream(PipeIo(&pipe), 30000, &streamSize), EncodeResult::kOk);
  EXPECT_EQ(pipe.stream, expected);
  EXPECT_EQ(streamSize, expected.size());
  EXPECT_EQ(pipe.next, 30000u);
}

TEST(EncoderStreaming, InputEndingBeforeTheSizeIsReported) {
  Pipe pipe;
  pipe.input = TextSample(1000, 2);
  EXPECT_EQ(EncodeStream(PipeIo(&pipe), 5000), EncodeResult::kInputShort);
}

TEST(EncoderStreaming, FailedReadIsReported) {
  Pipe pipe;
  pipe.input = TextSample(100000, 2);
  pipe.chunk = 40000;
  pipe.failAfter = 1;
  EXPECT_EQ(EncodeStream(PipeIo(&pipe), 100000), EncodeResult::kReadFailed);
}

TEST(EncoderStreaming, FailedWriteIsReportedAndNothingMoreIsWritten) {
  Pipe pipe;
  pipe.input = TextSample(200000, 2);
  pipe.chunk = 1 << 20;
  pipe.writesBeforeFailure = 2;
  uint64_t streamSize = 0;
  EXPECT_EQ(EncodeStream(PipeIo(&pipe), 200000, &streamSize),
            EncodeResult::kWriteFailed);
  EXPECT_EQ(streamSize, pipe.stream.size());
}

TEST(EncoderStreaming, ReadsInBoundedPiecesWhateverTheSize) {
  Pipe pipe;
  pipe.input = Bytes(3 << 20, 'z');
  pipe.chunk = 1 << 30;
  EXPECT_EQ(EncodeStream(PipeIo(&pipe), 3 << 20), EncodeResult::kOk);
  EXPECT_LE(pipe.largestRead, 65536u);
}

// ---- round trips through the volume reader
// --------------------------------------

// Encodes data, cuts the stream into random chunks on random disks (1 to
// 3) at random places of their volumes, and decodes it through the volume
// reader: the file must come back byte for byte, with one prompt per change
// of disk.
void RoundTrip(const Bytes& data, std::mt19937* random) {
  const Bytes stream = EncodeBuffer(data.data(), data.size());
  Drive drive;
  std::vector<ChunkEntry> chunks;
  std::vector<int> expectedPrompts;
  int disk = 1;
  for (const Bytes& piece : stream_test::Cut(stream, random, 12)) {
    int next = std::uniform_int_distribution<int>(1, 3)(*random);
    if (next != disk) expectedPrompts.push_back(next);
    disk = next;
    size_t gap = std::uniform_int_distribution<size_t>(0, 300)(*random);
    chunks.push_back(drive.Place(disk, piece, gap));
  }
  drive.Insert(1);
  Bytes decoded;
  ASSERT_EQ(drive.DecodeRecord(drive.LoadRecord(chunks), &decoded), 0);
  ASSERT_EQ(decoded.size(), data.size());
  EXPECT_TRUE(decoded == data);
  EXPECT_EQ(drive.prompts(), expectedPrompts);
}

TEST(EncoderRoundTrip, RandomInputsCutAcrossDisksComeBackExactly) {
  std::mt19937 random(stream_test::TestSeed());
  for (int round = 0; round < 25; ++round) {
    SCOPED_TRACE(round);
    size_t size = std::uniform_int_distribution<size_t>(0, 70000)(random);
    Bytes data(size);
    // Random bytes with runs and repeats, so matches of every length occur.
    const int alphabet = 1 + static_cast<int>(random() % 256);
    for (size_t i = 0; i < size; ++i) {
      if (i > 64 && random() % 4 == 0) {
        size_t back = 1 + random() % std::min<size_t>(i, 5000);
        data[i] = data[i - back];
      } else {
        data[i] = static_cast<uint8_t>(random() % alphabet);
      }
    }
    RoundTrip(data, &random);
  }
}

TEST(EncoderRoundTrip, RealInputsCutAcrossDisksComeBackExactly) {
  std::mt19937 random(stream_test::TestSeed());
  for (const RealInput& input : RealInputs()) {
    SCOPED_TRACE(input.name);
    RoundTrip(input.data, &random);
  }
}

TEST(EncoderRoundTrip, LongStreamStaysInStepAcrossModelRebuilds) {
  // Well over 0x8000 symbols of each kind: literals in the random part,
  // matches in the repeated prose.
  std::mt19937 random(stream_test::TestSeed());
  Bytes data = TextSample(300000, 9);
  for (int i = 0; i < 120000; ++i)
    data.push_back(static_cast<uint8_t>(random()));
  Bytes more = TextSample(200000, 10);
  data.insert(data.end(), more.begin(), more.end());
  RoundTrip(data, &random);
  auto published = std::make_unique<reference::Encoder>();
  const Bytes theirs = published->Encode(data);
  EXPECT_EQ(stream_test::DecodeInMemory(theirs).output, data);
}

}  // namespace
