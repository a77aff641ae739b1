// Helpers shared by the unit tests: a temporary directory mapped as DOS
// drives, file contents, and descriptors built from a readable description.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/descriptor.h"

// Resets the host platform (drives, boxes, faults) and every module's
// state, and makes an unanswered message box a test failure. Called before
// each test.
void ResetAllState();

// A fresh directory under the system's temporary directory (or under
// base), removed with everything in it when the object goes.
class TempDir {
 public:
  explicit TempDir(const char* base = nullptr);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + relative, with the directories on the way created.
  std::string Make(const std::string& relative) const;

 private:
  std::string path_;
};

using Bytes = std::vector<uint8_t>;

void WriteFile(const std::string& hostPath, const Bytes& data);
void WriteFile(const std::string& hostPath, const std::string& text);
Bytes ReadFile(const std::string& hostPath);
bool FileExistsOnHost(const std::string& hostPath);

// One record of a descriptor under test.
struct RecordSpec {
  uint16_t flags = 0;
  uint16_t sizeKb = 0;
  std::string name;
  uint32_t versionMs = 0;  // written when flags has a shared bit
  uint32_t versionLs = 0;
  std::vector<ChunkEntry> chunks;
  // How the chunk list ends: an entry whose disk is 0 (2 bytes) or one
  // whose length is 0 (10 bytes).
  bool shortTerminator = true;
  int extraBytes = 0;  // slack after the chunk list, counted in recordSize
};

Bytes MakeRecord(const RecordSpec& entry);
Bytes MakeRecordTable(const std::vector<RecordSpec>& records);
Bytes MakeDescriptor(const std::string& magic, const std::string& programFile,
                     const std::string& productTitle,
                     const std::vector<RecordSpec>& records);

// Puts a descriptor's header and table into the package state directly, as
// LoadPackage would, with the given source directory ("A:\\").
void LoadDescriptorForTest(const Bytes& descriptor,
                           const std::string& sourceDirectory);

// A volume: volumeDisk followed by the bytes.
Bytes MakeVolume(uint16_t disk, const Bytes& data);
