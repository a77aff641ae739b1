// The adaptive Huffman model of LZHUF, shared by the decoder and the
// encoder so that both keep it in step symbol for symbol.
//
// 314 symbols: the literal bytes 0 to 255 and the match lengths 3 to 60 as
// symbols 256 to 313 (length = symbol - 253). The tree has 627 node
// positions (0 to 626, the root at 626) kept in non-decreasing order of
// frequency; siblings always occupy a pair of positions (2m, 2m + 1), and
// a symbol's code is the path from the root to its leaf, 0 for the first
// child and 1 for the second.
//
//   nodeFreq[0..626]    frequency of the node at each position; entry 627
//                       is the sentinel 0xFFFF, and so are the few after it
//                       (a search may look ahead without a bounds check)
//   nodeChild[0..626]   an inner node's first child (the second is at + 1);
//                       for a leaf, 627 + its symbol
//   nodeParent[0..626]  the parent position of each node (the root's is 0);
//   nodeParent[627+s]   the position of the leaf of symbol s; the entry
//                       after them is a spare that takes the writes meant
//                       for a leaf's (non-existent) second child
//
// Every update adds 1 to the frequencies from the symbol's leaf to the
// root; a node whose frequency grows past the next position's is first
// exchanged with the last node of its old frequency, so that the order
// holds. When the root's frequency has reached 0x8000 the next update first
// rebuilds the tree with halved (rounded-up) leaf frequencies.
//
// The decoder also keeps a lookup of the tree's top levels in the model
// (FillLookup), which the exchanges keep honest; the encoder never fills it.
#pragma once

#include <cstdint>

// Marks the small steps of the decoder's hot loop, which must be inlined
// into it.
#if defined(__GNUC__)
#define STREAM_INLINE inline __attribute__((always_inline))
#else
#define STREAM_INLINE inline
#endif

constexpr int kSymbolCount = 314;
constexpr int kTreeSize = 2 * kSymbolCount - 1;  // 627
constexpr int kRoot = kTreeSize - 1;             // 626
constexpr unsigned kRebuildLimit = 0x8000;
constexpr int kPeekBits = 6;  // code bits the decoder looks up at once
static_assert(kPeekBits >= 1 && kPeekBits <= 8, "fits the lookup's fields");

constexpr int kFreqPadding = 8;  // sentinels from position 627 on

// UpdateModelAlong walks the top kFixedLevels levels of every path in one
// fixed sequence; a path that is shorter is filled up with scratch
// positions. Scratch(n), the stand-in at level n, lies past the tree and
// the padding, and the position after it holds 0xFFFF: adding 1 to its
// frequency never breaks the order, so it never takes part in an exchange.
// Each level has its own, so that the additions of one update do not wait
// for each other.
constexpr int kFixedLevels = 8;
constexpr unsigned kScratchPosition = kTreeSize + kFreqPadding;
constexpr unsigned Scratch(int n) { return kScratchPosition + 2 * n; }
static_assert(kFixedLevels >= kPeekBits, "a looked-up path fits");

struct HuffmanModel {
  uint16_t nodeFreq[kScratchPosition + 2 * kFixedLevels];
  uint16_t nodeChild[kTreeSize];
  uint16_t nodeParent[kTreeSize + kSymbolCount + 1];

  // The code lookup: entry v says where the walk from the root along the
  // kPeekBits bits of v ends (peekNode: an inner node to walk on from, or
  // the leaf reached, maybe in fewer bits), how many bits it took
  // (peekBits) and the positions it passed (peekPath; the slots past
  // peekBits hold Scratch(n), so that the path can go to UpdateModelAlong
  // as it is). An entry is valid while its stamp equals generation, which
  // moves on at every rebuild. A position whose children a valid entry has
  // read is watched (same stamp) together with its code prefix; exchanging
  // a watched node clears every entry under that prefix, since their walks
  // now lead elsewhere. Nodes
  // below the top kPeekBits levels are never read by an entry. A watch may
  // outlive the entries that set it (a node moved by an exchange above it
  // keeps its old prefix until an entry passes it again); that only ever
  // clears entries needlessly.
  uint16_t peekNode[1 << kPeekBits];
  uint8_t peekBits[1 << kPeekBits];
  uint32_t peekStamp[1 << kPeekBits];
  uint16_t peekPath[1 << kPeekBits][kPeekBits];
  uint32_t watchStamp[kTreeSize];
  uint8_t watchPrefix[kTreeSize];  // the code bits leading to the position
  uint8_t watchDepth[kTreeSize];   // how many there are (1 to kPeekBits)
  uint32_t generation;
};

// Builds the starting tree: every symbol with frequency 1, inner nodes
// paired in order, the sentinel set, the lookup empty.
void InitModel(HuffmanModel* model);

// Halves the leaves' frequencies (rounding up), keeping their order, and
// rebuilds the inner nodes and parent links from them. A new inner node
// goes after the existing nodes of equal frequency. Empties the lookup.
void RebuildTree(HuffmanModel* model);

// Fills lookup entry v from the tree as it is now.
void FillLookup(HuffmanModel* model, unsigned v);

// Clears the lookup entries whose walk passes position p.
void ForgetLookups(HuffmanModel* model, int p);

