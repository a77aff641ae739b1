// The SHA-256 list of built media; see checksums.h.
#include "read/checksums.h"

#include <nettle/sha2.h>
#include <strings.h>

#include <algorithm>
#include <cctype>

#include "common/host_files.h"

namespace pkgtool {
namespace {

struct ListEntry {
  std::string hex;
  std::string name;
};

// sha256sum writes a name holding a backslash or a newline escaped, the
// line marked by a leading backslash.
bool NeedsEscape(const std::string& name) {
  return name.find_first_of("\\\n") != std::string::npos;
}

std::string Unescape(const std::string& name) {
  std::string plain;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 1 < name.size()) {
      ++i;
      plain += name[i] == 'n' ? '\n' : name[i];
    } else {
      plain += name[i];
    }
  }
  return plain;
}

// Reads the list; false, with a problem for each, when it cannot be read
// or has a line that is no checksum line.
bool ReadList(const std::string& path, std::vector<ListEntry>* entries,
              std::vector<std::string>* problems) {
  std::string text, error;
  if (!ReadSmallFile(path, kMaxDescriptorSize, &text, &error)) {
    problems->push_back(error);
    return false;
  }
  bool damaged = false;
  size_t start = 0;
  for (unsigned line = 1; start < text.size(); ++line) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string content = text.substr(start, end - start);
    start = end + 1;
    if (!content.empty() && content.back() == '\r') content.pop_back();
    if (content.empty()) continue;
    bool escaped = content[0] == '\\';
    if (escaped) content.erase(0, 1);
    bool sound = content.size() > 66 && content[64] == ' ' &&
                 (content[65] == ' ' || content[65] == '*');
    for (size_t i = 0; sound && i < 64; ++i) {
      sound = std::isxdigit(static_cast<unsigned char>(content[i])) != 0;
    }
    if (!sound) {
      problems->push_back(path + ":" + std::to_string(line) +
                          ": not a SHA-256 line (\"<64 hex digits>  NAME\")");
      damaged = true;
      continue;
    }
    ListEntry entry;
    entry.hex = content.substr(0, 64);
    std::transform(entry.hex.begin(), entry.hex.end(), entry.hex.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    entry.name = content.substr(66);
    if (escaped) entry.name = Unescape(entry.name);
    entries->push_back(entry);
  }
  return !damaged;
}

const ListEntry* FindEntry(const std::vector<ListEntry>& entries,
                           const std::string& name) {
  for (const ListEntry& entry : entries) {
    if (strcasecmp(entry.name.c_str(), name.c_str()) == 0) return &entry;
  }
  return nullptr;
}

// False, with a problem, when path is unlisted or its bytes differ.
bool CheckFile(const std::string& path, const std::string& listedName,
               const std::vector<ListEntry>& entries, ChecksumCheck* check) {
  const ListEntry* entry = FindEntry(entries, listedName);
  if (entry == nullptr) {
    check->problems.push_back(path + ": not in " + check->listPath + " (as " +
                              listedName + ")");
    return false;
  }
  std::string hex, error;
  if (!FileSha256(path, &hex, &error)) {
    check->problems.push_back(error);
    return false;
  }
  if (hex != entry->hex) {
    check->problems.push_back(path + ": SHA-256 differs from " +
                              check->listPath);
    return false;
  }
  return true;
}

// The host path of a name the list gives relative to dir, each component
// found without regard to case; *path is "" when one is not there. False
// with *error when a directory on the way cannot be listed.
bool ListedPath(const std::string& dir, const std::string& name,
                std::string* path, std::string* error) {
  *path = dir;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string component = name.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == ".") continue;
    std::string found = component;
    if (component != ".." && !FindNoCase(*path, component, &found, error)) {
      path->clear();
      return false;
    }
    if (found.empty()) {
      path->clear();
      return true;
    }
    *path = JoinPath(*path, found);
  }
  return true;
}

