// The output writer: decoded bytes are collected in the 32000-byte
// OutputBuffer and written to the open target file whenever it fills and
// once at the end of a stream. A failed write asks "%s: write error!", a
// short one "Disk full!", each with Retry and Cancel (owner
// FileTransferDialog); a retry writes only what is still missing, Cancel
// gives 2.
//
// The caller (file placement, or pkgtool) sets up each file: OutputBuffer
// allocated, OutputCount 0, OutputHandle open for writing, TargetPath set.
// The next byte always goes to OutputBuffer + OutputCount.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/result.h"
#include "platform/platform.h"

constexpr size_t kOutputBufferSize = 32000;

// Replaces the platform write of FlushOutput (for tools and tests that
// decode into something other than a file): called with the bytes to
// write, returns what plat::lwrite would (the count written, fewer when the
// medium is full, or plat::kIoError).
using OutputWriteHook = long (*)(void* context, const uint8_t* bytes,
                                 long count);

struct OutputState {
  uint8_t* OutputBuffer;         // kOutputBufferSize bytes, one file's life
  plat::MemHandle OutputMemory;  // its handle
  int OutputCount;               // bytes in OutputBuffer
  plat::HFile OutputHandle;      // the target file; plat::kFileError: none
  char TargetPath[kPathSize];    // named in write-error messages
  OutputWriteHook WriteHook;     // null: plat::lwrite to OutputHandle
  void* WriteContext;            // passed to WriteHook
  ResultCode Showing;  // 36 or 40 while that box is up, otherwise 0: for a
                       // caller that answers the boxes itself (pkgtool)
};

extern OutputState Output;

// Clears the state: no buffer, no handle (nothing is closed or freed), no
// write hook.
void ResetOutput();

// Writes the buffered bytes. 0 when written (or nothing was buffered);
// 2 when the user chose Cancel in a write-error or disk-full box.
ResultCode FlushOutput();

// Appends one byte; when the buffer is full, returns FlushOutput()'s result,
// otherwise 0.
inline ResultCode PutOutputByte(uint8_t byte) {
  Output.OutputBuffer[Output.OutputCount++] = byte;
  if (Output.OutputCount == static_cast<int>(kOutputBufferSize)) {
    return FlushOutput();
  }
  return kResultOk;
}
