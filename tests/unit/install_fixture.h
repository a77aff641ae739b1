// Shared by the installation tests: packages made of real files and
// streams, written as distribution media on the host, a fixture that maps
// the drives and prepares the data stream as the setup sequence does, and
// a small PE image carrying a version resource.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/result.h"
#include "base/text.h"
#include "install/placement.h"
#include "install/run.h"
#include "package/descriptor.h"
#include "platform/host/host_control.h"
#include "stream/encoder.h"
#include "stream/output.h"
#include "stream/volume.h"
#include "test_support.h"
#include "ui/ui_state.h"

// One file of a package under test.
struct PackageFile {
  std::string name;
  Bytes content;
  uint16_t flags = 0;
  uint32_t versionMs = 0;
  uint32_t versionLs = 0;
  // The disks that carry the file's stream, in order: the stream is split
  // into that many equal parts.
  std::vector<uint16_t> disks = {1};
};

struct Media {
  Bytes descriptor;
  std::map<uint16_t, Bytes> volumes;  // by disk, volumeDisk included
};

inline Media BuildMedia(const std::string& magic,
                        const std::string& programFile,
                        const std::string& title,
                        const std::vector<PackageFile>& files) {
  Media media;
  std::vector<RecordSpec> records;
  for (const PackageFile& file : files) {
    Bytes stream = EncodeBuffer(file.content.data(), file.content.size());
    RecordSpec entry;
    entry.flags = file.flags;
    entry.name = file.name;
    entry.versionMs = file.versionMs;
    entry.versionLs = file.versionLs;
    size_t start = 0;
    for (size_t i = 0; i < file.disks.size(); ++i) {
      const uint16_t disk = file.disks[i];
      const size_t end = stream.size() * (i + 1) / file.disks.size();
      Bytes& volume = media.volumes[disk];
      if (volume.empty()) volume = MakeVolume(disk, {});
      entry.chunks.push_back({disk, static_cast<uint32_t>(volume.size()),
                              static_cast<uint32_t>(end - start)});
      volume.insert(volume.end(), stream.begin() + static_cast<long>(start),
                    stream.begin() + static_cast<long>(end));
      start = end;
    }
    records.push_back(entry);
  }
  media.descriptor = MakeDescriptor(magic, programFile, title, records);
  return media;
}

// Bytes that differ from file to file and compress a little.
inline Bytes SampleBytes(size_t size, unsigned seed) {
  Bytes out(size);
  unsigned state = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    out[i] = (state >> 16) % 7 == 0 ? static_cast<uint8_t>(state >> 24)
                                    : static_cast<uint8_t>('a' + i % 13);
  }
  return out;
}

