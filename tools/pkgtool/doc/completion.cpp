// pkgtool's bash completion; see completion.h.
#include "doc/completion.h"

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

// The script; @COMMANDS@, @VALUES@ (what follows an option that takes a
// value) and @CASES@ (each command's options, those that take a value and
// its first argument) are filled in.
constexpr char kScript[] =
    R"(# bash completion for pkgtool, made by pkgtool_doc from its command table.
_pkgtool() {
  local cur prev words cword
  _init_completion || return
  local commands='@COMMANDS@ help'
  local i command='' at=0
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      -*) ;;
      *) command=${words[i]}; at=$i; break ;;
    esac
  done
  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W '--help --quiet --version' -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi
  if [[ $command == help ]]; then
    ((cword == at + 1)) && COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    return
  fi
  case $prev in
@VALUES@  esac
  local options taking argument
  case $command in
@CASES@    *) return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi
  # The first argument after the command (options and their values passed
  # over) is a file; the later ones are patterns or names.
  local first=1
  for ((i = at + 1; i < cword; i++)); do
    case ${words[i]} in
      --) ;;
      --*=*) ;;
      -*) [[ ${words[i]} == @($taking) ]] && ((i++)) ;;
      *) first=0 ;;
    esac
  done
  ((first)) && eval "$argument"
} &&
  complete -F _pkgtool pkgtool
)";

void Fill(std::string* text, const std::string& mark, const std::string& with) {
  const size_t at = text->find(mark);
  if (at != std::string::npos) text->replace(at, mark.size(), with);
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
  std::string script = kScript;
  Fill(&script, "@COMMANDS@", names);
  Fill(&script, "@VALUES@", values);
  Fill(&script, "@CASES@", cases);
  return script;
}

}  // namespace pkgtool_doc
