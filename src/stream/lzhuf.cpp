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

#if defined(__GNUC__)
#define DECODER_INLINE inline __attribute__((always_inline))
#else
#define DECODER_INLINE inline
#endif

constexpr int kSourceFailed = -2;

DecodeSourceHook SourceHook = nullptr;
void* SourceContext = nullptr;

// The volume reader as a source: its InputBuffer cursor held locally, the
// slow path through RefillSourceByte.
struct VolumeSource {
  const uint8_t* cursor = Volume.InputCursor;
  int left = Volume.InputLeft;

  DECODER_INLINE int Read() {
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

  DECODER_INLINE int Read() { return read(context); }
  void Sync() const {}
};

// The output writer with OutputBuffer's cursor held locally.
struct OutputSink {
  uint8_t* cursor = Output.OutputBuffer + Output.OutputCount;
  uint8_t* end = Output.OutputBuffer + kOutputBufferSize;

  // PutOutputByte: 0, or FlushOutput's result when the byte filled the
  // buffer.
  DECODER_INLINE ResultCode Put(uint8_t byte) {
    *cursor++ = byte;
    if (cursor != end) return kResultOk;
    Output.OutputCount = static_cast<int>(kOutputBufferSize);
    ResultCode result = FlushOutput();
    cursor = Output.OutputBuffer + Output.OutputCount;
    return result;
  }
  // Room for n more bytes without filling the buffer.
  bool HasRoomFor(int n) const { return end - cursor > n; }
  void Sync() const {
    Output.OutputCount = static_cast<int>(cursor - Output.OutputBuffer);
  }
};

// The bit buffer: the 16 bits live in the top half of a 32-bit word (the
// next bit in bit 31), so shifting needs no mask; the bits below the
// buffered ones are always zero.
template <class Source>
struct BitInput {
  Source source;
  uint32_t buffer = 0;
  unsigned count = 0;

  // Appends the next byte's bits below the buffered ones (count is at most
  // 24); the end of the input reads as zero bits. False when the source
  // failed.
  DECODER_INLINE bool TakeByte() {
    int byte = source.Read();
    if (byte == kSourceFailed) return false;
    if (byte < 0) byte = 0;
    buffer |= static_cast<uint32_t>(byte) << (24 - count);
    count += 8;
    return true;
  }
  // What precedes every read of a bit or a byte: while 8 bits or fewer are
  // buffered, take a byte.
  DECODER_INLINE bool Fill() {
    while (count <= 8) {
      if (!TakeByte()) return false;
    }
    return true;
  }
  // GetBit: 0 or 1, -2 when the source failed.
  DECODER_INLINE int GetBit() {
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
DECODER_INLINE int DecodeChar(HuffmanModel* model, Bits* bits) {
  if (bits->count <= 8 && !bits->Fill()) return kSourceFailed;
  const unsigned v = bits->buffer >> (32 - kPeekBits);
  if (model->peekStamp[v] != model->generation) FillLookup(model, v);
  int p = model->peekNode[v];
  const unsigned used = model->peekBits[v];
  bits->buffer <<= used;
  bits->count -= used;
  if (bits->count < 8 && !bits->TakeByte()) return kSourceFailed;

  int16_t path[kTreeSize];
  std::memcpy(path, model->peekPath[v], sizeof model->peekPath[v]);
  int depth = static_cast<int>(used);
  const int16_t* child = model->nodeChild;
  while (p < kTreeSize) {
    int bit = bits->GetBit();
    if (bit < 0) return kSourceFailed;
    p += bit;
    path[depth++] = static_cast<int16_t>(p);
    p = child[p];
  }
  const int symbol = p - kTreeSize;
  UpdateModelAlong(model, symbol, path, depth);
  return symbol;
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
DECODER_INLINE int DecodePosition(Bits* bits) {
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
  uint8_t* const ring = d.ringBuffer;
  std::memset(ring, ' ', kRingStart);
  unsigned position = kRingStart;
  uint32_t count = 0;
  OutputSink out;
  ResultCode result = kResultOk;

  while (count < size) {
    const int c = DecodeChar(&d.model, &bits);
    if (c < 0) {
      result = kResultCancel;
      break;
    }
    if (c < 256) {
      if (out.Put(static_cast<uint8_t>(c)) != kResultOk) {
        result = kResultCancel;
        break;
      }
      ring[position] = static_cast<uint8_t>(c);
      position = (position + 1) & (kRingSize - 1);
      ++count;
      continue;
    }
    const int distance = DecodePosition(&bits);
    if (distance < 0) {
      result = kResultCancel;
      break;
    }
    const unsigned start = (position - distance - 1) & (kRingSize - 1);
    const int length = c - (255 - kMatchThreshold);
    if (start + length <= kRingSize && position + length <= kRingSize &&
        out.HasRoomFor(length)) {
      // No wrap and no flush: a plain forward copy, byte by byte since the
      // source and the destination may overlap.
      const uint8_t* from = ring + start;
      uint8_t* to = ring + position;
      uint8_t* o = out.cursor;
      for (int k = 0; k < length; ++k) {
        const uint8_t byte = from[k];
        to[k] = byte;
        o[k] = byte;
      }
      out.cursor += length;
      position = (position + length) & (kRingSize - 1);
      count += static_cast<uint32_t>(length);
      continue;
    }
    for (int k = 0; k < length; ++k) {
      const uint8_t byte = ring[(start + k) & (kRingSize - 1)];
      if (out.Put(byte) != kResultOk) {
        result = kResultCancel;
        break;
      }
      ring[position] = byte;
      position = (position + 1) & (kRingSize - 1);
      ++count;
    }
    if (result != kResultOk) break;
  }

  bits.source.Sync();
  out.Sync();
  d.bitBuffer = static_cast<uint16_t>(bits.buffer >> 16);
  d.bitCount = static_cast<uint8_t>(bits.count);
  d.writePosition = static_cast<int16_t>(position);
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

void SetDecodeSource(DecodeSourceHook read, void* context) {
  SourceHook = read;
  SourceContext = read != nullptr ? context : nullptr;
}

void ResetDecoder() {
  std::memset(&Decoder, 0, sizeof Decoder);
  SetDecodeSource(nullptr, nullptr);
}
