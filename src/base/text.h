// Bounded text and path helpers: formatting, copying and appending that
// never write past their buffer, and the few edits the installer makes to
// paths held in kPathSize-byte buffers.
#pragma once

#include <cstddef>

#include "base/result.h"

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

// Path helpers on texts held in kPathSize-byte buffers. The two that grow a
// text return false and leave it unchanged when the result would not fit in
// 259 characters, so a path is never cut into the name of another file.
bool AddTrailingBackslash(char* path);
void RemoveTrailingBackslash(char* path);
bool ReplaceExtension(char* path, const char* extension);
