// The LZHUF encoder: the counterpart of DecodeStream, used by the package
// builder (pkgtool) and the tests. It writes one stream, the 4-byte decoded
// size (little-endian) followed by the coded bits, that our decoder and the
// published LZHUF decoder turn back into the input exactly: the same
// adaptive Huffman model (stream/huffman_model.h), the same position
// coding, the same ring (spaces at 0 to 4035, writing from 4036).
//
// Three parses choose between literals and matches (longest match 60, at
// least 3, at most 4036 bytes back):
//   kGreedy  every match taken as found, with the published encoder's
//            binary search tree over the ring, which prefers the nearest
//            among matches of equal length: bit for bit the published
//            encoder's stream.
//   kLazy    the same tree, looking one position ahead: a literal instead
//            of a match when the next position starts a longer one. A
//            little smaller than greedy on real data, as fast.
//   kBest    the cheapest path through each block of input under the model
//            as it stands (stream/best_parse.h): 4 to 6 percent smaller
//            than greedy on real data, and no slower.
//
// Every call has its own state on the heap (under 1 MiB with kBest, under
// 100 KiB otherwise, whatever the input size: the input is pulled and the
// stream pushed through small buffers) and nothing is shared between calls:
// several threads may each encode a stream at the same time.
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
  kNoMemory,     // the encoder's state could not be allocated
};

enum class MatchParse {
  kLazy,    // one position of look-ahead (the default)
  kGreedy,  // every match taken as found, as the published encoder does
  kBest,    // the cheapest path under the model, block by block
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
