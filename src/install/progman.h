// The Program Manager command texts that register an installed product:
// its group, its item and its uninstaller's item, in the order they are
// sent:
//
//   1 [CreateGroup(Games)]
//   2 [ReplaceItem(title)]
//   3 [AddItem(dir\program,title,,,,,dir)]
//   4 [ReplaceItem(Uninstall title)]            when an uninstaller was
//   5 [AddItem(dir\uninstaller,Uninstall title,,,,,dir)]   placed
//
// "Games" is string 307 and "Uninstall %s" string 308. In the AddItem
// commands the backslash that ends the install directory is removed from
// the whole text composed so far, so the default directory of an item in a
// drive root reads "c:". Texts are inserted without quotes or escapes.
//
// The uninstaller takes a game out again with these, in this order:
//
//   1 [ShowGroup(Games,1)]          makes the group the one that the item
//   2 [DeleteItem(title)]           commands act on
//   3 [DeleteItem(Uninstall title)]
//   4 [DeleteGroup(Games)]          only when the group is then empty:
//                                   Program Manager deletes a group with
//                                   every item still in it
//
// A command is composed in a 1000-byte block whose first 800 bytes hold the
// command and whose last 200 hold the resource string in use. Sending the
// commands (DDE) is not done here.
#pragma once

#include <cstddef>

constexpr size_t kCommandBlockSize = 1000;
constexpr size_t kCommandStringOffset = 800;
constexpr size_t kCommandTextSize = kCommandStringOffset;
constexpr size_t kCommandStringSize = kCommandBlockSize - kCommandStringOffset;

// What the commands are made of.
struct ProgmanItems {
  const char* installDirectory;  // ends with a backslash
  const char* programFile;
  const char* productTitle;
  const char* uninstallerName;  // empty: no uninstaller items
};

// 3 without an uninstaller, 5 with one.
int ProgmanCommandCount(const ProgmanItems& items);

// Composes command number (1 to ProgmanCommandCount) into block
// (kCommandBlockSize bytes), loading the string it needs into the block's
// string area. Returns false, with an empty command, when the number is
// out of range or the command would not fit in its 800 bytes: a command is
// never sent cut.
bool ComposeProgmanCommand(int number, const ProgmanItems& items, char* block);

constexpr int kProgmanRemovalCount = 4;

// Composes removal command number (1 to kProgmanRemovalCount) for the
// product titled productTitle into block, as ComposeProgmanCommand does.
bool ComposeProgmanRemoval(int number, const char* productTitle, char* block);

// Whether Program Manager's reply to a request for a group's contents says
// that the group holds no item. The reply's first line holds the group's
// name in quotation marks, the path of its group file and the number of
// its items, separated by commas; a line for each item follows. A reply
// that does not read so tells nothing: false.
bool GroupReplyIsEmpty(const char* reply);
