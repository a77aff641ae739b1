// What setup.exe and uninstal.exe would otherwise take from a C runtime:
// the program entry that Windows calls, and the few C library functions
// that our code and the compiler itself call (the compiler emits memcpy and
// memset for copies and clearings of structures). Both programs link no C
// runtime at all, so that they import only Windows' own system DLLs and
// start on every 32-bit Windows from Windows 95 on.
//
// Nothing here needs initialising: the programs have no global object with
// a constructor (the entry would have to run them).
#include "platform/win32/windows_api.h"
// windows_api.h first: the headers below must see the names without macros.
#include <cstddef>
#include <cstdint>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine,
                   int show);

namespace {

// The command line after the program's name, as a C runtime's start-up
// hands it to WinMain: the name (quoted or not) and the blanks after it
// skipped.
char* ArgumentsOf(char* line) {
  if (*line == '"') {
    ++line;
    while (*line != '\0' && *line != '"') ++line;
    if (*line == '"') ++line;
  } else {
    while (*line > ' ') ++line;
  }
  while (*line != '\0' && *line <= ' ') ++line;
  return line;
}

}  // namespace

// The entry point (the linker's --entry): Windows calls it with nothing;
// it calls WinMain as a C runtime would and ends the process with its
// result. On 32-bit Windows the stack comes 4-byte aligned; the attribute
// realigns it for the compiler's code.
extern "C" void ProgramEntry() __asm__("ProgramEntry");
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void
ProgramEntry() {
  STARTUPINFOA startup;
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0
                       ? startup.wShowWindow
                       : SW_SHOWDEFAULT;
  ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr,
                                        ArgumentsOf(GetCommandLineA()), show)));
}

// ---- the C library functions in use
// ------------------------------------------ Plain byte loops: the programs
// move a few kilobytes at a time at most outside the decoder, which copies
// through its own code. This file is compiled without loop-to-call
// optimisation, so that the loops below do not become calls of themselves.

extern "C" {

void* memcpy(void* to, const void* from, size_t count) {
  unsigned char* d = static_cast<unsigned char*>(to);
  const unsigned char* s = static_cast<const unsigned char*>(from);
  while (count-- > 0) *d++ = *s++;
  return to;
}

void* memmove(void* to, const void* from, size_t count) {
  unsigned char* d = static_cast<unsigned char*>(to);
  const unsigned char* s = static_cast<const unsigned char*>(from);
  if (d <= s || d >= s + count) {
    while (count-- > 0) *d++ = *s++;
  } else {
    while (count-- > 0) d[count] = s[count];
  }
  return to;
}

void* memset(void* to, int value, size_t count) {
  unsigned char* d = static_cast<unsigned char*>(to);
  while (count-- > 0) *d++ = static_cast<unsigned char>(value);
  return to;
}

int memcmp(const void* a, const void* b, size_t count) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (; count > 0; --count, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}

void* memchr(const void* block, int value, size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(block);
  for (; count > 0; --count, ++p) {
    if (*p == static_cast<unsigned char>(value))
      return const_cast<unsigned char*>(p);
  }
  return nullptr;
}

size_t strlen(const char* text) {
  const char* end = text;
  while (*end != '\0') ++end;
  return static_cast<size_t>(end - text);
}

size_t strnlen(const char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  return length;
}

int strcmp(const char* a, const char* b) {
  for (; *a == *b && *a != '\0'; ++a, ++b) {
  }
  return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

int strncmp(const char* a, const char* b, size_t count) {
  for (; count > 0; --count, ++a, ++b) {
    if (*a != *b || *a == '\0') {
      return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
    }
  }
  return 0;
}

char* strchr(const char* text, int c) {
  const char wanted = static_cast<char>(c);
  for (;; ++text) {
    if (*text == wanted) return const_cast<char*>(text);
    if (*text == '\0') return nullptr;
  }
}

char* strrchr(const char* text, int c) {
  const char wanted = static_cast<char>(c);
  const char* found = nullptr;
  for (;; ++text) {
    if (*text == wanted) found = text;
    if (*text == '\0') return const_cast<char*>(found);
  }
}

#if defined(__i386__)
// 64-bit division on 32-bit x86, which the compiler leaves to helpers of
// these names: shift and subtract, one quotient bit a step. Ours rather
// than libgcc's, whose copies carry unwind tables.

namespace {

uint64_t DivideUnsigned(uint64_t dividend, uint64_t divisor,
                        uint64_t* remainder) {
  uint64_t quotient = 0;
  uint64_t rest = 0;
  if (divisor == 0) {
    // As the processor's own division would: a fault.
    __builtin_trap();
  }
  for (int bit = 63; bit >= 0; --bit) {
    // A bit shifted out of rest stands for 2^64, more than any divisor.
    const bool carry = (rest >> 63) != 0;
    rest = (rest << 1) | ((dividend >> bit) & 1);
    if (carry || rest >= divisor) {
      rest -= divisor;
      quotient |= uint64_t{1} << bit;
    }
  }
  *remainder = rest;
  return quotient;
}

uint64_t Magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value)
                   : static_cast<uint64_t>(value);
}

}  // namespace

uint64_t __udivdi3(uint64_t a, uint64_t b) {
  uint64_t rest;
  return DivideUnsigned(a, b, &rest);
}

uint64_t __udivmoddi4(uint64_t a, uint64_t b, uint64_t* remainder) {
  uint64_t rest;
  const uint64_t quotient = DivideUnsigned(a, b, &rest);
  if (remainder != nullptr) *remainder = rest;
  return quotient;
}

uint64_t __umoddi3(uint64_t a, uint64_t b) {
  uint64_t rest;
  DivideUnsigned(a, b, &rest);
  return rest;
}

// Truncating towards zero; the remainder takes the dividend's sign.
int64_t __divdi3(int64_t a, int64_t b) {
  uint64_t rest;
  const uint64_t q = DivideUnsigned(Magnitude(a), Magnitude(b), &rest);
  return static_cast<int64_t>((a < 0) != (b < 0) ? 0 - q : q);
}

int64_t __moddi3(int64_t a, int64_t b) {
  uint64_t rest;
  DivideUnsigned(Magnitude(a), Magnitude(b), &rest);
  return static_cast<int64_t>(a < 0 ? 0 - rest : rest);
}
#endif

}  // extern "C"
