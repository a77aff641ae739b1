// Parsing the package manifest; see manifest.h.
#include "manifest/manifest.h"

#include <dirent.h>
#include <glob.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <set>

#include "common/codepage.h"
#include "common/floppy.h"
#include "common/host_files.h"
#include "manifest/target_name.h"
#include "read/media.h"

namespace pkgtool {
namespace {

constexpr size_t kMaxManifestSize = 4 * 1024 * 1024;

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

bool SameText(const std::string& a, const char* b) {
  return strcasecmp(a.c_str(), b) == 0;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(c));
  return text;
}

// The first bytes of UTF-8 text, at most limit, cut between characters.
std::string Prefix(const std::string& utf8, size_t limit) {
  if (utf8.size() <= limit) return utf8;
  while (limit > 0 &&
         (static_cast<unsigned char>(utf8[limit]) & 0xC0) == 0x80) {
    --limit;
  }
  return utf8.substr(0, limit);
}

// path with glob(3)'s special characters quoted.
std::string QuoteGlob(const std::string& path) {
  std::string quoted;
  for (char c : path) {
    if (c == '*' || c == '?' || c == '[' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted;
}

// A file a '\'-ending target takes: its place below the target, with '/'
// between directories, and its host path.
struct FoundFile {
  std::string relative;
  std::string hostPath;
};

using Visited = std::set<std::pair<dev_t, ino_t>>;

// One manifest being parsed: the position for messages and the findings.
class Parser {
 public:
  Parser(const std::string& path, const Variables& variables, unsigned codepage,
         Manifest* manifest)
      : path_(path),
        variables_(variables),
        codepageOption_(codepage),
        manifest_(manifest) {}

  void Run(const std::string& text);
  // The problems found, in the order of their lines.
  void TakeErrors(std::vector<std::string>* errors);

 private:
  enum class Section { kNone, kPackage, kFiles, kUnknown };

  void Error(const std::string& message) { ErrorAt(line_, message); }
  void ErrorAt(int line, const std::string& message) {
    found_.push_back(
        {line, path_ + ":" + std::to_string(line) + ": " + message});
  }
  void ErrorNoLine(const std::string& message) {
    found_.push_back({INT_MAX, path_ + ": " + message});
  }
  bool Expand(const std::string& value, std::string* expanded);
  void PackageLine(const std::string& key, const std::string& value);
  void FileLine(const std::string& key, const std::string& value);
  bool ParseSource(const std::string& target, const std::string& value,
                   ManifestFile* file);
  void AddFilesBelow(const std::string& prefix, const ManifestFile& model);
  bool ListTree(const std::string& root, const std::string& relative,
                Visited* visited, std::vector<FoundFile>* found);
  bool ListGlob(const ManifestFile& model, std::vector<FoundFile>* found);
  void Finish();
  bool Encode(int line, const std::string& what, const std::string& utf8,
              std::string* bytes);
  void EncodePackageTexts();
  void EncodeTargets();

  const std::string& path_;
  const Variables& variables_;
  const unsigned codepageOption_;
  Manifest* manifest_;
  std::vector<std::pair<int, std::string>> found_;  // line, message
  int line_ = 0;
  Section section_ = Section::kNone;
  std::map<std::string, int> packageKeys_;  // lower-case key -> its line
  unsigned manifestCodepage_ = 0;           // 0 when it names none
  bool programFileOk_ = false;  // given and a plain name: to be converted
  bool titleOk_ = false;
  int titleLine_ = 0;
  bool sawFiles_ = false;
  int fileLines_ = 0;
};

void Parser::TakeErrors(std::vector<std::string>* errors) {
  std::stable_sort(
      found_.begin(), found_.end(),
      [](const std::pair<int, std::string>& a,
         const std::pair<int, std::string>& b) { return a.first < b.first; });
  for (const auto& error : found_) errors->push_back(error.second);
}

void Parser::Run(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++line_;
    std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') {
        Error("a section header must end with ']'");
        section_ = Section::kUnknown;
        continue;
      }
      std::string name = Trim(line.substr(1, line.size() - 2));
      if (SameText(name, "package")) {
        section_ = Section::kPackage;
      } else if (SameText(name, "files")) {
        section_ = Section::kFiles;
        sawFiles_ = true;
      } else {
        Error("unknown section [" + name + "] (expected [package] or [files])");
        section_ = Section::kUnknown;
      }
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos) {
      Error("expected \"name = value\"");
      continue;
    }
    std::string key = Trim(line.substr(0, equals));
    std::string value = Trim(line.substr(equals + 1));
    switch (section_) {
      case Section::kNone:
        Error("\"" + key + "\" stands before any section");
        break;
      case Section::kPackage:
        PackageLine(key, value);
        break;
      case Section::kFiles:
        FileLine(key, value);
        break;
      case Section::kUnknown:
        break;  // reported with its header
    }
  }
  Finish();
}

