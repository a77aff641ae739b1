// The two ends of the encoder, shared by its parsers: the input, pulled
// through a buffer, and the stream, pushed through one, with the coding in
// between: literals and match lengths through the adaptive Huffman model
// (stream/huffman_model.h), match positions through the fixed code of their
// upper six bits and the lower six bits plain. A parser decides what to
// code; the SymbolCoder codes it. Each stream has its own SymbolCoder, so
// that several streams may be encoded at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/encoder.h"
#include "stream/huffman_model.h"
#include "stream/lzhuf.h"

class SymbolCoder {
 public:
  // Starts the stream of size bytes of input: writes the size prefix.
  SymbolCoder(const EncodeIo& io, uint32_t size);
  SymbolCoder(const SymbolCoder&) = delete;
  SymbolCoder& operator=(const SymbolCoder&) = delete;

  // The next input byte, or -1 when size bytes have been taken or the input
  // failed (failure() says which).
  int NextByte() {
    if (inputLeft_ == 0 && !Refill()) return -1;
    --inputLeft_;
    return *inputCursor_++;
  }

  // Copies up to count input bytes into buffer; fewer only at the end of
  // the input or after a failure.
  size_t ReadBytes(uint8_t* buffer, size_t count);

  void Literal(uint8_t byte) { Symbol(byte); }
  // A match of length bytes (3 to 60) whose position code is distance (the
  // ring distance minus 1).
  void Match(int length, int distance);

  // Pads the last byte and writes what is buffered; returns the result of
  // the whole stream.
  EncodeResult Finish();

  EncodeResult failure() const { return failure_; }
  uint64_t written() const { return streamWritten_; }
  const HuffmanModel& model() const { return model_; }

 private:
  bool Refill();
  void Symbol(int symbol);
  void PutBits(unsigned value, int count);
  void PutStreamByte(uint8_t byte) {
    stream_[streamCount_++] = byte;
    if (streamCount_ == sizeof stream_) WriteStreamBytes();
  }
  void WriteStreamBytes();

  const EncodeIo& io_;
  HuffmanModel model_;

  // Input pulled ahead.
  uint8_t input_[32768];
  size_t inputLeft_ = 0;
  const uint8_t* inputCursor_ = input_;
  uint32_t unread_;  // input bytes not yet pulled from the reader
  EncodeResult failure_ = EncodeResult::kOk;

  // Stream bytes not yet written, and bits not yet a whole byte.
  uint8_t stream_[8192];
  size_t streamCount_ = 0;
  uint64_t streamWritten_ = 0;
  uint32_t bits_ = 0;  // pending bits, the first in bit 31
  int bitCount_ = 0;
};

// The code of the upper six bits of a position: the first entry of the run
// of the position tables that holds the upper value.
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

inline constexpr PositionCodes kPositionCodes = MakePositionCodes();

// The bits of a coded match position, the lower six included (9 to 14).
inline int PositionBits(int distance) {
  return kPositionCodes.length[distance >> 6] + 6;
}

// The code length of every symbol in the model as it is now: the depth of
// its leaf.
void SymbolLengths(const HuffmanModel& model, uint8_t lengths[kSymbolCount]);
