// Bounded text and path helpers (see text.h).
#include "base/text.h"

#include <cstdarg>
#include <cstring>

#include "platform/platform.h"

void FormatText(char* buffer, size_t size, const char* format, ...) {
  if (size == 0) return;
  va_list args;
  va_start(args, format);
  plat::FormatTextV(buffer, size, format, args);
  va_end(args);
}

bool CopyText(char* buffer, size_t size, const char* text) {
  if (size == 0) return false;
  buffer[0] = '\0';
  return AppendText(buffer, size, text);
}

bool AppendText(char* buffer, size_t size, const char* text) {
  if (size == 0) return false;
  size_t used = strnlen(buffer, size);
  if (used == size) {  // not terminated: terminate at the limit
    buffer[size - 1] = '\0';
    return false;
  }
  while (*text != '\0') {
    if (used + 1 >= size) {
      buffer[used] = '\0';
      return false;
    }
    buffer[used++] = *text++;
  }
  buffer[used] = '\0';
  return true;
}

bool AddTrailingBackslash(char* path) {
  size_t length = strnlen(path, kPathSize);
  if (length == 0 || path[length - 1] == '\\') return true;
  if (length + 1 >= kPathSize) return false;
  path[length] = '\\';
  path[length + 1] = '\0';
  return true;
}

void RemoveTrailingBackslash(char* path) {
  size_t length = strnlen(path, kPathSize);
  if (length > 3 && path[length - 1] == '\\') path[length - 1] = '\0';
}

bool ReplaceExtension(char* path, const char* extension) {
  size_t length = strnlen(path, kPathSize);
  size_t base = length;
  const char* dot = strrchr(path, '.');
  if (dot != nullptr && strchr(dot, '\\') == nullptr) {
    base = static_cast<size_t>(dot - path);
  }
  size_t extensionLength = strlen(extension);
  if (base + extensionLength >= kPathSize) return false;
  memcpy(path + base, extension, extensionLength + 1);
  return true;
}
