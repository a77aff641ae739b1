// The encoder's input, stream and coding of symbols.
#include "stream/symbol_coder.h"

#include <cstring>

SymbolCoder::SymbolCoder(const EncodeIo& io, uint32_t size)
    : io_(io), unread_(size) {
  InitModel(&model_);
  for (int i = 0; i < 4; ++i) {
    PutStreamByte(static_cast<uint8_t>(size >> (8 * i)));
  }
}

bool SymbolCoder::Refill() {
  if (unread_ == 0 || failure_ != EncodeResult::kOk) return false;
  const size_t want = unread_ < sizeof input_ ? unread_ : sizeof input_;
  long n = io_.read(io_.readContext, input_, want);
  if (n < 0) {
    failure_ = EncodeResult::kReadFailed;
    return false;
  }
  if (n == 0) {
    failure_ = EncodeResult::kInputShort;
    return false;
  }
  if (static_cast<size_t>(n) > want) n = static_cast<long>(want);
  unread_ -= static_cast<uint32_t>(n);
  inputLeft_ = static_cast<size_t>(n);
  inputCursor_ = input_;
  return true;
}

size_t SymbolCoder::ReadBytes(uint8_t* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    if (inputLeft_ == 0 && !Refill()) break;
    size_t n = count - done < inputLeft_ ? count - done : inputLeft_;
    std::memcpy(buffer + done, inputCursor_, n);
    inputCursor_ += n;
    inputLeft_ -= n;
    done += n;
  }
  return done;
}

void SymbolCoder::WriteStreamBytes() {
  if (streamCount_ == 0) return;
  if (failure_ == EncodeResult::kOk) {
    if (io_.write(io_.writeContext, stream_, streamCount_)) {
      streamWritten_ += streamCount_;
    } else {
      failure_ = EncodeResult::kWriteFailed;
    }
  }
  streamCount_ = 0;
}

// Appends the low count bits of value (count at most 16), most significant
// first.
void SymbolCoder::PutBits(unsigned value, int count) {
  bits_ |= (value & ((1u << count) - 1)) << (32 - bitCount_ - count);
  bitCount_ += count;
  while (bitCount_ >= 8) {
    PutStreamByte(static_cast<uint8_t>(bits_ >> 24));
    bits_ <<= 8;
    bitCount_ -= 8;
  }
}

// The code of a symbol is the path from the root to its leaf: at each inner
// node, 0 for its first child and 1 for the second (siblings sit at the
// positions 2m and 2m + 1).
void SymbolCoder::Symbol(int symbol) {
  uint8_t path[kTreeSize];
  int depth = 0;
  for (int k = model_.nodeParent[symbol + kTreeSize]; k != kRoot;
       k = model_.nodeParent[k]) {
    path[depth++] = static_cast<uint8_t>(k & 1);
  }
  while (depth > 0) {
    // Up to 16 bits at a time, root end first.
    int n = depth < 16 ? depth : 16;
    unsigned value = 0;
    for (int i = 0; i < n; ++i) value = (value << 1) | path[--depth];
    PutBits(value, n);
  }
  UpdateModel(&model_, static_cast<unsigned>(symbol));
}

void SymbolCoder::Match(int length, int distance) {
  Symbol(255 - kMatchThreshold + length);
  const int upper = distance >> 6;
  PutBits(kPositionCodes.bits[upper], kPositionCodes.length[upper]);
  PutBits(static_cast<unsigned>(distance & 0x3F), 6);
}

EncodeResult SymbolCoder::Finish() {
  if (bitCount_ > 0) PutBits(0, 8 - bitCount_);
  WriteStreamBytes();
  return failure_;
}

void SymbolLengths(const HuffmanModel& model, uint8_t lengths[kSymbolCount]) {
  // A parent always sits above its children, so walking the positions down
  // from the root meets every parent before its children.
  uint8_t depth[kTreeSize];
  depth[kRoot] = 0;
  for (int p = kRoot; p >= 0; --p) {
    const int child = model.nodeChild[p];
    const uint8_t below = static_cast<uint8_t>(depth[p] + 1);
    if (child >= kTreeSize) {
      lengths[child - kTreeSize] = depth[p];
    } else {
      depth[child] = below;
      depth[child + 1] = below;
    }
  }
}
