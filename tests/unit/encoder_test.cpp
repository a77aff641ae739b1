// The LZHUF encoder: its streams decode exactly with our decoder (through
// the real volume reader, cut into chunks across disks) and with the
// published decoder, and come out no larger than the published encoder's
// (a few percent smaller with the optimal parse); streams encoded at once
// on several threads are those encoded one at a time.
#include "stream/encoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

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

struct NamedInput {
  const char* name;
  Bytes data;
};

// Real data: a slice of a system program and text.
std::vector<NamedInput> RealInputs() {
  std::vector<NamedInput> inputs;
  Bytes program = HostFileSlice("/bin/ls", 0, 120000);
  if (!program.empty()) inputs.push_back({"bin_ls", program});
  Bytes license = HostFileSlice("/usr/share/common-licenses/GPL-3", 0, 40000);
  if (!license.empty()) inputs.push_back({"license_text", license});
  inputs.push_back({"prose", TextSample(80000, 5)});
  return inputs;
}

TEST(Encoder,
     StreamsDecodeWithThePublishedDecoderAndAreNoLargerThanItsEncoder) {
  for (const NamedInput& input : RealInputs()) {
    SCOPED_TRACE(input.name);
    const Bytes ours = EncodeBuffer(input.data.data(), input.data.size());
    const Bytes best =
        EncodeBuffer(input.data.data(), input.data.size(), MatchParse::kBest);
    auto published = std::make_unique<reference::Encoder>();
    const Bytes theirs = published->Encode(input.data);
    EXPECT_EQ(reference::Decode(ours), input.data);
    EXPECT_EQ(reference::Decode(best), input.data);
    EXPECT_LE(ours.size(), theirs.size());
    EXPECT_LT(best.size(), ours.size());
    std::printf(
        "[   SIZE   ] %s: %zu bytes, ours %zu (best %zu), published %zu\n",
        input.name, input.data.size(), ours.size(), best.size(), theirs.size());
  }
}

// Inputs of every shape for the optimal parse: tiny ones (one size after
// the other, with and without matches), runs, noise, and random sizes of
// bytes with runs and repeats, some well past the window.
std::vector<NamedInput> ShapedInputs() {
  std::vector<NamedInput> inputs;
  for (size_t size = 0; size <= 24; ++size) {
    inputs.push_back({"tiny text", TextSample(size, 1)});
    inputs.push_back({"tiny noise", stream_test::RandomBytes(size, 1)});
  }
  inputs.push_back({"zeros", Bytes(100000, 0)});
  inputs.push_back({"noise", stream_test::RandomBytes(70000, 2)});
  inputs.push_back({"long text", TextSample(300000, 3)});
  std::mt19937 random(stream_test::TestSeed());
  for (int round = 0; round < 6; ++round) {
    Bytes data(std::uniform_int_distribution<size_t>(25, 200000)(random));
    const int alphabet = 1 + static_cast<int>(random() % 256);
    for (size_t i = 0; i < data.size(); ++i) {
      if (i > 64 && random() % 3 == 0) {
        data[i] = data[i - 1 - random() % std::min<size_t>(i, 6000)];
      } else {
        data[i] = static_cast<uint8_t>(random() % alphabet);
      }
    }
    inputs.push_back({"random size", data});
  }
  return inputs;
}

TEST(Encoder, BestParseDecodesExactlyAndIsNeverMuchLargerThanLazy) {
  for (const NamedInput& input : ShapedInputs()) {
    SCOPED_TRACE(std::string(input.name) + " of " +
                 std::to_string(input.data.size()));
    const Bytes best =
        EncodeBuffer(input.data.data(), input.data.size(), MatchParse::kBest);
    const Bytes lazy = EncodeBuffer(input.data.data(), input.data.size());
    EXPECT_EQ(reference::Decode(best), input.data);
    EXPECT_EQ(stream_test::DecodeInMemory(best).output, input.data);
    EXPECT_LE(best.size(), lazy.size() + 4);
  }
}

TEST(Encoder, ThreadsEncodingAtOnceGiveTheStreamsOfOneAtATime) {
  Bytes inputs[2] = {TextSample(300000, 4), TextSample(200000, 5)};
  const Bytes noise = stream_test::RandomBytes(100000, 5);
  inputs[1].insert(inputs[1].end(), noise.begin(), noise.end());
  constexpr int kRounds = 3;  // for the two threads to overlap
  for (MatchParse parse : {MatchParse::kLazy, MatchParse::kBest}) {
    SCOPED_TRACE(static_cast<int>(parse));
    Bytes alone[2];
    for (int i = 0; i < 2; ++i) {
      alone[i] = EncodeBuffer(inputs[i].data(), inputs[i].size(), parse);
    }
    Bytes together[2][kRounds];
    std::atomic<int> ready{0};
    auto encode = [&](int i) {
      ++ready;
      while (ready < 2) {
      }
      for (Bytes& stream : together[i]) {
        stream = EncodeBuffer(inputs[i].data(), inputs[i].size(), parse);
      }
    };
    std::thread first(encode, 0);
    std::thread second(encode, 1);
    first.join();
    second.join();
    for (int i = 0; i < 2; ++i) {
      for (const Bytes& stream : together[i]) EXPECT_TRUE(stream == alone[i]);
    }
  }
}

TEST(Encoder, GreedyParseIsThePublishedEncoderBitForBit) {
  for (const NamedInput& input : RealInputs()) {
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
  for (MatchParse parse : {MatchParse::kLazy, MatchParse::kBest}) {
    SCOPED_TRACE(static_cast<int>(parse));
    Pipe pipe;
    pipe.input = TextSample(100000, 2);
    const Bytes expected = EncodeBuffer(pipe.input.data(), 80000, parse);
    uint64_t streamSize = 0;
    EXPECT_EQ(EncodeStream(PipeIo(&pipe), 80000, &streamSize, parse),
              EncodeResult::kOk);
    EXPECT_EQ(pipe.stream, expected);
    EXPECT_EQ(streamSize, expected.size());
    EXPECT_EQ(pipe.next, 80000u);
  }
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
  for (const NamedInput& input : RealInputs()) {
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
