// The LZHUF decoder: crafted streams, one per rule or failure; agreement
// with the published coder (tests/unit/lzhuf_reference.h) on its streams,
// on damaged streams and across model rebuilds.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "lzhuf_reference.h"
#include "stream/encoder.h"
#include "stream_test_support.h"

namespace {

using stream_test::DecodeInMemory;
using stream_test::MemoryDecode;
using stream_test::TextSample;

// Writes a stream of chosen symbols with the published model, so that a
// test can say exactly what the decoder meets.
class StreamCrafter {
 public:
  // Where the code of a symbol or of a match position lies, in bits after
  // the size prefix.
  struct Span {
    bool position;
    size_t first, end;
  };

  explicit StreamCrafter(uint32_t size) {
    for (int i = 0; i < 4; ++i) {
      out_.push_back(static_cast<uint8_t>(size >> (8 * i)));
    }
  }
  StreamCrafter& Literal(uint8_t byte) {
    Symbol(byte);
    return *this;
  }
  // A match of length 3 to 60 from distance + 1 positions back.
  StreamCrafter& Match(int length, int distance) {
    Symbol(255 - reference::THRESHOLD + length);
    const size_t first = BitCount();
    const int upper = distance >> 6;
    bits_.PutBits(codes_.code[upper] >> (8 - codes_.len[upper]),
                  codes_.len[upper]);
    bits_.PutBits(static_cast<unsigned>(distance & 0x3F), 6);
    spans_.push_back({true, first, BitCount()});
    return *this;
  }
  Bytes Finish() {
    bits_.Finish();
    return out_;
  }
  const std::vector<Span>& spans() const { return spans_; }

 private:
  size_t BitCount() const {
    return (out_.size() - 4) * 8 + static_cast<size_t>(bits_.length);
  }
  void Symbol(int c) {
    const size_t first = BitCount();
    std::vector<int> path;
    for (int k = huff_.prnt[c + reference::T]; k != reference::R;
         k = huff_.prnt[k]) {
      path.push_back(k & 1);
    }
    for (size_t i = path.size(); i-- > 0;) bits_.Put(path[i]);
    huff_.Update(c);
    spans_.push_back({false, first, BitCount()});
  }

  Bytes out_;
  reference::BitWriter bits_{&out_};
  reference::Huffman huff_;
  reference::PositionCodes codes_;
  std::vector<Span> spans_;
};

class LzhufDecoder : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetOutput();
    ResetDecoder();
  }
};

Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

Bytes PublishedEncode(const Bytes& data) {
  auto encoder = std::make_unique<reference::Encoder>();
  return encoder->Encode(data);
}

// The ring a byte-by-byte decoder would hold after writing output: spaces
// and zeros where nothing has been written yet.
void ExpectRingAfter(const Bytes& output) {
  uint8_t ring[kRingSize];
  std::memset(ring, ' ', kRingStart);
  std::memset(ring + kRingStart, 0, kRingSize - kRingStart);
  for (size_t i = 0; i < output.size(); ++i) {
    ring[(kRingStart + i) & (kRingSize - 1)] = output[i];
  }
  EXPECT_EQ(::Decoder.writePosition,
            static_cast<int>((kRingStart + output.size()) & (kRingSize - 1)));
  EXPECT_EQ(0, std::memcmp(ring, ::Decoder.ringBuffer, kRingSize));
}

// ---- size prefix
// ----------------------------------------------------------------

TEST_F(LzhufDecoder, SizeZeroWritesNothingAndReadsNothingMore) {
  Bytes stream = {0, 0, 0, 0, 0x12, 0x34};
  MemoryDecode d = DecodeInMemory(stream);
  EXPECT_EQ(d.result, 0);
  EXPECT_TRUE(d.output.empty());
  EXPECT_EQ(d.sourceCalls, 4u);
}

class ShortPrefix : public LzhufDecoder,
                    public ::testing::WithParamInterface<int> {};

