// pkgtool_doc: writes pkgtool's manual pages and bash completion from the
// texts pkgtool itself holds, so that they never say anything else than
// `pkgtool help`:
//
//   pkgtool_doc man OUT                  pkgtool(1), from the help texts
//   pkgtool_doc manifest MANIFEST.md OUT pkgtool-manifest(5)
//   pkgtool_doc completion OUT           the bash completion script
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "common/floppy.h"
#include "common/host_files.h"
#include "doc/completion.h"
#include "doc/man_page.h"
#include "doc/manifest_page.h"

namespace {

const pkgtool::Command* const kCommands[] = {
#define PKGTOOL_COMMAND(object) &pkgtool::object,
#include "cli/commands.inc"
#undef PKGTOOL_COMMAND
};

// What `pkgtool help` prints.
std::string Overview() {
  char* text = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  pkgtool::Console console;
  console.out = out;
  console.err = out;
  pkgtool::RunPkgtool({"help"}, console);
  std::fclose(out);
  std::string overview(text, size);
  std::free(text);
  return overview;
}

std::string ManText() {
  std::vector<pkgtool_doc::CommandText> commands;
  for (const pkgtool::Command* command : kCommands) {
    commands.push_back({command->name, command->summary, command->help});
  }
  return pkgtool_doc::ManPage(Overview(), commands, pkgtool::kPkgtoolVersion);
}

// "1.44M, 720K, 1.2M or 360K" as words.
std::string FloppyWords() {
  std::string words;
  for (const char c : pkgtool::FloppyFormatNames()) {
    if (c != ',') words += c;
  }
  const size_t orWord = words.find(" or ");
  if (orWord != std::string::npos) words.replace(orWord, 4, " ");
  return words;
}

bool CompletionText(std::string* text) {
  std::vector<pkgtool_doc::CompletedCommand> commands;
  for (const pkgtool::Command* command : kCommands) {
    pkgtool_doc::CompletedCommand completed{command->name, {}};
    for (const pkgtool::OptionSpec& option : command->options) {
      completed.options.push_back(
          {option.name, option.shortName, option.takesValue});
    }
    commands.push_back(completed);
  }
  std::string error;
  *text = pkgtool_doc::BashCompletion(commands, FloppyWords(), &error);
  if (!error.empty()) std::fprintf(stderr, "pkgtool_doc: %s\n", error.c_str());
  return error.empty();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string text, error;
  bool made = true;
  if (args.size() == 2 && args[0] == "man") {
    text = ManText();
  } else if (args.size() == 3 && args[0] == "manifest") {
    std::string markdown;
    made = pkgtool::ReadSmallFile(args[1], 1 << 20, &markdown, &error);
    if (!made) std::fprintf(stderr, "pkgtool_doc: %s\n", error.c_str());
    text = pkgtool_doc::ManifestPage(markdown, pkgtool::kPkgtoolVersion);
  } else if (args.size() == 2 && args[0] == "completion") {
    made = CompletionText(&text);
  } else {
    std::fprintf(stderr,
                 "Usage: pkgtool_doc man OUT\n"
                 "       pkgtool_doc manifest MANIFEST.md OUT\n"
                 "       pkgtool_doc completion OUT\n");
    return 2;
  }
  if (!made) return 1;
  if (!pkgtool::WriteWholeFile(args.back(), text.data(), text.size(), &error)) {
    std::fprintf(stderr, "pkgtool_doc: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
