// The private-profile functions on Linux: settings files read and written
// as Windows does it, sections and keys without regard to case, lines
// ended with CR LF; a bare file name lies in the Windows directory.
#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_internal.h"
#include "platform/platform.h"

namespace host {
namespace {

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
    name = WindowsDirectory() + "\\" + name;
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

// A write that failed: its cause recorded, false passed on.
bool FailedWrite() {
  RecordError(errno);
  return false;
}

}  // namespace
}  // namespace host

namespace plat {

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
  if (host::InjectedFailure(host::Fault::kProfileWrite)) return false;
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
  if (!out) return host::FailedWrite();
  for (const std::string& line : lines) out << line << "\r\n";
  out.flush();
  return static_cast<bool>(out) || host::FailedWrite();
}

}  // namespace plat
