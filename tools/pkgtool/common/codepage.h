// Names and titles in the installer's code page. setup.exe is an ANSI
// program: the descriptor's names, title and programFile are bytes of a
// Windows code page (1252 unless the packager chose another), while
// manifests, terminals and Linux file names speak UTF-8. The conversions
// go through the C library's iconv.
#pragma once

#include <string>

namespace pkgtool {

constexpr unsigned kDefaultCodePage = 1252;

// Whether iconv converts between UTF-8 and Windows code page codepage
// ("CP1252" and its kin).
bool CodePageSupported(unsigned codepage);

// Parses a code page option's value ("1252", "cp1252"): false when it is
// no number or iconv does not know it.
bool ParseCodePage(const std::string& text, unsigned* codepage);

// UTF-8 text as the code page's bytes. False, with *why naming the first
// character the code page cannot hold (or the first byte that is no UTF-8),
// when it cannot be stored.
bool EncodeText(const std::string& utf8, unsigned codepage, std::string* bytes,
                std::string* why);

// The code page's bytes as UTF-8. A byte (or sequence) the code page leaves
// undefined becomes the character of the same number, as Windows reads
// code page 1252's gaps, so that different names stay different.
std::string DecodeText(const std::string& bytes, unsigned codepage);

}  // namespace pkgtool
