// Option parsing and dispatch; see commands.h.
#include "cli/commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "common/codepage.h"

namespace pkgtool {
namespace {

const Command* const kCommands[] = {
#define PKGTOOL_COMMAND(object) &object,
#include "cli/commands.inc"
#undef PKGTOOL_COMMAND
};

const OptionSpec kCommonOptions[] = {{"help", 'h', false},
                                     {"quiet", 'q', false}};

void PrintOverview(std::FILE* out) {
  std::fprintf(out,
               "Usage: pkgtool [--quiet] COMMAND [ARGS]...\n"
               "       pkgtool help [COMMAND]\n"
               "       pkgtool --version\n"
               "Makes, lists, verifies and extracts the installer's media.\n"
               "\nCommands:\n");
  for (const Command* command : kCommands) {
    std::fprintf(out, "  %-9s %s\n", command->name, command->summary);
  }
  std::fprintf(
      out,
      "\nRun 'pkgtool help COMMAND' (or 'pkgtool COMMAND --help') "
      "for a command's\noptions. Diagnostics go to standard error.\n"
      "\nOptions:\n"
      "  -q, --quiet    no progress bar (also after the command)\n"
      "  -h, --help     this text; after a command, that command's\n"
      "  -V, --version  print pkgtool's version\n"
      "\nExit status: 0 success, 1 failure, 2 usage error, 3 done but\n"
      "some files kept as they were (install and uninstall); each\n"
      "command's help lists its own.\n");
}

const Command* FindCommand(const std::string& name) {
  for (const Command* candidate : kCommands) {
    if (name == candidate->name) return candidate;
  }
  return nullptr;
}

int UnknownCommand(const Console& console, const std::string& name) {
  PrintError(console, "unknown command \"" + name + "\"");
  std::fprintf(console.err, "Try 'pkgtool --help'.\n");
  return kExitUsage;
}

// pkgtool help [COMMAND].
int RunHelp(const std::vector<std::string>& names, const Console& console) {
  if (names.empty()) {
    PrintOverview(console.out);
    return kExitOk;
  }
  if (names.size() > 1) {
    PrintError(console, "help: expected one COMMAND");
    return kExitUsage;
  }
  const Command* command = FindCommand(names[0]);
  if (command == nullptr) return UnknownCommand(console, names[0]);
  std::fputs(command->help, console.out);
  return kExitOk;
}

const OptionSpec* FindLong(const std::vector<OptionSpec>& specs,
                           const std::string& name) {
  for (const OptionSpec& opt : specs) {
    if (name == opt.name) return &opt;
  }
  for (const OptionSpec& opt : kCommonOptions) {
    if (name == opt.name) return &opt;
  }
  return nullptr;
}

const OptionSpec* FindShort(const std::vector<OptionSpec>& specs, char name) {
  for (const OptionSpec& opt : specs) {
    if (opt.shortName != 0 && opt.shortName == name) return &opt;
  }
  for (const OptionSpec& opt : kCommonOptions) {
    if (opt.shortName == name) return &opt;
  }
  return nullptr;
}

}  // namespace

std::string Args::Value(const std::string& name) const {
  auto found = options.find(name);
  if (found == options.end() || found->second.empty()) return std::string();
  return found->second.back();
}

std::vector<std::string> Args::Values(const std::string& name) const {
  auto found = options.find(name);
  return found == options.end() ? std::vector<std::string>() : found->second;
}

bool ParseArgs(const std::vector<std::string>& args,
               const std::vector<OptionSpec>& specs, Args* parsed,
               std::string* error) {
  *parsed = Args();
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed->positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const OptionSpec* opt = nullptr;
    std::string value;
    bool hasValue = false;
    if (arg[1] == '-') {
      size_t equals = arg.find('=');
      std::string name = arg.substr(
          2, equals == std::string::npos ? std::string::npos : equals - 2);
      opt = FindLong(specs, name);
      if (opt == nullptr) {
        *error = "unknown option --" + name;
        return false;
      }
      if (equals != std::string::npos) {
        if (!opt->takesValue) {
          *error = "option --" + name + " takes no value";
          return false;
        }
        value = arg.substr(equals + 1);
        hasValue = true;
      }
    } else {
      opt = FindShort(specs, arg[1]);
      if (opt == nullptr) {
        *error = "unknown option " + arg.substr(0, 2);
        return false;
      }
      if (arg.size() > 2) {
        if (!opt->takesValue) {
          *error = "option " + arg.substr(0, 2) + " takes no value";
          return false;
        }
        value = arg.substr(2);
        hasValue = true;
      }
    }
    if (opt->takesValue && !hasValue) {
      if (i + 1 >= args.size()) {
        *error = std::string("option --") + opt->name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    parsed->options[opt->name].push_back(value);
  }
  return true;
}

int UsageError(const Console& console, const Command& command,
               const std::string& message) {
  PrintError(console, command.name + std::string(": ") + message);
  std::fprintf(console.err, "Try 'pkgtool %s --help'.\n", command.name);
  return kExitUsage;
}

bool CodePageOption(const Args& args, const Console& console,
                    const Command& command, unsigned* codepage, int* exitCode) {
  *codepage = kDefaultCodePage;
  if (!args.Has("codepage") ||
      ParseCodePage(args.Value("codepage"), codepage)) {
    return true;
  }
  *exitCode = UsageError(console, command,
                         "unknown code page \"" + args.Value("codepage") +
                             "\" (iconv converts none of that number)");
  return false;
}

int RunPkgtool(const std::vector<std::string>& args, Console console) {
  size_t first = 0;
  // Options before the command: --help, --quiet.
  for (; first < args.size(); ++first) {
    const std::string& arg = args[first];
    if (arg == "--quiet" || arg == "-q") {
      console.progress = false;
    } else if (arg == "--help" || arg == "-h") {
      // "pkgtool --help list" is list's help.
      std::vector<std::string> names;
      if (first + 1 < args.size()) names.push_back(args[first + 1]);
      return RunHelp(names, console);
    } else if (arg == "--version" || arg == "-V") {
      std::fprintf(console.out, "pkgtool %s\n", kPkgtoolVersion);
      return kExitOk;
    } else if (!arg.empty() && arg[0] == '-') {
      PrintError(console, "unknown option " + arg);
      std::fprintf(console.err, "Try 'pkgtool --help'.\n");
      return kExitUsage;
    } else {
      break;
    }
  }
  if (first == args.size()) {
    PrintOverview(console.err);
    return kExitUsage;
  }
  std::vector<std::string> rest(args.begin() + static_cast<long>(first) + 1,
                                args.end());
  if (args[first] == "help") return RunHelp(rest, console);
  const Command* command = FindCommand(args[first]);
  if (command == nullptr) return UnknownCommand(console, args[first]);
  Args parsed;
  std::string error;
  if (!ParseArgs(rest, command->options, &parsed, &error)) {
    return UsageError(console, *command, error);
  }
  if (parsed.Has("help")) {
    std::fputs(command->help, console.out);
    return kExitOk;
  }
  if (parsed.Has("quiet")) console.progress = false;
  // A disk named with --disk must be there: going on without it would
  // report the disk missing, not the place mistyped.
  for (const std::string& place : parsed.Values("disk")) {
    struct stat info;
    if (::stat(place.c_str(), &info) != 0) {
      PrintError(console, std::string(command->name) + ": --disk " + place +
                              ": " + std::strerror(errno));
      return kExitFailure;
    }
  }
  return command->run(parsed, console);
}

}  // namespace pkgtool
