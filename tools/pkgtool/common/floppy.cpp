// Floppy formats and images; see floppy.h.
#include "common/floppy.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/host_files.h"

namespace pkgtool {
namespace {

constexpr unsigned kSectorBytes = 512;
constexpr unsigned kReservedSectors = 1;
constexpr unsigned kFats = 2;
constexpr unsigned kEntryBytes = 32;
constexpr unsigned kLongNameChars = 13;  // characters of one long-name entry
constexpr unsigned kLabelChars = 11;

const FloppyFormat kFormats[] = {
    {"1.44M", 2880, 1, 9, 224, 1440},
    {"720K", 1440, 2, 3, 112, 720},
    {"1.2M", 2400, 1, 7, 224, 1200},
    {"360K", 720, 2, 2, 112, 360},
};

// The dates mtools gives the files when SOURCE_DATE_EPOCH is not set:
// 2000-01-01 00:00 UTC.
const char kDefaultEpoch[] = "946684800";

bool IsDigits(const char* text) {
  if (text == nullptr || *text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  }
  return true;
}

// Characters mcopy keeps in a short name as they are (checked with mtools
// 4.0; others, such as '+', ' ' and '\'', make it write a long name).
bool IsShortNameChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u < 0x80 && (std::isalnum(u) || std::strchr("-_~$!{}", c) != nullptr);
}

// Short names keep one case per part in the entry's case bits; a part in
// mixed case needs a long name.
bool IsOneCase(const std::string& part) {
  bool upper = false, lower = false;
  for (char c : part) {
    upper = upper || std::isupper(static_cast<unsigned char>(c));
    lower = lower || std::islower(static_cast<unsigned char>(c));
  }
  return !(upper && lower);
}

bool IsPlainShortName(const std::string& name) {
  size_t dot = name.find('.');
  std::string base = name.substr(0, dot);
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string::npos && ext.empty()) return false;
  for (char c : base + ext) {
    if (!IsShortNameChar(c)) return false;
  }
  return IsOneCase(base) && IsOneCase(ext);
}

// mtools' options come before the operands; a path that starts with '-'
// must not be taken for one.
std::string Operand(const std::string& path) {
  return !path.empty() && path[0] == '-' ? "./" + path : path;
}

// The environment of every mtools run: no configuration file of the user's
// (and the system's global settings overridden), long names as mcopy makes
// them by default, UTF-8 names, and fixed dates.
std::vector<std::string> MtoolsEnvironment() {
  const char* path = std::getenv("PATH");
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  return {
      std::string("PATH=") + (path != nullptr ? path : "/usr/bin:/bin"),
      "HOME=/nonexistent",
      "MTOOLSRC=/dev/null",
      "MTOOLS_SKIP_CHECK=1",
      "MTOOLS_FAT_COMPATIBILITY=1",
      "MTOOLS_NO_VFAT=0",
      "MTOOLS_LOWER_CASE=0",
      "MTOOLS_NAME_NUMERIC_TAIL=1",
      "LC_ALL=C.UTF-8",
      "TZ=UTC0",
      std::string("SOURCE_DATE_EPOCH=") +
          (IsDigits(epoch) ? epoch : kDefaultEpoch),
  };
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(&s[0]);
  pointers.push_back(nullptr);
  return pointers;
}

// Reads both pipes to their end, whatever order the child writes them in.
void ReadBoth(int outFd, int errFd, std::string* out, std::string* err) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (pollfd& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
}

// Starts args[0] with stdin from /dev/null and stdout, stderr into the
// pipes; the signals the caller holds back or catches are the child's
// defaults. Returns posix_spawnp's result.
int Spawn(const std::vector<std::string>& args, int outFd, int errFd,
          pid_t* child) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<std::string> argStrings = args;
  std::vector<std::string> envStrings = MtoolsEnvironment();
  std::vector<char*> argv = Pointers(argStrings);
  std::vector<char*> envp = Pointers(envStrings);
  int result = posix_spawnp(child, argv[0], &actions, &attributes, argv.data(),
                            envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return result;
}

// stderr's lines as one line ("a; b").
std::string OneLine(const std::string& text) {
  std::string line;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(start, end - start);
    while (!part.empty() &&
           std::isspace(static_cast<unsigned char>(part.back()))) {
      part.pop_back();
    }
    if (!part.empty()) line += (line.empty() ? "" : "; ") + part;
    start = end + 1;
  }
  return line;
}

