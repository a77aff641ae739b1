// The LZHUF encoder: the counterpart of DecodeStream, used by the package
// builder (pkgtool) and the tests. It writes one stream, the 4-byte decoded
// size (little-endian) followed by the coded bits, that our decoder and the
// published LZHUF decoder turn back into the input exactly: the same
// adaptive Huffman model (stream/huffman_model.h), the same position
// coding, the same ring (spaces at 0 to 4035, writing from 4036).
//
// Matches are found with a binary search tree over the last 4035 positions
// (longest match 60, at least 3), preferring the nearest among matches of
// equal length, as the published encoder does. Where the published encoder
// takes every match greedily, this one looks one position ahead and emits a
// literal instead when the next position starts a longer match (lazy
// matching), which makes streams a little smaller on real data.
//
// Memory is fixed (a few tens of kilobytes of process-wide state, whatever
// the input size): the input is pulled and the stream pushed through small
// buffers. One stream is encoded at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Where EncodeStream takes its input and puts its stream.
struct EncodeIo {
  // Reads up to count bytes of input into buffer: returns how many, 0 at
  // the end of the input, -1 on a failure.
  long (*read)(void* context, uint8_t* buffer, size_t count);
  void* readContext;
  // Writes count bytes of the stream; false on a failure.
  bool (*write)(void* context, const uint8_t* bytes, size_t count);
  void* writeContext;
};

enum class EncodeResult {
  kOk,
  kReadFailed,   // read returned -1
  kInputShort,   // the input ended before size bytes
  kWriteFailed,  // write returned false
};

enum class MatchParse {
  kLazy,    // one position of look-ahead (the default)
  kGreedy,  // every match taken as found, as the published encoder does
};

// Encodes exactly size bytes of input (further input is not read) into one
// stream. *streamSize, when given, receives the stream's length in bytes,
// the size prefix included (also after a failure: what was written).
EncodeResult EncodeStream(const EncodeIo& io, uint32_t size,
                          uint64_t* streamSize = nullptr,
                          MatchParse parse = MatchParse::kLazy);

// Convenience for tests and small tools: the stream of size bytes at data.
std::vector<uint8_t> EncodeBuffer(const uint8_t* data, size_t size,
                                  MatchParse parse = MatchParse::kLazy);
