// Internals shared by the files of the Linux platform: each part keeps its
// own state and host::Reset() calls the reset of every part.
#pragma once

#include <string>

#include "platform/host/host_control.h"

namespace host {

// host_progress.cpp: the scripted progress dialog.
void ResetProgress();
// host_version.cpp: VerFindFile, version information, files in use.
void ResetVersion();

// host_paths.cpp: the drive map and the current DOS directory.
void ResetPaths();
void SetCurrentDosDirectory(const std::string& dosPath);
// The absolute, normalised DOS form of a path (drive letter upper case, one
// backslash between components, "." and ".." resolved); false for paths
// that lead to no drive (UNC).
bool AbsoluteDosPath(const std::string& dosPath, std::string* absolute);

// platform_host.cpp: the configured directories, DOS form.
const std::string& WindowsDirectory();
const std::string& SystemDirectory();
// Whether a DOS path names an existing regular file / directory.
bool FileExists(const std::string& dosPath);
bool DirectoryExists(const std::string& dosPath);
// Counts a call of a fault kind without a short variant and says whether
// it is to fail (recording an I/O error when it is).
bool InjectedFailure(Fault kind);
// Keeps error as the cause of the last failed call (host::TakeLastError);
// "not there" (ENOENT, ENOTDIR), a directory that is there already
// (EEXIST) or still holds files (ENOTEMPTY) are answers and are not kept.
void RecordError(int error);

}  // namespace host
