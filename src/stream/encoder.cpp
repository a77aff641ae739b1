// The LZHUF encoder: binary-tree match finder over the ring, greedy or lazy
// parse, and the adaptive Huffman coding of literals, match lengths and
// the upper position bits.
#include "stream/encoder.h"

#include <cstring>

#include "stream/huffman_model.h"
#include "stream/lzhuf.h"

namespace {

constexpr int kRingMask = kRingSize - 1;
constexpr int kNil = kRingSize;  // no node
constexpr size_t kInputChunk = 32768;
constexpr size_t kStreamChunk = 8192;

// Everything the encoder keeps while it runs.
struct EncoderState {
  // The ring, with its first kLongestMatch - 1 bytes repeated after its end
  // so that a comparison never wraps.
  uint8_t text[kRingSize + kLongestMatch - 1];
  // The match tree: one node per ring position, 256 roots (one per first
  // byte) at kRingSize + 1 + byte.
  int16_t left[kRingSize + 1];
  int16_t right[kRingSize + 257];
  int16_t up[kRingSize + 1];
  int matchLength;
  int matchDistance;  // position code: ring distance minus 1

  HuffmanModel model;

  // Input pulled ahead.
  uint8_t input[kInputChunk];
  size_t inputLeft;
  const uint8_t* inputCursor;
  uint32_t unread;  // input bytes not yet pulled from the reader
  EncodeResult failure;

  // Stream bytes not yet written, and bits not yet a whole byte.
  uint8_t stream[kStreamChunk];
  size_t streamCount;
  uint64_t streamWritten;
  uint32_t bits;  // pending bits, the first in bit 31
  int bitCount;

