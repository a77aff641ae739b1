// Parsing the package manifest; see manifest.h.
#include "manifest/manifest.h"

#include "common/host_files.h"
#include "manifest/parser.h"

namespace pkgtool {
namespace {

constexpr size_t kMaxManifestSize = 4 * 1024 * 1024;

}  // namespace

bool ParseManifest(const std::string& text, const std::string& path,
                   const Variables& variables, Manifest* manifest,
                   std::vector<std::string>* errors, unsigned codepage,
                   std::vector<int>* lines) {
  size_t before = errors->size();
  *manifest = Manifest();
  Parser parser(path, variables, codepage, manifest);
  parser.Run(text);
  parser.TakeErrors(errors, lines);
  return errors->size() == before;
}

bool LoadManifest(const std::string& path, const Variables& variables,
                  Manifest* manifest, std::vector<std::string>* errors,
                  unsigned codepage, std::vector<int>* lines) {
  std::string text;
  std::string error;
  if (!ReadSmallFile(path, kMaxManifestSize, &text, &error)) {
    errors->push_back(error);
    if (lines != nullptr) lines->push_back(0);
    return false;
  }
  return ParseManifest(text, path, variables, manifest, errors, codepage,
                       lines);
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
