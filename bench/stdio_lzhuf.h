// A plain stdio LZHUF decoder, the benchmark's measuring stick: the same
// stream format as the installer's decoder (4-byte size, then the coded
// bits; ring of spaces, writing from 4036; adaptive Huffman model with a
// rebuild at 0x8000), written the straightforward way, one getc per input
// byte and one putc per output byte. It is not used by anything but the
// benchmark and makes no attempt at speed.
#pragma once

#include <cstdint>
#include <cstdio>

namespace bench {

// Decodes the stream read from in into out. Returns the number of bytes
// written, or -1 when the stream ends inside its size prefix.
int64_t StdioDecode(std::FILE* in, std::FILE* out);

}  // namespace bench
