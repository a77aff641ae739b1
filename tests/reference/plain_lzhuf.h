// The plain LZHUF decoder: the file to read first. It is the published 1988
// algorithm written out the simple way, one byte in and one byte out at a
// time, so that the installer's decoder (src/stream/lzhuf.h, with
// stream/huffman_model.h), built for speed and for a stream cut into chunks
// across disks, can be read against it. The unit tests check that decoder
// and pkgtool's encoder against this one (tests/unit/lzhuf_reference.h adds
// a plain encoder), and the benchmark measures it as the stdio decoder
// (bench/stdio_lzhuf.h). Nothing here is shared with src/.
//
// The stream: the decoded size (u32, little-endian), then the coded bits,
// most significant first; the end of the input reads as zero bits. LZSS
// over a 4096-byte ring (spaces at 0 to 4035, zeros at 4036 to 4095,
// writing from 4036); each symbol is a literal (0 to 255) or a match length
// (256 to 313 for 3 to 60 bytes), coded with an adaptive Huffman tree that
// is kept sorted by frequency and halved when the root reaches 0x8000. A
// match is followed by its position: the upper six bits coded through the
// table below (3 to 8 bits), then the lower six bits plain; the match starts
// position + 1 bytes back. The size is compared only before each symbol, so
// a last match that runs past it is written whole.
#pragma once

#include <cstdint>

namespace reference {

constexpr int N = 4096;                      // ring size
constexpr int F = 60;                        // longest match
constexpr int THRESHOLD = 2;                 // matches are at least 3 long
constexpr int N_CHAR = 256 - THRESHOLD + F;  // 314 symbols
constexpr int T = N_CHAR * 2 - 1;            // 627 nodes
constexpr int R = T - 1;                     // the root
constexpr unsigned MAX_FREQ = 0x8000;

// The adaptive Huffman tree: freq sorted ascending, son[] the left child
// (or leaf symbol + T), prnt[] the parent of nodes and (at symbol + T) of
// leaves.
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

  // Halves every leaf's frequency and builds the tree again.
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

  // Counts symbol c, swapping each node that now outweighs its successor
  // with the last node of lower weight, up to the root.
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
// length for each upper six bits of a position, and for each value of the
// first eight coded bits the upper six bits and the code's length.
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

// Decodes one stream: get() returns the next input byte or a negative
// value at its end, put(byte) takes each output byte. Returns the number of
// bytes put, or -1 when the input ends inside the size prefix.
template <typename Get, typename Put>
int64_t DecodeBytes(Get&& get, Put&& put) {
  uint32_t size = 0;
  for (int i = 0; i < 4; i++) {
    int c = get();
    if (c < 0) return -1;
    size |= static_cast<uint32_t>(c) << (8 * i);
  }
  unsigned buffer = 0;  // 16 bits, the next bit in bit 15
  int count = 0;
  auto fill = [&] {
    while (count <= 8) {
      int c = get();
      if (c < 0) c = 0;
      buffer |= static_cast<unsigned>(c) << (8 - count);
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
  const PositionCodes positions;
  Huffman huff;
  uint8_t ring[N];
  for (int i = 0; i < N - F; i++) ring[i] = ' ';
  for (int i = N - F; i < N; i++) ring[i] = 0;
  int r = N - F;
  int64_t written = 0;
  while (written < size) {
    int c = huff.son[R];
    while (c < T) c = huff.son[c + bit()];
    c -= T;
    huff.Update(c);
    if (c < 256) {
      put(c);
      ring[r++] = static_cast<uint8_t>(c);
      r &= N - 1;
      written++;
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
      put(b);
      ring[r++] = b;
      r &= N - 1;
      written++;
    }
  }
  return written;
}

}  // namespace reference