TEST_P(ShortPrefix, StreamEndingInsideItsSizePrefixFailsWithoutAMessage) {
  Bytes stream(static_cast<size_t>(GetParam()), 0x05);
  MemoryDecode d = DecodeInMemory(stream);
  EXPECT_EQ(d.result, 2);
  EXPECT_TRUE(d.output.empty());
  EXPECT_TRUE(host::Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Lengths, ShortPrefix, ::testing::Values(0, 1, 2, 3));

// ---- source failures
// --------------------------------------------------------------

// The published decoder takes a byte whenever a bit is wanted and 8 or
// fewer are buffered: two before coded bit 0, then one before each bit
// 8, 16, 24, ... The index in the stream of the byte first wanted for
// coded bit b (a multiple of 8 from 8 on).
size_t ByteWantedForBit(size_t bit) { return 4 + bit / 8 + 1; }

// A stream of literals and matches, and the failure points in it: the
// first byte wanted strictly inside a symbol's code (not for its first
// bit), and the first wanted inside a match position.
struct CraftedFailures {
  Bytes stream;
  long insideSymbol = -1;
  long insidePosition = -1;
};

CraftedFailures MakeCraftedFailures() {
  StreamCrafter crafter(400);
  for (int i = 0; i < 20; ++i) {
    crafter.Literal(static_cast<uint8_t>('a' + i)).Match(3 + i, 1 + i * 7);
  }
  CraftedFailures f;
  f.stream = crafter.Finish();
  for (const StreamCrafter::Span& span : crafter.spans()) {
    for (size_t bit = span.first; bit < span.end; ++bit) {
      if (bit < 8 || bit % 8 != 0) continue;
      if (span.position && f.insidePosition < 0) {
        f.insidePosition = static_cast<long>(ByteWantedForBit(bit));
      }
      if (!span.position && bit > span.first && f.insideSymbol < 0) {
        f.insideSymbol = static_cast<long>(ByteWantedForBit(bit));
      }
    }
  }
  return f;
}

struct FailureCase {
  const char* name;
  long CraftedFailures::*where;  // null: failAt
  long failAt;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class SourceFailure : public LzhufDecoder,
                      public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SourceFailure, EndsDecodingAtOnceWithCancel) {
  const FailureCase& c = GetParam();
  const CraftedFailures crafted = MakeCraftedFailures();
  const long failAt = c.where != nullptr ? crafted.*c.where : c.failAt;
  ASSERT_GE(failAt, 0);
  // Undamaged, the stream decodes.
  EXPECT_EQ(DecodeInMemory(crafted.stream).result, 0);

  MemoryDecode d = DecodeInMemory(crafted.stream, failAt);
  EXPECT_EQ(d.result, 2);
  EXPECT_EQ(d.sourceCalls, static_cast<size_t>(failAt) + 1);
  EXPECT_TRUE(d.output.empty());
  EXPECT_TRUE(host::Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Where, SourceFailure,
    ::testing::Values(FailureCase{"InsideTheSizePrefix", nullptr, 2},
                      FailureCase{"AtTheFirstSymbol", nullptr, 4},
                      FailureCase{"InsideASymbol",
                                  &CraftedFailures::insideSymbol, 0},
                      FailureCase{"InsideAMatchPosition",
                                  &CraftedFailures::insidePosition, 0}),
    [](const ::testing::TestParamInfo<FailureCase>& param) {
      return std::string(param.param.name);
    });

// ---- stream content
// ------------------------------------------------------------------

TEST_F(LzhufDecoder, EarlyMatchIntoTheUnwrittenRingCopiesSpaces) {
  Bytes stream =
      StreamCrafter(12).Literal('A').Match(10, 40).Literal('Z').Finish();
  MemoryDecode d = DecodeInMemory(stream);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(std::string(d.output.begin(), d.output.end()), "A          Z");
  ExpectRingAfter(d.output);
}

TEST_F(LzhufDecoder, MatchIntoTheRingsLastSixtyPositionsCopiesZeros) {
  // Distance 4095 starts at ring position 4036, where writing begins.
  Bytes stream = StreamCrafter(5).Match(5, 4095).Finish();
  MemoryDecode d = DecodeInMemory(stream);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.output, Bytes(5, 0));
}

TEST_F(LzhufDecoder, OverlappingMatchRepeatsTheBytesJustWritten) {
  Bytes stream =
      StreamCrafter(8).Literal('a').Literal('b').Match(6, 1).Finish();
  MemoryDecode d = DecodeInMemory(stream);
  EXPECT_EQ(std::string(d.output.begin(), d.output.end()), "abababab");
}

TEST_F(LzhufDecoder, MatchesCopyRightAtEveryDistanceAndAcrossFullBuffers) {
  // A match may overlap the bytes it writes (distances below its length),
  // straddle the point where the output buffer fills and is written, or
  // reach back past that point; each is checked against the published
  // decoder, and the ring must end as a byte-by-byte decoder leaves it.
  struct Step {
    int length;  // 0 for a literal
    int distance;
  };
  std::vector<Step> plan;
  uint32_t size = 0;
  auto literals = [&](uint32_t upTo) {
    while (size < upTo) {
      plan.push_back({0, 0});
      ++size;
    }
  };
  auto match = [&](int length, int back) {
    plan.push_back({length, back - 1});
    size += static_cast<uint32_t>(length);
  };
  literals(70);
  for (int back : {1, 2, 3, 15, 16, 17, 31, 32, 33, 59, 60, 61, 64}) {
    for (int length : {3, 17, 60}) match(length, back);
  }
  for (uint32_t edge : {32000u, 64000u}) {
    literals(edge - 30);
    match(60, 200);  // fills the buffer halfway through
    match(60, 45);   // begins before the edge, ends after it
    match(60, 4096);
    match(40, 1000);
    match(60, 16);
  }
  literals(size + 100);

  std::mt19937 random(stream_test::TestSeed());
  StreamCrafter crafter(size);
  for (const Step& step : plan) {
    if (step.length == 0) {
      crafter.Literal(static_cast<uint8_t>(random() % 7 + 'a'));
    } else {
      crafter.Match(step.length, step.distance);
    }
  }
  const Bytes stream = crafter.Finish();
  MemoryDecode d = DecodeInMemory(stream);
  EXPECT_EQ(d.result, 0);
  ASSERT_EQ(d.output.size(), size);
  EXPECT_EQ(d.output, reference::Decode(stream));
  ExpectRingAfter(d.output);
}

TEST_F(LzhufDecoder, MatchRunningPastTheStatedSizeIsWrittenWhole) {
  Bytes stream = StreamCrafter(2).Literal('q').Match(7, 0).Finish();
  MemoryDecode d = DecodeInMemory(stream);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.output, Bytes(8, 'q'));
  EXPECT_EQ(::Decoder.count, 8u);
  EXPECT_EQ(::Decoder.size, 2u);
}

