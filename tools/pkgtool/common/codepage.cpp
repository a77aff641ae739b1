// Code page conversions through iconv; see codepage.h.
#include "common/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace pkgtool {
namespace {

std::string IconvName(unsigned codepage) {
  return "CP" + std::to_string(codepage);
}

// One conversion, closed when it goes.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (Ok()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts in[*at..]; appends to *out and advances *at. True when all of
  // it was converted; false when it stopped at a sequence it cannot take.
  bool Run(const std::string& in, size_t* at, std::string* out) {
    while (*at < in.size()) {
      char buffer[256];
      char* source = const_cast<char*>(in.data()) + *at;
      size_t sourceLeft = in.size() - *at;
      char* target = buffer;
      size_t targetLeft = sizeof buffer;
      size_t done = iconv(handle_, &source, &sourceLeft, &target, &targetLeft);
      int error = errno;
      out->append(buffer, static_cast<size_t>(target - buffer));
      *at = in.size() - sourceLeft;
      if (done != static_cast<size_t>(-1)) continue;
      if (error == E2BIG) continue;
      iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // reset the state
      return false;
    }
    return true;
  }

 private:
  iconv_t handle_;
};

// The UTF-8 sequence that starts at text[at], for a message.
std::string CharacterAt(const std::string& text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  if (at + length > text.size()) length = text.size() - at;
  std::string character = text.substr(at, length);
  // Its code point, when it is a well-formed sequence.
  unsigned long point = length == 1 ? lead : lead & (0xFFu >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    point = point << 6 | (static_cast<unsigned char>(character[i]) & 0x3F);
  }
  char code[16];
  std::snprintf(code, sizeof code, "U+%04lX", point);
  return "\"" + character + "\" (" + code + ")";
}

bool IsUtf8(const std::string& text, size_t* bad) {
  Converter check("UTF-32LE", "UTF-8");
  std::string ignored;
  size_t at = 0;
  if (!check.Ok() || check.Run(text, &at, &ignored)) return true;
  *bad = at;
  return false;
}

}  // namespace

bool CodePageSupported(unsigned codepage) {
  Converter to(IconvName(codepage), "UTF-8");
  Converter from("UTF-8", IconvName(codepage));
  return to.Ok() && from.Ok();
}

bool ParseCodePage(const std::string& text, unsigned* codepage) {
  std::string digits = text;
  if (digits.size() > 2 && (digits[0] == 'c' || digits[0] == 'C') &&
      (digits[1] == 'p' || digits[1] == 'P')) {
    digits = digits.substr(2);
  }
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *codepage = static_cast<unsigned>(std::strtoul(digits.c_str(), nullptr, 10));
  return CodePageSupported(*codepage);
}

bool EncodeText(const std::string& utf8, unsigned codepage, std::string* bytes,
                std::string* why) {
  bytes->clear();
  size_t bad = 0;
  if (!IsUtf8(utf8, &bad)) {
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X",
                  static_cast<unsigned char>(utf8[bad]));
    *why = std::string("is not UTF-8 (byte ") + byte + " at offset " +
           std::to_string(bad) + ")";
    return false;
  }
  Converter convert(IconvName(codepage), "UTF-8");
  if (!convert.Ok()) {
    *why = "code page " + std::to_string(codepage) +
           " cannot be converted to here (iconv does not know " +
           IconvName(codepage) + ")";
    return false;
  }
  size_t at = 0;
  if (convert.Run(utf8, &at, bytes)) return true;
  *why = "holds " + CharacterAt(utf8, at) + ", which code page " +
         std::to_string(codepage) + " cannot hold";
  return false;
}

std::string DecodeText(const std::string& bytes, unsigned codepage) {
  Converter convert("UTF-8", IconvName(codepage));
  if (!convert.Ok()) return bytes;
  std::string utf8;
  size_t at = 0;
  while (!convert.Run(bytes, &at, &utf8)) {
    // An undefined byte: the character of its number (two UTF-8 bytes
    // for 0x80..0xFF).
    const auto byte = static_cast<unsigned char>(bytes[at++]);
    if (byte < 0x80) {
      utf8 += static_cast<char>(byte);
    } else {
      utf8 += static_cast<char>(0xC0 | byte >> 6);
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

}  // namespace pkgtool
