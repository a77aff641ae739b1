// Parsing the package manifest; see manifest.h.
#include "manifest.h"

#include <strings.h>

#include <cctype>

#include "host_files.h"
#include "media.h"
#include "target_name.h"

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

// One manifest being parsed: the position for messages and the findings.
class Parser {
 public:
  Parser(const std::string& path, const Variables& variables,
         Manifest* manifest, std::vector<std::string>* errors)
      : path_(path),
        variables_(variables),
        manifest_(manifest),
        errors_(errors) {}

  void Run(const std::string& text);

 private:
  enum class Section { kNone, kPackage, kFiles, kUnknown };

  void Error(const std::string& message) {
    errors_->push_back(path_ + ":" + std::to_string(line_) + ": " + message);
  }
  void ErrorNoLine(const std::string& message) {
    errors_->push_back(path_ + ": " + message);
  }
  bool Expand(const std::string& value, std::string* expanded);
  void PackageLine(const std::string& key, const std::string& value);
  void FileLine(const std::string& key, const std::string& value);
  void Finish();

  const std::string& path_;
  const Variables& variables_;
  Manifest* manifest_;
  std::vector<std::string>* errors_;
  int line_ = 0;
  Section section_ = Section::kNone;
  std::map<std::string, int> packageKeys_;  // lower-case key -> its line
  std::map<std::string, int> targets_;      // lower-case name -> its line
  bool sawFiles_ = false;
};

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
    if (value.empty()) {
      Error("programFile is empty");
    } else if (value.size() > kMaxProgramFile) {
      Error("programFile is " + std::to_string(value.size()) +
            " characters long (at most " + std::to_string(kMaxProgramFile) +
            ")");
    } else if (value.find_first_of("\\/:") != std::string::npos) {
      Error("programFile must be a plain file name, without a directory");
    } else if (!CheckTargetName(value).empty()) {
      Error("programFile: " + CheckTargetName(value));
    } else {
      std::string volume, why;
      if (!VolumeNameFor(value, &volume, &why)) Error(why);
    }
    manifest_->programFile = value;
  } else if (lower == "title") {
    if (value.empty()) {
      Error("title is empty");
    } else if (value.size() > kMaxTitle) {
      Error("title is " + std::to_string(value.size()) +
            " characters long (at most " + std::to_string(kMaxTitle) + ")");
    }
    manifest_->title = value;
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
          "installerReserve)");
  }
}

void Parser::FileLine(const std::string& key, const std::string& rawValue) {
  ManifestFile file;
  file.line = line_;
  file.target = key;
  std::string why = CheckTargetName(key);
  if (!why.empty()) {
    Error("target \"" + key + "\": " + why);
    return;
  }
  std::string lower = Lower(key);
  auto seen = targets_.find(lower);
  if (seen != targets_.end()) {
    Error("target \"" + key + "\" is given twice (first on line " +
          std::to_string(seen->second) + ")");
    return;
  }
  targets_[lower] = line_;

  std::string value;
  if (!Expand(rawValue, &value)) return;
  // The source, quoted when it holds a comma, then the flags.
  std::string rest;
  if (!value.empty() && value[0] == '"') {
    size_t close = value.find('"', 1);
    if (close == std::string::npos) {
      Error("the quoted source has no closing '\"'");
      return;
    }
    file.source = value.substr(1, close - 1);
    rest = Trim(value.substr(close + 1));
    if (!rest.empty() && rest[0] != ',') {
      Error("expected ',' after the quoted source");
      return;
    }
  } else {
    size_t comma = value.find(',');
    file.source = Trim(value.substr(0, comma));
    if (comma != std::string::npos) rest = value.substr(comma);
  }
  if (file.source.empty()) {
    Error("target \"" + key + "\" has no source file");
    return;
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
      file.shared = true;
    } else if (SameText(name, "noInstall") && equals == std::string::npos) {
      file.noInstall = true;
    } else if (SameText(name, "version") && equals != std::string::npos) {
      std::string version = Trim(flag.substr(equals + 1));
      if (!ParseVersion(version, &file.versionMs, &file.versionLs)) {
        Error("version \"" + version + "\" is not a.b.c.d (each 0 to 65535)");
        ok = false;
      }
      file.hasVersion = true;
    } else {
      Error("unknown flag \"" + flag +
            "\" (shared, noInstall, version=a.b.c.d)");
      ok = false;
    }
  }
  if (file.hasVersion && !file.shared) {
    Error("version= is only for shared files");
    ok = false;
  }
  if (!ok) return;
  file.sourcePath = !file.source.empty() && file.source[0] == '/'
                        ? file.source
                        : JoinPath(DirName(path_), file.source);
  manifest_->files.push_back(file);
}

void Parser::Finish() {
  manifest_->path = path_;
  if (packageKeys_.count("programfile") == 0) {
    ErrorNoLine("[package] has no programFile");
  }
  if (packageKeys_.count("title") == 0) ErrorNoLine("[package] has no title");
  if (!sawFiles_) {
    ErrorNoLine("there is no [files] section");
  } else if (targets_.empty()) {
    ErrorNoLine("[files] names no file (a package needs at least one)");
  }
}

}  // namespace

bool ParseManifest(const std::string& text, const std::string& path,
                   const Variables& variables, Manifest* manifest,
                   std::vector<std::string>* errors) {
  size_t before = errors->size();
  *manifest = Manifest();
  Parser parser(path, variables, manifest, errors);
  parser.Run(text);
  return errors->size() == before;
}

bool LoadManifest(const std::string& path, const Variables& variables,
                  Manifest* manifest, std::vector<std::string>* errors) {
  std::string text;
  std::string error;
  if (!ReadSmallFile(path, kMaxManifestSize, &text, &error)) {
    errors->push_back(error);
    return false;
  }
  return ParseManifest(text, path, variables, manifest, errors);
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
