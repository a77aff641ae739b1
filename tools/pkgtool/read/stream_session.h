// Running the installer's own volume reader and decoder over media that lie
// in host directories, as verify and extract do.
//
// The session plays the installer's part around them: the package state
// holds the descriptor's header and table, the data volume is
// "A:\<programFile>.dat", and drive A: is mapped to the directory of the
// disk the reader wants. The reader's disk prompt (known by Volume.Showing,
// never by its text) is answered by mapping A: to the directory whose volume
// carries that disk number, or with Cancel when none does; every other box
// the reader or the output writer shows is a failure: it is recorded, with
// the DOS names it gives in host terms (Volume.Showing and Output.Showing
// tell what it is about), and answered with Cancel (or OK when that is the
// only button), so the stream ends with the installer's own result.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/result.h"
#include "read/media.h"
#include "stream/output.h"

namespace pkgtool {

class StreamSession {
 public:
  // Sets up the installer's state for media, whose volumes are those of
  // volumes; both must outlive the session.
  StreamSession(const Media& media, const VolumeSet& volumes);
  // Closes the volume, releases the buffers and restores the host platform's
  // message boxes and the package state.
  ~StreamSession();
  StreamSession(const StreamSession&) = delete;
  StreamSession& operator=(const StreamSession&) = delete;

  // With keep, what a stream that fails has decoded is still passed to the
  // write hook (extract --salvage); otherwise it is dropped.
  void KeepDamagedOutput(bool keep) { keepDamaged_ = keep; }

  // False when the input or output buffer could not be had.
  bool Ready() const { return ready_; }

  struct Outcome {
    ResultCode result = kResultOk;  // DecodeStream's, or 35 (see Decode)
    uint32_t statedSize = 0;        // the stream's size prefix
    uint64_t produced = 0;          // bytes the decoder delivered
    uint64_t stored = 0;            // bytes its chunks hold
    uint64_t used = 0;  // bytes up to its last bit used, once decoded
    std::vector<std::string> problems;  // what the reader or writer reported
  };

  // Decodes the record's stream (DecodeStream over ReadSourceByte) through
  // the output writer, whose platform write is replaced by write(context,
  // ...) (see OutputWriteHook). target names the output in write-error
  // messages. The volume stays open for the next record, as in the
  // installer.
  //
  // A sound stream uses exactly its chunks: every encoder ends the coded
  // bits in the last byte it writes, and the chunks hold that stream and
  // nothing else. So once the stated size is decoded, the bits used must
  // end in the last byte of the last chunk; a stream that ends earlier (a
  // flipped bit that changed the parse, a volume of another build) or needs
  // more ends with 35 and a problem naming the byte counts and the disk.
  // What this cannot see is damage that leaves the parse as it was: the
  // low six bits of a match's position, stored as they are.
  Outcome Decode(const MediaRecord& record, OutputWriteHook write,
                 void* context, const std::string& target);

 private:
  int Respond(const std::string& text, unsigned type);
  // After a stream decoded without fault: its used and stored bytes, and
  // 35 with a problem when they differ.
  void CheckStreamEnd(const MediaRecord& record, Outcome* outcome);

  const Media& media_;
  const VolumeSet& volumes_;
  bool ready_ = false;
  bool keepDamaged_ = false;
  uint16_t mappedDisk_ = 0;  // the disk whose directory A: stands for
  std::string target_;
  std::vector<std::string> problems_;
};

// What is wrong with a decoded stream, its problems joined by "; ": the
// stream's failure, or its length against its size prefix; "" when it is
// whole.
std::string StreamFault(const StreamSession::Outcome& outcome);

// The output writer's write when the output is compared with an existing
// file instead of written: differs is set at the first byte that is not
// the file's (or when the file ends first).
struct Comparison {
  std::FILE* existing;
  bool differs = false;
};
long CompareWithFile(void* context, const uint8_t* bytes, long count);

}  // namespace pkgtool