bool Parser::Expand(const std::string& value, std::string* expanded) {
  expanded->clear();
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '$' || i + 1 >= value.size() || value[i + 1] != '{') {
      expanded->push_back(value[i]);
      continue;
    }
    size_t close = value.find('}', i + 2);
    if (close == std::string::npos) {
      Error("\"${\" without a closing '}'");
      return false;
    }
    std::string name = value.substr(i + 2, close - i - 2);
    auto found = variables_.find(name);
    if (found == variables_.end()) {
      Error("undefined variable ${" + name + "} (define it with -D " + name +
            "=VALUE)");
      return false;
    }
    *expanded += found->second;
    i = close;
  }
  return true;
}

void Parser::PackageLine(const std::string& key, const std::string& rawValue) {
  std::string lower = Lower(key);
  auto seen = packageKeys_.find(lower);
  if (seen != packageKeys_.end()) {
    Error(key + " is given twice (first on line " +
          std::to_string(seen->second) + ")");
    return;
  }
  std::string value;
  if (!Expand(rawValue, &value)) return;
  packageKeys_[lower] = line_;
  if (lower == "programfile") {
    // Its length and characters are checked once it is converted.
    if (value.empty()) {
      Error("programFile is empty");
    } else if (value.find_first_of("\\/:") != std::string::npos) {
      Error("programFile must be a plain file name, without a directory");
    } else {
      programFileOk_ = true;
    }
    manifest_->utf8ProgramFile = manifest_->programFile = value;
    manifest_->programFileLine = line_;
  } else if (lower == "title") {
    if (value.empty()) Error("title is empty");
    titleOk_ = !value.empty();
    titleLine_ = line_;
    manifest_->utf8Title = manifest_->title = value;
  } else if (lower == "codepage") {
    if (!ParseCodePage(value, &manifestCodepage_)) {
      manifestCodepage_ = 0;
      Error("codepage \"" + value +
            "\" is not a code page iconv converts (1252, 437, ...)");
    }
  } else if (lower == "kind") {
    if (SameText(value, "game")) {
      manifest_->kind = PackageKind::kGame;
    } else if (SameText(value, "controlpanel")) {
      manifest_->kind = PackageKind::kControlPanel;
    } else {
      Error("kind is \"" + value + "\" (expected game or controlpanel)");
    }
  } else if (lower == "disksize") {
    uint64_t size = 0;
    if (!ParseByteSize(value, &size)) {
      Error("diskSize \"" + value + "\" is not a size (bytes, K or M)");
    } else if (size < kMinDiskSize || size > kMaxDiskSize) {
      Error("diskSize " + std::to_string(size) + " is outside " +
            std::to_string(kMinDiskSize) + " to " +
            std::to_string(kMaxDiskSize));
    } else {
      manifest_->diskSize = size;
    }
  } else if (lower == "diskformat") {
    manifest_->diskFormat = FindFloppyFormat(value);
    if (manifest_->diskFormat == nullptr) {
      Error("diskFormat \"" + value + "\" is no floppy format (" +
            FloppyFormatNames() + ")");
    }
  } else if (lower == "best") {
    if (SameText(value, "yes") || SameText(value, "no")) {
      manifest_->best = SameText(value, "yes");
    } else {
      Error("best is \"" + value + "\" (expected yes or no)");
    }
  } else if (lower == "installerreserve") {
    uint64_t size = 0;
    if (!ParseByteSize(value, &size) || size > kMaxDiskSize) {
      Error("installerReserve \"" + value + "\" is not a size (bytes, K or M)");
    } else {
      manifest_->installerReserve = size;
    }
  } else {
    Error("unknown key \"" + key +
          "\" in [package] (programFile, title, kind, diskSize, "
          "diskFormat, installerReserve, codepage, best)");
  }
}

