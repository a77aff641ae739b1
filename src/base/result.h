// Result codes, string ids and the path size that every part of the
// installer shares.
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
// before any dialog runs are returned and shown later by ReportResult
// (ui/messages.h).
#pragma once

#include <cstddef>

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
  // The uninstaller's.
  kStrUninstallQuestion = 310,
  kStrUninstallDone = 311,
  kStrSharedKept = 312,
  kStrFilesKept = 313,
  kStrCannotRemove = 314,
  kStrListDamaged = 315,
  kStrUninstallCaption = 316,
  kStrUnknownSwitch = 317,
  kStrAlreadyRunning = 318,
  kStrAddedFilesKept = 319,
  kStrAddedFilesWhere = 320,
};

constexpr size_t kPathSize = 260;  // every path buffer: 259 characters + NUL

// The path that failures 33, 35 and 36 name: whoever returns one of them to
// be shown later leaves the path here, and ReportResult names it.
extern char SubjectPath[kPathSize];
