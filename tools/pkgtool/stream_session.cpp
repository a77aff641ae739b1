// The installer's reader and decoder over host directories; see
// stream_session.h.
#include "stream_session.h"

#include <cstring>

#include "base/memory.h"
#include "base/text.h"
#include "package/descriptor.h"
#include "platform/host/host_control.h"
#include "stream/lzhuf.h"
#include "stream/volume.h"

namespace pkgtool {
namespace {

constexpr char kSourceDrive = 'A';
constexpr char kSourceDirectory[] = "A:\\";

bool StartsWith(const std::string& text, const char* prefix) {
  size_t length = std::strlen(prefix);
  return length > 0 && text.compare(0, length, prefix) == 0;
}

}  // namespace

StreamSession::StreamSession(const Media& media, const VolumeSet& volumes)
    : media_(media), volumes_(volumes) {
  ResetPackage();
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

  ResetVolume();
  ResetOutput();
  SetDecodeSource(nullptr, nullptr);
  // A checked medium's stream must hold every bit it uses.
  SetStrictStreamEnd(true);
  CopyText(Volume.DataVolumePath, kPathSize, kSourceDirectory);
  AppendText(Volume.DataVolumePath, kPathSize, media.VolumeName().c_str());
  Volume.CurrentDisk = 1;
  Volume.VolumeHandle = plat::kFileError;
  Volume.InputBuffer =
      static_cast<uint8_t*>(AllocLocked(kInputBufferSize, &Volume.InputMemory));
  Output.OutputBuffer = static_cast<uint8_t*>(
      AllocLocked(kOutputBufferSize, &Output.OutputMemory));
  Output.OutputHandle = plat::kFileError;
  ready_ = Volume.InputBuffer != nullptr && Output.OutputBuffer != nullptr;

  // The installer starts with disk 1 expected in the drive.
  if (const VolumeFile* first = volumes.Find(1)) {
    host::MapDrive(kSourceDrive, first->dir);
    mappedDisk_ = 1;
  }
  host::SetResponder(
      [this](const host::Box& box) { return Respond(box.text, box.type); });
}

StreamSession::~StreamSession() {
  CloseVolume();
  FreeLocked(&Volume.InputMemory);
  FreeLocked(&Output.OutputMemory);
  ResetVolume();
  ResetOutput();
  ResetPackage();
  SetStrictStreamEnd(false);
  host::SetResponder(nullptr);
}

int StreamSession::Respond(const std::string& text, unsigned type) {
  unsigned buttons = type & 0x0F;
  if (buttons == plat::kMbOkCancel) {
    // The disk prompt: CurrentDisk is the disk it asks for.
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
  if (StartsWith(message, Volume.DataVolumePath)) {
    message = volumePath + message.substr(std::strlen(Volume.DataVolumePath));
  } else if (StartsWith(message, Output.TargetPath)) {
    message = target_ + message.substr(std::strlen(Output.TargetPath));
  } else if (std::strstr(text.c_str(), "read error") != nullptr) {
    message += " (disk " + std::to_string(Volume.CurrentDisk) + " volume " +
               volumePath + " ends or fails inside a chunk, near offset " +
               std::to_string(Volume.ChunkPosition) + ")";
  } else if (text == "Disk full!") {
    message = target_ + ": disk full";
  }
  problems_.push_back(message);
  return buttons == plat::kMbOk ? plat::kIdOk : plat::kIdCancel;
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
  outcome.statedSize = Decoder.size;
  outcome.produced = Decoder.count;
  if (outcome.result == kResultReadError && problems_.empty()) {
    problems_.push_back(
        "the stream needs more bits than its chunks hold, after " +
        std::to_string(Decoder.count) + " of " + std::to_string(Decoder.size) +
        " bytes (a chunk entry or the size prefix is damaged)");
  }
  outcome.problems = problems_;
  Output.WriteHook = nullptr;
  Output.WriteContext = nullptr;
  return outcome;
}

}  // namespace pkgtool