  const EncodeIo* io;
};

EncoderState State;

// ---- input and output ------------------------------------------------------

// The next input byte, or -1 when size bytes have been taken or the input
// failed (State.failure says which).
int NextInputByte() {
  EncoderState& e = State;
  if (e.inputLeft == 0) {
    if (e.unread == 0 || e.failure != EncodeResult::kOk) return -1;
    size_t want = e.unread < kInputChunk ? e.unread : kInputChunk;
    long n = e.io->read(e.io->readContext, e.input, want);
    if (n < 0) {
      e.failure = EncodeResult::kReadFailed;
      return -1;
    }
    if (n == 0) {
      e.failure = EncodeResult::kInputShort;
      return -1;
    }
    if (static_cast<size_t>(n) > want) n = static_cast<long>(want);
    e.unread -= static_cast<uint32_t>(n);
    e.inputLeft = static_cast<size_t>(n);
    e.inputCursor = e.input;
  }
  --e.inputLeft;
  return *e.inputCursor++;
}

void WriteStreamBytes() {
  EncoderState& e = State;
  if (e.streamCount == 0) return;
  if (e.failure == EncodeResult::kOk) {
    if (e.io->write(e.io->writeContext, e.stream, e.streamCount)) {
      e.streamWritten += e.streamCount;
    } else {
      e.failure = EncodeResult::kWriteFailed;
    }
  }
  e.streamCount = 0;
}

void PutStreamByte(uint8_t byte) {
  State.stream[State.streamCount++] = byte;
  if (State.streamCount == kStreamChunk) WriteStreamBytes();
}

// Appends the low count bits of value (count at most 16), most significant
// first.
void PutBits(unsigned value, int count) {
  EncoderState& e = State;
  e.bits |= (value & ((1u << count) - 1)) << (32 - e.bitCount - count);
  e.bitCount += count;
  while (e.bitCount >= 8) {
    PutStreamByte(static_cast<uint8_t>(e.bits >> 24));
    e.bits <<= 8;
    e.bitCount -= 8;
  }
}

// Pads the last byte with zero bits.
void FlushBits() {
  if (State.bitCount > 0) PutBits(0, 8 - State.bitCount);
}

// ---- the match tree (ring positions as nodes) ----------------------------

void InitTree() {
  EncoderState& e = State;
  for (int i = kRingSize + 1; i <= kRingSize + 256; ++i) e.right[i] = kNil;
  for (int i = 0; i < kRingSize; ++i) e.up[i] = kNil;
}

// Inserts the string at ring position r and leaves the longest match among
// the strings in the tree (and the nearest of equal length on the search
// path) in matchLength and matchDistance. A string equal over the whole
// longest match is replaced by the new one.
void InsertNode(int r) {
  EncoderState& e = State;
  const uint8_t* key = e.text + r;
  int cmp = 1;
  int p = kRingSize + 1 + key[0];
  e.right[r] = e.left[r] = kNil;
  e.matchLength = 0;
  for (;;) {
    if (cmp >= 0) {
      if (e.right[p] == kNil) {
        e.right[p] = static_cast<int16_t>(r);
        e.up[r] = static_cast<int16_t>(p);
        return;
      }
      p = e.right[p];
    } else {
      if (e.left[p] == kNil) {
        e.left[p] = static_cast<int16_t>(r);
        e.up[r] = static_cast<int16_t>(p);
        return;
      }
      p = e.left[p];
    }
    const uint8_t* other = e.text + p;
    int i = 1;
    for (; i < kLongestMatch; ++i) {
      cmp = key[i] - other[i];
      if (cmp != 0) break;
    }
    if (i > kMatchThreshold) {
      const int distance = ((r - p) & kRingMask) - 1;
      if (i > e.matchLength) {
        e.matchDistance = distance;
        e.matchLength = i;
        if (i >= kLongestMatch) break;
      } else if (i == e.matchLength && distance < e.matchDistance) {
        e.matchDistance = distance;
      }
    }
  }
  // p equals the key over the whole longest match: r takes its place.
  e.up[r] = e.up[p];
  e.left[r] = e.left[p];
  e.right[r] = e.right[p];
  e.up[e.left[p]] = static_cast<int16_t>(r);
  e.up[e.right[p]] = static_cast<int16_t>(r);
  if (e.right[e.up[p]] == p) {
    e.right[e.up[p]] = static_cast<int16_t>(r);
  } else {
    e.left[e.up[p]] = static_cast<int16_t>(r);
  }
  e.up[p] = kNil;
}

void DeleteNode(int p) {
  EncoderState& e = State;
  if (e.up[p] == kNil) return;
  int q;
  if (e.right[p] == kNil) {
    q = e.left[p];
  } else if (e.left[p] == kNil) {
    q = e.right[p];
  } else {
    q = e.left[p];
    if (e.right[q] != kNil) {
      do {
        q = e.right[q];
      } while (e.right[q] != kNil);
      e.right[e.up[q]] = e.left[q];
      e.up[e.left[q]] = e.up[q];
      e.left[q] = e.left[p];
      e.up[e.left[p]] = static_cast<int16_t>(q);
    }
    e.right[q] = e.right[p];
    e.up[e.right[p]] = static_cast<int16_t>(q);
  }
  e.up[q] = e.up[p];
  if (e.right[e.up[p]] == p) {
    e.right[e.up[p]] = static_cast<int16_t>(q);
  } else {
    e.left[e.up[p]] = static_cast<int16_t>(q);
  }
  e.up[p] = kNil;
}

// ---- coding
// ------------------------------------------------------------------

// The code of a symbol is the path from the root to its leaf: at each inner
// node, 0 for its first child and 1 for the second (siblings sit at the
// positions 2m and 2m + 1).
void EncodeSymbol(int symbol) {
  EncoderState& e = State;
  uint8_t path[kTreeSize];
  int depth = 0;
  for (int k = e.model.nodeParent[symbol + kTreeSize]; k != kRoot;
       k = e.model.nodeParent[k]) {
    path[depth++] = static_cast<uint8_t>(k & 1);
  }
  while (depth > 0) {
    // Up to 16 bits at a time, root end first.
    int n = depth < 16 ? depth : 16;
    unsigned value = 0;
    for (int i = 0; i < n; ++i) value = (value << 1) | path[--depth];
    PutBits(value, n);
  }
  UpdateModel(&e.model, symbol);
}

// The code of the upper six bits (from the position tables: the first
// entry of the run holding that upper value), then the lower six bits.
struct PositionCodes {
  uint8_t bits[64];
  uint8_t length[64];
};

constexpr PositionCodes MakePositionCodes() {
  PositionCodes codes{};
  for (int i = 255; i >= 0; --i) {
    const int upper = kPositionTables.positionCode[i];
    const int length = kPositionTables.positionLength[i];
    codes.bits[upper] = static_cast<uint8_t>(i >> (8 - length));
    codes.length[upper] = static_cast<uint8_t>(length);
  }
  return codes;
}

constexpr PositionCodes kPositionCodes = MakePositionCodes();

void EncodePosition(int distance) {
  const int upper = distance >> 6;
  PutBits(kPositionCodes.bits[upper], kPositionCodes.length[upper]);
  PutBits(static_cast<unsigned>(distance & 0x3F), 6);
}

void EmitLiteral(uint8_t byte) { EncodeSymbol(byte); }

void EmitMatch(int length, int distance) {
  EncodeSymbol(255 - kMatchThreshold + length);
  EncodePosition(distance);
}

// ---- the parse
// ---------------------------------------------------------------

// The ring position being coded (r), the oldest position kept (s), and the
// bytes from r on that are still to be coded (ahead).
struct Window {
  int r;
  int s;
  int ahead;
};

// Moves the window one byte on: the oldest string leaves the tree, the
// next input byte (if any) enters the ring, and the string at the new r is
// inserted, leaving its match in matchLength and matchDistance.
void Advance(Window* w) {
  EncoderState& e = State;
  DeleteNode(w->s);
  const int c = NextInputByte();
  if (c >= 0) {
    e.text[w->s] = static_cast<uint8_t>(c);
    if (w->s < kLongestMatch - 1) {
      e.text[w->s + kRingSize] = static_cast<uint8_t>(c);
    }
  } else {
    --w->ahead;
  }
  w->s = (w->s + 1) & kRingMask;
  w->r = (w->r + 1) & kRingMask;
  if (w->ahead > 0) InsertNode(w->r);
}

// The match at r, cut to what is left of the input; 0 when it is too short
// to be coded as a match.
int UsableMatch(const Window& w) {
  int length = State.matchLength < w.ahead ? State.matchLength : w.ahead;
  return length > kMatchThreshold ? length : 0;
}

void Encode(MatchParse parse) {
  EncoderState& e = State;
  InitTree();
  InitModel(&e.model);
  Window w{kRingStart, 0, 0};
  std::memset(e.text, 0, sizeof e.text);
  std::memset(e.text, ' ', kRingStart);
  for (; w.ahead < kLongestMatch; ++w.ahead) {
    const int c = NextInputByte();
    if (c < 0) break;
    e.text[w.r + w.ahead] = static_cast<uint8_t>(c);
  }
  if (w.ahead == 0) return;
  // The strings of spaces before the first byte are in the window too.
  for (int i = 1; i <= kLongestMatch; ++i) InsertNode(w.r - i);
  InsertNode(w.r);

  while (w.ahead > 0 && e.failure == EncodeResult::kOk) {
    const int length = UsableMatch(w);
    if (length == 0) {
      EmitLiteral(e.text[w.r]);
      Advance(&w);
      continue;
    }
    const int distance = e.matchDistance;
    int done = 0;
    if (parse == MatchParse::kLazy && length < kLongestMatch) {
      // One step ahead: a longer match there is worth a literal here.
      const uint8_t byte = e.text[w.r];
      Advance(&w);
      done = 1;
      if (w.ahead > 0 && UsableMatch(w) > length) {
        EmitLiteral(byte);
        continue;
      }
    }
    EmitMatch(length, distance);
    for (; done < length; ++done) Advance(&w);
  }
}

}  // namespace

