// uninstal.exe of the bundled sample product. The installer places it in
// the product's directory under a name of its own and puts a copy of the
// package descriptor beside it under the same base name with ".bin". For
// now it only shows what it would remove: it reads that copy, checks its
// record table with the installer's own ValidateRecordTable, and lists the
// record names in a message box.
#include <windows.h>

#include <cstring>

#include "base/result.h"
#include "base/text.h"
#include "package/descriptor.h"

namespace {

constexpr DWORD kMaxDescriptor = 1024 * 1024;
constexpr unsigned kMaxListed = 30;
constexpr size_t kTextSize = 4096;

void Show(const char* text, const char* caption, UINT icon) {
  MessageBoxA(nullptr, text, caption, MB_OK | icon);
}

// Appends "line\n" to text when it fits.
void AddLine(char* text, const char* line) {
  AppendText(text, kTextSize, line);
  AppendText(text, kTextSize, "\n");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[kPathSize];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path - 1);
  path[length < sizeof path ? length : sizeof path - 1] = '\0';
  if (length == 0 || !ReplaceExtension(path, ".bin")) {
    Show("Cannot find my own file name.", "Uninstall", MB_ICONSTOP);
    return 1;
  }
  char text[kTextSize];
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    FormatText(text, sizeof text, "%s is missing: nothing to uninstall.", path);
    Show(text, "Uninstall", MB_ICONSTOP);
    return 1;
  }
  DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE || size <= kHeaderSize ||
      size > kMaxDescriptor) {
    CloseHandle(file);
    FormatText(text, sizeof text, "%s is not a package descriptor.", path);
    Show(text, "Uninstall", MB_ICONSTOP);
    return 1;
  }
  HANDLE heap = GetProcessHeap();
  auto* data = static_cast<uint8_t*>(HeapAlloc(heap, 0, size));
  DWORD read = 0;
  bool ok = data != nullptr && ReadFile(file, data, size, &read, nullptr) &&
            read == size;
  CloseHandle(file);
  const uint8_t* table = data + kHeaderSize;
  unsigned count = ok ? ReadU16(data + kRecordCountOffset) : 0;
  ok = ok &&
       memchr(data + kProgramFileOffset, '\0', kProgramFileSize) != nullptr &&
       memchr(data + kProductTitleOffset, '\0', kProductTitleSize) != nullptr &&
       ValidateRecordTable(table, size - kHeaderSize, count);
  if (!ok) {
    if (data != nullptr) HeapFree(heap, 0, data);
    FormatText(text, sizeof text, "%s is damaged.", path);
    Show(text, "Uninstall", MB_ICONSTOP);
    return 1;
  }

  const char* title = reinterpret_cast<const char*>(data + kProductTitleOffset);
  FormatText(text, sizeof text, "Uninstalling %s would remove:\n\n", title);
  const uint8_t* record = table;
  for (unsigned i = 0; i < count; ++i, record = NextRecord(record)) {
    if (i == kMaxListed) {
      char more[64];
      FormatText(more, sizeof more, "... and %u more", count - kMaxListed);
      AddLine(text, more);
      break;
    }
    AddLine(text, RecordName(record));
  }
  char caption[128];
  FormatText(caption, sizeof caption, "Uninstall %s", title);
  HeapFree(heap, 0, data);
  Show(text, caption, MB_ICONINFORMATION);
  return 0;
}