void Parser::FileLine(const std::string& key, const std::string& rawValue) {
  ++fileLines_;
  ManifestFile file;
  file.line = line_;
  std::string target, value;
  if (!Expand(key, &target) || !Expand(rawValue, &value)) return;
  if (!ParseSource(target, value, &file)) return;
  file.sourcePath = file.source[0] == '/'
                        ? file.source
                        : JoinPath(DirName(path_), file.source);
  if (target.empty() || target.back() != '\\') {
    file.target = file.utf8Target = target;
    manifest_->files.push_back(file);
    return;
  }
  AddFilesBelow(target, file);
}

// The source, quoted when it holds a comma, then the flags; false when
// something is wrong.
bool Parser::ParseSource(const std::string& target, const std::string& value,
                         ManifestFile* file) {
  std::string rest;
  if (!value.empty() && value[0] == '"') {
    size_t close = value.find('"', 1);
    if (close == std::string::npos) {
      Error("the quoted source has no closing '\"'");
      return false;
    }
    file->source = value.substr(1, close - 1);
    rest = Trim(value.substr(close + 1));
    if (!rest.empty() && rest[0] != ',') {
      Error("expected ',' after the quoted source");
      return false;
    }
  } else {
    size_t comma = value.find(',');
    file->source = Trim(value.substr(0, comma));
    if (comma != std::string::npos) rest = value.substr(comma);
  }
  if (file->source.empty()) {
    Error("target \"" + target + "\" has no source file");
    return false;
  }
  bool ok = true;
  size_t start = rest.empty() ? std::string::npos : 1;
  while (start != std::string::npos) {
    size_t comma = rest.find(',', start);
    std::string flag = Trim(rest.substr(
        start, comma == std::string::npos ? std::string::npos : comma - start));
    start = comma == std::string::npos ? std::string::npos : comma + 1;
    size_t equals = flag.find('=');
    std::string name = Trim(flag.substr(0, equals));
    if (SameText(name, "shared") && equals == std::string::npos) {
      file->shared = true;
    } else if (SameText(name, "noInstall") && equals == std::string::npos) {
      file->noInstall = true;
    } else if (SameText(name, "version") && equals != std::string::npos) {
      std::string version = Trim(flag.substr(equals + 1));
      if (!ParseVersion(version, &file->versionMs, &file->versionLs)) {
        Error("version \"" + version + "\" is not a.b.c.d (each 0 to 65535)");
        ok = false;
      }
      file->hasVersion = true;
    } else {
      Error("unknown flag \"" + flag +
            "\" (shared, noInstall, version=a.b.c.d)");
      ok = false;
    }
  }
  if (file->hasVersion && !file->shared) {
    Error("version= is only for shared files");
    ok = false;
  }
  return ok;
}

// A target ending in '\' names a directory of the user's disk: it takes
// every regular file below a directory source, the regular files a glob
// source matches (by their base names), or one file by its base name.
void Parser::AddFilesBelow(const std::string& prefix,
                           const ManifestFile& model) {
  std::string why = CheckTargetName(prefix + "x");
  if (!why.empty()) {
    Error("target \"" + prefix + "\": " + why);
    return;
  }
  std::vector<FoundFile> found;
  const std::string& source = model.sourcePath;
  if (IsDirectory(source)) {
    Visited visited;
    if (!ListTree(source, "", &visited, &found)) return;
    if (found.empty()) {
      Error(source + " holds no file");
      return;
    }
  } else if (!IsRegularFile(source) &&
             model.source.find_first_of("*?[") != std::string::npos) {
    if (!ListGlob(model, &found)) return;
  } else {
    found.push_back({BaseName(source), source});
  }
  // Named below prefix, in the byte order of their names.
  std::vector<FoundFile> named;
  for (const FoundFile& one : found) {
    if (one.relative.find('\\') != std::string::npos) {
      Error(one.hostPath +
            ": a '\\' in a file name would separate directories on Windows");
      continue;
    }
    named.push_back({prefix + one.relative, one.hostPath});
    std::replace(named.back().relative.begin(), named.back().relative.end(),
                 '/', '\\');
  }
  std::stable_sort(named.begin(), named.end(),
                   [](const FoundFile& a, const FoundFile& b) {
                     return a.relative < b.relative;
                   });
  for (const FoundFile& one : named) {
    ManifestFile file = model;
    file.target = file.utf8Target = one.relative;
    file.source = file.sourcePath = one.hostPath;
    manifest_->files.push_back(file);
  }
}

