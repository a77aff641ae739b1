// The LZHUF decoder: a symbol's code is walked from the root of the model's
// tree (its first bits through the model's lookup), a match position is
// decoded with the two position tables, and the model is updated along the
// path just walked.
//
// The bits are taken from a 16-bit buffer exactly as the published decoder
// takes them: a byte is read whenever a bit or a byte is wanted and 8 bits
// or fewer are buffered. Where this decoder takes several bits at once it
// first reads every byte that the one-by-one reads would have read in
// between (nothing observable happens in between), so the source sees the
// same reads at the same points between symbols, failures included.
//
// The hot loop keeps the bit buffer, the source's cursor and the output
// cursor in locals (a byte store could otherwise alias them and force
// reloads) and writes them back before anything outside can see them.
#include "stream/lzhuf.h"

#include <cstring>

#include "stream/output.h"
#include "stream/volume.h"

namespace {

constexpr int kSourceFailed = -2;
// zeroBits stops growing here: at most 32 bits are ever buffered.
constexpr unsigned kZeroBitsLimit = 1u << 30;

bool StrictEnd = false;

DecodeSourceHook SourceHook = nullptr;
void* SourceContext = nullptr;

// The volume reader as a source: its InputBuffer cursor held locally, the
// slow path through RefillSourceByte.
struct VolumeSource {
  const uint8_t* cursor = Volume.InputCursor;
  int left = Volume.InputLeft;

  STREAM_INLINE int Read() {
    if (left > 0) {
      --left;
      return *cursor++;
    }
    Volume.InputCursor = cursor;
    Volume.InputLeft = 0;
    int byte = RefillSourceByte();
    cursor = Volume.InputCursor;
    left = Volume.InputLeft;
    return byte;
  }
  void Sync() const {
    Volume.InputCursor = cursor;
    Volume.InputLeft = left;
  }
};

// An installed source hook.
struct HookSource {
  DecodeSourceHook read = SourceHook;
  void* context = SourceContext;

  STREAM_INLINE int Read() { return read(context); }
  void Sync() const {}
};

// The output writer with OutputBuffer's cursor held locally. The bytes
// decoded since the buffer was last emptied stay in it, so they double as
// the window: a match whose source lies among them is copied from there.
// The ring holds the window as it was when base was set (the stream's start
// or the last flush); it is brought up to date only at a flush and at the
// end of the stream.
struct OutputSink {
  uint8_t* cursor = Output.OutputBuffer + Output.OutputCount;
  uint8_t* end = Output.OutputBuffer + kOutputBufferSize;
  uint8_t* base = cursor;  // the first of this stream's bytes in the buffer
  unsigned ringBase = kRingStart;  // the ring position of *base
  uint8_t* ring;

  explicit OutputSink(uint8_t* ringBuffer) : ring(ringBuffer) {}

  // Copies the bytes from base to the cursor (the last kRingSize of them)
  // to their ring positions; base moves on to the cursor.
  void SyncRing() {
    size_t n = static_cast<size_t>(cursor - base);
    const uint8_t* from = base;
    unsigned at = ringBase;
    ringBase = static_cast<unsigned>((ringBase + n) & (kRingSize - 1));
    base = cursor;
    if (n > kRingSize) {
      from += n - kRingSize;
      at = static_cast<unsigned>((at + n - kRingSize) & (kRingSize - 1));
      n = kRingSize;
    }
    const size_t first = n < kRingSize - at ? n : kRingSize - at;
    std::memcpy(ring + at, from, first);
    std::memcpy(ring, from + first, n - first);
  }

  // PutOutputByte: 0, or FlushOutput's result when the byte filled the
  // buffer.
  STREAM_INLINE ResultCode Put(uint8_t byte) {
    *cursor++ = byte;
    if (cursor != end) return kResultOk;
    return Flush();
  }
  ResultCode Flush() {
    SyncRing();
    Output.OutputCount = static_cast<int>(kOutputBufferSize);
    ResultCode result = FlushOutput();
    cursor = Output.OutputBuffer + Output.OutputCount;
    base = cursor;
    return result;
  }

  // The byte back positions before the next one (back is 1 to kRingSize).
  STREAM_INLINE uint8_t Behind(unsigned back) const {
    const size_t held = static_cast<size_t>(cursor - base);
    if (held >= back) return cursor[-static_cast<ptrdiff_t>(back)];
    return ring[(ringBase + held - back) & (kRingSize - 1)];
  }