TEST_F(LzhufDecoder, InputEndingEarlyReadsAsZeroBitsUpToTheStatedSize) {
  const Bytes data = TextSample(3000, 7);
  Bytes stream = PublishedEncode(data);
  stream.resize(stream.size() / 2);
  MemoryDecode d = DecodeInMemory(stream);
  EXPECT_EQ(d.result, 0);
  ASSERT_GE(d.output.size(), data.size());
  EXPECT_EQ(d.output, reference::Decode(stream));
  // The first part is still right.
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 500, d.output.begin()));
}

TEST_F(LzhufDecoder, ReadsAtMostTwoBytesPastTheLastCodedBit) {
  const Bytes data = TextSample(2000, 3);
  const Bytes stream = PublishedEncode(data);
  MemoryDecode d = DecodeInMemory(stream);
  EXPECT_EQ(d.output, data);
  EXPECT_LE(d.sourceCalls, stream.size() + 2);
}

// A checking tool's strict end: every sound stream, of either encoder and
// whatever its last bits, decodes as before; one cut short ends with 35
// before anything made of the missing bits is written.
TEST_F(LzhufDecoder, StrictEndAcceptsSoundStreamsAndRefusesCutOnes) {
  SetStrictStreamEnd(true);
  std::vector<Bytes> samples = {TextSample(2000, 3), RandomBytes(3000, 4),
                                Bytes(5000, 0)};
  for (size_t size = 1; size <= 24; ++size) {
    samples.push_back(TextSample(size, static_cast<uint32_t>(size)));
  }
  for (const Bytes& data : samples) {
    for (bool published : {false, true}) {
      SCOPED_TRACE(testing::Message() << data.size() << " " << published);
      Bytes stream = published ? PublishedEncode(data)
                               : EncodeBuffer(data.data(), data.size());
      MemoryDecode d = DecodeInMemory(stream);
      EXPECT_EQ(d.result, 0);
      EXPECT_EQ(d.output, data);
      if (data.size() < 1000) continue;
      stream.resize(stream.size() / 2);
      d = DecodeInMemory(stream);
      EXPECT_EQ(d.result, kResultReadError);
      ASSERT_LT(d.output.size(), data.size());
      EXPECT_TRUE(std::equal(d.output.begin(), d.output.end(), data.begin()));
    }
  }
}

TEST_F(LzhufDecoder, EveryStreamStartsFromAFreshState) {
  const Bytes a = TextSample(5000, 1), b = RandomBytes(3000, 2);
  const Bytes sa = PublishedEncode(a), sb = PublishedEncode(b);
  EXPECT_EQ(DecodeInMemory(sa).output, a);
  EXPECT_EQ(DecodeInMemory(sb).output, b);
  EXPECT_EQ(DecodeInMemory(sa).output, a);
}

// ---- agreement with the published coder
// -------------------------------------------------

struct CorpusCase {
  const char* name;
  Bytes (*make)();
};

void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.name; }

class PublishedStreams : public LzhufDecoder,
                         public ::testing::WithParamInterface<CorpusCase> {};

