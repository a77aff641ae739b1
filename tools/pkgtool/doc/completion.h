// pkgtool's bash completion, made from the command table: the commands,
// each command's options, what an option's value or a command's first
// argument is (a manifest, a descriptor, a directory, a floppy format).
#pragma once

#include <string>
#include <vector>

namespace pkgtool_doc {

struct CompletedOption {
  std::string name;  // long name, without "--"
  char shortName;    // 0 when there is none
  bool takesValue;
};

struct CompletedCommand {
  std::string name;
  std::vector<CompletedOption> options;
};

// The script; "" with *error when a command or option is one it does not
// know what to offer for (a new one: add it to the tables in completion.cpp).
std::string BashCompletion(const std::vector<CompletedCommand>& commands,
                           const std::string& floppyFormats,
                           std::string* error);

}  // namespace pkgtool_doc
