// The optimal parse: a binary tree match finder over a linear window, the
// shortest path through each block, and its coding.
#include "stream/best_parse.h"

#include <cstring>
#include <new>

#include "stream/lzhuf.h"
#include "stream/symbol_coder.h"

namespace {

// How far back a match may start: the published encoder's window, the
// ring less the bytes ahead.
constexpr uint32_t kMaxDistance = kRingSize - kLongestMatch;  // 4036
// The window: the input at buffer positions from kHistory on, after the
// ring's spaces; slid back by multiples of kTreeSlots, keeping at least
// kHistory bytes before the block being parsed.
constexpr uint32_t kTreeSlots = 4096;  // more than kMaxDistance
constexpr uint32_t kHistory = kTreeSlots;
constexpr uint32_t kBufferSize = 1u << 16;
constexpr uint32_t kBlock = 8192;  // positions per block at most
static_assert(2 * kHistory + kBlock + kLongestMatch <= kBufferSize,
              "a block and its history fit after a slide");
constexpr int kHashBits = 16;
constexpr int kSearchDepth = 48;  // tree nodes visited per position at most
// Candidate matches kept per block: a block ends early when they run out.
constexpr uint32_t kCandidates = 8 * kBlock;
// The positions at the end of a block that its path is not coded over
// (unless the input ends there): the next block starts where the step
// across them ends and parses them again.
constexpr uint32_t kOverlap = 4 * kLongestMatch;
static_assert(kCandidates > 2 * kOverlap * kLongestMatch,
              "a block reaches past its overlap whatever its candidates");
constexpr uint32_t kUnpriced = 0xFFFFFFFFu;

// A candidate match, or one step of a path: a literal (length 1) or a
// match.
struct Step {
  uint8_t length;
  uint16_t distance;  // position code: distance minus 1
};

class BestParser {
 public:
  BestParser(const EncodeIo& io, uint32_t size)
      : unread_(size), coder_(io, size) {}
  // Encodes the whole input; *written receives the stream's length.
  EncodeResult Run(uint32_t size, uint64_t* written) {
    if (size > 0) Encode();
    const EncodeResult result = coder_.Finish();
    *written = coder_.written();
    return result;
  }

 private:
  void Encode();
  void Load();
  void Slide();
  int FindMatches(uint32_t p, Step* out);
  uint32_t FindBlockMatches(uint32_t count);
  uint32_t CheapestPath(uint32_t count, const uint8_t* symbolBits);
  uint32_t CodePath(uint32_t first, uint32_t count);
  void KeepCandidates(uint32_t from, uint32_t count);

  // The window: buffer positions below end_ hold input (or the ring's
  // spaces); pos_ is the next position to code.
  uint8_t buffer_[kBufferSize];
  uint32_t pos_ = kHistory;
  uint32_t end_ = kHistory;
  uint32_t unread_;  // input bytes not yet in the window

  // The match finder: a binary search tree of the strings at the last
  // kMaxDistance positions for each hash of three bytes, the newest at the
  // root, every node newer than its children. Node p's children are
  // son_[2 (p mod kTreeSlots)] (smaller strings) and the next entry
  // (larger); 0 is no node.
  uint32_t head_[1 << kHashBits];
  uint32_t son_[2 * kTreeSlots];

  // The block: the candidates of position i (of pos_ + i) are
  // candidates_[first_[i]] to candidates_[first_[i + 1] - 1], longest last;
  // those of the first found_ positions are known.
  uint32_t found_ = 0;
  uint32_t first_[kBlock + 1];
  Step candidates_[kCandidates];
  uint32_t price_[kBlock + 1];  // bits to reach position i of the block
  Step reach_[kBlock + 1];      // the last step of the path to i
  Step path_[kBlock];           // the path, at the end, first step first