TEST_P(PublishedStreams, DecodeToTheEncodedBytes) {
  const Bytes data = GetParam().make();
  MemoryDecode d = DecodeInMemory(PublishedEncode(data));
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.output, data);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, PublishedStreams,
    ::testing::Values(
        CorpusCase{"OneByte", [] { return Bytes{'x'}; }},
        CorpusCase{"Spaces", [] { return Bytes(5000, ' '); }},
        CorpusCase{"Zeros", [] { return Bytes(70000, 0); }},
        CorpusCase{"Text", [] { return TextSample(60000, 11); }},
        CorpusCase{"Random", [] { return RandomBytes(20000, 5); }},
        // Over 0x8000 literal symbols: the model is rebuilt several times.
        CorpusCase{"RandomPastRebuilds", [] { return RandomBytes(150000, 9); }},
        CorpusCase{"TextPastRebuilds", [] { return TextSample(400000, 4); }}),
    [](const ::testing::TestParamInfo<CorpusCase>& param) {
      return std::string(param.param.name);
    });

TEST_F(LzhufDecoder, AgreesWithThePublishedDecoderOnDamagedStreams) {
  // Damage leaves the published model and the bit reading as the only
  // guide: the two decoders must still agree bit for bit.
  const uint32_t seed = stream_test::TestSeed();
  std::mt19937 random(seed);
  const Bytes text = TextSample(40000, seed);
  const Bytes clean = PublishedEncode(text);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    Bytes stream = clean;
    const int flips = 1 + static_cast<int>(random() % 20);
    for (int i = 0; i < flips; ++i) {
      size_t at = 4 + random() % (stream.size() - 4);
      stream[at] ^= static_cast<uint8_t>(1u << (random() % 8));
    }
    if (round % 4 == 0) stream.resize(4 + random() % (stream.size() - 4));
    MemoryDecode d = DecodeInMemory(stream);
    EXPECT_EQ(d.result, 0);
    ASSERT_EQ(d.output, reference::Decode(stream));
  }
}

// ---- writing through the output writer
// ----------------------------------------------------

TEST(DecoderOutput, FileOfExactlyOneBufferIsWrittenByOneWrite) {
  stream_test::Drive drive;
  const Bytes data = TextSample(32000, 8);
  const Bytes stream = EncodeBuffer(data.data(), data.size());
  ChunkEntry entry = drive.Place(1, stream);
  drive.Insert(1);
  Bytes decoded;
  EXPECT_EQ(drive.DecodeRecord(drive.LoadRecord({entry}), &decoded), 0);
  EXPECT_EQ(decoded, data);
  EXPECT_EQ(host::CallCount(host::Fault::kWrite), 1);
}

TEST(DecoderOutput, CancelledWriteErrorEndsDecodingWithCancel) {
  stream_test::Drive drive;
  const Bytes data = TextSample(50000, 8);
  const Bytes stream = EncodeBuffer(data.data(), data.size());
  ChunkEntry entry = drive.Place(1, stream);
  drive.Insert(1);
  drive.OpenOutput();
  host::InjectFault(host::Fault::kWrite);
  drive.QueueBoxAnswer(plat::kIdCancel);
  StartRecordStream(drive.LoadRecord({entry}));
  EXPECT_EQ(DecodeStream(), 2);
  EXPECT_TRUE(drive.CloseOutput().empty());
  ASSERT_EQ(drive.otherBoxes().size(), 1u);
  EXPECT_EQ(drive.otherBoxes()[0].text, "A:\\OUT.BIN: write error!");
}

// A size prefix of 4 GiB on a 20-byte stream: the installer reads zero
// bits only as far as a lost input could still be finishing, then reports
// a read error naming the record; a checking tool stops at the first bit
// the stream lacks. Neither decodes gigabytes of zeros.
TEST(DecoderOutput, HugeStatedSizeOnATinyStreamEndsQuickly) {
  for (bool strict : {false, true}) {
    SCOPED_TRACE(strict ? "strict" : "installer");
    ResetAllState();
    stream_test::Drive drive;
    SetStrictStreamEnd(strict);
    Bytes stream = {0xFF, 0xFF, 0xFF, 0xFF};
    for (int i = 0; i < 16; ++i) stream.push_back(static_cast<uint8_t>(i * 37));
    ChunkEntry entry = drive.Place(1, stream);
    drive.Insert(1);
    Bytes decoded;
    EXPECT_EQ(drive.DecodeRecord(drive.LoadRecord({entry}), &decoded),
              strict ? kResultReadError : kResultCancel);
    EXPECT_LT(decoded.size(), 4u << 20);
    if (strict) {
      EXPECT_TRUE(drive.otherBoxes().empty());
    } else {
      ASSERT_EQ(drive.otherBoxes().size(), 1u);
      EXPECT_EQ(drive.otherBoxes()[0].text, "FILE0.DAT: read error!");
    }
  }
}

