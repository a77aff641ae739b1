// The volume reader: chunk list walking, disk prompts, volume checks and
// the 32000-byte refills behind ReadSourceByte.
#include "stream/volume.h"

#include <cstring>

#include "base/memory.h"
#include "base/text.h"
#include "package/descriptor.h"
#include "ui/messages.h"
#include "ui/ui_state.h"

VolumeState Volume;

namespace {

constexpr int kEndOfInput = -1;
constexpr int kSourceFailed = -2;

const char* CurrentRecordName() {
  return Volume.CurrentRecord != nullptr ? RecordName(Volume.CurrentRecord)
                                         : "";
}

// Shows the OK-only "%s: read error!" naming the current record: the volume
// delivered fewer bytes than the chunk says it holds.
int ReportShortRead() {
  CopyText(SubjectPath, sizeof SubjectPath, CurrentRecordName());
  Volume.Showing = kRecordReadErrorBox;
  ReportResult(FileTransferDialog, kResultReadError);
  Volume.Showing = kNoVolumeBox;
  return kSourceFailed;
}

// The Retry/Cancel "%s: read error!" naming name, with Showing set to what
// it is about. True on Retry.
bool RetryRead(VolumeBox box, const char* name) {
  Volume.Showing = box;
  const int answer = RetryCancelBox(FileTransferDialog, kResultReadError, name);
  Volume.Showing = kNoVolumeBox;
  return answer == kResultRetry;
}

// Reads the volume's 2-byte volumeDisk field from the start of file. A
// failed read asks Retry/Cancel naming DataVolumePath. Returns the field,
// -1 when the volume is shorter than 2 bytes, -2 on Cancel.
int ReadVolumeDisk(plat::HFile file) {
  for (;;) {
    uint8_t field[2];
    long n = plat::lread(file, field, sizeof field);
    if (n == static_cast<long>(sizeof field)) return ReadU16(field);
    if (n >= 0) return -1;  // too short to be any disk's volume
    if (!RetryRead(kVolumeReadErrorBox, Volume.DataVolumePath)) {
      return kSourceFailed;
    }
    plat::llseek(file, 0, plat::kSeekSet);
  }
}

// Seeks the open volume to ChunkPosition. A chunk whose offset cannot even
// be sought to cannot be read: reported as a short read. _llseek takes a
// signed 32-bit offset, so a position above 0x7FFFFFFF is one it cannot
// reach (passed on, it would turn negative, fail with -1 and look like the
// position asked for).
int SeekToChunk() {
  constexpr uint32_t kLastSeekable = 0x7FFFFFFF;
  if (Volume.ChunkPosition > kLastSeekable) return ReportShortRead();
  const int32_t position = static_cast<int32_t>(Volume.ChunkPosition);
  const int32_t reached =
      plat::llseek(Volume.VolumeHandle, position, plat::kSeekSet);
  if (reached != position) {  // position is not -1, the failure value
    return ReportShortRead();
  }
  return 0;
}

// Opens the volume of CurrentDisk and seeks to ChunkPosition, repeating the
// open after a Retry or after the prompt for the right disk. 0 when the
// volume is open, -2 when the user cancelled.
int OpenCurrentVolume() {
  for (;;) {
    plat::HFile file = plat::lopen(Volume.DataVolumePath, plat::kOpenRead);
    if (file == plat::kFileError) {
      if (!RetryRead(kVolumeReadErrorBox, Volume.DataVolumePath)) {
        return kSourceFailed;
      }
      continue;
    }
    int disk = ReadVolumeDisk(file);
    if (disk == kSourceFailed) {
      plat::lclose(file);
      return kSourceFailed;
    }
    if (disk == Volume.CurrentDisk) {
      Volume.VolumeHandle = file;
      return SeekToChunk();
    }
    // The wrong disk (or no volume at all) is in the drive.
    plat::lclose(file);
    if (PromptForDisk(FileTransferDialog) != 0) return kSourceFailed;
  }
}

// Starts the chunk at ChunkCursor. 0 when it has begun, -1 at the end of
// the list (the cursor stays on the terminator), -2 when the prompt for its
// disk was cancelled.
int StartNextChunk() {
  ChunkEntry entry = ReadChunkEntry(Volume.ChunkCursor);
  if (entry.disk == 0 || entry.length == 0) return kEndOfInput;
  Volume.ChunkLeft = entry.length;
  Volume.ChunkPosition = entry.offset;
  bool prompted = false;
  bool accepted = true;
  int sought = 0;
  if (entry.disk == Volume.CurrentDisk) {
    if (Volume.VolumeHandle != plat::kFileError) sought = SeekToChunk();
  } else {
    Volume.CurrentDisk = entry.disk;
    CloseVolume();
    prompted = true;
    accepted = PromptForDisk(FileTransferDialog) == 0;
  }
  Volume.ChunkCursor += kChunkEntrySize;
  if (prompted && !accepted) return kSourceFailed;
  return sought;
}

}  // namespace

