// pkgtool(1): the manual page made from the overview that `pkgtool help`
// prints and from every command's help text.
#pragma once

#include <string>
#include <vector>

namespace pkgtool_doc {

struct CommandText {
  std::string name;
  std::string summary;
  std::string help;
};

// The whole page, in roff.
std::string ManPage(const std::string& overview,
                    const std::vector<CommandText>& commands,
                    const std::string& version);

}  // namespace pkgtool_doc
