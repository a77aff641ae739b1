// Escaping for roff; see roff.h.
#include "doc/roff.h"

#include <cctype>
#include <vector>

namespace pkgtool_doc {
namespace {

// One word's characters, hyphens as minus signs when minus is true.
std::string Escape(const std::string& word, bool minus) {
  std::string out;
  for (char c : word) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-' && minus) {
      out += "\\-";
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

// An option word: "-o", "--output", "[--json]", "'--help'".
bool IsOption(const std::string& word) {
  const size_t first = word.find_first_not_of("[('\"|");
  return first != std::string::npos && word[first] == '-' &&
         word.size() > first + 1 && word[first + 1] != ' ';
}

// A placeholder: OUTDIR, NAME=VALUE, SETUP.EXE, N.
bool IsPlaceholder(const std::string& word) {
  bool letter = false;
  for (char c : word) {
    if (std::islower(static_cast<unsigned char>(c))) return false;
    if (std::isupper(static_cast<unsigned char>(c))) letter = true;
  }
  return letter;
}

std::string GuardLine(const std::string& line) {
  if (!line.empty() && (line[0] == '.' || line[0] == '\'')) return "\\&" + line;
  return line;
}

}  // namespace

std::string RoffText(const std::string& text) {
  std::string out;
  const std::vector<std::string> words = Words(text);
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out += ' ';
    out += Escape(words[i], IsOption(words[i]));
  }
  return GuardLine(out);
}

std::string RoffLiteral(const std::string& text) {
  return GuardLine(Escape(text, true));
}

std::string RoffTag(const std::string& tag) {
  if (!IsOption(tag)) return GuardLine("\\fB" + Escape(tag, false) + "\\fR");
  std::string out;
  for (std::string word : Words(tag)) {
    std::string comma;
    if (!word.empty() && word.back() == ',') {
      word.pop_back();
      comma = ",";
    }
    if (!out.empty()) out += ' ';
    if (IsOption(word)) {
      out += "\\fB" + Escape(word, true) + "\\fR";
    } else if (IsPlaceholder(word)) {
      out += "\\fI" + Escape(word, false) + "\\fR";
    } else {
      out += Escape(word, false);
    }
    out += comma;
  }
  return out;
}

}  // namespace pkgtool_doc