EncodeResult EncodeStream(const EncodeIo& io, uint32_t size,
                          uint64_t* streamSize, MatchParse parse) {
  EncoderState& e = State;
  e.io = &io;
  e.inputLeft = 0;
  e.inputCursor = e.input;
  e.unread = size;
  e.failure = EncodeResult::kOk;
  e.streamCount = 0;
  e.streamWritten = 0;
  e.bits = 0;
  e.bitCount = 0;

  for (int i = 0; i < 4; ++i)
    PutStreamByte(static_cast<uint8_t>(size >> (8 * i)));
  if (size > 0) Encode(parse);
  FlushBits();
  WriteStreamBytes();
  if (streamSize != nullptr) *streamSize = e.streamWritten;
  e.io = nullptr;
  return e.failure;
}

std::vector<uint8_t> EncodeBuffer(const uint8_t* data, size_t size,
                                  MatchParse parse) {
  struct Memory {
    const uint8_t* data;
    size_t left;
    std::vector<uint8_t> stream;
  } memory{data, size, {}};
  EncodeIo io;
  io.read = [](void* context, uint8_t* buffer, size_t count) -> long {
    Memory* m = static_cast<Memory*>(context);
    size_t n = count < m->left ? count : m->left;
    if (n > 0) std::memcpy(buffer, m->data, n);
    m->data += n;
    m->left -= n;
    return static_cast<long>(n);
  };
  io.readContext = &memory;
  io.write = [](void* context, const uint8_t* bytes, size_t count) {
    Memory* m = static_cast<Memory*>(context);
    m->stream.insert(m->stream.end(), bytes, bytes + count);
    return true;
  };
  io.writeContext = &memory;
  EncodeStream(io, static_cast<uint32_t>(size), nullptr, parse);
  return memory.stream;
}