// Adds the regular files below root/relative to *found, following links
// but entering no directory twice (a link back up would never end).
bool Parser::ListTree(const std::string& root, const std::string& relative,
                      Visited* visited, std::vector<FoundFile>* found) {
  const std::string dir = relative.empty() ? root : JoinPath(root, relative);
  struct stat info;
  if (::stat(dir.c_str(), &info) != 0 ||
      !visited->insert({info.st_dev, info.st_ino}).second) {
    return true;
  }
  DIR* handle = ::opendir(dir.c_str());
  if (handle == nullptr) {
    Error(dir + ": cannot read the directory: " + SystemError());
    return false;
  }
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(handle)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(handle);
  for (const std::string& name : names) {
    std::string inner = relative.empty() ? name : relative + "/" + name;
    std::string path = JoinPath(root, inner);
    if (::stat(path.c_str(), &info) != 0) continue;  // a dangling link
    if (S_ISDIR(info.st_mode)) {
      if (!ListTree(root, inner, visited, found)) return false;
    } else if (S_ISREG(info.st_mode)) {
      found->push_back({inner, path});
    }
  }
  return true;
}

// Adds the regular files the glob pattern of model's source matches.
bool Parser::ListGlob(const ManifestFile& model,
                      std::vector<FoundFile>* found) {
  std::string pattern = model.source[0] == '/'
                            ? model.source
                            : JoinPath(QuoteGlob(DirName(path_)), model.source);
  glob_t matches;
  int result = ::glob(pattern.c_str(), GLOB_NOSORT, nullptr, &matches);
  if (result == 0) {
    for (size_t i = 0; i < matches.gl_pathc; ++i) {
      std::string path = matches.gl_pathv[i];
      if (IsRegularFile(path)) found->push_back({BaseName(path), path});
    }
  }
  ::globfree(&matches);
  if (result != 0 && result != GLOB_NOMATCH) {
    Error("\"" + model.source + "\" cannot be searched: " + SystemError());
    return false;
  }
  if (found->empty()) {
    Error("\"" + model.source + "\" matches no file");
    return false;
  }
  // Files of the same base name from two directories: by their paths.
  std::sort(found->begin(), found->end(),
            [](const FoundFile& a, const FoundFile& b) {
              return a.hostPath < b.hostPath;
            });
  return true;
}

void Parser::Finish() {
  manifest_->path = path_;
  if (packageKeys_.count("programfile") == 0) {
    ErrorNoLine("[package] has no programFile");
  }
  if (packageKeys_.count("title") == 0) ErrorNoLine("[package] has no title");
  if (!sawFiles_) {
    ErrorNoLine("there is no [files] section");
  } else if (fileLines_ == 0) {
    ErrorNoLine("[files] names no file (a package needs at least one)");
  }
  if (packageKeys_.count("disksize") != 0 &&
      packageKeys_.count("diskformat") != 0) {
    ErrorAt(packageKeys_["diskformat"],
            "diskFormat and diskSize (line " +
                std::to_string(packageKeys_["disksize"]) +
                ") both give the disks' capacity; keep one");
  }
  manifest_->codepage = codepageOption_ != 0     ? codepageOption_
                        : manifestCodepage_ != 0 ? manifestCodepage_
                                                 : kDefaultCodePage;
  EncodePackageTexts();
  EncodeTargets();
}

bool Parser::Encode(int line, const std::string& what, const std::string& utf8,
                    std::string* bytes) {
  std::string why;
  if (EncodeText(utf8, manifest_->codepage, bytes, &why)) return true;
  ErrorAt(line, what + " \"" + utf8 + "\" " + why);
  return false;
}

void Parser::EncodePackageTexts() {
  Manifest& m = *manifest_;
  const int line = m.programFileLine;
  if (programFileOk_ &&
      Encode(line, "programFile", m.utf8ProgramFile, &m.programFile)) {
    std::string why = CheckTargetName(m.utf8ProgramFile);
    std::string volume, ignored;
    if (m.programFile.size() > kMaxProgramFile) {
      ErrorAt(line, "programFile is " + std::to_string(m.programFile.size()) +
                        " bytes long (at most " +
                        std::to_string(kMaxProgramFile) + ")");
    } else if (!why.empty()) {
      ErrorAt(line, "programFile: " + why);
    } else if (!VolumeNameFor(m.programFile, &volume, &ignored)) {
      ErrorAt(line, "programFile " + Prefix(m.utf8ProgramFile, 16) + "... (" +
                        std::to_string(m.programFile.size()) +
                        " bytes) leaves no room for the data volume's name: "
                        "with \".dat\" in place of its extension it would be "
                        "longer than " +
                        std::to_string(kMaxProgramFile) + " bytes");
    }
  }
  if (titleOk_ && Encode(titleLine_, "title", m.utf8Title, &m.title) &&
      m.title.size() > kMaxTitle) {
    ErrorAt(titleLine_, "title is " + std::to_string(m.title.size()) +
                            " bytes long (at most " +
                            std::to_string(kMaxTitle) + ")");
  }
}

