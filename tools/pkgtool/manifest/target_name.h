// Target names: where a file of the package goes on the user's disk.
//
// A name is relative to the destination directory (DATA\LEVEL1.DAT), rooted
// at the destination's drive (\WINDOWS\QUEST.INI) or carries a drive letter
// that the installer replaces with the destination's (C:\SYS\X.DLL).
// Components are separated by backslashes.
#pragma once

#include <string>
#include <vector>

namespace pkgtool {

constexpr size_t kMaxTargetName = 259;

// Checks a name that a manifest gives, as written (UTF-8): not empty, no
// character Windows refuses in a file name (control characters, / < > " |
// ? *), a colon only as "X:\" at the start, no empty, "." or ".."
// component, no component ending in a dot or a space and none that
// Windows takes for a device (CON, NUL, LPT1.DOC, ...). Returns "" when the
// name is sound, otherwise what is wrong. Its length is checked on the bytes
// the descriptor stores: see CheckTargetLength.
std::string CheckTargetName(const std::string& name);

// "" when a name of storedSize bytes (in the installer's code page) fits in
// the installer's paths, otherwise what is wrong.
std::string CheckTargetLength(size_t storedSize);

// The key under which Windows takes two names for the same file: the name
// (UTF-8) with its letters upper-cased (ASCII, Latin-1, Latin Extended-A,
// Greek and Cyrillic, what the Windows code pages hold).
std::u32string NameKey(const std::string& utf8);

// Splits a name read from a descriptor (which may come from anywhere) into
// the components of its place below an extraction directory: a leading
// drive ("X:") and leading separators are dropped, backslashes and slashes
// both separate, empty and "." components are skipped. A ".." component
// (compared component by component, so "a..b" is an ordinary name) or a
// name that leaves no component is refused: false, with *why saying so.
bool ExtractionComponents(const std::string& name,
                          std::vector<std::string>* components,
                          std::string* why);

}  // namespace pkgtool
