// pkgtool's command line: the commands, their options and the dispatch.
//
// Every command is a Command object defined in its own cmd_*.cpp file and
// listed once in commands.inc. The dispatcher parses the options a command
// declares (and --help/-h and --quiet/-q, which every command knows),
// prints the command's help, and turns a usage error into exit code 2.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/console.h"

namespace pkgtool {

// What `pkgtool --version` prints after "pkgtool ".
constexpr char kPkgtoolVersion[] = "1.1";

struct OptionSpec {
  const char* name;  // long name without "--"
  char shortName;    // 0 when there is none
  bool takesValue;
};

// A parsed command line: positional arguments in order, options by long
// name with every value given (repeatable options keep them all).
struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::vector<std::string>> options;

  bool Has(const std::string& name) const { return options.count(name) > 0; }
  // The last value given, "" when none.
  std::string Value(const std::string& name) const;
  std::vector<std::string> Values(const std::string& name) const;
};

// Parses args against specs (plus help and quiet). "--name value",
// "--name=value", "-n value", "-nvalue"; "--" ends the options. False,
// with *error, for an unknown option or a missing value.
bool ParseArgs(const std::vector<std::string>& args,
               const std::vector<OptionSpec>& specs, Args* parsed,
               std::string* error);

struct Command {
  const char* name;
  const char* summary;  // one line for `pkgtool --help`
  const char* help;     // the whole text of `pkgtool NAME --help`
  std::vector<OptionSpec> options;
  // Runs with the parsed arguments; returns an ExitCode.
  int (*run)(const Args& args, const Console& console);
};

#define PKGTOOL_COMMAND(object) extern const Command object;
#include "cli/commands.inc"
#undef PKGTOOL_COMMAND

// Prints "pkgtool: message" and the hint to the command's help; returns
// kExitUsage.
int UsageError(const Console& console, const Command& command,
               const std::string& message);

// The code page a reading command's --codepage names (1252 when absent).
// False, with *exitCode set after a usage error was printed, when it is no
// code page iconv converts.
bool CodePageOption(const Args& args, const Console& console,
                    const Command& command, unsigned* codepage, int* exitCode);

// Runs pkgtool with the arguments after the program name. console.progress
// is what the caller allows (a terminal); --quiet turns it off.
int RunPkgtool(const std::vector<std::string>& args, Console console);

}  // namespace pkgtool