// ---- seed corpora of the fuzz targets
// ------------------------------------------------------

// Writes the seed corpora of fuzz_decoder and fuzz_volume into
// $STREAM_CORPUS_DIR (run by hand with --gtest_also_run_disabled_tests when
// the corpora need remaking; fixed content, no seed).
TEST(FuzzCorpus, DISABLED_WriteSeedCorpora) {
  const char* root = std::getenv("STREAM_CORPUS_DIR");
  ASSERT_NE(root, nullptr);
  auto write = [&](const std::string& target, const std::string& name,
                   const Bytes& bytes) {
    WriteFile(std::string(root) + "/" + target + "/" + name, bytes);
  };
  const Bytes text = TextSample(1500, 21);
  const Bytes random = RandomBytes(600, 22);
  const Bytes textStream = EncodeBuffer(text.data(), text.size());
  const Bytes randomStream = EncodeBuffer(random.data(), random.size());
  Bytes truncated(textStream.begin(),
                  textStream.begin() + textStream.size() / 3);
  Bytes flipped = textStream;
  flipped[textStream.size() / 2] ^= 0x10;
  Bytes hugeSize = textStream;
  hugeSize[3] = 0x7F;
  // fuzz_decoder: a raw stream.
  write("fuzz_decoder", "text", textStream);
  write("fuzz_decoder", "random", randomStream);
  write("fuzz_decoder", "empty_file", {0, 0, 0, 0});
  write("fuzz_decoder", "short_prefix", {9, 0});
  write("fuzz_decoder", "truncated", truncated);
  write("fuzz_decoder", "bit_flipped", flipped);
  write("fuzz_decoder", "huge_size", hugeSize);
  write("fuzz_decoder", "crafted_matches",
        StreamCrafter(40).Literal('a').Match(30, 0).Match(9, 4095).Finish());
  // fuzz_volume: see tests/fuzz/fuzz_volume.cpp for the layout: a control
  // byte, chunk entries, then the volumes of disks 1 to 3.
  auto volumeInput = [](uint8_t control, const std::vector<ChunkEntry>& chunks,
                        const std::vector<Bytes>& volumes) {
    Bytes in;
    in.push_back(control);
    in.push_back(static_cast<uint8_t>(chunks.size()));
    for (const ChunkEntry& c : chunks) {
      for (int i = 0; i < 2; ++i)
        in.push_back(static_cast<uint8_t>(c.disk >> (8 * i)));
      for (int i = 0; i < 4; ++i)
        in.push_back(static_cast<uint8_t>(c.offset >> (8 * i)));
      for (int i = 0; i < 4; ++i)
        in.push_back(static_cast<uint8_t>(c.length >> (8 * i)));
    }
    for (const Bytes& v : volumes) {
      in.push_back(static_cast<uint8_t>(v.size()));
      in.push_back(static_cast<uint8_t>(v.size() >> 8));
      in.insert(in.end(), v.begin(), v.end());
    }
    return in;
  };
  const uint32_t n = static_cast<uint32_t>(textStream.size());
  const uint32_t half = n / 2;
  Bytes one = MakeVolume(1, textStream);
  Bytes firstHalf =
      MakeVolume(1, Bytes(textStream.begin(), textStream.begin() + half));
  Bytes secondHalf =
      MakeVolume(2, Bytes(textStream.begin() + half, textStream.end()));
  write("fuzz_volume", "one_chunk", volumeInput(0, {{1, 2, n}}, {one}));
  write("fuzz_volume", "two_disks",
        volumeInput(0, {{1, 2, half}, {2, 2, n - half}},
                    {firstHalf, secondHalf}));
  write("fuzz_volume", "disks_1_2_1",
        volumeInput(0, {{1, 2, 3}, {2, 2, n - half}, {1, 5, half - 3}},
                    {firstHalf, secondHalf}));
  write("fuzz_volume", "truncated_volume",
        volumeInput(0, {{1, 2, n}},
                    {Bytes(one.begin(), one.begin() + one.size() / 2)}));
  write("fuzz_volume", "wrong_disk", volumeInput(0, {{2, 2, n}}, {one, one}));
  write("fuzz_volume", "read_faults", volumeInput(0x35, {{1, 2, n}}, {one}));
  write("fuzz_volume", "write_faults", volumeInput(0xA7, {{1, 2, n}}, {one}));
}

}  // namespace
