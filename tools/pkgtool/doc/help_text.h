// A pkgtool help text read into the parts a manual page shows. The help
// texts are the one source of pkgtool's manual: `pkgtool help COMMAND`
// prints them, pkgtool_doc turns them into roff. What it reads:
//
//   Usage: pkgtool NAME ...        the synopsis (and the indented lines
//          pkgtool NAME ...        that go on with it)
//   paragraphs                     the description; a run of indented
//     TAG  text                    lines in one is a tagged list
//   Options:                       the options, a tagged list
//   Exit status: ...               the exit statuses (to the paragraph's end)
//   Examples:                      each example: its text indented by two
//     What it does:                spaces, its command lines by four
//       pkgtool ...
#pragma once

#include <string>
#include <vector>

namespace pkgtool_doc {

// One item of a tagged list: "-o, --output OUTDIR" and what it does.
struct Entry {
  std::string tag;
  std::string text;
};

// A paragraph of text, or a tagged list.
struct Block {
  std::string text;
  std::vector<Entry> entries;  // a tagged list when not empty
};

struct Example {
  std::string text;
  std::vector<std::string> commands;
};

struct HelpPage {
  std::vector<std::string> synopsis;  // without "Usage: ", indents kept
  std::vector<Block> description;
  std::vector<Entry> options;
  std::vector<Entry> commands;  // the overview's list of commands
  std::string exitStatus;       // without "Exit status: "
  std::vector<Example> examples;
};

HelpPage ParseHelp(const std::string& text);

}  // namespace pkgtool_doc
