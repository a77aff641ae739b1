// A plain stdio LZHUF decoder, the benchmark's measuring stick: the plain
// decoder the unit tests check against (tests/reference/plain_lzhuf.h),
// the same stream format as the installer's decoder, written the
// straightforward way, one getc per input byte and one putc per output
// byte. It is not used by anything but the benchmark and makes no attempt
// at speed.
#pragma once

#include <cstdint>
#include <cstdio>

namespace bench {

// Decodes the stream read from in into out. Returns the number of bytes
// written, or -1 when the stream ends inside its size prefix.
int64_t StdioDecode(std::FILE* in, std::FILE* out);

}  // namespace bench