  SymbolCoder coder_;
};

// ---- the window and the match finder ---------------------------------------

// Reads input up to the end of the buffer.
void BestParser::Load() {
  uint32_t want = kBufferSize - end_;
  if (want > unread_) want = unread_;
  const size_t got = coder_.ReadBytes(buffer_ + end_, want);
  end_ += static_cast<uint32_t>(got);
  unread_ = got == want ? unread_ - want : 0;  // a failure ends the input
}

// Moves the window back by a multiple of kTreeSlots, keeping kHistory
// bytes before pos_; the tree's positions move with it, and those that
// leave the window become no node.
void BestParser::Slide() {
  const uint32_t shift = (pos_ - kHistory) & ~(kTreeSlots - 1);
  if (shift == 0) return;
  std::memmove(buffer_, buffer_ + shift, end_ - shift);
  pos_ -= shift;
  end_ -= shift;
  for (uint32_t& node : head_) node = node > shift ? node - shift : 0;
  for (uint32_t& node : son_) node = node > shift ? node - shift : 0;
}

inline uint32_t Hash(const uint8_t* bytes) {
  const uint32_t key = bytes[0] | bytes[1] << 8 | bytes[2] << 16;
  return (key * 2654435761u) >> (32 - kHashBits);
}

// Inserts the string at position p into the tree (as its new root) and
// lists its matches in out, each longer than the one before, at the
// nearest position that shares that many bytes: a node is on the search
// path unless a newer node's string lies between its string and p's, and
// such a node would share at least as many bytes with p's, so the nearest
// match of each length is met, newest first, unless the search stops
// early. Returns how many.
int BestParser::FindMatches(uint32_t p, Step* out) {
  const int limit = end_ - p < static_cast<uint32_t>(kLongestMatch)
                        ? static_cast<int>(end_ - p)
                        : kLongestMatch;
  if (limit <= kMatchThreshold) return 0;
  const uint8_t* key = buffer_ + p;
  uint32_t* const head = head_ + Hash(key);
  uint32_t node = *head;
  *head = p;
  uint32_t* smaller = son_ + 2 * (p & (kTreeSlots - 1));
  uint32_t* larger = smaller + 1;
  int smallerLength = 0;  // bytes the next smaller node shares with key
  int largerLength = 0;
  int longest = kMatchThreshold;
  int count = 0;
  for (int depth = kSearchDepth;; --depth) {
    if (node == 0 || p - node > kMaxDistance || depth == 0) {
      *smaller = *larger = 0;
      return count;
    }
    uint32_t* const pair = son_ + 2 * (node & (kTreeSlots - 1));
    const uint8_t* other = buffer_ + node;
    int length = smallerLength < largerLength ? smallerLength : largerLength;
    while (length < limit && other[length] == key[length]) ++length;
    if (length > longest) {
      longest = length;
      out[count].length = static_cast<uint8_t>(length);
      out[count].distance = static_cast<uint16_t>(p - node - 1);
      ++count;
      if (length == limit) {
        // The node equals the key as far as it counts: the key takes its
        // place.
        *smaller = pair[0];
        *larger = pair[1];
        return count;
      }
    }
    if (other[length] < key[length]) {
      *smaller = node;
      smaller = pair + 1;
      node = *smaller;
      smallerLength = length;
    } else {
      *larger = node;
      larger = pair;
      node = *larger;
      largerLength = length;
    }
  }
}

// Finds the candidates of up to count positions from pos_ on; returns how
// many positions were done (fewer when the candidate space ran short).
uint32_t BestParser::FindBlockMatches(uint32_t count) {
  uint32_t used = first_[found_];
  uint32_t i = found_;
  for (; i < count && used + kLongestMatch <= kCandidates; ++i) {
    first_[i] = used;
    used += static_cast<uint32_t>(FindMatches(pos_ + i, candidates_ + used));
  }
  first_[i] = used;
  found_ = i;
  return i;
}

// Keeps the candidates of the positions from `from` to count - 1 as those
// of the first positions of the next block, which starts at from.
void BestParser::KeepCandidates(uint32_t from, uint32_t count) {
  const uint32_t skipped = first_[from];
  std::memmove(candidates_, candidates_ + skipped,
               (first_[count] - skipped) * sizeof(Step));
  for (uint32_t i = from; i <= count; ++i) {
    first_[i - from] = first_[i] - skipped;
  }
  found_ = count - from;
}

// ---- the path -------------------------------------------------------------

// The cheapest path through count positions from pos_, with symbolBits the
// code length of each symbol: leaves it at the end of path_ and returns
// the index of its first step. Of equally cheap ways to reach a position,
// the match met last is kept (a match rather than a literal).
uint32_t BestParser::CheapestPath(uint32_t count, const uint8_t* symbolBits) {
  // lengthBits[n]: the code length of the symbol of a match of n bytes.
  const uint8_t* lengthBits = symbolBits + 255 - kMatchThreshold;
  price_[0] = 0;
  for (uint32_t i = 1; i <= count; ++i) price_[i] = kUnpriced;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t base = price_[i];
    const uint32_t literal = base + symbolBits[buffer_[pos_ + i]];
    if (literal < price_[i + 1]) {
      price_[i + 1] = literal;
      reach_[i + 1] = Step{1, 0};
    }
    const uint32_t room = count - i;
    uint32_t length = kMatchThreshold + 1;
    for (uint32_t k = first_[i]; k < first_[i + 1]; ++k) {
      const Step& c = candidates_[k];
      const uint32_t last = c.length < room ? c.length : room;
      const uint32_t position = base + PositionBits(c.distance);
      for (; length <= last; ++length) {
        const uint32_t price = position + lengthBits[length];
        if (price <= price_[i + length]) {
          price_[i + length] = price;
          reach_[i + length] = Step{static_cast<uint8_t>(length), c.distance};
        }
      }
    }
  }
  // Back from the end.
  uint32_t first = kBlock;
  for (uint32_t i = count; i > 0; i -= reach_[i].length) {
    path_[--first] = reach_[i];
  }
  return first;
}