// Converts every target name and checks it, then looks for two that
// Windows would take for the same file.
void Parser::EncodeTargets() {
  std::map<std::u32string, size_t> seen;  // name key -> its first file
  std::vector<ManifestFile>& files = manifest_->files;
  for (size_t i = 0; i < files.size(); ++i) {
    ManifestFile& file = files[i];
    std::string bytes;
    if (!Encode(file.line, "target name", file.utf8Target, &bytes)) continue;
    std::string why = CheckTargetName(file.utf8Target);
    if (why.empty()) why = CheckTargetLength(bytes.size());
    if (!why.empty()) {
      ErrorAt(file.line, "target \"" + file.utf8Target + "\": " + why);
      continue;
    }
    file.target = bytes;
    auto first =
        seen.emplace(NameKey(DecodeText(bytes, manifest_->codepage)), i);
    if (first.second) continue;
    const ManifestFile& earlier = files[first.first->second];
    if (earlier.target == file.target) {
      ErrorAt(file.line, "target \"" + file.utf8Target + "\" (" +
                             file.sourcePath +
                             ") is given twice (first on "
                             "line " +
                             std::to_string(earlier.line) + ", " +
                             earlier.sourcePath + ")");
    } else {
      ErrorAt(file.line, "target \"" + file.utf8Target + "\" (" +
                             file.sourcePath + ") and \"" + earlier.utf8Target +
                             "\" on line " + std::to_string(earlier.line) +
                             " (" + earlier.sourcePath +
                             ") are one file on Windows, which ignores case");
    }
  }
}

}  // namespace

bool ParseManifest(const std::string& text, const std::string& path,
                   const Variables& variables, Manifest* manifest,
                   std::vector<std::string>* errors, unsigned codepage) {
  size_t before = errors->size();
  *manifest = Manifest();
  Parser parser(path, variables, codepage, manifest);
  parser.Run(text);
  parser.TakeErrors(errors);
  return errors->size() == before;
}

bool LoadManifest(const std::string& path, const Variables& variables,
                  Manifest* manifest, std::vector<std::string>* errors,
                  unsigned codepage) {
  std::string text;
  std::string error;
  if (!ReadSmallFile(path, kMaxManifestSize, &text, &error)) {
    errors->push_back(error);
    return false;
  }
  return ParseManifest(text, path, variables, manifest, errors, codepage);
}

bool ParseByteSize(const std::string& text, uint64_t* bytes) {
  size_t i = 0;
  uint64_t value = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > (uint64_t{1} << 40)) return false;
    ++i;
  }
  if (i == 0) return false;
  std::string suffix = Lower(Trim(text.substr(i)));
  uint64_t unit = 1;
  if (suffix == "k" || suffix == "kb") {
    unit = 1024;
  } else if (suffix == "m" || suffix == "mb") {
    unit = 1024 * 1024;
  } else if (!suffix.empty() && suffix != "b") {
    return false;
  }
  *bytes = value * unit;
  return true;
}

bool ParseVersion(const std::string& text, uint32_t* versionMs,
                  uint32_t* versionLs) {
  uint32_t parts[4] = {0, 0, 0, 0};
  size_t count = 0;
  size_t i = 0;
  while (count < 4) {
    size_t begin = i;
    uint32_t value = 0;
    while (i < text.size() &&
           std::isdigit(static_cast<unsigned char>(text[i]))) {
      value = value * 10 + static_cast<uint32_t>(text[i] - '0');
      if (value > 0xFFFF) return false;
      ++i;
    }
    if (i == begin) return false;
    parts[count++] = value;
    if (i == text.size()) break;
    if (text[i] != '.') return false;
    ++i;
  }
  if (i != text.size()) return false;
  *versionMs = parts[0] << 16 | parts[1];
  *versionLs = parts[2] << 16 | parts[3];
  return true;
}

std::string FormatVersion(uint32_t versionMs, uint32_t versionLs) {
  return std::to_string(versionMs >> 16) + "." +
         std::to_string(versionMs & 0xFFFF) + "." +
         std::to_string(versionLs >> 16) + "." +
         std::to_string(versionLs & 0xFFFF);
}

}  // namespace pkgtool