  // Copies a match of length bytes (at most kLongestMatch) from back
  // positions before the cursor when that can be done 16 bytes at a time:
  // the source lies in the buffer, every 16 bytes read have been written
  // before (back >= 16), and the buffer has room for whole 16-byte pieces
  // without filling. False, with nothing done, otherwise.
  STREAM_INLINE bool CopyWide(unsigned back, int length) {
    if (back < 16 || static_cast<size_t>(cursor - base) < back ||
        end - cursor < 64) {
      return false;
    }
    const uint8_t* from = cursor - back;
    uint8_t* to = cursor;
    uint8_t piece[16];
    std::memcpy(piece, from, 16);
    std::memcpy(to, piece, 16);
    for (int k = 16; k < length; k += 16) {
      std::memcpy(piece, from + k, 16);
      std::memcpy(to + k, piece, 16);
    }
    cursor += length;
    return true;
  }

  void Sync() const {
    Output.OutputCount = static_cast<int>(cursor - Output.OutputBuffer);
  }
};

static_assert(kLongestMatch <= 64, "a wide copy stays within 64 bytes");

// The bit buffer: the 16 bits live in the top half of a 32-bit word (the
// next bit in bit 31), so shifting needs no mask; the bits below the
// buffered ones are always zero.
template <class Source>
struct BitInput {
  Source source;
  uint32_t buffer = 0;
  unsigned count = 0;
  // How many of the buffered bits, the last ones, stand for input that
  // ended. Once more bits have been used than were real, count stays below
  // it: the stream has needed bits past its end.
  unsigned zeroBits = 0;
  bool strict = StrictEnd;  // such a stream fails (pastEnd)
  bool pastEnd = false;

