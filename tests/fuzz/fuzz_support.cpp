#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "install/installer_state.h"
#include "platform/host/host_control.h"
#include "platform/platform.h"

const std::string& FuzzDriveDirectory() {
  static std::string directory = [] {
    char pattern[] = "/tmp/setup-fuzz-XXXXXX";
    char* made = mkdtemp(pattern);
    if (made == nullptr) abort();
    return std::string(made);
  }();
  return directory;
}

void FuzzResetHost() {
  host::Reset();
  ResetInstallerState();
  host::MapDrive('A', FuzzDriveDirectory());
  host::SetModulePath("A:\\SETUP.EXE");
  host::SetResponder([](const host::Box& box) {
    return (box.type & 0x0F) == plat::kMbOk ? plat::kIdOk : plat::kIdCancel;
  });
}

void FuzzWriteFile(const char* name, const uint8_t* data, size_t size) {
  std::string path = FuzzDriveDirectory() + "/" + name;
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, file) != size) abort();
  fclose(file);
}
