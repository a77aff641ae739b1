// <windows.h> for the installer's own window code, without the macros that
// would rename the platform layer's functions.
//
// Windows maps names such as MessageBox or LoadString to their ANSI or wide
// forms with macros. The platform layer (platform/platform.h) uses those
// names for its own functions in namespace plat, so a file that includes
// <windows.h> directly would quietly turn a call of plat::MessageBox into
// plat::MessageBoxA, which does not exist. Window code includes this header
// instead and calls the Windows functions by their ANSI names
// (MessageBoxA, LoadStringA, ...).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CreateDirectory
#undef DeleteFile
#undef FindFirstFile
#undef FindNextFile
#undef MoveFileEx
#undef GetDiskFreeSpace
#undef GetFileAttributes
#undef GetFileVersionInfo
#undef GetFileVersionInfoSize
#undef GetModuleFileName
#undef GetPrivateProfileInt
#undef GetSystemDirectory
#undef GetWindowsDirectory
#undef lstrcmpi
#undef LoadString
#undef MessageBox
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef VerFindFile
#undef WritePrivateProfileString
