// Bounded formatting without a C library (see format.h).
#include "platform/format.h"

#include <cstdint>

namespace plat {
namespace {

// The output: what fits, and a terminator kept in place.
struct Sink {
  char* buffer;
  size_t size;
  size_t used;

  void Put(char c) {
    if (used + 1 < size) buffer[used++] = c;
  }
};

struct Field {
  bool left;   // '-'
  bool zeros;  // '0'
  size_t width;
};

void PutPadded(Sink* out, const Field& field, const char* text, size_t length,
               bool sign) {
  const size_t pad = field.width > length ? field.width - length : 0;
  if (!field.left && field.zeros) {
    // Zeros go after the sign.
    if (sign) {
      out->Put(*text++);
      --length;
    }
    for (size_t i = 0; i < pad; ++i) out->Put('0');
  } else if (!field.left) {
    for (size_t i = 0; i < pad; ++i) out->Put(' ');
  }
  for (size_t i = 0; i < length; ++i) out->Put(text[i]);
  if (field.left) {
    for (size_t i = 0; i < pad; ++i) out->Put(' ');
  }
}

void PutNumber(Sink* out, const Field& field, uint64_t magnitude, bool negative,
               unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char text[24];
  size_t at = sizeof text;
  do {
    text[--at] = digits[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  if (negative) text[--at] = '-';
  PutPadded(out, field, text + at, sizeof text - at, negative);
}

}  // namespace

void BoundedFormat(char* buffer, size_t size, const char* format,
                   va_list args) {
  if (size == 0) return;
  Sink out = {buffer, size, 0};
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out.Put(*p);
      continue;
    }
    const char* start = p++;
    Field field = {false, false, 0};
    for (;; ++p) {
      if (*p == '-') {
        field.left = true;
      } else if (*p == '0') {
        field.zeros = true;
      } else {
        break;
      }
    }
    while (*p >= '0' && *p <= '9') {
      field.width = field.width * 10 + static_cast<size_t>(*p++ - '0');
    }
    int longs = 0;  // 1: l, 2: ll, 3: z
    if (*p == 'l') {
      longs = p[1] == 'l' ? 2 : 1;
      p += longs;
    } else if (*p == 'z') {
      longs = 3;
      ++p;
    }
    switch (*p) {
      case 'd':
      case 'i': {
        const int64_t value =
            longs == 2   ? va_arg(args, long long)
            : longs == 1 ? va_arg(args, long)
            : longs == 3 ? static_cast<int64_t>(va_arg(args, ptrdiff_t))
                         : va_arg(args, int);
        const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value)
                                             : static_cast<uint64_t>(value);
        PutNumber(&out, field, magnitude, value < 0, 10, false);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        const uint64_t value = longs == 2   ? va_arg(args, unsigned long long)
                               : longs == 1 ? va_arg(args, unsigned long)
                               : longs == 3 ? va_arg(args, size_t)
                                            : va_arg(args, unsigned);
        PutNumber(&out, field, value, false, *p == 'u' ? 10 : 16, *p == 'X');
        break;
      }
      case 'c': {
        const char c = static_cast<char>(va_arg(args, int));
        PutPadded(&out, field, &c, 1, false);
        break;
      }
      case 's': {
        const char* text = va_arg(args, const char*);
        if (text == nullptr) text = "(null)";
        size_t length = 0;
        while (text[length] != '\0') ++length;
        PutPadded(&out, field, text, length, false);
        break;
      }
      case '%':
        out.Put('%');
        break;
      default:
        // Not ours: copied as it stands.
        for (const char* q = start; q <= p && *q != '\0'; ++q) out.Put(*q);
        if (*p == '\0') --p;
        break;
    }
  }
  out.buffer[out.used] = '\0';
}

}  // namespace plat
