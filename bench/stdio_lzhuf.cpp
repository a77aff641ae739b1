// The stdio decoder of the benchmark (stdio_lzhuf.h): the plain decoder of
// tests/reference/plain_lzhuf.h reading with getc and writing with putc.
#include "stdio_lzhuf.h"

#include "reference/plain_lzhuf.h"

namespace bench {

int64_t StdioDecode(std::FILE* in, std::FILE* out) {
  return reference::DecodeBytes([in] { return std::getc(in); },
                                [out](int byte) { std::putc(byte, out); });
}

}  // namespace bench
