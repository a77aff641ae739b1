// The LZHUF decoder: crafted streams, one per rule or failure; agreement
// with the plain coder (tests/reference/plain_lzhuf.h, lzhuf_reference.h)
// on its streams, on damaged streams and across model rebuilds.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "lzhuf_reference.h"
#include "stream/encoder.h"
#include "stream_test_support.h"

namespace {

using reference::StreamCrafter;
using stream_test::DecodeInMemory;
using stream_test::MemoryDecode;
using stream_test::RandomBytes;
using stream_test::TextSample;

class LzhufDecoder : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetOutput();
    ResetDecoder();
  }
};

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

// A checking tool's strict end: every sound stream, of every encoder and
// whatever its last bits, decodes as before and ends exactly: the last bit
// it uses lies in its last byte (pkgtool's check that a stream uses exactly
// its chunks rests on this); one cut short ends with 35 before anything
// made of the missing bits is written.
TEST_F(LzhufDecoder, StrictEndAcceptsSoundStreamsAndRefusesCutOnes) {
  SetStrictStreamEnd(true);
  std::vector<Bytes> samples = {TextSample(2000, 3),   RandomBytes(3000, 4),
                                Bytes(5000, 0),        TextSample(70000, 8),
                                RandomBytes(40000, 6), Bytes()};
  for (size_t size = 1; size <= 24; ++size) {
    samples.push_back(TextSample(size, static_cast<uint32_t>(size)));
    samples.push_back(RandomBytes(size * 7, static_cast<uint32_t>(size)));
  }
  const int kPublished = 3;  // after the three parses of our encoder
  for (const Bytes& data : samples) {
    for (int encoder = 0; encoder <= kPublished; ++encoder) {
      SCOPED_TRACE(testing::Message() << data.size() << " " << encoder);
      Bytes stream = encoder == kPublished
                         ? PublishedEncode(data)
                         : EncodeBuffer(data.data(), data.size(),
                                        static_cast<MatchParse>(encoder));
      MemoryDecode d = DecodeInMemory(stream);
      EXPECT_EQ(d.result, 0);
      EXPECT_EQ(d.output, data);
      // Every call of the source gave 8 bits (a zero byte at the end of
      // the input); those still buffered were not used.
      const size_t usedBits = 8 * d.sourceCalls - ::Decoder.bitCount;
      EXPECT_EQ((usedBits + 7) / 8, stream.size());
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

}  // namespace
