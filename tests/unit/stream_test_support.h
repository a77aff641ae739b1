// Helpers of the data-stream tests: a drive A: whose disks change when the
// disk prompt is answered, records whose chunks are laid out on those disks,
// an output file, and streams cut into chunks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/result.h"
#include "base/text.h"
#include "package/descriptor.h"
#include "platform/host/host_control.h"
#include "stream/lzhuf.h"
#include "stream/output.h"
#include "stream/volume.h"
#include "test_seed.h"
#include "test_support.h"
#include "ui/messages.h"
#include "ui/ui_state.h"

namespace stream_test {

// The seed of a randomised stream test (test_seed.h).
inline uint32_t TestSeed() { return TestSeedOr(20240611); }

// One chunk of a stream placed on a disk: the entry and its bytes.
struct PlacedChunk {
  uint16_t disk;
  Bytes bytes;
};

// Drive A: with one data volume per disk, all named A:\GAME.DAT. Answering
// "Insert disk N in drive A." with OK puts disk N (when it exists) in the
// drive; the answers to prompts and to other boxes come from two queues
// (prompts are answered OK when their queue is empty, OK-only boxes with
// OK; another box with an empty queue fails the test).
class Drive {
 public:
  Drive() {
    ResetVolume();
    ResetOutput();
    ResetDecoder();
    LoadCaption();
    FileTransferDialog = reinterpret_cast<plat::Window>(0x4711);
    host::MapDrive('A', dir_.path());
    CopyText(Volume.DataVolumePath, kPathSize, "A:\\GAME.DAT");
    Volume.InputBuffer = static_cast<uint8_t*>(
        AllocLocked(kInputBufferSize, &Volume.InputMemory));
    host::SetResponder([this](const host::Box& box) { return Answer(box); });
  }
  ~Drive() {
    CloseVolume();
    FreeLocked(&Volume.InputMemory);
    FreeLocked(&Output.OutputMemory);
    SetDecodeSource(nullptr, nullptr);
    host::SetResponder(nullptr);
  }
  Drive(const Drive&) = delete;
  Drive& operator=(const Drive&) = delete;

  const TempDir& dir() const { return dir_; }
  std::string VolumeHostPath() const { return dir_.path() + "/GAME.DAT"; }

  // The whole content of disk's volume, volumeDisk included.
  void SetVolume(int disk, const Bytes& volume) { volumes_[disk] = volume; }
  Bytes& VolumeOf(int disk) {
    if (volumes_[disk].empty()) volumes_[disk] = MakeVolume(disk, {});
    return volumes_[disk];
  }
  // Puts disk's volume in the drive now (an empty file when it has none).
  void Insert(int disk) { WriteFile(VolumeHostPath(), volumes_[disk]); }

  // Appends bytes to disk's volume after a gap of filler; returns the
  // chunk entry that names them.
  ChunkEntry Place(int disk, const Bytes& bytes, size_t gap = 0) {
    Bytes& volume = VolumeOf(disk);
    volume.insert(volume.end(), gap, 0xEE);
    ChunkEntry entry{static_cast<uint16_t>(disk),
                     static_cast<uint32_t>(volume.size()),
                     static_cast<uint32_t>(bytes.size())};
    volume.insert(volume.end(), bytes.begin(), bytes.end());
    return entry;
  }

  // Loads a descriptor whose records have these chunk lists (record i is
  // named FILEi.DAT) and returns the first record.
  const uint8_t* LoadRecords(
      const std::vector<std::vector<ChunkEntry>>& lists) {
    std::vector<RecordSpec> records;
    for (size_t i = 0; i < lists.size(); ++i) {
      RecordSpec record;
      record.name = "FILE" + std::to_string(i) + ".DAT";
      record.chunks = lists[i];
      records.push_back(record);
    }
    LoadDescriptorForTest(MakeDescriptor("GAME", "GAME.EXE", "Game", records),
                          "A:\\");
    return FirstRecord();
  }
  const uint8_t* LoadRecord(const std::vector<ChunkEntry>& chunks) {
    return LoadRecords({chunks});
  }

  // Queues the answer to the next disk prompt / the next other box.
  void QueuePromptAnswer(int answer) { promptAnswers_.push_back(answer); }
  // The next prompt answered OK puts this disk in the drive instead of the
  // one asked for.
  void QueueWrongDisk(int disk) { wrongDisks_.push_back(disk); }
  void QueueBoxAnswer(int answer) { boxAnswers_.push_back(answer); }

  // The disks asked for, in order, and the lopen calls made before each
  // prompt.
  const std::vector<int>& prompts() const { return prompts_; }
  const std::vector<int>& opensBeforePrompt() const { return opensBefore_; }
  // The boxes other than disk prompts.
  const std::vector<host::Box>& otherBoxes() const { return otherBoxes_; }

  // Output to A:\OUT.BIN through the output writer.
  void OpenOutput() {
    Output.OutputBuffer = static_cast<uint8_t*>(
        AllocLocked(kOutputBufferSize, &Output.OutputMemory));
    Output.OutputCount = 0;
    CopyText(Output.TargetPath, kPathSize, "A:\\OUT.BIN");
    Output.OutputHandle = plat::lcreat(Output.TargetPath, 0);
    ASSERT_NE(Output.OutputHandle, plat::kFileError);
  }
  Bytes CloseOutput() {
    if (Output.OutputHandle != plat::kFileError) {
      plat::lclose(Output.OutputHandle);
      Output.OutputHandle = plat::kFileError;
    }
    FreeLocked(&Output.OutputMemory);
    Output.OutputBuffer = nullptr;
    return ReadFile(dir_.path() + "/OUT.BIN");
  }

