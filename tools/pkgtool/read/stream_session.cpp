// The installer's reader and decoder over host directories; see
// stream_session.h.
#include "read/stream_session.h"

#include <cerrno>
#include <cstring>

#include "base/memory.h"
#include "base/text.h"
#include "common/codepage.h"
#include "install/installer_state.h"
#include "package/descriptor.h"
#include "platform/host/host_control.h"
#include "stream/lzhuf.h"
#include "stream/volume.h"

namespace pkgtool {
namespace {

constexpr char kSourceDrive = 'A';
constexpr char kSourceDirectory[] = "A:\\";

// Puts hostName in the place of the DOS name that a box's text names.
void ReplaceName(std::string* text, const char* dosName,
                 const std::string& hostName) {
  const size_t length = std::strlen(dosName);
  const size_t at = length > 0 ? text->find(dosName) : std::string::npos;
  if (at != std::string::npos) text->replace(at, length, hostName);
}

}  // namespace

StreamSession::StreamSession(const Media& media, const VolumeSet& volumes)
    : media_(media), volumes_(volumes) {
  ResetInstallerState();
  std::memcpy(Package.Header.magic, media.controlPanel ? "INSV" : "\0\0\0\0",
              4);
  CopyText(Package.Header.programFile, kProgramFileSize,
           media.programFile.c_str());
  CopyText(Package.Header.productTitle, kProductTitleSize, media.title.c_str());
  Package.Header.recordCount = static_cast<uint16_t>(media.recordCount);
  Package.RecordTable = const_cast<uint8_t*>(media.table.data());
  Package.TableSize = static_cast<uint32_t>(media.table.size());
  Package.ControlPanelPackage = media.controlPanel ? 1 : 0;
  Package.RequiredKb = media.requiredKb;
  CopyText(Package.SourceDirectory, kPathSize, kSourceDirectory);

  // A checked medium's stream must hold every bit it uses.
  SetStrictStreamEnd(true);
  const ResultCode opened = OpenDataStream();
  Output.OutputBuffer = static_cast<uint8_t*>(
      AllocLocked(kOutputBufferSize, &Output.OutputMemory));
  ready_ = opened == kResultOk && Output.OutputBuffer != nullptr;

  // The installer starts with disk 1 expected in the drive.
  if (const VolumeFile* first = volumes.Find(1)) {
    host::MapDrive(kSourceDrive, first->dir);
    mappedDisk_ = 1;
  }
  host::SetResponder(
      [this](const host::Box& box) { return Respond(box.text, box.type); });
  // The volume's DOS name is in the package's code page, its host file's
  // in UTF-8 (what is written elsewhere is named by the caller, in UTF-8).
  const unsigned codepage = media.codepage;
  host::SetNameDecoder(
      [codepage](const std::string& name) {
        return DecodeText(name, codepage);
      },
      std::string(1, kSourceDrive));
}

StreamSession::~StreamSession() {
  CloseDataStream();
  FreeLocked(&Output.OutputMemory);
  ResetInstallerState();
  host::SetResponder(nullptr);
  host::SetNameDecoder(nullptr);
}

int StreamSession::Respond(const std::string& text, unsigned type) {
  const int cause = host::TakeLastError();
  if (Volume.Showing == kDiskPromptBox) {
    // CurrentDisk is the disk it asks for.
    uint16_t disk = Volume.CurrentDisk;
    const VolumeFile* volume = volumes_.Find(disk);
    if (volume == nullptr) {
      problems_.push_back("disk " + std::to_string(disk) +
                          " is needed, but no " + media_.VolumeName() +
                          " carrying disk " + std::to_string(disk) +
                          " lies in " + volumes_.Searched());
      return plat::kIdCancel;
    }
    if (mappedDisk_ == disk) {
      // Asked again for the disk just put in: its volume no longer says so.
      problems_.push_back(volume->path + " does not carry disk " +
                          std::to_string(disk));
      return plat::kIdCancel;
    }
    host::MapDrive(kSourceDrive, volume->dir);
    mappedDisk_ = disk;
    return plat::kIdOk;
  }

  // Any other box reports a failure; name the host files it is about.
  std::string message = text;
  const VolumeFile* volume = volumes_.Find(Volume.CurrentDisk);
  std::string volumePath = volume != nullptr && mappedDisk_ == volume->disk
                               ? volume->path
                               : host::HostPath(Volume.DataVolumePath);
  if (Volume.Showing == kVolumeReadErrorBox) {
    ReplaceName(&message, Volume.DataVolumePath, volumePath);
  } else if (Volume.Showing == kRecordReadErrorBox) {
    message += " (disk " + std::to_string(Volume.CurrentDisk) + " volume " +
               volumePath + " ends or fails inside a chunk, near offset " +
               std::to_string(Volume.ChunkPosition) + ")";
  } else if (Output.Showing == kResultWriteError) {
    ReplaceName(&message, Output.TargetPath, target_);
  } else if (Output.Showing == kResultDiskFull) {
    message = target_ + ": disk full";
  }
  // The cause the platform saw, when a call failed.
  if (cause != 0 && !(Output.Showing == kResultDiskFull && cause == ENOSPC)) {
    message += std::string(" (") + std::strerror(cause) + ")";
  }
  problems_.push_back(message);
  return (type & 0x0F) == plat::kMbOk ? plat::kIdOk : plat::kIdCancel;
}

void StreamSession::CheckStreamEnd(const MediaRecord& record,
                                   Outcome* outcome) {
  // The bytes the reader delivered: those of the chunks it started, less
  // what it has not read of the current one and not handed over yet; the
  // ends of input it delivered read as zero bytes. The decoder's buffered
  // bits are those it has not used.
  const size_t started =
      static_cast<size_t>(Volume.ChunkCursor - FirstChunkEntry(record.record)) /
      kChunkEntrySize;
  uint64_t delivered = 0;
  for (size_t i = 0; i < started && i < record.chunks.size(); ++i) {
    delivered += record.chunks[i].length;
  }
  delivered -=
      uint64_t{Volume.ChunkLeft} + static_cast<uint64_t>(Volume.InputLeft);
  const uint64_t bits = 8 * (delivered + Volume.EndReads) - Decoder.bitCount;
  outcome->used = (bits + 7) / 8;
  if (outcome->used == outcome->stored) return;
  // Where the last bit used lies.
  uint64_t before = 0;
  ChunkEntry where{};
  for (const ChunkEntry& chunk : record.chunks) {
    where = chunk;
    if (outcome->used <= before + chunk.length) break;
    before += chunk.length;
  }
  const uint64_t offset = where.offset + (outcome->used - before) - 1;
  outcome->result = kResultReadError;
  problems_.push_back(
      outcome->used < outcome->stored
          ? "the stream reaches its stated size " +
                std::to_string(Decoder.size) + " with its last bit in byte " +
                std::to_string(outcome->used) + " of the " +
                std::to_string(outcome->stored) + " its chunks hold (disk " +
                std::to_string(where.disk) + ", volume offset " +
                std::to_string(offset) +
                "): the rest of its chunks goes unused, so its bits are "
                "damaged or a volume is from another build"
          : "the stream uses " + std::to_string(outcome->used) +
                " bytes, more than the " + std::to_string(outcome->stored) +
                " its chunks hold (the last on disk " +
                std::to_string(where.disk) + ")");
}

StreamSession::Outcome StreamSession::Decode(const MediaRecord& record,
                                             OutputWriteHook write,
                                             void* context,
                                             const std::string& target) {
  Outcome outcome;
  problems_.clear();
  target_ = target;
  Output.OutputCount = 0;
  Output.WriteHook = write;
  Output.WriteContext = context;
  CopyText(Output.TargetPath, kPathSize, target.c_str());
  StartRecordStream(record.record);
  outcome.result = DecodeStream();
  if (outcome.result != kResultOk && keepDamaged_ && Output.OutputCount > 0) {
    FlushOutput();  // what it decoded before the fault
  }
  outcome.statedSize = Decoder.size;
  outcome.produced = Decoder.count;
  for (const ChunkEntry& chunk : record.chunks) outcome.stored += chunk.length;
  if (outcome.result == kResultReadError && problems_.empty()) {
    const ChunkEntry last =
        record.chunks.empty() ? ChunkEntry{} : record.chunks.back();
    problems_.push_back(
        "the stream needs more bits than its " +
        std::to_string(outcome.stored) +
        " bytes of chunks hold (the last on disk " + std::to_string(last.disk) +
        "), after " + std::to_string(Decoder.count) + " of " +
        std::to_string(Decoder.size) +
        " bytes decoded: a chunk entry, the size prefix or the coded bits are "
        "damaged");
  }
  if (outcome.result == kResultOk) CheckStreamEnd(record, &outcome);
  outcome.problems = problems_;
  Output.WriteHook = nullptr;
  Output.WriteContext = nullptr;
  return outcome;
}

std::string StreamFault(const StreamSession::Outcome& outcome) {
  std::string fault;
  if (outcome.result != kResultOk) {
    fault = outcome.problems.empty()
                ? "the stream ends inside its 4-byte size prefix"
                : outcome.problems.front();
    for (size_t i = 1; i < outcome.problems.size(); ++i) {
      fault += "; " + outcome.problems[i];
    }
  } else if (outcome.produced != outcome.statedSize) {
    fault = "the stream yields " + std::to_string(outcome.produced) +
            " bytes, its size prefix says " +
            std::to_string(outcome.statedSize);
  }
  return fault;
}

long CompareWithFile(void* context, const uint8_t* bytes, long count) {
  auto* compare = static_cast<Comparison*>(context);
  uint8_t buffer[8192];
  long done = 0;
  while (!compare->differs && done < count) {
    size_t want = static_cast<size_t>(count - done);
    if (want > sizeof buffer) want = sizeof buffer;
    if (std::fread(buffer, 1, want, compare->existing) != want ||
        std::memcmp(buffer, bytes + done, want) != 0) {
      compare->differs = true;
    }
    done += static_cast<long>(want);
  }
  return count;
}

}  // namespace pkgtool
