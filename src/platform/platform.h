// The platform layer: the few Windows calls the installer's logic needs,
// at the level it needs them, behind plain functions without any Windows
// header. Two implementations exist: win32/ calls Windows and nothing else;
// host/ runs on Linux so the logic can be exercised natively (DOS paths
// mapped to host directories, scripted message-box answers, injected
// faults). The names follow the Windows calls they stand for.
//
// Paths and texts are NUL-terminated byte strings in the ANSI code page.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace plat {

// ---- opaque handles -------------------------------------------------------

using Window = void*;     // HWND
using MemHandle = void*;  // HGLOBAL
using HFile = int;        // HFILE; kFileError when an open or create fails

constexpr HFile kFileError = -1;
constexpr long kIoError = -1;  // what lread/lwrite/llseek return on failure

// _lopen modes
constexpr int kOpenRead = 0;   // OF_READ
constexpr int kOpenWrite = 1;  // OF_WRITE

// _llseek origins
constexpr int kSeekSet = 0;
constexpr int kSeekCur = 1;
constexpr int kSeekEnd = 2;

// ---- files (_lopen, _lcreat, _llseek, _lread/_hread, _lwrite, _lclose) ----

HFile lopen(const char* path, int mode);
// Creates or truncates; attribute 0 is a normal file, 1 read-only.
HFile lcreat(const char* path, int attribute);
// _llseek's offset and position are 32-bit signed (LONG): a position that
// does not fit, or lies before the start, fails. Returns the new position,
// or kIoError.
int32_t llseek(HFile file, int32_t offset, int origin);
// Returns the count read (0 at the end of the file), or kIoError.
long lread(HFile file, void* buffer, long count);
// Returns the count written (fewer than asked when the disk is full), or
// kIoError.
long lwrite(HFile file, const void* buffer, long count);
HFile lclose(HFile file);
// DeleteFileA.
bool DeleteFile(const char* path);
// MoveFileExA with MOVEFILE_REPLACE_EXISTING: renames from to to, replacing
// a file of that name; false when either cannot be done (to is read-only).
bool MoveFileEx(const char* from, const char* to);
// RemoveDirectoryA: false when the directory is not empty, is missing or
// cannot be removed.
bool RemoveDirectory(const char* path);

// GetFileAttributesA: the attribute bits of a file or directory, or
// kInvalidFileAttributes when nothing of that name can be found.
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr uint32_t kFileAttributeReadOnly = 0x01;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeNormal = 0x80;
uint32_t GetFileAttributes(const char* path);

// FindFirstFileA, FindNextFileA and FindClose over the entries of one
// directory: pattern is the directory's path followed by "\*". Each call
// puts the name of one entry into name (size bytes, cut to fit); "." and
// ".." come as the platform gives them. FindFirstFile returns none
// (nullptr) when the directory cannot be read or holds nothing; a handle
// it returns goes to FindClose.
using FindHandle = void*;
FindHandle FindFirstFile(const char* pattern, char* name, size_t size);
bool FindNextFile(FindHandle find, char* name, size_t size);
void FindClose(FindHandle find);

// lstrcmpiA: compares two texts ignoring letter case as the ANSI code page
// knows it (accented letters included); <0, 0 or >0.
int lstrcmpi(const char* a, const char* b);

// ---- process, directories, volumes ----------------------------------------

// Full path of the running executable; returns its length, 0 on failure.
// Writes at most size bytes including the terminator.
unsigned GetModuleFileName(char* buffer, unsigned size);
bool CreateDirectory(const char* path);
bool SetCurrentDirectory(const char* path);
// Returns the length of the path (without terminator), 0 on failure.
unsigned GetWindowsDirectory(char* buffer, unsigned size);
// The same for the system directory.
unsigned GetSystemDirectory(char* buffer, unsigned size);
// Waits that many milliseconds (the host returns at once).
void Sleep(unsigned milliseconds);
bool GetDiskFreeSpace(const char* root, uint32_t* sectorsPerCluster,
                      uint32_t* bytesPerSector, uint32_t* freeClusters,
                      uint32_t* totalClusters);

// ---- global memory ---------------------------------------------------------

constexpr unsigned kGmemMoveable = 0x0002;
constexpr unsigned kGmemZeroInit = 0x0040;

MemHandle GlobalAlloc(unsigned flags, size_t size);
void* GlobalLock(MemHandle memory);
bool GlobalUnlock(MemHandle memory);
MemHandle GlobalFree(MemHandle memory);

// ---- strings and message boxes ----------------------------------------------

// Copies string resource id into buffer (at most size - 1 characters and a
// terminator); returns the length, 0 when there is no such string.
int LoadString(unsigned id, char* buffer, int size);

// Message box types and answers, as the platform's MessageBoxA knows them.
constexpr unsigned kMbOk = 0x00;
constexpr unsigned kMbOkCancel = 0x01;
constexpr unsigned kMbAbortRetryIgnore = 0x02;
constexpr unsigned kMbYesNo = 0x04;
constexpr unsigned kMbRetryCancel = 0x05;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconExclamation = 0x30;
constexpr unsigned kMbIconInformation = 0x40;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// caption may be null: the platform's default title.
int MessageBox(Window owner, const char* text, const char* caption,
               unsigned type);

// Bounded formatting, vsnprintf's contract: never writes past size bytes,
// always terminates (when size > 0), cuts at the limit; a text that cannot
// be formatted becomes empty. The host uses the C library's; Windows, which
// links no C runtime, the conversions of platform/format.h.
void FormatTextV(char* buffer, size_t size, const char* format, va_list args)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 0)))
#endif
    ;

// ---- settings file (private-profile functions) ----------------------------

// file is a bare name ("tarny.ini"): it lies in the Windows directory.
unsigned GetPrivateProfileInt(const char* section, const char* key,
                              int defaultValue, const char* file);
bool WritePrivateProfileString(const char* section, const char* key,
                               const char* value, const char* file);

// ---- version library
// ---------------------------------------------------------

constexpr unsigned kVfffIsSharedFile = 0x0001;
constexpr unsigned kVffCurNeDest = 0x0001;
constexpr unsigned kVffFileInUse = 0x0002;
constexpr unsigned kVffBufTooSmall = 0x0004;

unsigned VerFindFile(unsigned flags, const char* fileName,
                     const char* windowsDirectory, const char* appDirectory,
                     char* currentDirectory, unsigned* currentLength,
                     char* destinationDirectory, unsigned* destinationLength);
// Size of the version information of a file, 0 when it has none.
uint32_t GetFileVersionInfoSize(const char* path);
bool GetFileVersionInfo(const char* path, uint32_t size, void* data);
// VerQueryValueA with the sub-block "\": the fixed file version words.
bool QueryFileVersion(const void* data, uint32_t* versionMs,
                      uint32_t* versionLs);

}  // namespace plat
