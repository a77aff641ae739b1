// The texts that the dialog helpers put into controls, composed without the
// window calls so that their bounds and formats can be checked on their
// own: a control text with the product title in place of its "%s"
// (FormatItemWithTitle) and a number of kilobytes in the format of string
// 303, "%lu Kb" (ShowKb).
#pragma once

#include <cstddef>
#include <cstdint>

// The limit of a control text that FormatItemWithTitle reads and writes:
// 511 characters and the terminator.
constexpr size_t kItemTextSize = 512;
// The limit of ShowKb's text: 39 characters and the terminator.
constexpr size_t kKbTextSize = 40;

// Writes format with productTitle (taken up to its first NUL inside its
// 80-byte field) in place of its first "%s" into out (size bytes, cut at
// the limit, always terminated). Any other character, "%" included, is
// copied as it stands.
void FormatWithTitle(char* out, size_t size, const char* format);

// Writes kb as an unsigned decimal number in place of the "%lu" of string
// 303 into out (size bytes, cut at the limit, always terminated): 0 gives
// "0 Kb", 4294967295 all ten digits.
void FormatKb(char* out, size_t size, uint32_t kb);
