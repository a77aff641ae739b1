// Arbitrary bytes as one raw stream (4-byte size, then coded bits) for
// DecodeStream, read through the decoder's source hook: it must never crash,
// hang or read past the input, and a stream that decodes must yield at
// least its stated size. Decoded bytes are counted and discarded; a run is
// cut off after kOutputCap bytes by a failing write (answered Cancel), so
// that a huge stated size costs no more than that.
//
// The stated size is cut to 10 bits unless the last input byte says
// otherwise, which keeps most runs short. That byte, when the input is
// longer than 4 bytes, also steers the run: bits 0-3 make the source fail
// (-2) at input byte 4 + 16 * n, bits 4-5 make the first write fail (1) or
// come out short (2), bits 6-7 let the size through up to 16 bits (1: past
// a full output buffer and a model rebuild) or whole (2, and 3 with the
// strict end of a checking tool, which may then end with 35, but only once
// the input has run out).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/text.h"
#include "fuzz_support.h"
#include "stream/lzhuf.h"
#include "stream/output.h"

namespace {

constexpr uint64_t kOutputCap = 1 << 12;

struct Source {
  const uint8_t* data;
  size_t size;
  size_t next;
  size_t failAt;  // SIZE_MAX: never
  bool failed;
  uint32_t sizeMask;  // applied to the stated size
};

struct Sink {
  uint64_t written;
  int writes;
  int firstWrite;  // 0 normal, 1 fails, 2 short
};

int ReadByte(void* context) {
  Source* s = static_cast<Source*>(context);
  // No read may follow a failure within a stream.
  if (s->failed) abort();
  if (s->next == s->failAt) {
    s->failed = true;
    return -2;
  }
  if (s->next >= s->size) return -1;
  const size_t at = s->next++;
  if (at < 4)
    return s->data[at] & static_cast<int>((s->sizeMask >> (8 * at)) & 0xFF);
  return s->data[at];
}

long Write(void* context, const uint8_t*, long count) {
  Sink* k = static_cast<Sink*>(context);
  if (++k->writes == 1 && k->firstWrite == 1) return -1;
  if (k->writes == 1 && k->firstWrite == 2) count /= 2;
  if (k->written >= kOutputCap) return -1;
  k->written += static_cast<uint64_t>(count);
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzResetHost();
  ResetDecoder();
  ResetOutput();
  static uint8_t buffer[kOutputBufferSize];
  Source source{data, size, 0, SIZE_MAX, false, 0x3FF};
  Sink sink{0, 0, 0};
  bool strict = false;
  if (size > 4) {
    const uint8_t steer = data[size - 1];
    if ((steer & 0x0F) != 0) source.failAt = 4 + 16u * (steer & 0x0F);
    sink.firstWrite = (steer >> 4) & 3;
    const unsigned sizeSteer = steer >> 6;
    if (sizeSteer == 1) source.sizeMask = 0xFFFF;
    if (sizeSteer >= 2) source.sizeMask = 0xFFFFFFFF;
    strict = sizeSteer == 3;
  }
  SetStrictStreamEnd(strict);
  Output.OutputBuffer = buffer;
  Output.WriteHook = Write;
  Output.WriteContext = &sink;
  CopyText(Output.TargetPath, kPathSize, "A:\\OUT.BIN");
  SetDecodeSource(ReadByte, &source);

  const ResultCode result = DecodeStream();

  SetDecodeSource(nullptr, nullptr);
  SetStrictStreamEnd(false);
  const bool ranOut = source.next >= source.size;
  if (result == kResultReadError && !(strict && ranOut)) abort();
  if (result != kResultOk && result != kResultCancel &&
      result != kResultReadError) {
    abort();
  }
  if (result == kResultOk) {
    if (Decoder.count < Decoder.size) abort();
    if (sink.written != Decoder.count) abort();
  }
  if (size < 4 && result != kResultCancel) abort();
  return 0;
}
