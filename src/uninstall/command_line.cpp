// The uninstaller's command line (see command_line.h).
#include "uninstall/command_line.h"

#include <cstring>

#include "base/text.h"
#include "install/placement.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Copies the next word of *cursor into word (size bytes), without the
// quotation marks around it, and moves *cursor past it. False at the end
// of the line, for a word that does not fit and for an unclosed quotation.
bool NextWord(const char** cursor, char* word, size_t size) {
  const char* p = *cursor;
  while (IsSpace(*p)) ++p;
  if (*p == '\0') return false;
  const bool quoted = *p == '"';
  if (quoted) ++p;
  size_t length = 0;
  while (*p != '\0' && (quoted ? *p != '"' : !IsSpace(*p))) {
    if (length + 1 >= size) return false;
    word[length++] = *p++;
  }
  word[length] = '\0';
  if (quoted) {
    if (*p != '"') return false;
    ++p;
  }
  *cursor = p;
  return true;
}

bool ReadHandle(const char* word, uint64_t* handle) {
  if (*word == '\0') return false;
  uint64_t value = 0;
  for (; *word != '\0'; ++word) {
    if (*word < '0' || *word > '9' || value > (UINT64_MAX - 9) / 10) {
      return false;
    }
    value = value * 10 + static_cast<uint64_t>(*word - '0');
  }
  *handle = value;
  return true;
}

// /quiet, and the switches of other uninstallers that mean the same.
constexpr const char* kQuietSwitches[] = {"/quiet", "/S", "/SILENT",
                                          "/VERYSILENT"};

bool IsQuietSwitch(const char* word) {
  for (const char* name : kQuietSwitches) {
    if (SameTextIgnoringCase(word, name)) return true;
  }
  return false;
}

// Notes the first word not understood (or, when the words end badly, the
// rest of the line), cut to fit.
void NoteUnknown(const char* word, UninstallArguments* arguments) {
  if (arguments->unknown[0] != '\0') return;
  while (IsSpace(*word)) ++word;
  CopyText(arguments->unknown, sizeof arguments->unknown, word);
}

// Whether a quiet switch stands anywhere on the line.
bool QuietAnywhere(const char* line) {
  char word[kPathSize];
  for (const char* cursor = line; NextWord(&cursor, word, sizeof word);) {
    if (IsQuietSwitch(word)) return true;
  }
  return false;
}

bool ReadArguments(const char* line, UninstallArguments* arguments) {
  char word[kPathSize];
  for (const char* cursor = line;;) {
    const char* before = cursor;
    if (!NextWord(&cursor, word, sizeof word)) {
      // Only the end of the line ends the words well.
      while (IsSpace(*before)) ++before;
      if (*before != '\0') NoteUnknown(before, arguments);
      return *before == '\0';
    }
    if (IsQuietSwitch(word)) {
      arguments->quiet = true;
    } else if (SameTextIgnoringCase(word, "/finish") && !arguments->finish) {
      char handle[24];
      if (!NextWord(&cursor, arguments->original, kPathSize) ||
          arguments->original[0] == '\0' ||
          !NextWord(&cursor, handle, sizeof handle) ||
          !ReadHandle(handle, &arguments->handle)) {
        NoteUnknown("/finish", arguments);
        return false;
      }
      arguments->finish = true;
    } else {
      NoteUnknown(word, arguments);
      return false;
    }
  }
}

}  // namespace

bool ParseUninstallArguments(const char* line, UninstallArguments* arguments) {
  *arguments = UninstallArguments();
  if (ReadArguments(line, arguments)) return true;
  char unknown[sizeof arguments->unknown];
  CopyText(unknown, sizeof unknown, arguments->unknown);
  *arguments = UninstallArguments();
  CopyText(arguments->unknown, sizeof arguments->unknown, unknown);
  arguments->quiet = QuietAnywhere(line);
  return false;
}

void ComposeUninstallLockName(const char* programPath, char* name,
                              size_t size) {
  // FNV-1a over the path in upper case: a fixed length whatever the path.
  uint32_t hash = 2166136261u;
  for (const char* p = programPath; *p != '\0'; ++p) {
    char c = *p;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == '/') c = '\\';
    hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  }
  FormatText(name, size, "SetupUninstall-%08lx",
             static_cast<unsigned long>(hash));
}

bool ComposeFinishCommandLine(const char* copy, const char* original,
                              uint64_t handle, bool quiet, char* line,
                              size_t size) {
  if (strchr(copy, '"') != nullptr || strchr(original, '"') != nullptr) {
    return false;
  }
  char number[24];
  FormatText(number, sizeof number, "%llu",
             static_cast<unsigned long long>(handle));
  return CopyText(line, size, "\"") && AppendText(line, size, copy) &&
         AppendText(line, size, "\" /finish \"") &&
         AppendText(line, size, original) && AppendText(line, size, "\" ") &&
         AppendText(line, size, number) &&
         AppendText(line, size, quiet ? " /quiet" : "");
}