  // Appends the next byte's bits below the buffered ones (count is at most
  // 24); the end of the input reads as zero bits. False when the source
  // failed, and with strict when the stream has used a bit past its end:
  // once the input has ended every byte wanted comes this way, so that is
  // seen at the next byte, and the decoding loop sees the rest.
  STREAM_INLINE bool TakeByte() {
    int byte = source.Read();
    if (byte == kSourceFailed) return false;
    if (byte < 0) {
      if (strict && PastEnd()) {
        pastEnd = true;
        return false;
      }
      byte = 0;
      if (zeroBits < kZeroBitsLimit) zeroBits += 8;
    }
    buffer |= static_cast<uint32_t>(byte) << (24 - count);
    count += 8;
    return true;
  }
  // Whether a bit past the end of the input has been used.
  bool PastEnd() const { return count < zeroBits; }
  // The result of a stream that stopped because TakeByte said false.
  ResultCode Stopped() const {
    return pastEnd ? kResultReadError : kResultCancel;
  }
  // What precedes every read of a bit or a byte: while 8 bits or fewer are
  // buffered, take a byte.
  STREAM_INLINE bool Fill() {
    while (count <= 8) {
      if (!TakeByte()) return false;
    }
    return true;
  }
  // GetBit: 0 or 1, -2 when the source failed.
  STREAM_INLINE int GetBit() {
    if (count <= 8 && !Fill()) return kSourceFailed;
    int bit = static_cast<int>(buffer >> 31);
    buffer <<= 1;
    --count;
    return bit;
  }
};

// DecodeChar: walks the tree from the root, one bit per level, to a leaf,
// and counts the symbol in the model. -2 when the source failed (the model
// is then unchanged).
//
// The first kPeekBits levels come from the model's lookup. The walk one bit
// at a time would read a byte before the first bit when 8 bits or fewer are
// buffered, and again before a later bit when the buffer has run down to 8;
// the first read is made before the lookup as usual, which leaves at least
// 9 bits for it (kPeekBits is at most 8), and the second, if the looked-up
// bits ran the buffer below 8, right after them.
template <class Bits>
STREAM_INLINE int DecodeChar(HuffmanModel* model, Bits* bits) {
  if (bits->count <= 8 && !bits->Fill()) return kSourceFailed;
  const unsigned v = bits->buffer >> (32 - kPeekBits);
  if (model->peekStamp[v] != model->generation) FillLookup(model, v);
  unsigned p = model->peekNode[v];
  const unsigned used = model->peekBits[v];
  bits->buffer <<= used;
  bits->count -= used;
  if (bits->count < 8 && !bits->TakeByte()) return kSourceFailed;

  uint16_t path[kTreeSize];
  // The looked-up levels come with their scratch positions; the levels
  // below them start out as scratch too and are overwritten as walked.
  std::memcpy(path, model->peekPath[v], sizeof model->peekPath[v]);
  for (int n = kPeekBits; n < kFixedLevels; ++n) path[n] = Scratch(n);
  int depth = static_cast<int>(used);
  const uint16_t* child = model->nodeChild;
  while (p < kTreeSize) {
    const int bit = bits->GetBit();
    if (bit < 0) return kSourceFailed;
    p += static_cast<unsigned>(bit);
    path[depth++] = static_cast<uint16_t>(p);
    p = child[p];
  }
  const unsigned symbol = p - kTreeSize;
  UpdateModelAlong(model, symbol, path, depth);
  return static_cast<int>(symbol);
}

// DecodePosition: a match distance of 12 bits, the upper six from the
// first eight bits through the position tables, the lower six from those
// eight and the n bits that follow. -2 when the source failed.
//
// The published decoder reads the eight bits as a byte and the n bits one
// by one, reading a byte before each when 8 bits or fewer are left; the
// last of them needs more than 8 left before it, that is n + 16 before the
// byte. Those reads are all made before the bits are used (the buffer then
// holds up to 29 bits for a moment).
template <class Bits>
STREAM_INLINE int DecodePosition(Bits* bits) {
  if (bits->count <= 8 && !bits->Fill()) return kSourceFailed;
  const unsigned first = bits->buffer >> 24;
  const unsigned n = kPositionTables.positionLength[first] - 2u;
  while (bits->count < n + 16) {
    if (!bits->TakeByte()) return kSourceFailed;
  }
  const unsigned code = bits->buffer >> (24 - n);
  bits->buffer <<= 8 + n;
  bits->count -= 8 + n;
  return static_cast<int>((kPositionTables.positionCode[first] << 6) |
                          (code & 0x3F));
}

template <class Source>
ResultCode DecodeFrom(Source source) {
  DecoderState& d = Decoder;
  std::memset(&d, 0, sizeof d);
  BitInput<Source> bits{source};

  // The decoded size, least significant byte first.
  uint32_t size = 0;
  for (int i = 0; i < 4; ++i) {
    int byte = bits.source.Read();
    if (byte < 0) {
      bits.source.Sync();
      return kResultCancel;
    }
    size |= static_cast<uint32_t>(byte) << (8 * i);
  }
  d.size = size;
  if (size == 0) {
    bits.source.Sync();
    return kResultOk;
  }

  InitModel(&d.model);
  std::memset(d.ringBuffer, ' ', kRingStart);
  OutputSink out(d.ringBuffer);
  // 64 bits: a last match may run up to 59 bytes past a size near 2^32.
  uint64_t count = 0;
  ResultCode result = kResultOk;

  while (count < size) {
    const int c = DecodeChar(&d.model, &bits);
    if (c < 0) {
      result = bits.Stopped();
      break;
    }
    if (c < 256) {
      if (out.Put(static_cast<uint8_t>(c)) != kResultOk) {
        result = kResultCancel;
        break;
      }
      ++count;
      continue;
    }
    const int distance = DecodePosition(&bits);
    if (distance < 0) {
      result = bits.Stopped();
      break;
    }
    const unsigned back = static_cast<unsigned>(distance) + 1;
    const int length = c - (255 - kMatchThreshold);
    count += static_cast<uint64_t>(length);
    if (out.CopyWide(back, length)) continue;
    // Byte by byte: the source may overlap the bytes being written, start
    // in the ring, or the buffer fill on the way.
    for (int k = 0; k < length; ++k) {
      if (out.Put(out.Behind(back)) != kResultOk) {
        count -= static_cast<uint64_t>(length - k);  // written: k bytes
        result = kResultCancel;
        break;
      }
    }
    if (result != kResultOk) break;
  }
  // The last symbols may have used bits past the end without asking for
  // another byte.
  if (result == kResultOk && bits.strict && bits.PastEnd()) {
    result = kResultReadError;
  }

  bits.source.Sync();
  out.SyncRing();
  out.Sync();
  d.bitBuffer = static_cast<uint16_t>(bits.buffer >> 16);
  d.bitCount = static_cast<uint8_t>(bits.count);
  d.writePosition = static_cast<int16_t>(out.ringBase);
  d.count = count;
  if (result != kResultOk) return result;
  return FlushOutput();
}

}  // namespace

DecoderState Decoder;

ResultCode DecodeStream() {
  if (SourceHook != nullptr) return DecodeFrom(HookSource{});
  return DecodeFrom(VolumeSource{});
}

void SetStrictStreamEnd(bool strict) { StrictEnd = strict; }

void SetDecodeSource(DecodeSourceHook read, void* context) {
  SourceHook = read;
  SourceContext = read != nullptr ? context : nullptr;
}

void ResetDecoder() {
  std::memset(&Decoder, 0, sizeof Decoder);
  SetDecodeSource(nullptr, nullptr);
  StrictEnd = false;
}
