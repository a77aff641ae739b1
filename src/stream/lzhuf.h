// Read first: tests/reference/plain_lzhuf.h, the same format decoded the
// plain way, one byte at a time: the tests check this decoder against it
// and the benchmark runs it as the stdio decoder to compare with.
//
// The LZHUF decoder: LZSS over a 4096-byte ring (longest match 60,
// threshold 2) whose literals, match lengths and upper position bits are
// coded with an adaptive Huffman model (stream/huffman_model.h). A file's
// stream is its decoded size (u32, little-endian) followed by the coded
// bits, most significant first.
//
// DecodeStream pulls bytes from ReadSourceByte (stream/volume.h) and pushes
// decoded bytes into PutOutputByte (stream/output.h). Every stream starts
// from a fresh model and a ring of spaces (positions 0 to 4035; 4036 to 4095
// hold 0), writing from position 4036. The end of the input reads as zero
// bits, so a stream needs no filler at its end; the bit buffer holds at most
// 16 bits, so the decoder asks for at most two bytes past the last coded
// bit. The size is compared only before each symbol: a match that runs past
// it is written whole.
//
// Results of DecodeStream:
//   0  the whole file has been decoded and written
//   2  the source failed (-2: it has shown its own message, or the user
//      cancelled), the source ended inside the 4-byte size prefix, or the
//      user cancelled a write error
//   35 only with SetStrictStreamEnd(true): the stream needed a bit past the
//      end of its input (its chunks are damaged or cut short)
// The decoder shows no message of its own.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "stream/huffman_model.h"

constexpr int kRingSize = 4096;
constexpr int kLongestMatch = 60;
constexpr int kMatchThreshold = 2;  // matches are at least 3 bytes long
constexpr int kRingStart = kRingSize - kLongestMatch;  // 4036

// The two position tables of LZHUF, indexed by the first eight bits of a
// coded match position: positionCode, the upper six bits of the position,
// and positionLength, how many of those eight bits that code takes (3 to
// 8). The lower six bits of the position follow the code, so a coded
// position is positionLength + 6 bits long. Entries sharing an upper value
// form a run whose length halves as the code grows longer:
//   0x00-0x1F  0          x32  length 3
//   0x20-0x4F  1 to 3     x16  length 4
//   0x50-0x8F  4 to 11    x8   length 5
//   0x90-0xBF  12 to 23   x4   length 6
//   0xC0-0xEF  24 to 47   x2   length 7
//   0xF0-0xFF  48 to 63   x1   length 8
struct PositionTables {
  uint8_t positionCode[256];
  uint8_t positionLength[256];
};

constexpr PositionTables MakePositionTables() {
  // {upper values in the band, entries per value, code length}
  const int bands[6][3] = {{1, 32, 3}, {3, 16, 4}, {8, 8, 5},
                           {12, 4, 6}, {24, 2, 7}, {16, 1, 8}};
  PositionTables tables{};
  int index = 0;
  int upper = 0;
  for (const auto& band : bands) {
    for (int value = 0; value < band[0]; ++value, ++upper) {
      for (int entry = 0; entry < band[1]; ++entry, ++index) {
        tables.positionCode[index] = static_cast<uint8_t>(upper);
        tables.positionLength[index] = static_cast<uint8_t>(band[2]);
      }
    }
  }
  return tables;
}

inline constexpr PositionTables kPositionTables = MakePositionTables();
static_assert(kPositionTables.positionCode[0x1F] == 0 &&
                  kPositionTables.positionCode[0x20] == 1 &&
                  kPositionTables.positionCode[0x8F] == 11 &&
                  kPositionTables.positionCode[0xEF] == 47 &&
                  kPositionTables.positionCode[0xFF] == 63 &&
                  kPositionTables.positionLength[0x4F] == 4 &&
                  kPositionTables.positionLength[0xBF] == 6 &&
                  kPositionTables.positionLength[0xFF] == 8,
              "the position tables follow their rule");

// The decoder's state, reset at the start of every stream. While a stream
// is decoded the latest bytes of the window are read from OutputBuffer, and
// ringBuffer and writePosition catch up at each flush; after a stream
// decoded in full they hold the window as a byte-by-byte ring would.
struct DecoderState {
  uint8_t ringBuffer[kRingSize];
  HuffmanModel model;

  uint16_t bitBuffer;     // buffered input bits, the next one in bit 15
  uint8_t bitCount;       // valid bits in bitBuffer
  int16_t writePosition;  // next ring position to write
  uint64_t count;         // decoded bytes so far (never wraps)
  uint32_t size;          // the stream's stated size
};

extern DecoderState Decoder;

// Decodes the current file's stream. Requires the byte source set to the
// file's first chunk with nothing buffered (StartRecordStream), and the
// output writer set up (OutputBuffer allocated, OutputCount 0, the target
// open). Afterwards Decoder.size holds the stated size and Decoder.count the
// bytes produced (more than the size when a last match overruns it).
ResultCode DecodeStream();

// Where DecodeStream takes its bytes from. By default it reads through the
// volume reader (ReadSourceByte, with the same inline fast path over the
// InputBuffer). A tool that decodes a raw stream from elsewhere (pkgtool
// decode, the fuzz targets) installs its own source: read(context) returns
// a byte 0 to 255, -1 at the end of the input (and on every later call),
// -2 after a failure it has reported; exactly ReadSourceByte's contract.
// SetDecodeSource(nullptr, nullptr) restores the volume reader.
using DecodeSourceHook = int (*)(void* context);
void SetDecodeSource(DecodeSourceHook read, void* context);

// The installer reads the missing bits past the end of a stream's input as
// zeros (the volume reader bounds how many). A tool that checks media
// wants to know instead: with strict set, a stream that uses a bit past the
// end of its input ends with 35 at the next byte it asks for, or at its
// end: within a symbol or two of the first missing bit, and what is still in
// the output buffer then is not written. The bits the decoder only buffers
// ahead are not used, so a sound stream never ends so.
void SetStrictStreamEnd(bool strict);

// Clears the decoder's state, restores the volume reader as its source and
// the zero bits at the end of the input (for tests).
void ResetDecoder();
