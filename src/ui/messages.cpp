// Message boxes and ReportResult (see messages.h).
#include "ui/messages.h"

#include <cstring>

#include "package/descriptor.h"

char Caption[64];

namespace {

// Buffer sizes of the message texts: a plain string of at most 255
// characters, a format of at most 254 and a formatted text of at most 511.
constexpr int kPlainTextSize = 256;
constexpr int kFormatSize = 255;
constexpr size_t kFormattedSize = 512;

// The caption of the formatted boxes: the package's programFile, bounded to
// its field even when the descriptor left it unterminated.
void ProgramFileCaption(char* caption, size_t size) {
  const char* field = Package.Header.programFile;
  size_t length = strnlen(field, sizeof(Package.Header.programFile));
  if (length >= size) length = size - 1;
  memcpy(caption, field, length);
  caption[length] = '\0';
}

// Substitutes argument for the one "%s" of format; any other '%' sequence
// is copied as it stands, so a format cannot reach for arguments it was not
// given.
void FormatWithText(char* out, size_t size, const char* format,
                    const char* argument) {
  size_t used = 0;
  bool substituted = false;
  for (const char* p = format; *p != '\0' && used + 1 < size; ++p) {
    if (!substituted && p[0] == '%' && p[1] == 's') {
      for (const char* a = argument; *a != '\0' && used + 1 < size; ++a) {
        out[used++] = *a;
      }
      substituted = true;
      ++p;
      continue;
    }
    out[used++] = *p;
  }
  out[used] = '\0';
}

}  // namespace

void LoadCaption() {
  if (plat::LoadString(kStrCaption, Caption, sizeof(Caption)) == 0) {
    Caption[0] = '\0';
  }
}

int SetupBox(plat::Window owner, unsigned stringId, unsigned type) {
  char text[kPlainTextSize];
  if (plat::LoadString(stringId, text, sizeof(text)) == 0) text[0] = '\0';
  return plat::MessageBox(owner, text, Caption, type);
}

int PlainWarningBox(plat::Window owner, unsigned stringId) {
  char text[kPlainTextSize];
  if (plat::LoadString(stringId, text, sizeof(text)) == 0) text[0] = '\0';
  return plat::MessageBox(owner, text, nullptr,
                          plat::kMbOk | plat::kMbIconExclamation);
}

void FormatStringWithText(unsigned stringId, const char* argument, char* out,
                          size_t size) {
  if (size == 0) return;
  char format[kFormatSize];
  if (plat::LoadString(stringId, format, sizeof(format)) == 0) {
    format[0] = '\0';
  }
  FormatWithText(out, size, format, argument ? argument : "");
}

int FormattedBox(plat::Window owner, unsigned stringId, const char* argument,
                 unsigned type) {
  char text[kFormattedSize];
  FormatStringWithText(stringId, argument, text, sizeof(text));
  char caption[kProgramFileSize];
  ProgramFileCaption(caption, sizeof(caption));
  return plat::MessageBox(owner, text, caption, type);
}

int NoticeBox(plat::Window owner, unsigned stringId, const char* argument) {
  return FormattedBox(owner, stringId, argument,
                      plat::kMbOk | plat::kMbIconExclamation);
}

int RetryCancelBox(plat::Window owner, unsigned stringId,
                   const char* argument) {
  return FormattedBox(owner, stringId, argument,
                      plat::kMbRetryCancel | plat::kMbIconExclamation);
}

int YesNoBox(plat::Window owner, unsigned stringId, const char* argument) {
  return FormattedBox(owner, stringId, argument,
                      plat::kMbYesNo | plat::kMbIconQuestion);
}

int AbortRetryIgnoreBox(plat::Window owner, unsigned stringId,
                        const char* argument) {
  return FormattedBox(owner, stringId, argument,
                      plat::kMbAbortRetryIgnore | plat::kMbIconExclamation);
}

void ReportResult(plat::Window owner, ResultCode code) {
  if (code == kResultMissing || code == kResultReadError ||
      code == kResultWriteError) {
    NoticeBox(owner, static_cast<unsigned>(code), SubjectPath);
  } else {
    PlainWarningBox(owner, static_cast<unsigned>(code));
  }
}