// A minimal PE32 image with one section holding a version resource whose
// fixed part carries the file version ms:ls.
inline Bytes MakeVersionedImage(uint32_t ms, uint32_t ls) {
  Bytes image(0x200 + 0x100, 0);
  auto put16 = [&](size_t at, uint32_t v) {
    image[at] = static_cast<uint8_t>(v);
    image[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      image[at + i] = static_cast<uint8_t>(v >> 8 * i);
  };
  image[0] = 'M';
  image[1] = 'Z';
  put32(0x3C, 0x40);
  memcpy(&image[0x40], "PE\0\0", 4);
  put16(0x44, 0x14C);  // i386
  put16(0x46, 1);      // one section
  put16(0x54, 224);    // optional header size
  const size_t optional = 0x58;
  put16(optional, 0x10B);         // PE32
  put32(optional + 92, 16);       // data directories
  put32(optional + 112, 0x1000);  // resource directory RVA
  put32(optional + 116, 0x100);
  const size_t section = optional + 224;
  memcpy(&image[section], ".rsrc", 5);
  put32(section + 8, 0x100);
  put32(section + 12, 0x1000);
  put32(section + 16, 0x100);
  put32(section + 20, 0x200);
  const size_t root = 0x200;
  // Type 16 -> name 1 -> language 0x409 -> data entry -> VS_VERSIONINFO.
  put16(root + 14, 1);
  put32(root + 16, 16);
  put32(root + 20, 0x80000000u | 0x18);
  put16(root + 0x18 + 14, 1);
  put32(root + 0x18 + 16, 1);
  put32(root + 0x18 + 20, 0x80000000u | 0x30);
  put16(root + 0x30 + 14, 1);
  put32(root + 0x30 + 16, 0x409);
  put32(root + 0x30 + 20, 0x48);
  put32(root + 0x48, 0x1000 + 0x58);
  put32(root + 0x48 + 4, 92);
  const size_t info = root + 0x58;
  put16(info, 92);
  put16(info + 2, 52);
  const char key[] = "VS_VERSION_INFO";
  for (size_t i = 0; i < sizeof key; ++i) put16(info + 6 + 2 * i, key[i]);
  put32(info + 40, 0xFEEF04BDu);
  put32(info + 44, 0x10000);
  put32(info + 48, ms);
  put32(info + 52, ls);
  return image;
}

// Drive C: is a fresh tree, drive A: the disk in the drive. Message boxes
// are answered by the test: disk prompts from DiskAnswer (OK by default;
// the disk asked for is put into the drive first), every other box from
// Answer, and a box without an answer fails the test.
class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::MapDrive('C', root_.path());
    host::MapDrive('A', DiskDirectory(1));
    ResetPlacement();
    ResetRun();
    ResetVolume();
    ResetOutput();
    host::SetResponder([this](const host::Box& box) { return Respond(box); });
  }

  void TearDown() override {
    CloseVolume();
    FreeLocked(&Volume.InputMemory);
    FreeLocked(&Output.OutputMemory);
  }

  std::string DiskDirectory(int disk) const {
    return media_.path() + "/disk" + std::to_string(disk);
  }
  // The host path of a path on drive C: ("GAMES/QUEST.EXE").
  std::string OnC(const std::string& relative) const {
    return root_.path() + "/" + relative;
  }

  // Writes the media (the descriptor as SETUP.bin on disk 1, each volume
  // under programFile's ".dat" name on its disk), loads the descriptor as
  // if from A:\SETUP.EXE and prepares the data stream: CurrentDisk 1, the
  // volume path, no volume open, an empty InputBuffer.
  void Prepare(const Media& media, const std::string& programFile) {
    WriteFile(DiskDirectory(1) + "/SETUP.bin", media.descriptor);
    std::string volumeName = programFile;
    size_t dot = volumeName.rfind('.');
    if (dot != std::string::npos) volumeName.resize(dot);
    volumeName += ".dat";
    for (const auto& volume : media.volumes) {
      WriteFile(DiskDirectory(volume.first) + "/" + volumeName, volume.second);
    }
    LoadDescriptorForTest(media.descriptor, "A:\\");
    Volume.CurrentDisk = 1;
    Volume.VolumeHandle = plat::kFileError;
    CopyText(Volume.DataVolumePath, kPathSize, ("A:\\" + volumeName).c_str());
    Volume.InputBuffer = static_cast<uint8_t*>(
        AllocLocked(kInputBufferSize, &Volume.InputMemory));
    Volume.InputLeft = 0;
    Volume.InputCursor = Volume.InputBuffer;
  }

  // The record of the loaded table at index.
  const uint8_t* Record(unsigned index) const {
    const uint8_t* record = FirstRecord();
    for (unsigned i = 0; i < index; ++i) record = NextRecord(record);
    return record;
  }

  void Answer(int answer) { answers_.push_back(answer); }
  void DiskAnswer(int answer) { diskAnswers_.push_back(answer); }

  // The texts of the boxes shown, in order.
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const host::Box& box : host::Boxes()) texts.push_back(box.text);
    return texts;
  }

  TempDir root_;
  TempDir media_;

 private:
  int Respond(const host::Box& box) {
    const std::string prompt = "Insert disk ";
    if (box.text.compare(0, prompt.size(), prompt) == 0) {
      int disk = atoi(box.text.c_str() + prompt.size());
      host::MapDrive('A', DiskDirectory(disk));
      if (diskAnswers_.empty()) return plat::kIdOk;
      int answer = diskAnswers_.front();
      diskAnswers_.pop_front();
      return answer;
    }
    if (answers_.empty()) {
      ADD_FAILURE() << "message box without an answer: " << box.text;
      return plat::kIdCancel;
    }
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  std::deque<int> answers_;
  std::deque<int> diskAnswers_;
};
