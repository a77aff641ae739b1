// Results, messages and the small helpers every part of the installer shares.
//
// Every operation that can fail returns a ResultCode: 0 success, 2 cancel
// (also a dialog that cannot be created, a quit request, the close command),
// 3 abort, 4 retry, 5 ignore (the message-box buttons, so an answer can be
// returned unchanged), and 32 to 43, each the id of the string that
// describes the failure:
//
//   32 "Window problem..."            38 "Invalid directory!"
//   33 "%s is missing!"               39 "%s in use! ..."
//   34 "%s: Setup cannot replace ..." 40 "Disk full!"
//   35 "%s: read error!"              41 "Cannot create %s!"
//   36 "%s: write error!"             42 "There is not enough disk space ..."
//   37 "Not enough memory!"           43 "Error!"
//
// Callers pass a non-zero result upward unchanged. A failure is shown where
// it happens, in a box whose text is the string of the same id; failures met
// before any dialog runs are returned and shown later by ReportResult.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

using ResultCode = int;

enum : ResultCode {
  kResultOk = 0,
  kResultCancel = 2,
  kResultAbort = 3,
  kResultRetry = 4,
  kResultIgnore = 5,
  kResultWindowProblem = 32,
  kResultMissing = 33,
  kResultWriteProtected = 34,
  kResultReadError = 35,
  kResultWriteError = 36,
  kResultNoMemory = 37,
  kResultInvalidDirectory = 38,
  kResultInUse = 39,
  kResultDiskFull = 40,
  kResultCannotCreate = 41,
  kResultLowSpace = 42,
  kResultError = 43,
};

// Ids of the other strings of the string table.
enum : unsigned {
  kStrCreateDirectory = 200,
  kStrKb = 303,
  kStrInsertDisk = 304,
  kStrFinishGame = 305,
  kStrFinishControlPanel = 306,
  kStrGroup = 307,
  kStrUninstallItem = 308,
  kStrCaption = 309,
};

constexpr size_t kPathSize = 260;  // every path buffer: 259 characters + NUL

// The path that ReportResult names in messages 33, 35 and 36.
extern char SubjectPath[kPathSize];

// The caption "Setup" (string 309), loaded at start-up; SetupBox and the disk
// prompt use it.
extern char Caption[64];

// Fills Caption from string 309.
void LoadCaption();

// Bounded formatting: like snprintf, never writes past size bytes, always
// terminates (when size > 0), cuts at the limit.
void FormatText(char* buffer, size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Bounded copy and append of NUL-terminated texts into a buffer of size
// bytes. Both return false (and leave the buffer terminated, cut at the
// limit) when the whole text did not fit.
bool CopyText(char* buffer, size_t size, const char* text);
bool AppendText(char* buffer, size_t size, const char* text);

// Message boxes. SetupBox and PlainWarningBox show the string unchanged;
// FormattedBox formats it with one text argument and captions it with the
// package's programFile. A box the platform cannot show yields 0; every
// caller reads an answer it does not expect as cancel.
int SetupBox(plat::Window owner, unsigned stringId, unsigned type);
int PlainWarningBox(plat::Window owner, unsigned stringId);
int FormattedBox(plat::Window owner, unsigned stringId, const char* argument,
                 unsigned type);
int NoticeBox(plat::Window owner, unsigned stringId, const char* argument);
int RetryCancelBox(plat::Window owner, unsigned stringId, const char* argument);
int YesNoBox(plat::Window owner, unsigned stringId, const char* argument);
int AbortRetryIgnoreBox(plat::Window owner, unsigned stringId,
                        const char* argument);

// Shows a failure after the fact: 33, 35 and 36 with NoticeBox naming
// SubjectPath, every other code with PlainWarningBox.
void ReportResult(plat::Window owner, ResultCode code);

// Path helpers on texts held in kPathSize-byte buffers. The two that grow a
// text return false and leave it unchanged when the result would not fit in
// 259 characters, so a path is never cut into the name of another file.
bool AddTrailingBackslash(char* path);
void RemoveTrailingBackslash(char* path);
bool ReplaceExtension(char* path, const char* extension);

// Movable, zero-filled, locked global memory. AllocLocked stores the handle
// in *handle and returns the locked block, or returns null with *handle
// cleared. FreeLocked releases and clears; on a cleared handle it does
// nothing.
void* AllocLocked(size_t size, plat::MemHandle* handle);
void FreeLocked(plat::MemHandle* handle);
