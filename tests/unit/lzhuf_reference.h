// A plain, independent LZHUF coder in the shape of the published one, for
// the tests to check the installer's decoder and pkgtool's encoder against:
// a greedy LZSS encoder with a binary search tree over the window (4096
// positions, longest match 60, threshold 2, the nearest of equal-length
// matches met on the search path), the adaptive Huffman model with its
// one-by-one scans and insertion rebuild, and a decoder reading bit by bit.
// Nothing here is shared with src/stream; it is slow and simple on purpose.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace reference {

constexpr int N = 4096;
constexpr int F = 60;
constexpr int THRESHOLD = 2;
constexpr int N_CHAR = 256 - THRESHOLD + F;  // 314
constexpr int T = N_CHAR * 2 - 1;            // 627
constexpr int R = T - 1;
constexpr unsigned MAX_FREQ = 0x8000;
constexpr int NIL = N;

struct Huffman {
  unsigned freq[T + 1];
  int prnt[T + N_CHAR];
  int son[T];

  Huffman() {
    for (int i = 0; i < N_CHAR; i++) {
      freq[i] = 1;
      son[i] = i + T;
      prnt[i + T] = i;
    }
    for (int i = 0, j = N_CHAR; j <= R; i += 2, j++) {
      freq[j] = freq[i] + freq[i + 1];
      son[j] = i;
      prnt[i] = prnt[i + 1] = j;
    }
    freq[T] = 0xffff;
    prnt[R] = 0;
  }

  void Reconst() {
    int j = 0;
    for (int i = 0; i < T; i++) {
      if (son[i] >= T) {
        freq[j] = (freq[i] + 1) / 2;
        son[j] = son[i];
        j++;
      }
    }
    for (int i = 0, k = N_CHAR; k < T; i += 2, k++) {
      unsigned f = freq[k] = freq[i] + freq[i + 1];
      int l = k - 1;
      while (f < freq[l]) l--;
      l++;
      for (int m = k; m > l; m--) {
        freq[m] = freq[m - 1];
        son[m] = son[m - 1];
      }
      freq[l] = f;
      son[l] = i;
    }
    for (int i = 0; i < T; i++) {
      int k = son[i];
      if (k >= T) {
        prnt[k] = i;
      } else {
        prnt[k] = prnt[k + 1] = i;
      }
    }
  }

  void Update(int c) {
    if (freq[R] == MAX_FREQ) Reconst();
    c = prnt[c + T];
    do {
      unsigned k = ++freq[c];
      int l = c + 1;
      if (k > freq[l]) {
        while (k > freq[++l]) {
        }
        l--;
        freq[c] = freq[l];
        freq[l] = k;
        int i = son[c];
        prnt[i] = l;
        if (i < T) prnt[i + 1] = l;
        int j = son[l];
        son[l] = i;
        prnt[j] = c;
        if (j < T) prnt[j + 1] = c;
        son[c] = j;
        c = l;
      }
    } while ((c = prnt[c]) != 0);
  }
};

// The published position tables: the code (left-aligned in 8 bits) and its
// length for each upper six bits of a position.
struct PositionCodes {
  uint8_t code[64];
  uint8_t len[64];
  uint8_t dcode[256];
  uint8_t dlen[256];
  PositionCodes() {
    static const int counts[6] = {1, 3, 8, 12, 24, 16};
    int upper = 0, index = 0;
    for (int band = 0; band < 6; band++) {
      int length = band + 3;
      int run = 1 << (8 - length);
      for (int v = 0; v < counts[band]; v++, upper++) {
        code[upper] = static_cast<uint8_t>(index);
        len[upper] = static_cast<uint8_t>(length);
        for (int e = 0; e < run; e++, index++) {
          dcode[index] = static_cast<uint8_t>(upper);
          dlen[index] = static_cast<uint8_t>(length);
        }
      }
    }
  }
};

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

// The published decoder: bit by bit, the end of the stream reading as
// zeros; decodes the size the stream states (a last match may run past it).
inline std::vector<uint8_t> Decode(const std::vector<uint8_t>& stream) {
  std::vector<uint8_t> out;
  if (stream.size() < 4) return out;
  uint32_t size = 0;
  for (int i = 0; i < 4; i++)
    size |= static_cast<uint32_t>(stream[i]) << (8 * i);
  size_t next = 4;
  unsigned buffer = 0;
  int count = 0;
  auto fill = [&] {
    while (count <= 8) {
      unsigned c = next < stream.size() ? stream[next] : 0;
      next++;
      buffer |= c << (8 - count);
      buffer &= 0xffff;
      count += 8;
    }
  };
  auto bit = [&] {
    fill();
    int b = (buffer >> 15) & 1;
    buffer = (buffer << 1) & 0xffff;
    count--;
    return b;
  };
  Huffman huff;
  PositionCodes positions;
  uint8_t ring[N];
  for (int i = 0; i < N - F; i++) ring[i] = ' ';
  for (int i = N - F; i < N; i++) ring[i] = 0;
  int r = N - F;
  while (out.size() < size) {
    int c = huff.son[R];
    while (c < T) c = huff.son[c + bit()];
    c -= T;
    huff.Update(c);
    if (c < 256) {
      out.push_back(static_cast<uint8_t>(c));
      ring[r++] = static_cast<uint8_t>(c);
      r &= N - 1;
      continue;
    }
    fill();
    int i = static_cast<int>(buffer >> 8);
    buffer = (buffer << 8) & 0xffff;
    count -= 8;
    int upper = positions.dcode[i] << 6;
    for (int n = positions.dlen[i] - 2; n > 0; n--) i = (i << 1) + bit();
    int start = (r - (upper | (i & 0x3f)) - 1) & (N - 1);
    for (int k = 0; k < c - 255 + THRESHOLD; k++) {
      uint8_t b = ring[(start + k) & (N - 1)];
      out.push_back(b);
      ring[r++] = b;
      r &= N - 1;
    }
  }
  return out;
}

}  // namespace reference
