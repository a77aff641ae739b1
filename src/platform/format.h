// Bounded formatting without a C library: the part of vsnprintf that the
// programs use, for the Windows build, which links no C runtime. Portable,
// so that the host's tests compare it with the C library's.
//
// Conversions: %d %i %u %x %X %c %s %%, with the flags '-' and '0', a
// decimal width and the length modifiers l, ll and z. Anything else is
// copied as it stands, without taking an argument. Never writes past size
// bytes, always terminates (when size > 0) and cuts at the limit.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace plat {

void BoundedFormat(char* buffer, size_t size, const char* format, va_list args);

}  // namespace plat