// Checks the entries that name neither the descriptor nor a volume: the
// other files of disk 1 (an installer, the noInstall copies). Volumes of
// disks no record uses are left alone.
void CheckOtherFiles(const std::string& dir, const std::string& descriptor,
                     const std::vector<std::string>& volumeNames,
                     const std::vector<ListEntry>& entries,
                     ChecksumCheck* check) {
  for (const ListEntry& entry : entries) {
    bool known = strcasecmp(entry.name.c_str(), descriptor.c_str()) == 0 ||
                 entry.name.compare(0, 3, "../") == 0;
    for (const std::string& volume : volumeNames) {
      known |= strcasecmp(entry.name.c_str(), volume.c_str()) == 0;
    }
    if (known) continue;
    std::string path, error;
    if (!ListedPath(dir, entry.name, &path, &error)) {
      check->problems.push_back(error);
      check->failedFiles.push_back(JoinPath(dir, entry.name));
    } else if (path.empty()) {
      check->problems.push_back(JoinPath(dir, entry.name) + ": listed in " +
                                check->listPath + ", but missing");
      check->failedFiles.push_back(JoinPath(dir, entry.name));
    } else if (!CheckFile(path, entry.name, entries, check)) {
      check->failedFiles.push_back(path);
    }
  }
}

}  // namespace

bool FileSha256(const std::string& path, std::string* hex, std::string* error) {
  FileCloser file(std::fopen(path.c_str(), "rb"));
  if (file.get() == nullptr) {
    *error = path + ": cannot open: " + SystemError();
    return false;
  }
  sha256_ctx context;
  sha256_init(&context);
  std::vector<uint8_t> block(64 * 1024);
  size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
    sha256_update(&context, n, block.data());
  }
  if (std::ferror(file.get())) {
    *error = path + ": read error: " + SystemError();
    return false;
  }
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, sizeof digest, digest);
  hex->clear();
  for (uint8_t byte : digest) {
    hex->push_back("0123456789abcdef"[byte >> 4]);
    hex->push_back("0123456789abcdef"[byte & 15]);
  }
  return true;
}

std::string ListedVolumeName(unsigned disk, const std::string& volumeName) {
  if (disk == 1) return volumeName;
  return "../disk" + std::to_string(disk) + "/" + volumeName;
}

std::string ChecksumLine(const std::string& hex, const std::string& name) {
  if (!NeedsEscape(name)) return hex + "  " + name + "\n";
  std::string escaped;
  for (char c : name) {
    escaped += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
  }
  return "\\" + hex + "  " + escaped + "\n";
}

bool ChecksumCheck::FileFailed(const std::string& path) const {
  return std::find(failedFiles.begin(), failedFiles.end(), path) !=
         failedFiles.end();
}

bool ChecksumCheck::Failed(uint16_t disk) const {
  return std::find(failedDisks.begin(), failedDisks.end(), disk) !=
         failedDisks.end();
}

ChecksumCheck CheckChecksums(const Media& media, const VolumeSet& volumes) {
  ChecksumCheck check;
  const std::string dir = DirName(media.path);
  std::string listName, error;
  if (!FindNoCase(dir, kChecksumListName, &listName, &error)) {
    // Whether there is a list could not be seen: the media cannot be
    // called checked.
    check.mediaFailed = true;
    check.problems.push_back(error);
    return check;
  }
  if (listName.empty()) return check;
  check.listPath = JoinPath(dir, listName);
  std::vector<ListEntry> entries;
  check.mediaFailed = !ReadList(check.listPath, &entries, &check.problems);
  if (entries.empty() && check.mediaFailed) return check;
  if (!CheckFile(media.path, BaseName(media.path), entries, &check)) {
    check.mediaFailed = true;
  }
  std::vector<uint16_t> disks;
  for (const MediaRecord& record : media.records) {
    for (const ChunkEntry& chunk : record.chunks) {
      if (std::find(disks.begin(), disks.end(), chunk.disk) == disks.end()) {
        disks.push_back(chunk.disk);
      }
    }
  }
  std::sort(disks.begin(), disks.end());
  std::vector<std::string> volumeNames;
  for (uint16_t disk : disks) {
    volumeNames.push_back(ListedVolumeName(disk, media.VolumeName()));
    const VolumeFile* volume = volumes.Find(disk);
    if (volume != nullptr &&
        !CheckFile(volume->path, volumeNames.back(), entries, &check)) {
      check.failedDisks.push_back(disk);
      check.diskProblems.push_back(check.problems.back());
    }
  }
  CheckOtherFiles(dir, BaseName(media.path), volumeNames, entries, &check);
  return check;
}

}  // namespace pkgtool
