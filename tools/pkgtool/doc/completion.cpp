// pkgtool's bash completion; see completion.h.
#include "completion.h"

namespace pkgtool_doc {
namespace {

// What a command's first argument is, as a bash completion action.
struct Argument {
  const char* command;
  const char* action;
};

constexpr char kDescriptor[] = "_filedir '@(bin|BIN|img|IMG)'";

const Argument kArguments[] = {
    {"build", "_filedir manifest"}, {"list", kDescriptor},
    {"verify", kDescriptor},        {"extract", kDescriptor},
    {"install", kDescriptor},       {"uninstall", "_filedir '@(bin|BIN)'"},
    {"encode", "_filedir"},         {"decode", "_filedir"},
};

// What an option's value is; "" offers nothing (a number, a name).
struct Value {
  const char* option;
  const char* action;
};

const Value kValues[] = {
    {"output", "_filedir -d"},
    {"dest", "_filedir -d"},
    {"root", "_filedir -d"},
    {"disk", "_filedir"},
    {"installer", "_filedir '@(exe|EXE)'"},
    {"disk-format", "FORMATS"},
    {"define", ""},
    {"codepage", ""},
    {"jobs", ""},
    {"to", ""},
    {"windows", ""},
};

const char* ArgumentAction(const std::string& command) {
  for (const Argument& argument : kArguments) {
    if (command == argument.command) return argument.action;
  }
  return nullptr;
}

const char* ValueAction(const std::string& option) {
  for (const Value& value : kValues) {
    if (option == value.option) return value.action;
  }
  return nullptr;
}

}  // namespace

std::string BashCompletion(const std::vector<CompletedCommand>& commands,
                           const std::string& floppyFormats,
                           std::string* error) {
  std::string names, cases, values;
  for (const CompletedCommand& command : commands) {
    const char* argument = ArgumentAction(command.name);
    if (argument == nullptr) {
      *error = "no completion for the arguments of \"" + command.name + "\"";
      return "";
    }
    names += (names.empty() ? "" : " ") + command.name;
    std::string words = "--help --quiet", taking;
    for (const CompletedOption& option : command.options) {
      words += " --" + option.name;
      if (option.shortName != 0) words += std::string(" -") + option.shortName;
      if (!option.takesValue) continue;
      const char* action = ValueAction(option.name);
      if (action == nullptr) {
        *error = "no completion for the value of --" + option.name;
        return "";
      }
      std::string pattern = "--" + option.name;
      if (option.shortName != 0)
        pattern += std::string("|-") + option.shortName;
      taking += (taking.empty() ? "" : "|") + pattern;
      if (values.find(" " + pattern + ")") == std::string::npos) {
        std::string act = action;
        if (act == "FORMATS") {
          act = "COMPREPLY=($(compgen -W '" + floppyFormats + "' -- \"$cur\"))";
        }
        values += "    " + pattern + ")\n      " +
                  (act.empty() ? std::string(":") : act) +
                  "\n      return\n      ;;\n";
      }
    }
    cases += "    " + command.name + ")\n      options='" + words +
             "'\n      taking='" + (taking.empty() ? "-@" : taking) +
             "'\n      argument=\"" + argument + "\"\n      ;;\n";
  }
  return "# bash completion for pkgtool, made by pkgtool_doc from pkgtool's "
         "command table.\n"
         "_pkgtool() {\n"
         "  local cur prev words cword\n"
         "  _init_completion || return\n"
         "  local commands='" +
         names +
         " help'\n"
         "  local i command='' at=0\n"
         "  for ((i = 1; i < cword; i++)); do\n"
         "    case ${words[i]} in\n"
         "      -*) ;;\n"
         "      *) command=${words[i]}; at=$i; break ;;\n"
         "    esac\n"
         "  done\n"
         "  if [[ -z $command ]]; then\n"
         "    if [[ $cur == -* ]]; then\n"
         "      COMPREPLY=($(compgen -W '--help --quiet --version' -- "
         "\"$cur\"))\n"
         "    else\n"
         "      COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
         "    fi\n"
         "    return\n"
         "  fi\n"
         "  if [[ $command == help ]]; then\n"
         "    ((cword == at + 1)) && COMPREPLY=($(compgen -W \"$commands\" -- "
         "\"$cur\"))\n"
         "    return\n"
         "  fi\n"
         "  case $prev in\n" +
         values +
         "  esac\n"
         "  local options taking argument\n"
         "  case $command in\n" +
         cases +
         "    *) return ;;\n"
         "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
         "    return\n"
         "  fi\n"
         "  # The first argument after the command (options and their values\n"
         "  # passed over) is a file; the later ones are patterns or names.\n"
         "  local first=1\n"
         "  for ((i = at + 1; i < cword; i++)); do\n"
         "    case ${words[i]} in\n"
         "      --) ;;\n"
         "      --*=*) ;;\n"
         "      -*)\n"
         "        # shellcheck disable=SC2053\n"
         "        [[ ${words[i]} == @($taking) ]] && ((i++))\n"
         "        ;;\n"
         "      *) first=0 ;;\n"
         "    esac\n"
         "  done\n"
         "  ((first)) && eval \"$argument\"\n"
         "} &&\n"
         "  complete -F _pkgtool pkgtool\n";
}

}  // namespace pkgtool_doc
