// Texts for dialog controls (see dialog_text.h).
#include "ui/dialog_text.h"

#include <cstring>

#include "base/result.h"
#include "base/text.h"
#include "package/descriptor.h"
#include "platform/platform.h"

namespace {

// Writes format into out with text in place of the first occurrence of
// placeholder; the rest is copied as it stands. Bounded by size.
void Substitute(char* out, size_t size, const char* format,
                const char* placeholder, const char* text) {
  if (size == 0) return;
  const size_t placeholderLength = strlen(placeholder);
  size_t used = 0;
  bool substituted = false;
  for (const char* p = format; *p != '\0' && used + 1 < size; ++p) {
    if (!substituted && strncmp(p, placeholder, placeholderLength) == 0) {
      for (const char* t = text; *t != '\0' && used + 1 < size; ++t) {
        out[used++] = *t;
      }
      substituted = true;
      p += placeholderLength - 1;
      continue;
    }
    out[used++] = *p;
  }
  out[used] = '\0';
}

}  // namespace

void FormatWithTitle(char* out, size_t size, const char* format) {
  char title[kProductTitleSize];
  const size_t length =
      strnlen(Package.Header.productTitle, kProductTitleSize - 1);
  memcpy(title, Package.Header.productTitle, length);
  title[length] = '\0';
  Substitute(out, size, format, "%s", title);
}

void FormatKb(char* out, size_t size, uint32_t kb) {
  char format[kKbTextSize];
  if (plat::LoadString(kStrKb, format, sizeof format) == 0) format[0] = '\0';
  char digits[12];
  FormatText(digits, sizeof digits, "%lu", static_cast<unsigned long>(kb));
  Substitute(out, size, format, "%lu", digits);
}