std::string Hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// The volume serial number: a hash of the label (FNV-1a), so that each
// disk of a set has its own and the same label gives the same image.
std::string SerialNumber(const std::string& label) {
  uint32_t hash = 2166136261u;
  for (char c : label) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  return Hex8(hash);
}

bool CheckFloppyNames(
    const std::vector<std::pair<std::string, std::string>>& files,
    std::string* error) {
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& name = files[i].first;
    if (name.empty() || name.front() == '/' || name.back() == '/' ||
        name.find('\\') != std::string::npos ||
        name.find("//") != std::string::npos) {
      *error = "\"" + name + "\" is no file name on a floppy";
      return false;
    }
    for (size_t j = 0; j < i; ++j) {
      if (strcasecmp(files[j].first.c_str(), name.c_str()) == 0) {
        *error = files[j].first + " and " + name + " are one name on a floppy";
        return false;
      }
    }
  }
  return true;
}

}  // namespace

uint64_t FloppyFormat::ImageBytes() const {
  return uint64_t{sectors} * kSectorBytes;
}

uint64_t FloppyFormat::ClusterBytes() const {
  return uint64_t{sectorsPerCluster} * kSectorBytes;
}

unsigned FloppyFormat::RootDirSectors() const {
  return (rootEntries * kEntryBytes + kSectorBytes - 1) / kSectorBytes;
}

unsigned FloppyFormat::Clusters() const {
  unsigned data =
      sectors - kReservedSectors - kFats * fatSectors - RootDirSectors();
  return data / sectorsPerCluster;
}

uint64_t FloppyFormat::DataBytes() const { return Clusters() * ClusterBytes(); }

const FloppyFormat* FindFloppyFormat(const std::string& name) {
  static const struct {
    const char* alias;
    const char* name;
  } kAliases[] = {{"1440K", "1.44M"}, {"1200K", "1.2M"}};
  std::string wanted = name;
  for (const auto& alias : kAliases) {
    if (strcasecmp(name.c_str(), alias.alias) == 0) wanted = alias.name;
  }
  for (const FloppyFormat& format : kFormats) {
    if (strcasecmp(wanted.c_str(), format.name) == 0) return &format;
  }
  return nullptr;
}

std::string FloppyFormatNames() {
  std::string names;
  const size_t count = sizeof kFormats / sizeof kFormats[0];
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) names += i + 1 == count ? " or " : ", ";
    names += kFormats[i].name;
  }
  return names;
}

uint64_t ClusterRounded(const FloppyFormat& format, uint64_t size) {
  uint64_t cluster = format.ClusterBytes();
  return (size + cluster - 1) / cluster * cluster;
}

unsigned DirectoryEntries(const std::string& name) {
  if (IsPlainShortName(name)) return 1;
  // Bytes, not characters: more than enough for UTF-8 names.
  return 1 + static_cast<unsigned>((name.size() + kLongNameChars - 1) /
                                   kLongNameChars);
}

bool FitsOnFloppy(const FloppyFormat& format,
                  const std::vector<std::pair<std::string, uint64_t>>& files,
                  std::string* why) {
  uint64_t bytes = 0;
  unsigned entries = 1;  // the volume label's
  for (const auto& file : files) {
    bytes += ClusterRounded(format, file.second);
    entries += DirectoryEntries(file.first);
  }
  if (bytes > format.DataBytes()) {
    *why = "needs " + std::to_string(bytes) + " bytes of clusters, the disk " +
           "holds " + std::to_string(format.DataBytes());
    return false;
  }
  if (entries > format.rootEntries) {
    *why = "needs " + std::to_string(entries) + " root entries of " +
           std::to_string(format.rootEntries) + " (the label takes one)";
    return false;
  }
  return true;
}

std::string VolumeLabel(const std::string& title, unsigned disk) {
  std::string number = std::to_string(disk);
  std::string label;
  for (char c : title) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80 && u < 0xC0) continue;  // within a UTF-8 character
    char upper = static_cast<char>(std::toupper(u));
    bool kept = u < 0x80 && (std::isalnum(u) || std::strchr(" -_", c));
    label += kept ? upper : '_';
  }
  size_t lead = label.find_first_not_of(' ');
  label = lead == std::string::npos ? "" : label.substr(lead);
  size_t room = number.size() < kLabelChars ? kLabelChars - number.size() : 0;
  label = label.substr(0, room > 0 ? room - 1 : 0);
  while (!label.empty() && label.back() == ' ') label.pop_back();
  return label.empty() ? number : label + " " + number;
}

