// Code page conversions through iconv; see codepage.h.
#include "common/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pkgtool {
namespace {

std::string IconvName(unsigned codepage) {
  return "CP" + std::to_string(codepage);
}

// One conversion, closed when it goes.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : handle_(iconv_open(to.c_str(), from.c_str())),
        error_(Ok() ? 0 : errno) {}
  ~Converter() {
    if (Ok()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  // Why it could not be opened: EINVAL for a conversion iconv does not
  // know, else what failed while loading it.
  int Error() const { return error_; }

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
  int error_;
};

// Code page 1252, the default, is converted here rather than by iconv, so
// that a static pkgtool needs no conversion module of the machine's C
// library for it (and cannot fail to load one). Its bytes 0x80..0x9F; 0
// where it defines none. Every other byte is the code point of its number.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(uint32_t point, std::string* out) {
  if (point < 0x80) {
    *out += static_cast<char>(point);
  } else if (point < 0x800) {
    *out += static_cast<char>(0xC0 | point >> 6);
    *out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    *out += static_cast<char>(0xE0 | point >> 12);
    *out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

// The code point of the well-formed UTF-8 sequence at text[*at]; advances
// *at past it.
uint32_t NextCodePoint(const std::string& text, size_t* at) {
  const auto lead = static_cast<unsigned char>(text[*at]);
  const size_t length = lead < 0x80    ? 1
                        : lead >= 0xF0 ? 4
                        : lead >= 0xE0 ? 3
                                       : 2;
  uint32_t point = length == 1 ? lead : lead & (0xFFu >> (length + 1));
  for (size_t i = 1; i < length && *at + i < text.size(); ++i) {
    point = point << 6 | (static_cast<unsigned char>(text[*at + i]) & 0x3F);
  }
  *at += length;
  return point;
}

// The byte of code page 1252 for a code point; false when it has none.
bool Cp1252Byte(uint32_t point, char* byte) {
  if (point < 0x80 || (point >= 0xA0 && point <= 0xFF)) {
    *byte = static_cast<char>(point);
    return true;
  }
  for (unsigned i = 0; i < 32; ++i) {
    if (kCp1252High[i] != 0 && kCp1252High[i] == point) {
      *byte = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

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
  if (codepage == 1252) return true;
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
  if (codepage == 1252) {
    for (size_t at = 0; at < utf8.size();) {
      const size_t start = at;
      char byte = 0;
      if (!Cp1252Byte(NextCodePoint(utf8, &at), &byte)) {
        *why = "holds " + CharacterAt(utf8, start) +
               ", which code page 1252 cannot hold";
        return false;
      }
      *bytes += byte;
    }
    return true;
  }
  Converter convert(IconvName(codepage), "UTF-8");
  if (!convert.Ok()) {
    *why = "code page " + std::to_string(codepage) +
           " cannot be converted to here (" +
           (convert.Error() == EINVAL
                ? "iconv does not know " + IconvName(codepage)
                : "iconv cannot load " + IconvName(codepage) + ": " +
                      std::strerror(convert.Error())) +
           ")";
    return false;
  }
  size_t at = 0;
  if (convert.Run(utf8, &at, bytes)) return true;
  *why = "holds " + CharacterAt(utf8, at) + ", which code page " +
         std::to_string(codepage) + " cannot hold";
  return false;
}

std::string DecodeText(const std::string& bytes, unsigned codepage) {
  if (codepage == 1252) {
    // An undefined byte is the character of its number.
    std::string utf8;
    for (char c : bytes) {
      const auto byte = static_cast<unsigned char>(c);
      const uint32_t high =
          byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : 0;
      AppendUtf8(high != 0 ? high : byte, &utf8);
    }
    return utf8;
  }
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
