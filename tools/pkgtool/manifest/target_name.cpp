// Checking and splitting target names; see target_name.h.
#include "manifest/target_name.h"

#include <cctype>

namespace pkgtool {
namespace {

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool HasDrive(const std::string& name) {
  return name.size() >= 2 && IsDriveLetter(name[0]) && name[1] == ':';
}

// The upper-case letter of c, for the scripts the Windows code pages hold.
char32_t UpperCase(char32_t c) {
  if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
      (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
    return c - 0x20;
  }
  if (c == 0xFF) return 0x178;
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  // Latin Extended-A: pairs of upper and lower case, the upper one even
  // except from U+0139 to U+0148 and from U+0179 to U+017E.
  bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  if (c >= 0x100 && c <= 0x177 && c != 0x130 && c != 0x131 && c != 0x138 &&
      c != 0x149 && (c % 2 == 1) != oddUpper) {
    return c - 1;
  }
  if (oddUpper && c % 2 == 0) return c - 1;
  return c;
}

// True when Windows takes a file of this name for a device: CON, PRN, AUX,
// NUL, COM1 to COM9 or LPT1 to LPT9, in any case, whatever extension
// follows and with spaces before it.
bool IsDeviceName(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  base.erase(base.find_last_not_of(' ') + 1);
  for (char& c : base) c = static_cast<char>(std::toupper(c));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") {
    return true;
  }
  return base.size() == 4 &&
         (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace

std::string CheckTargetLength(size_t storedSize) {
  if (storedSize <= kMaxTargetName) return std::string();
  return "the name is " + std::to_string(storedSize) + " bytes long (at most " +
         std::to_string(kMaxTargetName) + ")";
}

std::u32string NameKey(const std::string& utf8) {
  std::u32string key;
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7Fu >> length);
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k) {
      c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    key.push_back(UpperCase(c));
    i += length;
  }
  return key;
}

std::string CheckTargetName(const std::string& name) {
  if (name.empty()) return "the name is empty";
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
    if (part.back() == '.' || part.back() == ' ') {
      return "the component \"" + part + "\" ends in " +
             (part.back() == '.' ? "a dot" : "a space") +
             ", which Windows drops from a name";
    }
    if (IsDeviceName(part)) {
      return "the component \"" + part +
             "\" is a device name Windows reserves (CON, PRN, AUX, NUL, "
             "COM1-9, LPT1-9, with any extension)";
    }
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
