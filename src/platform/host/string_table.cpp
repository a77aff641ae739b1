#include "ui/resources/string_table.h"

namespace {

struct StringEntry {
  unsigned id;
  const char* text;
};

#define SETUP_STRING(id, text) {id, text},
constexpr StringEntry kStrings[] = {
#include "ui/resources/strings.inc"
};
#undef SETUP_STRING

}  // namespace

const char* StringTableText(unsigned id) {
  for (const StringEntry& entry : kStrings) {
    if (entry.id == id) return entry.text;
  }
  return nullptr;
}