  // Decodes record's stream into A:\OUT.BIN: DecodeStream's result and the
  // file's bytes.
  ResultCode DecodeRecord(const uint8_t* record, Bytes* decoded) {
    OpenOutput();
    StartRecordStream(record);
    ResultCode result = DecodeStream();
    *decoded = CloseOutput();
    return result;
  }

 private:
  int Answer(const host::Box& box) {
    int disk = 0;
    if (std::sscanf(box.text.c_str(), "Insert disk %d in drive", &disk) == 1) {
      prompts_.push_back(disk);
      opensBefore_.push_back(host::CallCount(host::Fault::kOpen));
      int answer = plat::kIdOk;
      if (!promptAnswers_.empty()) {
        answer = promptAnswers_.front();
        promptAnswers_.pop_front();
      }
      if (answer == plat::kIdOk) {
        int inserted = disk;
        if (!wrongDisks_.empty()) {
          inserted = wrongDisks_.front();
          wrongDisks_.pop_front();
        }
        Insert(inserted);
      }
      return answer;
    }
    otherBoxes_.push_back(box);
    if ((box.type & 0x0F) == plat::kMbOk) return plat::kIdOk;
    if (boxAnswers_.empty()) {
      ADD_FAILURE() << "unexpected box: " << box.text;
      return plat::kIdCancel;
    }
    int answer = boxAnswers_.front();
    boxAnswers_.pop_front();
    return answer;
  }

  TempDir dir_;
  std::map<int, Bytes> volumes_;
  std::deque<int> promptAnswers_;
  std::deque<int> wrongDisks_;
  std::deque<int> boxAnswers_;
  std::vector<int> prompts_;
  std::vector<int> opensBefore_;
  std::vector<host::Box> otherBoxes_;
};

// Text-like bytes from a fixed vocabulary: words that repeat, so the
// stream has both matches and literals; the same for the same seed.
inline Bytes TextSample(size_t size, uint32_t seed) {
  static const char* const words[] = {
      "setup ", "disk ", "insert ", "the ", "graphics ", "driver ", "file ",
      "copy ",  "of ",   "and ",    "a ",   "Windows ",  "\r\n",    "game ",
      "level ", "data ", "sound ",  "0 ",   "1995 ",     "program "};
  std::mt19937 random(seed);
  Bytes text;
  while (text.size() < size) {
    const char* w = words[random() % (sizeof words / sizeof *words)];
    text.insert(text.end(), w, w + std::strlen(w));
  }
  text.resize(size);
  return text;
}

// size random bytes, the same for the same seed: a stream with few matches.
inline Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// Reads the current record's bytes through ReadSourceByte until it returns
// something other than a byte; *last receives that value.
inline Bytes ReadAll(int* last, size_t limit = 1 << 24) {
  Bytes bytes;
  for (;;) {
    int b = ReadSourceByte();
    if (b < 0 || bytes.size() >= limit) {
      *last = b;
      return bytes;
    }
    bytes.push_back(static_cast<uint8_t>(b));
  }
}

// Cuts data into pieces of random lengths (at least 1 byte each), between
// 1 and maxPieces of them.
inline std::vector<Bytes> Cut(const Bytes& data, std::mt19937* random,
                              int maxPieces) {
  std::vector<Bytes> pieces;
  if (data.empty()) return pieces;
  int count = std::uniform_int_distribution<int>(1, maxPieces)(*random);
  std::vector<size_t> cuts;
  for (int i = 1; i < count; ++i) {
    cuts.push_back(
        std::uniform_int_distribution<size_t>(1, data.size())(*random));
  }
  std::sort(cuts.begin(), cuts.end());
  size_t from = 0;
  for (size_t cut : cuts) {
    if (cut > from && cut < data.size()) {
      pieces.emplace_back(data.begin() + from, data.begin() + cut);
      from = cut;
    }
  }
  pieces.emplace_back(data.begin() + from, data.end());
  return pieces;
}

// Decodes a stream held in memory with DecodeStream (through the source
// hook and the write hook): the result, and the bytes written.
struct MemoryDecode {
  ResultCode result;
  Bytes output;
  size_t sourceCalls;  // calls of the source, the failing one included
};

inline MemoryDecode DecodeInMemory(const Bytes& stream, long failAt = -1) {
  struct Source {
    const Bytes* stream;
    size_t next;
    long failAt;
    size_t calls;
  } source{&stream, 0, failAt, 0};
  static uint8_t buffer[kOutputBufferSize];
  MemoryDecode result{0, {}, 0};
  Output.OutputBuffer = buffer;
  Output.OutputCount = 0;
  Output.WriteHook = [](void* context, const uint8_t* bytes, long count) {
    Bytes* out = static_cast<Bytes*>(context);
    out->insert(out->end(), bytes, bytes + count);
    return count;
  };
  Output.WriteContext = &result.output;
  SetDecodeSource(
      [](void* context) {
        Source* s = static_cast<Source*>(context);
        ++s->calls;
        if (s->failAt >= 0 && static_cast<long>(s->next) == s->failAt) {
          ++s->next;
          return -2;
        }
        if (s->next >= s->stream->size()) return -1;
        return static_cast<int>((*s->stream)[s->next++]);
      },
      &source);
  result.result = DecodeStream();
  SetDecodeSource(nullptr, nullptr);
  Output.WriteHook = nullptr;
  Output.WriteContext = nullptr;
  Output.OutputBuffer = nullptr;
  result.sourceCalls = source.calls;
  return result;
}

}  // namespace stream_test
