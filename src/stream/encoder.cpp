// The LZHUF encoder: the greedy and lazy parses over the published
// encoder's binary search tree of the ring, and the entry points of every
// parse.
#include "stream/encoder.h"

#include <cstring>
#include <new>

#include "stream/best_parse.h"
#include "stream/lzhuf.h"
#include "stream/symbol_coder.h"

namespace {

constexpr int kRingMask = kRingSize - 1;
constexpr int kNil = kRingSize;  // no node

// The greedy and lazy parses: the ring, its match tree and the coder.
class TreeParser {
 public:
  TreeParser(const EncodeIo& io, uint32_t size) : coder_(io, size) {}
  // Encodes the whole input; *written receives the stream's length.
  EncodeResult Run(uint32_t size, MatchParse parse, uint64_t* written) {
    if (size > 0) Encode(parse);
    const EncodeResult result = coder_.Finish();
    *written = coder_.written();
    return result;
  }

 private:
  struct Window;
  void Encode(MatchParse parse);
  void InitTree();
  void InsertNode(int r);
  void DeleteNode(int p);
  void Advance(Window* w);
  int UsableMatch(const Window& w) const;

  // The ring, with its first kLongestMatch - 1 bytes repeated after its end
  // so that a comparison never wraps.
  uint8_t text_[kRingSize + kLongestMatch - 1];
  // The match tree: one node per ring position, 256 roots (one per first
  // byte) at kRingSize + 1 + byte.
  int16_t left_[kRingSize + 1];
  int16_t right_[kRingSize + 257];
  int16_t up_[kRingSize + 1];
  int matchLength_ = 0;
  int matchDistance_ = 0;  // position code: ring distance minus 1
  SymbolCoder coder_;
};

// ---- the match tree (ring positions as nodes) -----------------------------

void TreeParser::InitTree() {
  for (int i = kRingSize + 1; i <= kRingSize + 256; ++i) right_[i] = kNil;
  for (int i = 0; i < kRingSize; ++i) up_[i] = kNil;
}

// Inserts the string at ring position r and leaves the longest match among
// the strings in the tree (and the nearest of equal length on the search
// path) in matchLength_ and matchDistance_. A string equal over the whole
// longest match is replaced by the new one.
void TreeParser::InsertNode(int r) {
  const uint8_t* key = text_ + r;
  int cmp = 1;
  int p = kRingSize + 1 + key[0];
  right_[r] = left_[r] = kNil;
  matchLength_ = 0;
  for (;;) {
    if (cmp >= 0) {
      if (right_[p] == kNil) {
        right_[p] = static_cast<int16_t>(r);
        up_[r] = static_cast<int16_t>(p);
        return;
      }
      p = right_[p];
    } else {
      if (left_[p] == kNil) {
        left_[p] = static_cast<int16_t>(r);
        up_[r] = static_cast<int16_t>(p);
        return;
      }
      p = left_[p];
    }
    const uint8_t* other = text_ + p;
    int i = 1;
    for (; i < kLongestMatch; ++i) {
      cmp = key[i] - other[i];
      if (cmp != 0) break;
    }
    if (i > kMatchThreshold) {
      const int distance = ((r - p) & kRingMask) - 1;
      if (i > matchLength_) {
        matchDistance_ = distance;
        matchLength_ = i;
        if (i >= kLongestMatch) break;
      } else if (i == matchLength_ && distance < matchDistance_) {
        matchDistance_ = distance;
      }
    }
  }
  // p equals the key over the whole longest match: r takes its plac
  up_[r] = up_[p];
  left_[r] = left_[p];
  right_[r] = right_[p];
  up_[left_[p]] = static_cast<int16_t>(r);
  up_[right_[p]] = static_cast<int16_t>(r);
  if (right_[up_[p]] == p) {
    right_[up_[p]] = static_cast<int16_t>(r);
  } else {
    left_[up_[p]] = static_cast<int16_t>(r);
  }
  up_[p] = kNil;
}

void TreeParser::DeleteNode(int p) {
  if (up_[p] == kNil) return;
  int q;
  if (right_[p] == kNil) {
    q = left_[p];
  } else if (left_[p] == kNil) {
    q = right_[p];
  } else {
    q = left_[p];
    if (right_[q] != kNil) {
      do {
        q = right_[q];
      } while (right_[q] != kNil);
      right_[up_[q]] = left_[q];
      up_[left_[q]] = up_[q];
      left_[q] = left_[p];
      up_[left_[p]] = static_cast<int16_t>(q);
    }
    right_[q] = right_[p];
    up_[right_[p]] = static_cast<int16_t>(q);
  }
  up_[q] = up_[p];
  if (right_[up_[p]] == p) {
    right_[up_[p]] = static_cast<int16_t>(q);
  } else {
    left_[up_[p]] = static_cast<int16_t>(q);
  }
  up_[p] = kNil;
}

// ---- the parse ------------------------------------------------------------

// The ring position being coded (r), the oldest position kept (s), and the
// bytes from r on that are still to be coded (ahead).
struct TreeParser::Window {
  int r;
  int s;
  int ahead;
};

// Moves the window one byte on: the oldest string leaves the tree, the
// next input byte (if any) enters the ring, and the string at the new r is
// inserted, leaving its match in matchLength_ and matchDistance_.
void TreeParser::Advance(Window* w) {
  DeleteNode(w->s);
  const int c = coder_.NextByte();
  if (c >= 0) {
    text_[w->s] = static_cast<uint8_t>(c);
    if (w->s < kLongestMatch - 1) {
      text_[w->s + kRingSize] = static_cast<uint8_t>(c);
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
int TreeParser::UsableMatch(const Window& w) const {
  int length = matchLength_ < w.ahead ? matchLength_ : w.ahead;
  return length > kMatchThreshold ? length : 0;
}

void TreeParser::Encode(MatchParse parse) {
  InitTree();
  Window w{kRingStart, 0, 0};
  std::memset(text_, 0, sizeof text_);
  std::memset(text_, ' ', kRingStart);
  for (; w.ahead < kLongestMatch; ++w.ahead) {
    const int c = coder_.NextByte();
    if (c < 0) break;
    text_[w.r + w.ahead] = static_cast<uint8_t>(c);
  }
  if (w.ahead == 0) return;
  // The strings of spaces before the first byte are in the window too.
  for (int i = 1; i <= kLongestMatch; ++i) InsertNode(w.r - i);
  InsertNode(w.r);

  while (w.ahead > 0 && coder_.failure() == EncodeResult::kOk) {
    const int length = UsableMatch(w);
    if (length == 0) {
      coder_.Literal(text_[w.r]);
      Advance(&w);
      continue;
    }
    const int distance = matchDistance_;
    int done = 0;
    if (parse == MatchParse::kLazy && length < kLongestMatch) {
      // One step ahead: a longer match there is worth a literal here.
      const uint8_t byte = text_[w.r];
      Advance(&w);
      done = 1;
      if (w.ahead > 0 && UsableMatch(w) > length) {
        coder_.Literal(byte);
        continue;
      }
    }
    coder_.Match(length, distance);
    for (; done < length; ++done) Advance(&w);
  }
}

}  // namespace

EncodeResult EncodeStream(const EncodeIo& io, uint32_t size,
                          uint64_t* streamSize, MatchParse parse) {
  uint64_t written = 0;
  EncodeResult result = EncodeResult::kNoMemory;
  if (parse == MatchParse::kBest) {
    result = EncodeBest(io, size, &written);
  } else if (TreeParser* parser = new (std::nothrow) TreeParser(io, size)) {
    result = parser->Run(size, parse, &written);
    delete parser;
  }
  if (streamSize != nullptr) *streamSize = written;
  return result;
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
