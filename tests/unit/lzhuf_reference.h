// A plain, independent LZHUF encoder in the shape of the published one, for
// the tests to check the installer's decoder and pkgtool's encoder against:
// a greedy LZSS encoder with a binary search tree over the window (4096
// positions, longest match 60, threshold 2, the nearest of equal-length
// matches met on the search path) over the model and decoder of
// tests/reference/plain_lzhuf.h, and a writer of chosen symbols. Nothing
// here is shared with src/stream; it is slow and simple on purpose.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "reference/plain_lzhuf.h"

namespace reference {

constexpr int NIL = N;

struct BitWriter {
  std::vector<uint8_t>* out;
  unsigned buffer = 0;
  int length = 0;
  void Put(int bit) {
    buffer = (buffer << 1) | (bit & 1);
    if (++length == 8) {
      out->push_back(static_cast<uint8_t>(buffer));
      buffer = 0;
      length = 0;
    }
  }
  void PutBits(unsigned value, int count) {
    for (int i = count - 1; i >= 0; i--) Put((value >> i) & 1);
  }
  void Finish() {
    while (length != 0) Put(0);
  }
};

// The published encoder's parse and output, greedy.
class Encoder {
 public:
  std::vector<uint8_t> Encode(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    for (int i = 0; i < 4; i++) {
      out.push_back(static_cast<uint8_t>(in.size() >> (8 * i)));
    }
    if (in.empty()) return out;
    BitWriter bits{&out};
    for (int i = N + 1; i <= N + 256; i++) rson[i] = NIL;
    for (int i = 0; i < N; i++) dad[i] = NIL;
    size_t next = 0;
    int s = 0, r = N - F, len;
    memset(text, 0, sizeof text);
    for (int i = s; i < r; i++) text[i] = ' ';
    for (len = 0; len < F && next < in.size(); len++)
      text[r + len] = in[next++];
    for (int i = 1; i <= F; i++) InsertNode(r - i);
    InsertNode(r);
    do {
      if (matchLength > len) matchLength = len;
      if (matchLength <= THRESHOLD) {
        matchLength = 1;
        EncodeChar(&bits, text[r]);
      } else {
        EncodeChar(&bits, 255 - THRESHOLD + matchLength);
        int upper = matchPosition >> 6;
        bits.PutBits(positions.code[upper] >> (8 - positions.len[upper]),
                     positions.len[upper]);
        bits.PutBits(matchPosition & 0x3f, 6);
      }
      int last = matchLength, i;
      for (i = 0; i < last && next < in.size(); i++) {
        DeleteNode(s);
        uint8_t c = in[next++];
        text[s] = c;
        if (s < F - 1) text[s + N] = c;
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        InsertNode(r);
      }
      while (i++ < last) {
        DeleteNode(s);
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        if (--len) InsertNode(r);
      }
    } while (len > 0);
    bits.Finish();
    return out;
  }

 private:
  void InsertNode(int r) {
    int cmp = 1;
    const uint8_t* key = &text[r];
    int p = N + 1 + key[0];
    rson[r] = lson[r] = NIL;
    matchLength = 0;
    for (;;) {
      if (cmp >= 0) {
        if (rson[p] != NIL) {
          p = rson[p];
        } else {
          rson[p] = r;
          dad[r] = p;
          return;
        }
      } else {
        if (lson[p] != NIL) {
          p = lson[p];
        } else {
          lson[p] = r;
          dad[r] = p;
          return;
        }
      }
      int i;
      for (i = 1; i < F; i++) {
        if ((cmp = key[i] - text[p + i]) != 0) break;
      }
      if (i > THRESHOLD) {
        int c = ((r - p) & (N - 1)) - 1;
        if (i > matchLength) {
          matchPosition = c;
          if ((matchLength = i) >= F) break;
        }
        if (i == matchLength && c < matchPosition) matchPosition = c;
      }
    }
    dad[r] = dad[p];
    lson[r] = lson[p];
    rson[r] = rson[p];
    dad[lson[p]] = r;
    dad[rson[p]] = r;
    if (rson[dad[p]] == p) {
      rson[dad[p]] = r;
    } else {
      lson[dad[p]] = r;
    }
    dad[p] = NIL;
  }

  void DeleteNode(int p) {
    int q;
    if (dad[p] == NIL) return;
    if (rson[p] == NIL) {
      q = lson[p];
    } else if (lson[p] == NIL) {
      q = rson[p];
    } else {
      q = lson[p];
      if (rson[q] != NIL) {
        do {
          q = rson[q];
        } while (rson[q] != NIL);
        rson[dad[q]] = lson[q];
        dad[lson[q]] = dad[q];
        lson[q] = lson[p];
        dad[lson[p]] = q;
      }
      rson[q] = rson[p];
      dad[rson[p]] = q;
    }
    dad[q] = dad[p];
    if (rson[dad[p]] == p) {
      rson[dad[p]] = q;
    } else {
      lson[dad[p]] = q;
    }
    dad[p] = NIL;
  }

  // The path from the root to the symbol's leaf, root end first.
  void EncodeChar(BitWriter* bits, int c) {
    std::vector<int> path;
    for (int k = huff.prnt[c + T]; k != R; k = huff.prnt[k]) {
      path.push_back(k & 1);
    }
    for (size_t i = path.size(); i-- > 0;) bits->Put(path[i]);
    huff.Update(c);
  }

  uint8_t text[N + F - 1];
  int lson[N + 1], rson[N + 257], dad[N + 1];
  int matchPosition = 0, matchLength = 0;
  Huffman huff;
  PositionCodes positions;
};

// Writes a stream of chosen symbols with the published model, so that a
// test can say exactly what a decoder meets.
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
    Symbol(255 - THRESHOLD + length);
    const size_t first = BitCount();
    const int upper = distance >> 6;
    bits_.PutBits(codes_.code[upper] >> (8 - codes_.len[upper]),
                  codes_.len[upper]);
    bits_.PutBits(static_cast<unsigned>(distance & 0x3F), 6);
    spans_.push_back({true, first, BitCount()});
    return *this;
  }
  std::vector<uint8_t> Finish() {
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
    for (int k = huff_.prnt[c + T]; k != R; k = huff_.prnt[k]) {
      path.push_back(k & 1);
    }
    for (size_t i = path.size(); i-- > 0;) bits_.Put(path[i]);
    huff_.Update(c);
    spans_.push_back({false, first, BitCount()});
  }

  std::vector<uint8_t> out_;
  BitWriter bits_{&out_};
  Huffman huff_;
  PositionCodes codes_;
  std::vector<Span> spans_;
};

// The plain decoder on a stream held in memory: the bytes it decodes
// (none when the stream ends inside its size prefix).
inline std::vector<uint8_t> Decode(const std::vector<uint8_t>& stream) {
  std::vector<uint8_t> out;
  size_t next = 0;
  DecodeBytes(
      [&] {
        return next < stream.size() ? static_cast<int>(stream[next++]) : -1;
      },
      [&](int byte) { out.push_back(static_cast<uint8_t>(byte)); });
  return out;
}

}  // namespace reference