void ResetVolume() {
  std::memset(&Volume, 0, sizeof Volume);
  Volume.VolumeHandle = plat::kFileError;
  Volume.CurrentDisk = 1;
}

ResultCode OpenDataStream() {
  Volume.CurrentDisk = 1;
  char programFile[kProgramFileSize + 1];
  ProgramFileText(programFile);
  DataVolumeName(Package.SourceDirectory, programFile, Volume.DataVolumePath);
  Volume.VolumeHandle = plat::kFileError;
  Volume.InputBuffer =
      static_cast<uint8_t*>(AllocLocked(kInputBufferSize, &Volume.InputMemory));
  Volume.InputLeft = 0;
  Volume.InputCursor = Volume.InputBuffer;
  return Volume.InputBuffer != nullptr ? kResultOk : kResultNoMemory;
}

void CloseDataStream() {
  CloseVolume();
  FreeLocked(&Volume.InputMemory);
  Volume.InputBuffer = nullptr;
  Volume.InputCursor = nullptr;
  Volume.InputLeft = 0;
}

void StartRecordStream(const uint8_t* record) {
  Volume.CurrentRecord = record;
  Volume.ChunkCursor = FirstChunkEntry(record);
  Volume.ChunkLeft = 0;
  Volume.ChunkPosition = 0;
  Volume.InputLeft = 0;
  Volume.InputCursor = Volume.InputBuffer;
  Volume.EndReads = 0;
}

int RefillSourceByte() {
  if (Volume.InputLeft > 0) return ReadSourceByte();
  if (Volume.ChunkLeft == 0) {
    int started = StartNextChunk();
    if (started == kEndOfInput && ++Volume.EndReads > kEndReadsAllowed) {
      return ReportShortRead();
    }
    if (started != 0) return started;
  }
  if (Volume.VolumeHandle == plat::kFileError) {
    int opened = OpenCurrentVolume();
    if (opened != 0) return opened;
  }
  const long wanted =
      static_cast<long>(Volume.ChunkLeft < kInputBufferSize ? Volume.ChunkLeft
                                                            : kInputBufferSize);
  Volume.InputCursor = Volume.InputBuffer;
  for (bool retry = false;; retry = true) {
    // A retried read starts again where the failed one should have.
    if (retry && SeekToChunk() != 0) return kSourceFailed;
    long n = plat::lread(Volume.VolumeHandle, Volume.InputBuffer, wanted);
    if (n < 0) {
      if (!RetryRead(kRecordReadErrorBox, CurrentRecordName())) {
        return kSourceFailed;
      }
      continue;
    }
    // Nothing at all, or less than asked for, while the chunk still has
    // bytes to deliver: the volume is truncated (or the chunk lies past its
    // end). Going on would decode zero bits into the file.
    if (n < wanted) return ReportShortRead();
    Volume.ChunkLeft -= static_cast<uint32_t>(n);
    Volume.ChunkPosition += static_cast<uint32_t>(n);
    Volume.InputLeft = static_cast<int>(n);
    break;
  }
  --Volume.InputLeft;
  return *Volume.InputCursor++;
}

int PromptForDisk(plat::Window parent) {
  char drive[256] = {0};
  char c = Package.SourceDirectory[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  drive[0] = c;
  char format[256] = {0};
  plat::LoadString(kStrInsertDisk, format, 255);
  char text[256];
  // The format is our own string 304, "Insert disk %d in drive %s.".
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
  FormatText(text, sizeof text, format, static_cast<int>(Volume.CurrentDisk),
             drive);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  Volume.Showing = kDiskPromptBox;
  int answer = plat::MessageBox(parent, text, Caption,
                                plat::kMbOkCancel | plat::kMbIconExclamation);
  Volume.Showing = kNoVolumeBox;
  return answer == plat::kIdOk ? 0 : 1;
}

void CloseVolume() {
  if (Volume.VolumeHandle != plat::kFileError) {
    plat::lclose(Volume.VolumeHandle);
    Volume.VolumeHandle = plat::kFileError;
  }
}