// Codes the steps of the path from path_[first] on until they cover count
// positions; returns how many they cover.
uint32_t BestParser::CodePath(uint32_t first, uint32_t count) {
  uint32_t i = 0;
  for (const Step* step = path_ + first; i < count; ++step) {
    if (step->length == 1) {
      coder_.Literal(buffer_[pos_ + i]);
    } else {
      coder_.Match(step->length, step->distance);
    }
    i += step->length;
  }
  return i;
}

void BestParser::Encode() {
  std::memset(head_, 0, sizeof head_);
  std::memset(son_, 0, sizeof son_);
  std::memset(buffer_, ' ', kHistory);
  Load();
  // The strings of spaces before the first byte are in the window too.
  Step ignored[kLongestMatch];
  for (uint32_t p = kHistory - kLongestMatch; p < kHistory; ++p) {
    FindMatches(p, ignored);
  }
  uint8_t symbolBits[kSymbolCount];
  first_[0] = 0;
  while (pos_ < end_ && coder_.failure() == EncodeResult::kOk) {
    if (unread_ > 0 && pos_ + kBlock + kLongestMatch > end_) {
      Slide();
      Load();
    }
    const uint32_t left = end_ - pos_;
    const uint32_t count = FindBlockMatches(left < kBlock ? left : kBlock);
    // Before the end of the input, the path is coded only as far as its
    // step across the last kOverlap positions: it would end differently
    // if the block went on.
    const uint32_t done =
        count == left && unread_ == 0 ? count : count - kOverlap;
    SymbolLengths(coder_.model(), symbolBits);
    const uint32_t coded = CodePath(CheapestPath(count, symbolBits), done);
    KeepCandidates(coded, count);
    pos_ += coded;
  }
}

}  // namespace

EncodeResult EncodeBest(const EncodeIo& io, uint32_t size, uint64_t* written) {
  BestParser* parser = new (std::nothrow) BestParser(io, size);
  if (parser == nullptr) {
    *written = 0;
    return EncodeResult::kNoMemory;
  }
  const EncodeResult result = parser->Run(size, written);
  delete parser;
  return result;
}
