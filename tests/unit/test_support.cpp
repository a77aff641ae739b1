#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/result.h"
#include "base/text.h"
#include "install/installer_state.h"
#include "platform/host/host_control.h"
#include "uninstall/uninstall.h"

void ResetAllState() {
  host::Reset();
  host::SetUnansweredHandler([](const host::Box& box) {
    ADD_FAILURE() << "message box without an answer: [" << box.caption << "] "
                  << box.text;
  });
  ResetInstallerState();
  ResetUninstall();
}

TempDir::TempDir(const char* base) {
  if (base == nullptr) base = getenv("TMPDIR");
  std::string pattern =
      std::string(base ? base : "/tmp") + "/setup-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  char* made = mkdtemp(buffer.data());
  if (made == nullptr) abort();
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only files and directories made by a test must not stop the
  // clean-up.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    chmod(it->path().c_str(), 0755);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Make(const std::string& relative) const {
  std::string full = path_ + "/" + relative;
  std::filesystem::create_directories(
      std::filesystem::path(full).parent_path());
  return full;
}

void WriteFile(const std::string& hostPath, const Bytes& data) {
  std::filesystem::create_directories(
      std::filesystem::path(hostPath).parent_path());
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()),
            static_cast<std::streamsize>(data.size()));
}

void WriteFile(const std::string& hostPath, const std::string& text) {
  WriteFile(hostPath, Bytes(text.begin(), text.end()));
}

Bytes ReadFile(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)),
               std::istreambuf_iterator<char>());
}

bool FileExistsOnHost(const std::string& hostPath) {
  struct stat info;
  return stat(hostPath.c_str(), &info) == 0;
}

namespace {

void PutU16(Bytes* out, uint16_t value) {
  out->push_back(static_cast<uint8_t>(value));
  out->push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(Bytes* out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

Bytes MakeRecord(const RecordSpec& entry) {
  Bytes body;
  PutU16(&body, entry.flags);
  PutU16(&body, entry.sizeKb);
  body.insert(body.end(), entry.name.begin(), entry.name.end());
  body.push_back(0);
  body.push_back(0);  // spareByte
  if (entry.flags & kFlagsShared) {
    PutU32(&body, entry.versionMs);
    PutU32(&body, entry.versionLs);
  }
  for (const ChunkEntry& chunk : entry.chunks) {
    PutU16(&body, chunk.disk);
    PutU32(&body, chunk.offset);
    PutU32(&body, chunk.length);
  }
  if (entry.shortTerminator) {
    PutU16(&body, 0);
  } else {
    PutU16(&body, 1);
    PutU32(&body, 0);
    PutU32(&body, 0);
  }
  body.insert(body.end(), static_cast<size_t>(entry.extraBytes), 0);
  Bytes record;
  PutU16(&record, static_cast<uint16_t>(body.size() + 2));
  record.insert(record.end(), body.begin(), body.end());
  return record;
}

Bytes MakeRecordTable(const std::vector<RecordSpec>& records) {
  Bytes table;
  for (const RecordSpec& entry : records) {
    Bytes record = MakeRecord(entry);
    table.insert(table.end(), record.begin(), record.end());
  }
  return table;
}

Bytes MakeDescriptor(const std::string& magic, const std::string& programFile,
                     const std::string& productTitle,
                     const std::vector<RecordSpec>& records) {
  Bytes out(kHeaderSize, 0);
  memcpy(out.data(), magic.data(), magic.size() < 4 ? magic.size() : 4);
  memcpy(out.data() + kProgramFileOffset, programFile.data(),
         programFile.size() < kProgramFileSize ? programFile.size()
                                               : kProgramFileSize);
  memcpy(out.data() + kProductTitleOffset, productTitle.data(),
         productTitle.size() < kProductTitleSize ? productTitle.size()
                                                 : kProductTitleSize);
  out[kRecordCountOffset] = static_cast<uint8_t>(records.size());
  out[kRecordCountOffset + 1] = static_cast<uint8_t>(records.size() >> 8);
  Bytes table = MakeRecordTable(records);
  out.insert(out.end(), table.begin(), table.end());
  return out;
}

void LoadDescriptorForTest(const Bytes& descriptor,
                           const std::string& sourceDirectory) {
  // The table lives for the rest of the test program: tests keep pointers
  // into it, and the next load replaces it.
  static Bytes table;
  ASSERT_GE(descriptor.size(), kHeaderSize);
  memcpy(Package.Header.magic, descriptor.data(), 4);
  memcpy(Package.Header.programFile, descriptor.data() + kProgramFileOffset,
         kProgramFileSize);
  memcpy(Package.Header.productTitle, descriptor.data() + kProductTitleOffset,
         kProductTitleSize);
  Package.Header.recordCount = ReadU16(descriptor.data() + kRecordCountOffset);
  table.assign(descriptor.begin() + kHeaderSize, descriptor.end());
  Package.RecordTable = table.data();
  Package.TableSize = static_cast<uint32_t>(table.size());
  Package.TableHandle = nullptr;
  Package.ControlPanelPackage = memcmp(descriptor.data(), "INSV", 4) == 0;
  CopyText(Package.SourceDirectory, kPathSize, sourceDirectory.c_str());
  CopyText(Package.DescriptorName, kPathSize, "SETUP.bin");
  ASSERT_TRUE(ValidateRecordTable(table.data(), table.size(),
                                  Package.Header.recordCount));
}

Bytes MakeVolume(uint16_t disk, const Bytes& data) {
  Bytes out;
  PutU16(&out, disk);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}
