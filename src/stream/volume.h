// The volume reader: the byte source of the decoder. For the file being
// installed it delivers the compressed stream one byte at a time, walking
// the record's chunk list: each chunk is read from the data volume of its
// disk, in pieces of at most 32000 bytes; a chunk on another disk costs a
// disk prompt, an open and a check of the volume's volumeDisk field.
//
// ReadSourceByte's results are a contract with the decoder: a byte 0 to 255;
// -1 at the end of the input (and on every later call); -2 after a failure
// that has been shown to the user or that the user cancelled.
//
// Failures and what the user sees:
//   next chunk on another disk     "Insert disk %d in drive %s." OK/Cancel,
//                                  before the volume is opened; Cancel: -2
//   volume cannot be opened        "%s: read error!" naming DataVolumePath,
//   volumeDisk cannot be read      Retry/Cancel; Cancel: -2
//   volumeDisk is another disk     (or the volume is shorter than 2 bytes)
//                                  the volume is closed, the same prompt
//                                  again; Cancel: -2
//   chunk read fails               "%s: read error!" naming the record,
//                                  Retry/Cancel; Cancel: -2
//   chunk read is short, or finds  "%s: read error!" naming the record,
//   nothing while the chunk still  OK only; -2
//   has bytes to deliver
//   chunk list ends                nothing; -1, up to kEndReadsAllowed
//                                  times; after that as a short read
//
// Message boxes are owned by FileTransferDialog (ui/ui_state.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/result.h"
#include "platform/platform.h"

constexpr size_t kInputBufferSize = 32000;

// Which of the reader's boxes is up, for a caller that answers the boxes
// itself (pkgtool) and must not go by their wording.
enum VolumeBox : uint8_t {
  kNoVolumeBox,
  kDiskPromptBox,       // the prompt for CurrentDisk
  kVolumeReadErrorBox,  // "%s: read error!" naming DataVolumePath
  kRecordReadErrorBox,  // "%s: read error!" naming CurrentRecord
};

// All of the reader's state; one file is read at a time.
struct VolumeState {
  char DataVolumePath[kPathSize];  // same name on every disk
  uint16_t CurrentDisk;            // disk whose volume is open or expected
  plat::HFile VolumeHandle;        // plat::kFileError when none is open
  uint8_t* InputBuffer;            // kInputBufferSize bytes
  plat::MemHandle InputMemory;     // the InputBuffer's handle
  int InputLeft;                   // bytes in InputBuffer not yet delivered
  const uint8_t* InputCursor;      // next byte to deliver
  const uint8_t* ChunkCursor;      // next chunk entry not yet started
  uint32_t ChunkLeft;              // bytes of the current chunk not yet read
  const uint8_t* CurrentRecord;    // record being read; names read failures
  uint32_t ChunkPosition;          // volume offset of the current chunk's
                                   // next unread byte
  uint32_t EndReads;               // -1s delivered for the current file
  VolumeBox Showing;               // set while one of its boxes is up
};

// How many times the end of a file's input (-1) is delivered before the
// reader calls it a read failure. The decoder reads missing bits as zeros
// and asks for at most two bytes past a sound stream's last coded bit; a
// stream that keeps asking has lost its input (a damaged chunk entry, or a
// size prefix that promises far more than its bits hold), and decoding it
// on would only spin zeros into the file.
constexpr uint32_t kEndReadsAllowed = kInputBufferSize;

extern VolumeState Volume;

// Clears the state: no volume open (the handle is not closed), no buffer,
// CurrentDisk 1.
void ResetVolume();

// Prepares the data stream of an installation run: CurrentDisk 1,
// DataVolumePath the package's SourceDirectory followed by the data volume's
// name (DataVolumeName; left empty when it would not fit, so that no volume
// opens and the first read shows the read error), no volume open, the
// InputBuffer taken with nothing in it. 0, or 37 (shown to nobody) when the
// InputBuffer cannot be had.
ResultCode OpenDataStream();

// Closes the open volume, if any, and releases the InputBuffer. Does
// nothing more when called again, or for a stream that never opened.
void CloseDataStream();

// Per-file reset: CurrentRecord = record, ChunkCursor = its first chunk
// entry, ChunkLeft 0, InputLeft 0, InputCursor at the InputBuffer's start,
// EndReads 0.
// The open volume and CurrentDisk carry over. The InputBuffer must be
// allocated (kInputBufferSize bytes) before the first byte is asked for.
void StartRecordStream(const uint8_t* record);

// The slow path of ReadSourceByte, for when InputLeft is 0: starts the next
// chunk when the current one is exhausted (prompting, opening and checking
// the volume as needed), refills InputBuffer and delivers its first byte.
// Returns a byte, -1 or -2 as ReadSourceByte does.
int RefillSourceByte();

// The next byte of the current file's stream, -1 or -2 (see above).
inline int ReadSourceByte() {
  if (Volume.InputLeft > 0) {
    --Volume.InputLeft;
    return *Volume.InputCursor++;
  }
  return RefillSourceByte();
}

// "Insert disk %d in drive %s." with CurrentDisk and SourceDirectory's
// drive letter, caption "Setup", OK and Cancel, the exclamation icon, with
// Showing kDiskPromptBox while it is up. 0 on OK, 1 otherwise.
int PromptForDisk(plat::Window parent);

// Closes the open volume, if any, and marks none open.
void CloseVolume();
