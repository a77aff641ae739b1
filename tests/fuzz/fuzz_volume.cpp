// Arbitrary chunk lists and data volumes through the real volume reader
// and DecodeStream, on the host platform: no crash, no hang, no read
// outside the record or the volumes, whatever the disks, offsets and
// lengths say, and whatever faults the platform shows.
//
// Input layout (short inputs simply end early):
//   byte 0       faults: bits 0-2 make the nth read fail (0: none), bit 3
//                makes it a short read instead; bits 4-6 make the nth
//                write fail, bit 7 short instead
//   byte 1       number of chunk entries (at most 16)
//   10 bytes     per chunk entry: disk u16, offset u32, length u32
//   then         the volumes of disks 1, 2 and 3: length u16, bytes
//
// The boxes never wait: a disk prompt is answered OK (the asked disk goes
// into the drive) at most kPromptsAnswered times, Retry at most
// kRetriesAnswered times, and Cancel after that; OK-only boxes with OK.
// Decoded bytes are discarded; a run is cut off after kOutputCap bytes by a
// failing write. To keep runs short, the upper 22 bits of the stated size
// are cleared where the first chunk holds them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "fuzz_support.h"
#include "package/descriptor.h"
#include "platform/host/host_control.h"
#include "stream/lzhuf.h"
#include "stream/output.h"
#include "stream/volume.h"
#include "ui/messages.h"
#include "ui/ui_state.h"

namespace {

constexpr int kPromptsAnswered = 6;
constexpr int kRetriesAnswered = 3;
constexpr uint64_t kOutputCap = 1 << 12;
constexpr size_t kMaxChunks = 16;

struct Run {
  std::vector<std::vector<uint8_t>> volumes;  // disks 1 to 3
  int prompts = 0;
  int retries = 0;
  uint64_t written = 0;
  int writes = 0;
  int failWrite = 0;  // nth write fails (0: none)
  bool shortWrite = false;
};

Run* Current = nullptr;

void InsertDisk(int disk) {
  static const std::vector<uint8_t> kEmpty;
  const std::vector<uint8_t>& volume =
      disk >= 1 && disk <= static_cast<int>(Current->volumes.size())
          ? Current->volumes[static_cast<size_t>(disk - 1)]
          : kEmpty;
  FuzzWriteFile("GAME.DAT", volume.data(), volume.size());
}

int Answer(const host::Box& box) {
  unsigned buttons = box.type & 0x0F;
  if (buttons == plat::kMbOk) return plat::kIdOk;
  int disk = 0;
  if (std::sscanf(box.text.c_str(), "Insert disk %d", &disk) == 1) {
    if (++Current->prompts > kPromptsAnswered) return plat::kIdCancel;
    InsertDisk(disk);
    return plat::kIdOk;
  }
  if (buttons == plat::kMbRetryCancel &&
      ++Current->retries <= kRetriesAnswered) {
    return plat::kIdRetry;
  }
  return plat::kIdCancel;
}

long Write(void*, const uint8_t*, long count) {
  Run& run = *Current;
  ++run.writes;
  if (run.writes == run.failWrite) {
    if (!run.shortWrite) return -1;
    // A short write still wrote its first half; a retry sends the rest.
    run.written += static_cast<uint64_t>(count / 2);
    return count / 2;
  }
  if (run.written >= kOutputCap) return -1;
  run.written += static_cast<uint64_t>(count);
  return count;
}

uint32_t Take(const uint8_t** p, const uint8_t* end, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    uint32_t b = *p < end ? *(*p)++ : 0;
    value |= b << (8 * i);
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzResetHost();
  ResetVolume();
  ResetOutput();
  ResetDecoder();
  Run run;
  Current = &run;
  host::SetResponder(Answer);
  LoadCaption();
  FileTransferDialog = reinterpret_cast<plat::Window>(0x1);
  CopyText(Package.SourceDirectory, kPathSize, "A:\\");
  CopyText(Package.Header.programFile, kProgramFileSize, "GAME.EXE");

  const uint8_t* p = data;
  const uint8_t* end = data + size;
  const uint8_t faults = static_cast<uint8_t>(Take(&p, end, 1));
  const size_t chunks = Take(&p, end, 1) % (kMaxChunks + 1);

  // The record: recordSize, flags, sizeKb, name "F.DAT", spareByte, the
  // chunk entries, a terminator of 2 bytes.
  std::vector<uint8_t> record = {0,   0,   0,   0,   0, 0, 'F',
                                 '.', 'D', 'A', 'T', 0, 0};
  for (size_t i = 0; i < chunks * kChunkEntrySize; ++i) {
    record.push_back(static_cast<uint8_t>(Take(&p, end, 1)));
  }
  record.push_back(0);
  record.push_back(0);
  record[0] = static_cast<uint8_t>(record.size());
  record[1] = static_cast<uint8_t>(record.size() >> 8);

  for (int disk = 1; disk <= 3 && p < end; ++disk) {
    size_t length = Take(&p, end, 2);
    if (length > static_cast<size_t>(end - p))
      length = static_cast<size_t>(end - p);
    run.volumes.emplace_back(p, p + length);
    p += length;
  }

  // Clamp the stated size where the first chunk's bytes 1 to 3 lie in its
  // volume.
  if (chunks > 0) {
    const ChunkEntry first = ReadChunkEntry(record.data() + 13);
    if (first.disk >= 1 && first.disk <= run.volumes.size()) {
      std::vector<uint8_t>& volume = run.volumes[first.disk - 1];
      for (uint32_t i = 1; i < 4 && i < first.length; ++i) {
        const uint64_t at = static_cast<uint64_t>(first.offset) + i;
        if (at < volume.size()) volume[at] &= i == 1 ? 0x03 : 0;
      }
    }
  }

  if ((faults & 7) != 0) {
    host::InjectFault(
        (faults & 8) ? host::Fault::kShortRead : host::Fault::kRead,
        faults & 7);
  }
  run.failWrite = (faults >> 4) & 7;
  run.shortWrite = (faults & 0x80) != 0;

  static uint8_t input[kInputBufferSize];
  static uint8_t output[kOutputBufferSize];
  CopyText(Volume.DataVolumePath, kPathSize, "A:\\GAME.DAT");
  Volume.InputBuffer = input;
  Output.OutputBuffer = output;
  Output.WriteHook = Write;
  CopyText(Output.TargetPath, kPathSize, "A:\\OUT.BIN");
  InsertDisk(1);

  StartRecordStream(record.data());
  const ResultCode result = DecodeStream();
  if (result != kResultOk && result != kResultCancel) abort();
  if (result == kResultOk && run.written != Decoder.count) abort();

  CloseVolume();
  host::SetResponder(nullptr);
  Current = nullptr;
  return 0;
}
