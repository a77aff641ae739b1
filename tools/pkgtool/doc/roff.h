// Text into roff for pkgtool's manual pages.
#pragma once

#include <string>

namespace pkgtool_doc {

// Running text: backslashes and a leading dot or quote escaped, the hyphens
// of a word that starts with one (an option) made minus signs.
std::string RoffText(const std::string& text);
// A line shown as it is (a command): every hyphen a minus sign.
std::string RoffLiteral(const std::string& text);
// A list item's tag: options bold, their VALUES italic, any other tag bold.
std::string RoffTag(const std::string& tag);

}  // namespace pkgtool_doc
