// Composition of the Program Manager command texts (see progman.h).
#include "install/progman.h"

#include <cstring>

#include "base/result.h"
#include "base/text.h"
#include "platform/platform.h"

namespace {

// Loads string id into the block's string area; an unknown string reads as
// empty.
const char* LoadCommandString(char* block, unsigned id) {
  char* area = block + kCommandStringOffset;
  if (plat::LoadString(id, area, static_cast<int>(kCommandStringSize)) == 0) {
    area[0] = '\0';
  }
  return area;
}

// Appends format to text with its one "%s" replaced by argument ("%%" reads
// as "%"); false when the result does not fit.
bool AppendFormatted(char* text, size_t size, const char* format,
                     const char* argument) {
  bool substituted = false;
  char one[2] = {};
  for (const char* p = format; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's' && !substituted) {
      if (!AppendText(text, size, argument)) return false;
      substituted = true;
      ++p;
      continue;
    }
    if (p[0] == '%' && p[1] == '%') ++p;
    one[0] = *p;
    if (!AppendText(text, size, one)) return false;
  }
  return true;
}

// Removes the backslash that ends text when text is longer than three
// characters (the rule of RemoveTrailingBackslash, on the command block).
void RemoveLastBackslash(char* text) {
  size_t length = strlen(text);
  if (length > 3 && text[length - 1] == '\\') text[length - 1] = '\0';
}

// "[ReplaceItem(" title ")]"; with a format, the title is that format with
// title in place of its "%s".
bool ComposeReplaceItem(char* text, const char* title, const char* format) {
  return CopyText(text, kCommandTextSize, "[ReplaceItem(") &&
         (format != nullptr
              ? AppendFormatted(text, kCommandTextSize, format, title)
              : AppendText(text, kCommandTextSize, title)) &&
         AppendText(text, kCommandTextSize, ")]");
}

// "[AddItem(" dir file "," title ",,,,," dir* ")]", dir* losing its final
// backslash; with a format, the title is formatted as for ReplaceItem.
bool ComposeAddItem(char* text, const ProgmanItems& items, const char* file,
                    const char* format) {
  const char* dir = items.installDirectory;
  if (!CopyText(text, kCommandTextSize, "[AddItem(") ||
      !AppendText(text, kCommandTextSize, dir) ||
      !AppendText(text, kCommandTextSize, file) ||
      !AppendText(text, kCommandTextSize, ",")) {
    return false;
  }
  if (format != nullptr
          ? !AppendFormatted(text, kCommandTextSize, format, items.productTitle)
          : !AppendText(text, kCommandTextSize, items.productTitle)) {
    return false;
  }
  if (!AppendText(text, kCommandTextSize, ",,,,,") ||
      !AppendText(text, kCommandTextSize, dir)) {
    return false;
  }
  RemoveLastBackslash(text);
  return AppendText(text, kCommandTextSize, ")]");
}

// "[" verb "(" text suffix ")]", text being the group's name (string 307,
// loaded into the block's string area) when it is null.
bool ComposeGroupCommand(char* block, const char* verb, const char* text,
                         const char* suffix) {
  char* command = block;
  return CopyText(command, kCommandTextSize, "[") &&
         AppendText(command, kCommandTextSize, verb) &&
         AppendText(command, kCommandTextSize, "(") &&
         AppendText(
             command, kCommandTextSize,
             text != nullptr ? text : LoadCommandString(block, kStrGroup)) &&
         AppendText(command, kCommandTextSize, suffix) &&
         AppendText(command, kCommandTextSize, ")]");
}

}  // namespace

int ProgmanCommandCount(const ProgmanItems& items) {
  return items.uninstallerName != nullptr && items.uninstallerName[0] != '\0'
             ? 5
             : 3;
}

bool ComposeProgmanCommand(int number, const ProgmanItems& items, char* block) {
  char* text = block;
  bool composed = false;
  switch (number < 1 || number > ProgmanCommandCount(items) ? 0 : number) {
    case 1:
      composed = CopyText(text, kCommandTextSize, "[CreateGroup(") &&
                 AppendText(text, kCommandTextSize,
                            LoadCommandString(block, kStrGroup)) &&
                 AppendText(text, kCommandTextSize, ")]");
      break;
    case 2:
      composed = ComposeReplaceItem(text, items.productTitle, nullptr);
      break;
    case 3:
      composed = ComposeAddItem(text, items, items.programFile, nullptr);
      break;
    case 4:
      composed =
          ComposeReplaceItem(text, items.productTitle,
                             LoadCommandString(block, kStrUninstallItem));
      break;
    case 5:
      composed = ComposeAddItem(text, items, items.uninstallerName,
                                LoadCommandString(block, kStrUninstallItem));
      break;
    default:
      break;
  }
  if (!composed) text[0] = '\0';
  return composed;
}

bool ComposeProgmanRemoval(int number, const char* productTitle, char* block) {
  bool composed = false;
  switch (number) {
    case 1:
      composed = ComposeGroupCommand(block, "ShowGroup", nullptr, ",1");
      break;
    case 2:
      composed = ComposeGroupCommand(block, "DeleteItem", productTitle, "");
      break;
    case 3: {
      char title[kCommandTextSize] = "";
      composed = AppendFormatted(title, sizeof title,
                                 LoadCommandString(block, kStrUninstallItem),
                                 productTitle) &&
                 ComposeGroupCommand(block, "DeleteItem", title, "");
      break;
    }
    case 4:
      composed = ComposeGroupCommand(block, "DeleteGroup", nullptr, "");
      break;
    default:
      break;
  }
  if (!composed) block[0] = '\0';
  return composed;
}

bool GroupReplyIsEmpty(const char* reply) {
  // "name",path,count
  if (reply[0] != '"') return false;
  const char* p = strchr(reply + 1, '"');
  if (p == nullptr || p[1] != ',') return false;
  p = strchr(p + 2, ',');
  if (p == nullptr) return false;
  ++p;
  if (*p < '0' || *p > '9') return false;
  bool empty = true;
  for (; *p >= '0' && *p <= '9'; ++p) empty = empty && *p == '0';
  return empty && (*p == '\0' || *p == ',' || *p == '\r' || *p == '\n');
}
