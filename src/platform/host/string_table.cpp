// The host string table (see string_table.h).
#include "platform/host/string_table.h"

namespace {

struct StringEntry {
  unsigned id;
  const char* text;
};

#define SETUP_STRING(id, text) {id, text},
// strings.inc is the one string table of the installer, shared with the
// resource script (ui/resources/setup.rc); the host platform's target puts
// its folder on the include path.
constexpr StringEntry kStrings[] = {
#include "strings.inc"
};
#undef SETUP_STRING

unsigned OverriddenId = 0;
const char* OverridingText = nullptr;

}  // namespace

void OverrideStringTableText(unsigned id, const char* text) {
  OverriddenId = id;
  OverridingText = text;
}

const char* StringTableText(unsigned id) {
  if (OverridingText != nullptr && id == OverriddenId) return OverridingText;
  for (const StringEntry& entry : kStrings) {
    if (entry.id == id) return entry.text;
  }
  return nullptr;
}
