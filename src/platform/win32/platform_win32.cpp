// The platform layer on Windows: each function is the Windows call it is
// named after, with the argument and result types of platform.h. Nothing
// here decides anything; where a Windows call reports failure in its own
// way (HFILE_ERROR, a length larger than the buffer), it is translated into
// the form platform.h promises.
#include "platform/win32/windows_api.h"
// windows_api.h first: platform.h must see the names without macros.
#include "platform/dialogs.h"
#include "platform/format.h"
#include "platform/platform.h"

// ModalResult (dialogs.h): the dialog loops of the window code
// (ui/win32/dialog_framework.cpp) clear it and run until it is set.
int ModalResult = 0;

namespace plat {

namespace {

HINSTANCE OwnModule() { return GetModuleHandleA(nullptr); }

}  // namespace

// ---- files ------------------------------------------------------------------

HFile lopen(const char* path, int mode) {
  const HFILE file = _lopen(path, mode);
  return file == HFILE_ERROR ? kFileError : file;
}

HFile lcreat(const char* path, int attribute) {
  const HFILE file = _lcreat(path, attribute);
  return file == HFILE_ERROR ? kFileError : file;
}

int32_t llseek(HFile file, int32_t offset, int origin) {
  const LONG position = _llseek(file, offset, origin);
  return position == HFILE_ERROR ? static_cast<int32_t>(kIoError)
                                 : static_cast<int32_t>(position);
}

int lstrcmpi(const char* a, const char* b) { return lstrcmpiA(a, b); }

bool DeleteFile(const char* path) { return DeleteFileA(path) != FALSE; }

bool MoveFileEx(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE) return true;
  // Windows 95 has no MoveFileExA: remove the file, then rename.
  if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  return DeleteFileA(to) != FALSE && MoveFileA(from, to) != FALSE;
}

bool RemoveDirectory(const char* path) {
  return RemoveDirectoryA(path) != FALSE;
}

namespace {

void CopyFoundName(const WIN32_FIND_DATAA& found, char* name, size_t size) {
  size_t length = 0;
  while (found.cFileName[length] != '\0' && length + 1 < size) {
    name[length] = found.cFileName[length];
    ++length;
  }
  if (size > 0) name[length] = '\0';
}

}  // namespace

FindHandle FindFirstFile(const char* pattern, char* name, size_t size) {
  WIN32_FIND_DATAA found;
  const HANDLE find = FindFirstFileA(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) return nullptr;
  CopyFoundName(found, name, size);
  return find;
}

bool FindNextFile(FindHandle find, char* name, size_t size) {
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(static_cast<HANDLE>(find), &found)) return false;
  CopyFoundName(found, name, size);
  return true;
}

void FindClose(FindHandle find) { ::FindClose(static_cast<HANDLE>(find)); }

uint32_t GetFileAttributes(const char* path) {
  return GetFileAttributesA(path);
}

long lread(HFile file, void* buffer, long count) {
  if (count < 0) return kIoError;
  const long read = _hread(file, buffer, count);
  return read == HFILE_ERROR ? kIoError : read;
}

long lwrite(HFile file, const void* buffer, long count) {
  if (count < 0) return kIoError;
  // _hwrite of zero bytes would truncate the file at the current position;
  // the platform layer's write of nothing writes nothing.
  if (count == 0) return 0;
  const long written = _hwrite(file, static_cast<const char*>(buffer), count);
  return written == HFILE_ERROR ? kIoError : written;
}

HFile lclose(HFile file) { return _lclose(file); }

// ---- process, directories, volumes ----------------------------------------

unsigned GetModuleFileName(char* buffer, unsigned size) {
  if (size == 0) return 0;
  const DWORD length = GetModuleFileNameA(nullptr, buffer, size);
  if (length == 0) {
    buffer[0] = '\0';
    return 0;
  }
  if (length >= size) {
    // Cut to the buffer: older Windows versions leave it unterminated.
    buffer[size - 1] = '\0';
    return size - 1;
  }
  return length;
}

bool CreateDirectory(const char* path) {
  return CreateDirectoryA(path, nullptr) != FALSE;
}

