// The stdio reference decoder; see stdio_lzhuf.h. Written from the LZHUF
// algorithm: an adaptive Huffman tree over 314 symbols (256 literals and
// the match lengths 3 to 60) kept sorted by frequency, and match positions
// coded as a table-coded upper part and six plain lower bits.
#include "stdio_lzhuf.h"

#include <cstring>

namespace bench {
namespace {

constexpr int kRing = 4096;
constexpr int kLongest = 60;
constexpr int kSymbols = 256 - 3 + kLongest + 1;  // 314
constexpr int kTree = 2 * kSymbols - 1;           // 627
constexpr int kRoot = kTree - 1;
constexpr unsigned kLimit = 0x8000;

struct Model {
  unsigned freq[kTree + 1];
  int parent[kTree + kSymbols];
  int child[kTree];
};

struct Bits {
  std::FILE* in;
  unsigned buffer = 0;  // 16 bits, next bit in bit 15
  int count = 0;
};

void Fill(Bits* bits) {
  while (bits->count <= 8) {
    int c = std::getc(bits->in);
    if (c == EOF) c = 0;
    bits->buffer |= static_cast<unsigned>(c) << (8 - bits->count);
    bits->buffer &= 0xFFFF;
    bits->count += 8;
  }
}

int Bit(Bits* bits) {
  Fill(bits);
  int bit = (bits->buffer >> 15) & 1;
  bits->buffer = (bits->buffer << 1) & 0xFFFF;
  --bits->count;
  return bit;
}

int Byte(Bits* bits) {
  Fill(bits);
  int byte = static_cast<int>(bits->buffer >> 8);
  bits->buffer = (bits->buffer << 8) & 0xFFFF;
  bits->count -= 8;
  return byte;
}

void Start(Model* m) {
  for (int i = 0; i < kSymbols; ++i) {
    m->freq[i] = 1;
    m->child[i] = i + kTree;
    m->parent[i + kTree] = i;
  }
  for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
    m->freq[j] = m->freq[i] + m->freq[i + 1];
    m->child[j] = i;
    m->parent[i] = m->parent[i + 1] = j;
  }
  m->freq[kTree] = 0xFFFF;
  m->parent[kRoot] = 0;
}

void Rebuild(Model* m) {
  int j = 0;
  for (int i = 0; i < kTree; ++i) {
    if (m->child[i] >= kTree) {
      m->freq[j] = (m->freq[i] + 1) / 2;
      m->child[j] = m->child[i];
      ++j;
    }
  }
  for (int i = 0, k = kSymbols; k < kTree; i += 2, ++k) {
    unsigned f = m->freq[i] + m->freq[i + 1];
    int at = k - 1;
    while (f < m->freq[at]) --at;
    ++at;
    std::memmove(&m->freq[at + 1], &m->freq[at],
                 sizeof(m->freq[0]) * static_cast<size_t>(k - at));
    m->freq[at] = f;
    std::memmove(&m->child[at + 1], &m->child[at],
                 sizeof(m->child[0]) * static_cast<size_t>(k - at));
    m->child[at] = i;
  }
  for (int i = 0; i < kTree; ++i) {
    int k = m->child[i];
    if (k >= kTree) {
      m->parent[k] = i;
    } else {
      m->parent[k] = m->parent[k + 1] = i;
    }
  }
}

void Update(Model* m, int symbol) {
  if (m->freq[kRoot] == kLimit) Rebuild(m);
  int c = m->parent[symbol + kTree];
  do {
    unsigned k = ++m->freq[c];
    int l = c + 1;
    if (k > m->freq[l]) {
      while (k > m->freq[++l]) {
      }
      --l;
      m->freq[c] = m->freq[l];
      m->freq[l] = k;
      int i = m->child[c];
      m->parent[i] = l;
      if (i < kTree) m->parent[i + 1] = l;
      int j = m->child[l];
      m->child[l] = i;
      m->parent[j] = c;
      if (j < kTree) m->parent[j + 1] = c;
      m->child[c] = j;
      c = l;
    }
    c = m->parent[c];
  } while (c != 0);
}

int Symbol(Model* m, Bits* bits) {
  int c = m->child[kRoot];
  while (c < kTree) c = m->child[c + Bit(bits)];
  c -= kTree;
  Update(m, c);
  return c;
}

// Upper six bits of a position, and how many bits their code takes, for
// each value of the first eight coded bits.
struct PositionTables {
  unsigned char code[256];
  unsigned char length[256];
  PositionTables() {
    const int bands[6][3] = {{1, 32, 3}, {3, 16, 4}, {8, 8, 5},
                             {12, 4, 6}, {24, 2, 7}, {16, 1, 8}};
    int index = 0, upper = 0;
    for (const auto& band : bands) {
      for (int v = 0; v < band[0]; ++v, ++upper) {
        for (int e = 0; e < band[1]; ++e, ++index) {
          code[index] = static_cast<unsigned char>(upper);
          length[index] = static_cast<unsigned char>(band[2]);
        }
      }
    }
  }
};

int Position(const PositionTables& tables, Bits* bits) {
  int i = Byte(bits);
  int upper = tables.code[i] << 6;
  for (int n = tables.length[i] - 2; n > 0; --n) i = (i << 1) + Bit(bits);
  return upper | (i & 0x3F);
}

}  // namespace

int64_t StdioDecode(std::FILE* in, std::FILE* out) {
  static const PositionTables tables;
  static Model model;
  static unsigned char ring[kRing];
  uint32_t size = 0;
  for (int i = 0; i < 4; ++i) {
    int c = std::getc(in);
    if (c == EOF) return -1;
    size |= static_cast<uint32_t>(c) << (8 * i);
  }
  if (size == 0) return 0;
  Start(&model);
  std::memset(ring, ' ', kRing - kLongest);
  std::memset(ring + kRing - kLongest, 0, kLongest);
  Bits bits{in};
  int r = kRing - kLongest;
  int64_t count = 0;
  while (count < size) {
    int c = Symbol(&model, &bits);
    if (c < 256) {
      std::putc(c, out);
      ring[r++] = static_cast<unsigned char>(c);
      r &= kRing - 1;
      ++count;
    } else {
      int start = (r - Position(tables, &bits) - 1) & (kRing - 1);
      int length = c - 253;
      for (int k = 0; k < length; ++k) {
        int b = ring[(start + k) & (kRing - 1)];
        std::putc(b, out);
        ring[r++] = static_cast<unsigned char>(b);
        r &= kRing - 1;
        ++count;
      }
    }
  }
  return count;
}

}  // namespace bench
