// Building and rebuilding the LZHUF model's tree, and its code lookup.
#include "stream/huffman_model.h"

#include <cstring>

void InitModel(HuffmanModel* model) {
  uint16_t* freq = model->nodeFreq;
  uint16_t* child = model->nodeChild;
  uint16_t* parent = model->nodeParent;
  for (int s = 0; s < kSymbolCount; ++s) {
    freq[s] = 1;
    child[s] = static_cast<uint16_t>(s + kTreeSize);
    parent[s + kTreeSize] = static_cast<uint16_t>(s);
  }
  for (int i = 0, j = kSymbolCount; j <= kRoot; i += 2, ++j) {
    freq[j] = static_cast<uint16_t>(freq[i] + freq[i + 1]);
    child[j] = static_cast<uint16_t>(i);
    parent[i] = parent[i + 1] = static_cast<uint16_t>(j);
  }
  for (int i = kTreeSize; i < kTreeSize + kFreqPadding; ++i) freq[i] = 0xFFFF;
  for (int n = 0; n < kFixedLevels; ++n) {
    freq[Scratch(n)] = 0;
    freq[Scratch(n) + 1] = 0xFFFF;
  }
  parent[kRoot] = 0;
  std::memset(model->peekStamp, 0, sizeof model->peekStamp);
  std::memset(model->watchStamp, 0, sizeof model->watchStamp);
  model->generation = 1;
}

// The published rebuild collects the halved leaves at positions 0 to 313
// and then, for j = 314 to 626, sums the pair at positions 2(j - 314) and
// 2(j - 314) + 1 and inserts the sum into the sorted positions below j,
// after the nodes of equal frequency. An insertion always lands above the
// pair just summed, so no later insertion moves a pair once it has been
// summed: inner node t has its children at positions 2t and 2t + 1 of the
// final order. The sums come out in non-decreasing order, and every leaf is
// there from the start, so the final order is the merge of the leaves and
// the inner nodes (in the order they were made), a leaf first where
// frequencies are equal. That merge is built here in one pass.
void RebuildTree(HuffmanModel* model) {
  uint16_t* freq = model->nodeFreq;
  uint16_t* child = model->nodeChild;
  uint16_t* parent = model->nodeParent;
  ++model->generation;  // every lookup entry is stale

  uint16_t leafFreq[kSymbolCount];
  uint16_t leafChild[kSymbolCount];
  int leaves = 0;
  for (int i = 0; i < kTreeSize && leaves < kSymbolCount; ++i) {
    if (child[i] >= kTreeSize) {
      leafFreq[leaves] = static_cast<uint16_t>((freq[i] + 1) / 2);
      leafChild[leaves] = child[i];
      ++leaves;
    }
  }

  int nextLeaf = 0;
  int nextInner = 0;  // inner node t sums positions 2t and 2t + 1
  for (int position = 0; position < kTreeSize; ++position) {
    // Inner node t can be placed once both its children have been.
    bool inner = false;
    unsigned innerFreq = 0;
    if (nextInner < kSymbolCount - 1 && 2 * nextInner + 1 < position) {
      innerFreq =
          static_cast<unsigned>(freq[2 * nextInner]) + freq[2 * nextInner + 1];
      inner = nextLeaf == leaves || innerFreq < leafFreq[nextLeaf];
    }
    if (inner) {
      freq[position] = static_cast<uint16_t>(innerFreq);
      child[position] = static_cast<uint16_t>(2 * nextInner);
      ++nextInner;
    } else {
      freq[position] = leafFreq[nextLeaf];
      child[position] = leafChild[nextLeaf];
      ++nextLeaf;
    }
  }

  for (int i = 0; i < kTreeSize; ++i) {
    const int k = child[i];
    if (k >= kTreeSize) {
      parent[k] = static_cast<uint16_t>(i);
    } else {
      parent[k] = parent[k + 1] = static_cast<uint16_t>(i);
    }
  }
}

void FillLookup(HuffmanModel* model, unsigned v) {
  const uint16_t* child = model->nodeChild;
  int q = child[kRoot];
  int used = 0;
  while (q < kTreeSize && used < kPeekBits) {
    const int slot = q + ((v >> (kPeekBits - 1 - used)) & 1);
    model->peekPath[v][used] = static_cast<uint16_t>(slot);
    ++used;
    model->watchStamp[slot] = model->generation;
    model->watchPrefix[slot] = static_cast<uint8_t>(v >> (kPeekBits - used));
    model->watchDepth[slot] = static_cast<uint8_t>(used);
    q = child[slot];
  }
  for (int n = used; n < kPeekBits; ++n) {
    model->peekPath[v][n] = static_cast<uint16_t>(Scratch(n));
  }
  model->peekNode[v] = static_cast<uint16_t>(q);
  model->peekBits[v] = static_cast<uint8_t>(used);
  model->peekStamp[v] = model->generation;
}

void ForgetLookups(HuffmanModel* model, int p) {
  const int below = kPeekBits - model->watchDepth[p];
  const unsigned first = static_cast<unsigned>(model->watchPrefix[p]) << below;
  const unsigned end = first + (1u << below);
  for (unsigned v = first; v < end; ++v) model->peekStamp[v] = 0;
  model->watchStamp[p] = 0;
}

bool ExchangeOnPath(HuffmanModel* model, unsigned p, unsigned k) {
  const unsigned l =
      ExchangeNodes(model, p, LastPositionBelow(model->nodeFreq, p + 1, k), k);
  // Exchanging two siblings leaves the path above as it was.
  if (l == (p ^ 1)) return true;
  const unsigned up = model->nodeParent[l];
  if (up != 0) UpdateFrom(model, up);
  return false;
}