bool SetCurrentDirectory(const char* path) {
  return SetCurrentDirectoryA(path) != FALSE;
}

unsigned GetWindowsDirectory(char* buffer, unsigned size) {
  if (size == 0) return 0;
  const UINT length = GetWindowsDirectoryA(buffer, size);
  if (length == 0 || length >= size) {
    // A result of size or more is the length the path would need.
    buffer[0] = '\0';
    return 0;
  }
  return length;
}

unsigned GetSystemDirectory(char* buffer, unsigned size) {
  if (size == 0) return 0;
  const UINT length = GetSystemDirectoryA(buffer, size);
  if (length == 0 || length >= size) {
    buffer[0] = '\0';
    return 0;
  }
  return length;
}

void Sleep(unsigned milliseconds) { ::Sleep(milliseconds); }

bool GetDiskFreeSpace(const char* root, uint32_t* sectorsPerCluster,
                      uint32_t* bytesPerSector, uint32_t* freeClusters,
                      uint32_t* totalClusters) {
  DWORD sectors = 0, bytes = 0, freeCount = 0, total = 0;
  if (!GetDiskFreeSpaceA(root, &sectors, &bytes, &freeCount, &total)) {
    return false;
  }
  *sectorsPerCluster = sectors;
  *bytesPerSector = bytes;
  *freeClusters = freeCount;
  *totalClusters = total;
  return true;
}

// ---- global memory ---------------------------------------------------------

MemHandle GlobalAlloc(unsigned flags, size_t size) {
  return ::GlobalAlloc(flags, size);
}

void* GlobalLock(MemHandle memory) { return ::GlobalLock(memory); }

bool GlobalUnlock(MemHandle memory) { return ::GlobalUnlock(memory) != 0; }

MemHandle GlobalFree(MemHandle memory) { return ::GlobalFree(memory); }

// ---- strings and message boxes ----------------------------------------------

int LoadString(unsigned id, char* buffer, int size) {
  if (size <= 0) return 0;
  const int length = LoadStringA(OwnModule(), id, buffer, size);
  if (length <= 0) {
    buffer[0] = '\0';
    return 0;
  }
  return length;
}

void FormatTextV(char* buffer, size_t size, const char* format, va_list args) {
  BoundedFormat(buffer, size, format, args);
}

int MessageBox(Window owner, const char* text, const char* caption,
               unsigned type) {
  // A null caption gives the platform's default title; a box that cannot
  // be shown answers 0.
  return MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}

// ---- settings file ---------------------------------------------------------

unsigned GetPrivateProfileInt(const char* section, const char* key,
                              int defaultValue, const char* file) {
  return GetPrivateProfileIntA(section, key, defaultValue, file);
}

bool WritePrivateProfileString(const char* section, const char* key,
                               const char* value, const char* file) {
  return WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

// ---- version library
// ---------------------------------------------------------

unsigned VerFindFile(unsigned flags, const char* fileName,
                     const char* windowsDirectory, const char* appDirectory,
                     char* currentDirectory, unsigned* currentLength,
                     char* destinationDirectory, unsigned* destinationLength) {
  UINT current = *currentLength;
  UINT destination = *destinationLength;
  // The tool chain's VerFindFileA takes its input names as non-const.
  const DWORD result = VerFindFileA(
      flags, const_cast<char*>(fileName), const_cast<char*>(windowsDirectory),
      const_cast<char*>(appDirectory), currentDirectory, &current,
      destinationDirectory, &destination);
  *currentLength = current;
  *destinationLength = destination;
  return result;
}

uint32_t GetFileVersionInfoSize(const char* path) {
  DWORD unused = 0;
  return GetFileVersionInfoSizeA(path, &unused);
}

bool GetFileVersionInfo(const char* path, uint32_t size, void* data) {
  return GetFileVersionInfoA(path, 0, size, data) != FALSE;
}

bool QueryFileVersion(const void* data, uint32_t* versionMs,
                      uint32_t* versionLs) {
  void* block = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data, "\\", &block, &length) || block == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(block);
  *versionMs = info->dwFileVersionMS;
  *versionLs = info->dwFileVersionLS;
  return true;
}

}  // namespace plat
