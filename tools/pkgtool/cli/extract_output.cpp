// Where pkgtool extract puts a file; see extract_output.h.
#include "cli/extract_output.h"

#include <cerrno>

#include "common/host_files.h"
#include "manifest/target_name.h"
#include "platform/host/host_control.h"

namespace pkgtool {

long WriteToSink(void* context, const uint8_t* bytes, long count) {
  auto* sink = static_cast<Sink*>(context);
  long n = -1;
  if (sink->stream != nullptr) {
    const auto size = static_cast<size_t>(count);
    n = std::fwrite(bytes, 1, size, sink->stream) == size ? count : -1;
    if (n < 0) host::NoteError(errno);
  } else {
    n = plat::lwrite(sink->file, bytes, count);
  }
  if (n > 0) {
    sink->written += static_cast<uint64_t>(n);
    sink->bar->Update(sink->base + sink->written);
  }
  return n;
}

// The host path of a record's file below the destination drive (existing
// directories found without regard to case); "" when its name is refused,
// with *why.
std::string TargetPath(const MediaRecord& record, std::string* dos,
                       std::vector<std::string>* components, std::string* why) {
  if (!ExtractionComponents(record.utf8Name, components, why)) return "";
  *dos = std::string(1, kDestDrive) + ":";
  for (const std::string& component : *components) *dos += "\\" + component;
  return host::HostPath(*dos);
}

// Creates the directories of components[0 .. n-2] below the destination
// drive; false with *error.
bool PrepareDirectories(const std::vector<std::string>& components,
                        std::string* error) {
  std::string dos = std::string(1, kDestDrive) + ":";
  for (size_t i = 0; i + 1 < components.size(); ++i) {
    dos += "\\" + components[i];
    std::string host = host::HostPath(dos);
    if (IsDirectory(host, error)) continue;
    if (!error->empty()) return false;
    if (!plat::CreateDirectory(dos.c_str())) {
      *error = host + ": cannot create the directory: " + SystemError();
      return false;
    }
  }
  return true;
}

}  // namespace pkgtool
