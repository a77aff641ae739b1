// Printing failures; see report.h.
#include "common/report.h"

#include <cstdio>

namespace pkgtool {
namespace {

// The length of the UTF-8 sequence at text[i], 0 when none starts there.
size_t Utf8Length(const std::string& text, size_t i) {
  const auto byte = [&](size_t at) {
    return static_cast<unsigned char>(text[at]);
  };
  const unsigned char lead = byte(i);
  size_t length = lead < 0x80         ? 1
                  : (lead >> 5) == 6  ? 2
                  : (lead >> 4) == 14 ? 3
                  : (lead >> 3) == 30 ? 4
                                      : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

std::string Printable(const std::string& text) {
  std::string shown;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8Length(text, i);
    if (length == 0 || c < 0x20 || c == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
      ++i;
    } else {
      shown.append(text, i, length);
      i += length;
    }
  }
  return shown;
}

std::string OneLine(const std::string& text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') {
      line += text[i];
    } else if (!line.empty() && line.back() != ' ' && i + 1 < text.size()) {
      line += ' ';
    }
  }
  return line;
}

bool Reporter::Fail(const std::string& message, const std::string& cause) {
  ++count_;
  if (!cause.empty()) {
    auto found = folded_.find(cause);
    if (found != folded_.end()) {
      ++found->second;
      return false;
    }
    folded_[cause] = 0;
    order_.push_back(cause);
  }
  std::fprintf(console_.err, "%s%s\n", label_.c_str(),
               Printable(message).c_str());
  return true;
}

void Reporter::Finish() {
  for (const std::string& cause : order_) {
    const unsigned more = folded_[cause];
    if (more > 0) {
      std::fprintf(
          console_.err, "%s... and %u more file%s for the same cause (%s)\n",
          label_.c_str(), more, more == 1 ? "" : "s", Printable(cause).c_str());
    }
  }
  order_.clear();
  folded_.clear();
}

}  // namespace pkgtool
