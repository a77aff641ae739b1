// The manifest's parser: one pass over its lines (parser.cpp), the sources
// a files line takes, single files, trees and globs (sources.cpp).
#pragma once

#include <strings.h>
#include <sys/types.h>

#include <cctype>
#include <climits>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "manifest/manifest.h"

namespace pkgtool {

inline std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

inline bool SameText(const std::string& a, const char* b) {
  return strcasecmp(a.c_str(), b) == 0;
}

inline std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(c));
  return text;
}

// The first bytes of UTF-8 text, at most limit, cut between characters.
inline std::string Prefix(const std::string& utf8, size_t limit) {
  if (utf8.size() <= limit) return utf8;
  while (limit > 0 &&
         (static_cast<unsigned char>(utf8[limit]) & 0xC0) == 0x80) {
    --limit;
  }
  return utf8.substr(0, limit);
}

// path with glob(3)'s special characters quoted.
inline std::string QuoteGlob(const std::string& path) {
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
  // The problems found, in the order of their lines, and each one's line
  // (INT_MAX for what stands on none) when lines is given.
  void TakeErrors(std::vector<std::string>* errors, std::vector<int>* lines);

 private:
  enum class Section { kNone, kPackage, kFiles, kUnknown };

  void Error(const std::string& message) { ErrorAt(line_, message); }
  void ErrorAt(int line, const std::string& message) {
    found_.push_back(
        {line, path_ + ":" + std::to_string(line) + ": " + message});
  }
  void Warning(const std::string& message) {
    manifest_->warnings.push_back(path_ + ":" + std::to_string(line_) + ": " +
                                  message);
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
  bool ListTree(const std::string& root, std::vector<FoundFile>* found);
  bool WalkDirectory(const std::string& root, const std::string& relative,
                     Visited* visited, std::vector<FoundFile>* found,
                     std::vector<std::string>* links);
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

}  // namespace pkgtool
