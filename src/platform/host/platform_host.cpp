// The Linux platform: the installer's Windows calls carried out on a host
// directory tree, with scripted message boxes and injected faults (see
// host_control.h for what a test controls).
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_internal.h"
#include "platform/host/string_table.h"
#include "platform/platform.h"

namespace host {
namespace {

constexpr int kFaultKinds = 9;

struct FaultPlan {
  long first = 0;  // call number that fails first; 0: none planned
  long last = 0;
};

struct FreeSpace {
  bool set = false;
  bool fail = false;
  uint32_t sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0,
           totalClusters = 0;
};

struct HostState {
  std::string modulePath = "C:\\SETUP\\SETUP.EXE";
  std::string windowsDirectory = "C:\\WINDOWS";
  std::string systemDirectory = "C:\\WINDOWS\\SYSTEM";
  FreeSpace freeSpace;
  std::vector<int> answers;
  std::vector<Box> boxes;
  Responder responder;
  std::function<void(const Box&)> unanswered;
  long calls[kFaultKinds] = {};
  FaultPlan plans[kFaultKinds];
  int lastError = 0;  // errno of the last failed call not yet taken
};

HostState& State() {
  static HostState state;
  return state;
}

// The call counter a fault kind shares: short reads and writes are reads
// and writes.
int CounterOf(Fault kind) {
  switch (kind) {
    case Fault::kShortRead:
      return static_cast<int>(Fault::kRead);
    case Fault::kShortWrite:
      return static_cast<int>(Fault::kWrite);
    default:
      return static_cast<int>(kind);
  }
}

// Counts one call of the kind's counter.
long CountCall(Fault counterKind) {
  return ++State().calls[static_cast<int>(counterKind)];
}

// Whether call number `call` of its counter is planned to fail as `kind`.
bool Planned(Fault kind, long call) {
  const FaultPlan& plan = State().plans[static_cast<int>(kind)];
  return plan.first != 0 && call >= plan.first && call <= plan.last;
}

// Records why a call failed (an injected fault fails as an I/O error) and
// passes its failure value on. Nothing there, a directory that is there
// already or still holds files: answers to a probe, not failures.
template <typename T>
T Failed(T value, int error = errno) {
  if (error != 0 && error != ENOENT && error != ENOTDIR && error != EEXIST &&
      error != ENOTEMPTY) {
    State().lastError = error;
  }
  return value;
}

// Counts a call of a kind that has no short variant and says whether it
// fails (recording an I/O error when it does).
bool Fails(Fault kind) {
  if (!Planned(kind, CountCall(kind))) return false;
  Failed(0, EIO);
  return true;
}

void DefaultUnanswered(const Box& box) {
  fprintf(stderr,
          "host platform: message box without an answer\n  caption: %s\n"
          "  text: %s\n  type: 0x%x\n",
          box.caption.c_str(), box.text.c_str(), box.type);
  abort();
}

struct MemoryBlock {
  size_t size;
  unsigned char* data;
};

bool IsReadOnly(const std::string& hostPath) {
  struct stat info;
  return stat(hostPath.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

// ---- settings files --------------------------------------------------------

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

bool SameText(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// The host path of a settings file: a bare name lies in the Windows
// directory.
std::string ProfilePath(const char* file) {
  std::string name = file;
  if (name.find('\\') == std::string::npos &&
      name.find(':') == std::string::npos) {
    name = State().windowsDirectory + "\\" + name;
  }
  return HostPath(name);
}

std::vector<std::string> ReadLines(const std::string& hostPath) {
  std::vector<std::string> lines;
  std::ifstream in(hostPath, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The section header's name when line is one ("[name]"), else false.
bool SectionName(const std::string& line, std::string* name) {
  std::string text = Trim(line);
  if (text.size() < 2 || text.front() != '[') return false;
  size_t close = text.find(']');
  if (close == std::string::npos) return false;
  *name = Trim(text.substr(1, close - 1));
  return true;
}

bool KeyOf(const std::string& line, std::string* key, std::string* value) {
  size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  *key = Trim(line.substr(0, equals));
  *value = Trim(line.substr(equals + 1));
  return true;
}

}  // namespace

void Reset() {
  HostState& state = State();
  state = HostState();
  ResetPaths();
  ResetProgress();
  ResetVersion();
}

void SetModulePath(const std::string& dosPath) { State().modulePath = dosPath; }
void SetWindowsDirectory(const std::string& dosPath) {
  State().windowsDirectory = dosPath;
}
void SetSystemDirectory(const std::string& dosPath) {
  State().systemDirectory = dosPath;
}
const std::string& WindowsDirectory() { return State().windowsDirectory; }
const std::string& SystemDirectory() { return State().systemDirectory; }

void SetFreeSpace(uint32_t sectorsPerCluster, uint32_t bytesPerSector,
                  uint32_t freeClusters, uint32_t totalClusters) {
  FreeSpace& space = State().freeSpace;
  space = FreeSpace();
  space.set = true;
  space.sectorsPerCluster = sectorsPerCluster;
  space.bytesPerSector = bytesPerSector;
  space.freeClusters = freeClusters;
  space.totalClusters = totalClusters;
}

void FailFreeSpace() {
  State().freeSpace = FreeSpace();
  State().freeSpace.fail = true;
}

void NoteError(int error) { Failed(0, error); }

int TakeLastError() {
  const int error = State().lastError;
  State().lastError = 0;
  return error;
}

void QueueAnswer(int answer) { State().answers.push_back(answer); }
const std::vector<Box>& Boxes() { return State().boxes; }
void SetResponder(Responder responder) {
  State().responder = std::move(responder);
}
void SetUnansweredHandler(std::function<void(const Box&)> handler) {
  State().unanswered = std::move(handler);
}

void InjectFault(Fault kind, int nth, int times) {
  HostState& state = State();
  long done = state.calls[CounterOf(kind)];
  FaultPlan& plan = state.plans[static_cast<int>(kind)];
  plan.first = done + (nth < 1 ? 1 : nth);
  plan.last = plan.first + (times < 1 ? 1 : times) - 1;
}

void ClearFaults() {
  for (FaultPlan& plan : State().plans) plan = FaultPlan();
}

int CallCount(Fault kind) {
  return static_cast<int>(State().calls[CounterOf(kind)]);
}

}  // namespace host

namespace plat {

using host::Fault;

HFile lopen(const char* path, int mode) {
  if (host::Fails(Fault::kOpen)) return kFileError;
  std::string hostPath = host::HostPath(path);
  if (hostPath.empty()) return kFileError;
  struct stat info;
  if (stat(hostPath.c_str(), &info) != 0) return host::Failed(kFileError);
  if (!S_ISREG(info.st_mode)) return host::Failed(kFileError, EISDIR);
  int flags = O_RDONLY;
  if ((mode & 3) == kOpenWrite) flags = O_WRONLY;
  if ((mode & 3) == 2) flags = O_RDWR;
  if (flags != O_RDONLY && host::IsReadOnly(hostPath)) {
    return host::Failed(kFileError, EACCES);
  }
  int fd = open(hostPath.c_str(), flags | O_CLOEXEC);
  return fd < 0 ? host::Failed(kFileError) : fd;
}

HFile lcreat(const char* path, int attribute) {
  if (host::Fails(Fault::kOpen)) return kFileError;
  std::string hostPath = host::HostPath(path);
  if (hostPath.empty()) return kFileError;
  struct stat info;
  if (stat(hostPath.c_str(), &info) == 0) {
    // An existing directory or read-only file cannot be replaced, also
    // when the tests run as root.
    if (!S_ISREG(info.st_mode)) return host::Failed(kFileError, EISDIR);
    if (host::IsReadOnly(hostPath)) return host::Failed(kFileError, EACCES);
  }
  mode_t permissions = (attribute & 1) ? 0444 : 0644;
  int fd = open(hostPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC,
                permissions);
  return fd < 0 ? host::Failed(kFileError) : fd;
}

namespace {

// Upper case of a Windows-1252 byte: a-z, the accented letters 0xE0-0xFE
// (less the division sign 0xF7), and the three letters whose capitals lie
// elsewhere (s caron, oe, y diaeresis).
unsigned char UpperAnsi(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
    return static_cast<unsigned char>(c - 32);
  }
  if (c == 0x9A || c == 0x9C) return static_cast<unsigned char>(c - 16);
  if (c == 0xFF) return 0x9F;
  return c;
}

}  // namespace

int lstrcmpi(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const int x = UpperAnsi(static_cast<unsigned char>(*a));
    const int y = UpperAnsi(static_cast<unsigned char>(*b));
    if (x != y || x == 0) return x - y;
  }
}

bool DeleteFile(const char* path) {
  std::string hostPath = host::HostPath(path);
  if (hostPath.empty()) return false;
  if (host::IsReadOnly(hostPath)) return host::Failed(false, EACCES);
  return unlink(hostPath.c_str()) == 0 || host::Failed(false);
}

bool RemoveDirectory(const char* path) {
  std::string hostPath = host::HostPath(path);
  return !hostPath.empty() &&
         (rmdir(hostPath.c_str()) == 0 || host::Failed(false));
}

uint32_t GetFileAttributes(const char* path) {
  std::string hostPath = host::HostPath(path);
  struct stat info;
  if (hostPath.empty()) return kInvalidFileAttributes;
  if (stat(hostPath.c_str(), &info) != 0) {
    return host::Failed(kInvalidFileAttributes);
  }
  if (S_ISDIR(info.st_mode)) return kFileAttributeDirectory;
  // A file without write permission is read-only, as Wine shows it.
  return host::IsReadOnly(hostPath) ? kFileAttributeReadOnly
                                    : kFileAttributeNormal;
}

bool MoveFileEx(const char* from, const char* to) {
  if (host::Fails(Fault::kMoveFile)) return false;
  std::string source = host::HostPath(from);
  std::string target = host::HostPath(to);
  if (source.empty() || target.empty()) return false;
  struct stat info;
  if (stat(target.c_str(), &info) == 0 &&
      (!S_ISREG(info.st_mode) || host::IsReadOnly(target))) {
    return host::Failed(false, S_ISREG(info.st_mode) ? EACCES : EISDIR);
  }
  return rename(source.c_str(), target.c_str()) == 0 || host::Failed(false);
}

int32_t llseek(HFile file, int32_t offset, int origin) {
  // As _llseek on Windows: the target must lie in 0 to 0x7FFFFFFF, else the
  // call fails and the position stays.
  off_t from = 0;
  if (origin == kSeekEnd || origin == kSeekCur) {
    from = lseek(file, 0, origin == kSeekEnd ? SEEK_END : SEEK_CUR);
    if (from < 0) return host::Failed(kIoError);
  }
  const int64_t target = static_cast<int64_t>(from) + offset;
  if (target < 0 || target > INT32_MAX) return host::Failed(kIoError, EINVAL);
  off_t position = lseek(file, static_cast<off_t>(target), SEEK_SET);
  return position < 0 ? host::Failed(kIoError) : static_cast<int32_t>(position);
}

long lread(HFile file, void* buffer, long count) {
  long call = host::CountCall(Fault::kRead);
  if (host::Planned(Fault::kRead, call)) return host::Failed(kIoError, EIO);
  if (count <= 0) return 0;
  long wanted = count;
  if (host::Planned(Fault::kShortRead, call)) wanted = count / 2;
  long done = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (done < wanted) {
    ssize_t n = read(file, bytes + done, static_cast<size_t>(wanted - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return host::Failed(done > 0 ? done : kIoError);
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

long lwrite(HFile file, const void* buffer, long count) {
  long call = host::CountCall(Fault::kWrite);
  if (host::Planned(Fault::kWrite, call)) return host::Failed(kIoError, EIO);
  if (count <= 0) return 0;
  long wanted = count;
  if (host::Planned(Fault::kShortWrite, call)) wanted = count / 2;
  long done = 0;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  while (done < wanted) {
    ssize_t n = write(file, bytes + done, static_cast<size_t>(wanted - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return host::Failed(done > 0 ? done : kIoError);
    }
    done += n;
  }
  return done;
}

HFile lclose(HFile file) {
  return close(file) == 0 ? 0 : host::Failed(kFileError);
}

unsigned GetModuleFileName(char* buffer, unsigned size) {
  if (size == 0) return 0;
  const std::string& path = host::State().modulePath;
  size_t length = path.size() < size - 1 ? path.size() : size - 1;
  memcpy(buffer, path.data(), length);
  buffer[length] = '\0';
  return static_cast<unsigned>(length);
}

bool CreateDirectory(const char* path) {
  if (host::Fails(Fault::kCreateDirectory)) return false;
  std::string hostPath = host::HostPath(path);
  return !hostPath.empty() &&
         (mkdir(hostPath.c_str(), 0755) == 0 || host::Failed(false));
}

bool SetCurrentDirectory(const char* path) {
  std::string absolute;
  if (!host::AbsoluteDosPath(path, &absolute)) return false;
  if (!host::DirectoryExists(absolute)) return false;
  host::SetCurrentDosDirectory(absolute);
  return true;
}

unsigned GetWindowsDirectory(char* buffer, unsigned size) {
  const std::string& path = host::State().windowsDirectory;
  if (path.size() + 1 > size) return static_cast<unsigned>(path.size() + 1);
  memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<unsigned>(path.size());
}

unsigned GetSystemDirectory(char* buffer, unsigned size) {
  const std::string& path = host::State().systemDirectory;
  if (path.size() + 1 > size) return static_cast<unsigned>(path.size() + 1);
  memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<unsigned>(path.size());
}

void Sleep(unsigned) {}

bool GetDiskFreeSpace(const char* root, uint32_t* sectorsPerCluster,
                      uint32_t* bytesPerSector, uint32_t* freeClusters,
                      uint32_t* totalClusters) {
  const host::FreeSpace& space = host::State().freeSpace;
  if (space.fail) return false;
  std::string hostPath = host::HostPath(root);
  if (hostPath.empty()) return false;
  if (space.set) {
    *sectorsPerCluster = space.sectorsPerCluster;
    *bytesPerSector = space.bytesPerSector;
    *freeClusters = space.freeClusters;
    *totalClusters = space.totalClusters;
    return true;
  }
  struct statvfs info;
  if (statvfs(hostPath.c_str(), &info) != 0) return host::Failed(false);
  // Report 4096-byte clusters of 512-byte sectors, as large disks do.
  uint64_t freeBytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  uint64_t totalBytes = static_cast<uint64_t>(info.f_blocks) * info.f_frsize;
  auto clusters = [](uint64_t bytes) {
    uint64_t count = bytes / 4096;
    return static_cast<uint32_t>(count > 0xFFFFFFFFu ? 0xFFFFFFFFu : count);
  };
  *sectorsPerCluster = 8;
  *bytesPerSector = 512;
  *freeClusters = clusters(freeBytes);
  *totalClusters = clusters(totalBytes);
  return true;
}

MemHandle GlobalAlloc(unsigned flags, size_t size) {
  (void)flags;  // every block is zero-filled; moving is not modelled
  if (host::Fails(Fault::kAlloc)) return nullptr;
  auto* block = new host::MemoryBlock{size, nullptr};
  if (size > 0) {
    block->data = static_cast<unsigned char*>(calloc(size, 1));
    if (block->data == nullptr) {
      delete block;
      return nullptr;
    }
  }
  return block;
}

void* GlobalLock(MemHandle memory) {
  if (host::Fails(Fault::kLock)) return nullptr;
  auto* block = static_cast<host::MemoryBlock*>(memory);
  return block == nullptr ? nullptr : block->data;  // none for 0 bytes
}

bool GlobalUnlock(MemHandle memory) { return memory != nullptr; }

MemHandle GlobalFree(MemHandle memory) {
  auto* block = static_cast<host::MemoryBlock*>(memory);
  if (block != nullptr) {
    free(block->data);
    delete block;
  }
  return nullptr;
}

int LoadString(unsigned id, char* buffer, int size) {
  if (size <= 0) return 0;
  const char* text = StringTableText(id);
  if (text == nullptr) {
    buffer[0] = '\0';
    return 0;
  }
  size_t length = strlen(text);
  if (length > static_cast<size_t>(size - 1)) length = size - 1;
  memcpy(buffer, text, length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

void FormatTextV(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0) return;
  if (vsnprintf(buffer, size, format, args) < 0) buffer[0] = '\0';
}

int MessageBox(Window owner, const char* text, const char* caption,
               unsigned type) {
  host::HostState& state = host::State();
  host::Box box;
  box.owner = owner;
  box.defaultCaption = caption == nullptr;
  box.caption = caption == nullptr ? "(default)" : caption;
  box.text = text;
  box.type = type;
  box.answer = 0;
  if (state.responder) {
    box.answer = state.responder(box);
  } else if (!state.answers.empty()) {
    box.answer = state.answers.front();
    state.answers.erase(state.answers.begin());
  } else if (state.unanswered) {
    state.unanswered(box);
  } else {
    host::DefaultUnanswered(box);
  }
  state.boxes.push_back(box);
  return box.answer;
}

unsigned GetPrivateProfileInt(const char* section, const char* key,
                              int defaultValue, const char* file) {
  std::string path = host::ProfilePath(file);
  if (path.empty()) return static_cast<unsigned>(defaultValue);
  bool inSection = false;
  for (const std::string& line : host::ReadLines(path)) {
    std::string name, lineKey, value;
    if (host::SectionName(line, &name)) {
      inSection = host::SameText(name, section);
    } else if (inSection && host::KeyOf(line, &lineKey, &value) &&
               host::SameText(lineKey, key)) {
      // As the platform does: the leading decimal number, 0 when none.
      return static_cast<unsigned>(strtol(value.c_str(), nullptr, 10));
    }
  }
  return static_cast<unsigned>(defaultValue);
}

bool WritePrivateProfileString(const char* section, const char* key,
                               const char* value, const char* file) {
  std::string path = host::ProfilePath(file);
  if (path.empty()) return false;
  std::vector<std::string> lines = host::ReadLines(path);
  std::string entry = std::string(key) + "=" + value;
  bool inSection = false, done = false;
  size_t sectionEnd = lines.size();
  bool sectionFound = false;
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    std::string name, lineKey, lineValue;
    if (host::SectionName(lines[i], &name)) {
      if (inSection) {
        sectionEnd = i;
        break;
      }
      inSection = host::SameText(name, section);
      if (inSection) {
        sectionFound = true;
        sectionEnd = lines.size();
      }
    } else if (inSection && host::KeyOf(lines[i], &lineKey, &lineValue) &&
               host::SameText(lineKey, key)) {
      lines[i] = entry;
      done = true;
    }
  }
  if (!done) {
    if (sectionFound) {
      // After the section's last non-empty line.
      size_t at = sectionEnd;
      while (at > 0 && host::Trim(lines[at - 1]).empty()) --at;
      lines.insert(lines.begin() + static_cast<long>(at), entry);
    } else {
      lines.push_back(std::string("[") + section + "]");
      lines.push_back(entry);
    }
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return host::Failed(false);
  for (const std::string& line : lines) out << line << "\r\n";
  out.flush();
  return static_cast<bool>(out) || host::Failed(false);
}

}  // namespace plat
