// The manifest's lines, one at a time; see parser.h.
#include "manifest/parser.h"

#include <dirent.h>
#include <glob.h>
#include <sys/stat.h>

#include <algorithm>

#include "common/codepage.h"
#include "common/floppy.h"
#include "common/host_files.h"
#include "manifest/target_name.h"
#include "read/media.h"

namespace pkgtool {

void Parser::TakeErrors(std::vector<std::string>* errors,
                        std::vector<int>* lines) {
  std::stable_sort(
      found_.begin(), found_.end(),
      [](const std::pair<int, std::string>& a,
         const std::pair<int, std::string>& b) { return a.first < b.first; });
  for (const auto& error : found_) {
    errors->push_back(error.second);
    if (lines != nullptr) lines->push_back(error.first);
  }
}

void Parser::Run(const std::string& text) {
  // Notepad begins UTF-8 text with a byte order mark.
  static const char kByteOrderMark[] = "\xEF\xBB\xBF";
  size_t start = text.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
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
      manifest_->diskSizeGiven = true;
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
  // Every fault of the line is reported: the target's, the flags' and,
  // once the line is taken, the source's (PrepareFiles).
  std::string target, value;
  const bool targetExpanded = Expand(key, &target);
  if (!Expand(rawValue, &value)) return;
  ParseSource(target, value, &file);
  if (!targetExpanded || file.source.empty()) return;
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

}  // namespace pkgtool