bool WriteFloppyImage(
    const FloppyFormat& format, const std::string& label,
    const std::vector<std::pair<std::string, std::string>>& files,
    const std::string& imagePath, std::string* error) {
  if (!CheckFloppyNames(files, error)) return false;
  if (unlink(imagePath.c_str()) != 0 && errno != ENOENT) {
    *error = imagePath + ": cannot replace: " + SystemError();
    return false;
  }
  std::string output, why;
  std::vector<std::string> mformat = {
      "mformat", "-i",
      imagePath, "-C",
      "-f",      std::to_string(format.mformatSize),
      "-N",      SerialNumber(label)};
  if (!label.empty()) mformat.insert(mformat.end(), {"-v", label});
  mformat.push_back("::");
  bool ok = RunMtools(mformat, &output, &why);
  // The directories of names such as "DOCS/README.TXT", each made once.
  std::vector<std::string> made;
  for (size_t i = 0; ok && i < files.size(); ++i) {
    const std::string& name = files[i].first;
    for (size_t slash = name.find('/'); ok && slash != std::string::npos;
         slash = name.find('/', slash + 1)) {
      const std::string directory = name.substr(0, slash);
      if (std::find(made.begin(), made.end(), directory) != made.end()) {
        continue;
      }
      made.push_back(directory);
      ok = RunMtools({"mmd", "-i", imagePath, "::" + directory}, &output, &why);
    }
  }
  for (size_t i = 0; ok && i < files.size(); ++i) {
    ok = RunMtools({"mcopy", "-i", imagePath, Operand(files[i].second),
                    "::" + files[i].first},
                   &output, &why);
    if (!ok) why = files[i].second + " as " + files[i].first + ": " + why;
  }
  uint64_t size = 0;
  if (ok && !FileSize(imagePath, &size, &why)) {
    ok = false;
  } else if (ok && size != format.ImageBytes()) {
    ok = false;
    why = "the image has " + std::to_string(size) + " bytes, not " +
          std::to_string(format.ImageBytes());
  }
  if (!ok) {
    unlink(imagePath.c_str());
    *error = imagePath + ": " + why;
  }
  return ok;
}

bool UnpackFloppyImage(const std::string& imagePath, const std::string& dir,
                       std::string* error) {
  if (!IsRegularFile(imagePath, error)) {
    if (error->empty()) *error = imagePath + ": no such image file";
    return false;
  }
  std::string output, why;
  if (!RunMtools({"mcopy", "-s", "-n", "-m", "-i", imagePath,
                  "::", dir.empty() ? "./" : Operand(JoinPath(dir, ""))},
                 &output, &why)) {
    *error = imagePath + ": cannot read it as a FAT floppy: " + why;
    return false;
  }
  return true;
}

bool IsFloppyImage(const std::string& path, std::string* error) {
  std::string name = BaseName(path);
  if (name.size() < 4 ||
      strcasecmp(name.c_str() + name.size() - 4, ".img") != 0) {
    return false;
  }
  uint64_t size = 0;
  PathKind kind = PathKind::kNone;
  if (!LookAt(path, &kind, error, &size) || kind != PathKind::kFile) {
    return false;
  }
  for (const FloppyFormat& format : kFormats) {
    if (size == format.ImageBytes()) return true;
  }
  return false;
}

bool RunMtools(const std::vector<std::string>& args, std::string* output,
               std::string* error) {
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) {
    *error = args[0] + ": cannot make a pipe: " + SystemError();
    return false;
  }
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    *error = args[0] + ": cannot make a pipe: " + SystemError();
    close(outPipe[0]);
    close(outPipe[1]);
    return false;
  }
  pid_t child = -1;
  int spawned = Spawn(args, outPipe[1], errPipe[1], &child);
  close(outPipe[1]);
  close(errPipe[1]);
  std::string err;
  output->clear();
  if (spawned == 0) ReadBoth(outPipe[0], errPipe[0], output, &err);
  if (spawned != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    *error = spawned == ENOENT
                 ? args[0] + " not found: install mtools (apt-get install " +
                       "mtools)"
                 : args[0] + ": cannot run: " + std::strerror(spawned);
    return false;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  std::string said = OneLine(err);
  if (WIFSIGNALED(status)) {
    *error = args[0] + " ended by signal " + std::to_string(WTERMSIG(status));
  } else {
    *error = args[0] + " failed (exit status " +
             std::to_string(WEXITSTATUS(status)) + ")";
  }
  if (!said.empty()) *error += ": " + said;
  return false;
}

}  // namespace pkgtool
