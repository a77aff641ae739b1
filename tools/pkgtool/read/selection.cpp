// Choosing files by pattern; see selection.h.
#include "read/selection.h"

#include "manifest/target_name.h"

namespace pkgtool {
namespace {

// A name or a pattern as they are compared: folded as build folds target
// names for clashes (NameKey), '/' taken for '\'.
std::u32string Folded(const std::string& utf8) {
  std::u32string key = NameKey(utf8);
  for (char32_t& c : key) {
    if (c == U'/') c = U'\\';
  }
  return key;
}

// Whether the bracket expression at p[at] (just past '[') takes c; *end is
// set past its ']'. An unclosed '[' is an ordinary character: false, with
// *end at.
bool InSet(const std::u32string& p, size_t at, char32_t c, size_t* end) {
  size_t i = at;
  const bool negated = i < p.size() && (p[i] == U'!' || p[i] == U'^');
  if (negated) ++i;
  bool taken = false;
  for (bool first = true; i < p.size() && (first || p[i] != U']');
       first = false) {
    char32_t low = p[i++];
    char32_t high = low;
    if (i + 1 < p.size() && p[i] == U'-' && p[i + 1] != U']') {
      high = p[i + 1];
      i += 2;
    }
    taken |= low <= c && c <= high;
  }
  if (i >= p.size()) {
    *end = at;
    return false;
  }
  *end = i + 1;
  return taken != negated;
}

// Shell-style matching with '*' crossing every character, '?' and '[...]';
// no escapes (the backslash separates a name's directories).
bool Matches(const std::u32string& p, const std::u32string& name) {
  size_t pi = 0, ni = 0;
  size_t starP = std::u32string::npos, starN = 0;
  while (ni < name.size()) {
    if (pi < p.size() && p[pi] == U'*') {
      starP = ++pi;
      starN = ni;
      continue;
    }
    if (pi < p.size()) {
      size_t end = pi + 1;
      bool match = false;
      if (p[pi] == U'?') {
        match = true;
      } else if (p[pi] == U'[') {
        const bool in = InSet(p, pi + 1, name[ni], &end);
        // An unclosed '[' is an ordinary character.
        match = end == pi + 1 ? name[ni] == U'[' : in;
      } else {
        match = p[pi] == name[ni];
      }
      if (match) {
        pi = end;
        ++ni;
        continue;
      }
    }
    if (starP == std::u32string::npos) return false;
    pi = starP;
    ni = ++starN;
  }
  while (pi < p.size() && p[pi] == U'*') ++pi;
  return pi == p.size();
}

}  // namespace

Selection::Selection(std::vector<std::string> patterns)
    : patterns_(std::move(patterns)), used_(patterns_.size(), false) {
  for (const std::string& pattern : patterns_) {
    folded_.push_back(Folded(pattern));
  }
}

bool Selection::Chooses(const std::string& name) {
  if (patterns_.empty()) return true;
  const std::u32string key = Folded(name);
  bool chosen = false;
  for (size_t i = 0; i < patterns_.size(); ++i) {
    if (Matches(folded_[i], key)) {
      used_[i] = true;
      chosen = true;
    }
  }
  return chosen;
}

std::vector<std::string> Selection::Unmatched() const {
  std::vector<std::string> unmatched;
  for (size_t i = 0; i < patterns_.size(); ++i) {
    if (!used_[i]) unmatched.push_back(patterns_[i]);
  }
  return unmatched;
}

}  // namespace pkgtool
