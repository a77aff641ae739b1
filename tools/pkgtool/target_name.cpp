// Checking and splitting target names; see target_name.h.
#include "target_name.h"

#include <cctype>

namespace pkgtool {
namespace {

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool HasDrive(const std::string& name) {
  return name.size() >= 2 && IsDriveLetter(name[0]) && name[1] == ':';
}

}  // namespace

std::string CheckTargetName(const std::string& name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > kMaxTargetName) {
    return "the name is " + std::to_string(name.size()) +
           " characters long (at most " + std::to_string(kMaxTargetName) + ")";
  }
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7F) {
      return "the name contains a control character at position " +
             std::to_string(i + 1);
    }
    if (c == '/') return "the name contains '/' (separate with '\\')";
    if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
      return std::string("the name contains '") + static_cast<char>(c) + "'";
    }
    if (c == ':' && !(i == 1 && IsDriveLetter(name[0]))) {
      return "the name contains ':' other than after a drive letter";
    }
  }
  size_t start = 0;
  if (HasDrive(name)) {
    if (name.size() < 3 || name[2] != '\\') {
      return "a drive letter must be followed by '\\'";
    }
    start = 3;
  } else if (name[0] == '\\') {
    start = 1;
  }
  if (start >= name.size()) return "the name names no file";
  while (start <= name.size()) {
    size_t end = name.find('\\', start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part.empty()) return "the name has an empty component";
    if (part == "..") return "the name has a '..' component";
    if (part == ".") return "the name has a '.' component";
    start = end + 1;
  }
  return std::string();
}

bool ExtractionComponents(const std::string& name,
                          std::vector<std::string>* components,
                          std::string* why) {
  components->clear();
  size_t start = HasDrive(name) ? 2 : 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part == "..") {
      components->clear();
      *why = "the name has a '..' component";
      return false;
    }
    if (!part.empty() && part != ".") components->push_back(part);
    start = end + 1;
  }
  if (components->empty()) {
    *why = "the name names no file";
    return false;
  }
  return true;
}

}  // namespace pkgtool
