// Controls of the Linux platform: what a test (or pkgtool) sets up around
// the installer's logic before it runs, and what it reads back afterwards.
//
// DOS paths are mapped the way Wine maps them: each drive letter to a host
// directory, backslashes as separators, and existing components found
// without regard to case ("C:\GAMES\Quest.EXE" finds c/games/quest.exe).
// Relative paths and paths without a drive are taken against the current
// DOS directory, which SetCurrentDirectory moves.
//
// Message boxes go to a responder. The default one answers from a queue the
// test fills and records every box; a box with an empty queue is a test
// failure (the failure handler is called, then the box answers 0).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace host {

// Forgets every setting below: no drives, no boxes, no faults, default
// Windows directory "C:\WINDOWS", system directory "C:\WINDOWS\SYSTEM",
// module path "C:\SETUP\SETUP.EXE", current directory "C:\", free space
// unknown (GetDiskFreeSpace reports the host's real figures).
void Reset();

// ---- paths
// -------------------------------------------------------------------

// Maps a drive letter (either case) to a host directory.
void MapDrive(char letter, const std::string& hostDirectory);
// The host path a DOS path stands for, with existing components matched
// without regard to case and the rest kept as written. Empty when the drive
// is not mapped. A ".." component never climbs above the drive's root.
std::string HostPath(const std::string& dosPath);

// Turns each component of a DOS path on one of drives (letters, upper
// case; "" for every drive) into the host's name for it (the installer's
// code page into UTF-8, say) before HostPath looks for it; none by
// default, and Reset removes it.
using NameDecoder = std::function<std::string(const std::string&)>;
void SetNameDecoder(NameDecoder decoder, const std::string& drives = "");

void SetModulePath(const std::string& dosPath);  // GetModuleFileName
void SetWindowsDirectory(const std::string& dosPath);
void SetSystemDirectory(const std::string& dosPath);
std::string CurrentDirectory();  // DOS form

// GetDiskFreeSpace answers these figures for every root while set.
void SetFreeSpace(uint32_t sectorsPerCluster, uint32_t bytesPerSector,
                  uint32_t freeClusters, uint32_t totalClusters);
void FailFreeSpace();  // GetDiskFreeSpace fails

// ---- message boxes
// -----------------------------------------------------------

struct Box {
  plat::Window owner;
  std::string caption;  // "(default)" when the caller gave none
  bool defaultCaption;
  std::string text;
  unsigned type;
  int answer;
};

using Responder = std::function<int(const Box&)>;

// Queues the answer to the next box (plat::kIdOk, kIdRetry, ...).
void QueueAnswer(int answer);
// Every box shown since Reset, in order, with the answer it got.
const std::vector<Box>& Boxes();
// Replaces the queue with a responder of the caller's (pkgtool's terminal
// prompts); an empty function restores the queue.
void SetResponder(Responder responder);
// Called when a box finds no queued answer; by default it prints the box and
// aborts. Tests install one that reports a test failure.
void SetUnansweredHandler(std::function<void(const Box&)> handler);

// ---- injected faults
// ---------------------------------------------------------

enum class Fault {
  kAlloc,       // GlobalAlloc returns none
  kLock,        // GlobalLock returns none
  kOpen,        // lopen / lcreat fail
  kRead,        // lread fails (kIoError)
  kShortRead,   // lread delivers half of what it would (at least 1 less)
  kWrite,       // lwrite fails (kIoError)
  kShortWrite,  // lwrite writes half of what it is given (at least 1 less)
  kCreateDirectory,
  kMoveFile,  // MoveFileEx fails
  kSeek,      // llseek fails (kIoError), the position stays
  kClose,     // lclose fails (kFileError); the handle is gone all the same
  kDelete,    // DeleteFile fails
  kRemoveDirectory,
  kAttributes,        // GetFileAttributes finds nothing
  kCurrentDirectory,  // SetCurrentDirectory fails (the existence test)
  kVersion,  // VerFindFile finds no installed copy; GetFileVersionInfoSize,
             // GetFileVersionInfo and QueryFileVersion fail
  kProfileWrite,  // WritePrivateProfileString fails, the file untouched
  kDde,           // DdeInitializeClient fails; SendProgmanCommand and
                  // RequestProgmanGroup are refused
};
constexpr int kFaultKindCount = static_cast<int>(Fault::kDde) + 1;

// The errno of the last failed call of the platform layer since the last
// TakeLastError, then 0 again; 0 when none failed. An injected fault fails
// as EIO, a read-only file as EACCES; "not there" (ENOENT) is an answer and
// not recorded. pkgtool adds its text to the installer's boxes.
int TakeLastError();
// Records error as the cause of a failure, as a failed platform call does:
// for a write hook that writes past the platform (pkgtool's standard
// output).
void NoteError(int error);

// The nth call (1 = the next) of that kind from now on fails; times > 1
// makes that many consecutive calls fail.
void InjectFault(Fault kind, int nth = 1, int times = 1);
void ClearFaults();
// Calls made of a kind since Reset (counts what would have been affected).
int CallCount(Fault kind);

// ---- shared files
// ------------------------------------------------------------

// VerFindFile reports an installed copy at this DOS path as in use.
void SetFileInUse(const std::string& dosPath, bool inUse = true);

// ---- the installation run's progress dialog ---------------------------------

struct ProgressEvent {
  enum Kind { kCreate, kName, kPercent, kPump, kDestroy } kind;
  std::string name;
  int value;
};
// Every call of the progress interface since Reset.
const std::vector<ProgressEvent>& ProgressEvents();
// The progress dialog cannot be created.
void FailTransferDialog();
// Before the pump numbered n (1 = the first of the run) the user presses
// Cancel and answers the confirmation: confirm true halts (ModalResult 2),
// false goes on.
void CancelAtPump(int n, bool confirm);
// Called with every progress event as it is recorded (pkgtool draws its
// terminal bar from them); an empty function removes it.
void SetProgressObserver(std::function<void(const ProgressEvent&)> observer);

}  // namespace host
