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

constexpr int kFaultKinds = kFaultKindCount;

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
// passes its failure value on.
template <typename T>
T Failed(T value, int error = errno) {
  RecordError(error);
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

void NoteError(int error) { RecordError(error); }

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

bool InjectedFailure(Fault kind) { return Fails(kind); }

void RecordError(int error) {
  // Nothing there, a directory that is there already or still holds
  // files: answers to a probe, not failures.
  if (error != 0 && error != ENOENT && error != ENOTDIR && error != EEXIST &&
      error != ENOTEMPTY) {
    State().lastError = error;
  }
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
  if (host::Fails(Fault::kDelete)) return false;
  std::string hostPath = host::HostPath(path);
  if (hostPath.empty()) return false;
  if (host::IsReadOnly(hostPath)) return host::Failed(false, EACCES);
  return unlink(hostPath.c_str()) == 0 || host::Failed(false);
}

bool RemoveDirectory(const char* path) {
  if (host::Fails(Fault::kRemoveDirectory)) return false;
  std::string hostPath = host::HostPath(path);
  return !hostPath.empty() &&
         (rmdir(hostPath.c_str()) == 0 || host::Failed(false));
}

uint32_t GetFileAttributes(const char* path) {
  if (host::Fails(Fault::kAttributes)) return kInvalidFileAttributes;
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
  if (host::Fails(Fault::kSeek)) return kIoError;
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
  const bool injected = host::Fails(Fault::kClose);
  if (close(file) != 0) return host::Failed(kFileError);
  return injected ? kFileError : 0;
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
  if (host::Fails(Fault::kCurrentDirectory)) return false;
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

}  // namespace plat
