// pkgtool(1); see man_page.h.
#include "doc/man_page.h"

#include "doc/help_text.h"
#include "doc/roff.h"

namespace pkgtool_doc {
namespace {

void Entries(const std::vector<Entry>& entries, std::string* out) {
  for (const Entry& entry : entries) {
    *out += ".TP\n" + RoffTag(entry.tag) + "\n";
    if (!entry.text.empty()) *out += RoffText(entry.text) + "\n";
  }
}

void Lines(const std::vector<std::string>& lines, std::string* out) {
  *out += ".nf\n";
  for (const std::string& line : lines) *out += RoffLiteral(line) + "\n";
  *out += ".fi\n";
}

void Description(const std::vector<Block>& blocks, std::string* out) {
  for (const Block& block : blocks) {
    if (block.entries.empty()) {
      *out += ".PP\n" + RoffText(block.text) + "\n";
    } else {
      Entries(block.entries, out);
    }
  }
}

// A bold heading inside a command's part of the page.
void Heading(const char* title, std::string* out) {
  *out += ".PP\n.B " + std::string(title) + "\n";
}

void Command(const CommandText& command, std::string* out) {
  const HelpPage page = ParseHelp(command.help);
  std::string summary = command.summary;
  if (!summary.empty()) summary[0] = static_cast<char>(toupper(summary[0]));
  *out += ".SS " + command.name + "\n" + RoffText(summary + ".") + "\n.PP\n";
  Lines(page.synopsis, out);
  Description(page.description, out);
  if (!page.options.empty()) {
    Heading("Options:", out);
    Entries(page.options, out);
  }
  if (!page.exitStatus.empty()) {
    Heading("Exit status:", out);
    *out += RoffText(page.exitStatus) + "\n";
  }
  if (!page.examples.empty()) Heading("Examples:", out);
  for (const Example& example : page.examples) {
    *out += ".PP\n" + RoffText(example.text) + "\n.RS 4\n";
    Lines(example.commands, out);
    *out += ".RE\n";
  }
}

}  // namespace

std::string ManPage(const std::string& overview,
                    const std::vector<CommandText>& commands,
                    const std::string& version) {
  const HelpPage page = ParseHelp(overview);
  std::string name = page.description.empty() ? "" : page.description[0].text;
  if (!name.empty()) name[0] = static_cast<char>(tolower(name[0]));
  if (!name.empty() && name.back() == '.') name.pop_back();
  std::string out =
      ".\\\" pkgtool(1), made by pkgtool_doc from pkgtool's help texts.\n"
      ".TH PKGTOOL 1 \"\" \"pkgtool " +
      version +
      "\" \"User Commands\"\n.nh\n.ad l\n"
      ".SH NAME\npkgtool \\- " +
      RoffText(name) + "\n.SH SYNOPSIS\n";
  Lines(page.synopsis, &out);
  out += ".SH DESCRIPTION\n";
  Description(page.description, &out);
  if (!page.options.empty()) {
    out += ".SH OPTIONS\n";
    Entries(page.options, &out);
  }
  out += ".SH COMMANDS\n";
  for (const CommandText& command : commands) Command(command, &out);
  out += ".SH EXIT STATUS\n" + RoffText(page.exitStatus) + "\n";
  out +=
      ".SH FILES\n"
      ".TP\n.I /usr/share/pkgtool/setup.exe\n"
      "The installer that \\fBbuild\\fR puts on disk 1 without "
      "\\fB\\-\\-installer\\fR.\n"
      ".TP\n.I /usr/share/pkgtool/uninstal.exe\n"
      "The uninstaller, for the \\fBuninstal.exe\\fR line of a manifest.\n"
      ".TP\n.I /usr/share/pkgtool/sample/\n"
      "The bundled sample product: \\fBquest.manifest\\fR and its files "
      "(see the first example of \\fBbuild\\fR).\n"
      ".SH SEE ALSO\n"
      ".BR pkgtool\\-manifest (5),\n"
      ".BR mtools (1)\n";
  return out;
}

}  // namespace pkgtool_doc