// The highest position whose frequency is below k, searching upwards from
// position first, whose frequency is below k. The frequencies are sorted and
// the sentinel stops the search, so this is the position a one-by-one scan
// would stop at.
inline unsigned LastPositionBelow(const uint16_t* freq, unsigned first,
                                  unsigned k) {
  // Most runs are short: count the next few positions without branching
  // (the frequencies are sorted; the padding after the sentinel is 0xFFFF).
  unsigned low = first + (freq[first + 1] < k) + (freq[first + 2] < k) +
                 (freq[first + 3] < k);
  if (low < first + 3 || freq[first + 4] >= k) return low;
  unsigned high;  // freq[high] >= k
  unsigned step = 1;
  for (;;) {
    high = low + step;
    if (high >= kTreeSize) {
      high = kTreeSize;  // the sentinel
      break;
    }
    if (freq[high] >= k) break;
    low = high;
    step <<= 1;
  }
  while (high - low > 1) {
    const unsigned middle = (low + high) >> 1;
    if (freq[middle] < k) {
      low = middle;
    } else {
      high = middle;
    }
  }
  return low;
}

// Exchanges the nodes at positions p and l (l above p, its frequency
// below k): p takes l's frequency and children, l takes k and p's children.
// Returns l.
inline unsigned ExchangeNodes(HuffmanModel* model, unsigned p, unsigned l,
                              unsigned k) {
  if (model->watchStamp[p] == model->generation) ForgetLookups(model, p);
  if (model->watchStamp[l] == model->generation) ForgetLookups(model, l);
  uint16_t* freq = model->nodeFreq;
  uint16_t* child = model->nodeChild;
  uint16_t* parent = model->nodeParent;
  constexpr unsigned kSpare = kTreeSize + kSymbolCount;
  freq[p] = freq[l];
  freq[l] = static_cast<uint16_t>(k);
  const unsigned i = child[p];
  const unsigned j = child[l];
  parent[i] = static_cast<uint16_t>(l);
  parent[i < kTreeSize ? i + 1 : kSpare] = static_cast<uint16_t>(l);
  parent[j] = static_cast<uint16_t>(p);
  parent[j < kTreeSize ? j + 1 : kSpare] = static_cast<uint16_t>(p);
  child[l] = static_cast<uint16_t>(i);
  child[p] = static_cast<uint16_t>(j);
  return l;
}

// The walk of UpdateModel from position p up to the root: add 1 to each
// node's frequency, exchanging it first where the order would break.
inline void UpdateFrom(HuffmanModel* model, unsigned p) {
  uint16_t* freq = model->nodeFreq;
  for (;;) {
    const unsigned k = ++freq[p];
    if (k > freq[p + 1]) {
      // The order is broken: exchange with the last node below k.
      p = ExchangeNodes(model, p, LastPositionBelow(freq, p + 1, k), k);
    }
    p = model->nodeParent[p];
    if (p == 0) return;
  }
}

// Counts one more occurrence of symbol, rebuilding first when the root's
// frequency has reached the limit.
inline void UpdateModel(HuffmanModel* model, unsigned symbol) {
  if (model->nodeFreq[kRoot] == kRebuildLimit) RebuildTree(model);
  UpdateFrom(model, model->nodeParent[symbol + kTreeSize]);
}

// The exchange at position p of a known path (see UpdateModelAlong) whose
// frequency has grown to k past the next one's. False when it has moved the
// walk off the path (an exchange with a node other than the sibling); the
// rest of the update has then been done from there.
bool ExchangeOnPath(HuffmanModel* model, unsigned p, unsigned k);

// One level of UpdateModelAlong: adds 1 to the frequency at position p of
// the path; false when the walk must not go on along the path.
STREAM_INLINE bool UpdateAlongLevel(HuffmanModel* model, unsigned p) {
  uint16_t* freq = model->nodeFreq;
  const unsigned k = ++freq[p];
  if (k <= freq[p + 1]) return true;
  return ExchangeOnPath(model, p, k);
}

// UpdateModel for a symbol whose path from the root is known: path[0] to
// path[depth - 1] are the positions passed on the way down from the root to
// the symbol's leaf (as the decoder finds them), and when depth is below
// kFixedLevels, path[n] is Scratch(n) for n from depth to kFixedLevels - 1.
// The walk up is that path backwards, so its positions need not be chased
// through nodeParent one after the other, until an exchange with a node
// other than the sibling moves the walk elsewhere; from there (and after a
// rebuild) it goes on as UpdateModel's. An exchange never moves an ancestor
// of the node exchanged: the other node's frequency is below the node's
// own, and an ancestor's is above it.
STREAM_INLINE void UpdateModelAlong(HuffmanModel* model, unsigned symbol,
                                    const uint16_t* path, int depth) {
  uint16_t* freq = model->nodeFreq;
  if (freq[kRoot] == kRebuildLimit) {
    RebuildTree(model);
    UpdateFrom(model, model->nodeParent[symbol + kTreeSize]);
    return;
  }
  for (int n = depth - 1; n >= kFixedLevels; --n) {
    if (!UpdateAlongLevel(model, path[n])) return;
  }
  static_assert(kFixedLevels == 8, "the unrolling below takes every level");
#pragma GCC unroll 8
  for (int n = kFixedLevels - 1; n >= 0; --n) {
    if (!UpdateAlongLevel(model, path[n])) return;
  }
  ++freq[kRoot];
}
