// Reading a help text; see help_text.h.
#include "doc/help_text.h"

#include <algorithm>
#include <map>

namespace pkgtool_doc {
namespace {

using Lines = std::vector<std::string>;

constexpr char kUsage[] = "Usage: ";
constexpr char kExitStatus[] = "Exit status: ";

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

size_t Indent(const std::string& line) {
  const size_t first = line.find_first_not_of(' ');
  return first == std::string::npos ? line.size() : first;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Lines joined into one text, a space between them.
std::string Join(const Lines& lines, size_t from, size_t to) {
  std::string text;
  for (size_t i = from; i < to; ++i) {
    if (!text.empty()) text += ' ';
    text += Trim(lines[i]);
  }
  return text;
}

// The column where the texts of a tagged list start: the most common one
// after a gap of two spaces behind a tag.
size_t TextColumn(const Lines& lines) {
  std::map<size_t, int> seen;
  for (const std::string& line : lines) {
    if (Indent(line) != 2) continue;
    const size_t gap = line.find("  ", 2);
    if (gap == std::string::npos) continue;
    const size_t text = line.find_first_not_of(' ', gap);
    if (text != std::string::npos) ++seen[text];
  }
  size_t column = 0;
  int most = 0;
  for (const auto& count : seen) {
    if (count.second > most) {
      column = count.first;
      most = count.second;
    }
  }
  return column;
}

// A tagged list: an item starts at a line indented by two spaces, its text
// after the tag or on the lines indented deeper below it.
std::vector<Entry> ParseEntries(const Lines& lines) {
  const size_t column = TextColumn(lines);
  std::vector<Entry> entries;
  for (const std::string& line : lines) {
    if (Indent(line) > 2 && !entries.empty()) {
      Entry& last = entries.back();
      last.text += (last.text.empty() ? "" : " ") + Trim(line);
      continue;
    }
    size_t split = std::string::npos;
    if (column > 2 && line.size() > column && line[column - 1] == ' ' &&
        line[column] != ' ' && line.find_first_not_of(' ', 2) < column) {
      split = column;
    } else if (line.find("  ", 2) != std::string::npos) {
      split = line.find_first_not_of(' ', line.find("  ", 2));
    }
    if (split == std::string::npos) {
      entries.push_back({Trim(line), ""});
    } else {
      entries.push_back(
          {Trim(line.substr(0, split)), Trim(line.substr(split))});
    }
  }
  return entries;
}

void ParseExamples(const Lines& lines, size_t from,
                   std::vector<Example>* examples) {
  for (size_t i = from; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (Indent(line) >= 4 && !examples->empty()) {
      examples->back().commands.push_back(line.substr(4));
    } else if (examples->empty() || !examples->back().commands.empty()) {
      examples->push_back({Trim(line), {}});
    } else {
      examples->back().text += " " + Trim(line);
    }
  }
}

// A paragraph of the description: its runs of plain lines and of indented
// ones; an "Exit status: " line ends it.
void ParseParagraph(const Lines& lines, HelpPage* page) {
  size_t i = 0;
  while (i < lines.size()) {
    if (StartsWith(lines[i], kExitStatus)) {
      page->exitStatus =
          Join(lines, i, lines.size()).substr(sizeof kExitStatus - 1);
      return;
    }
    size_t end = i;
    const bool indented = Indent(lines[i]) > 0;
    while (end < lines.size() && (Indent(lines[end]) > 0) == indented &&
           !StartsWith(lines[end], kExitStatus)) {
      ++end;
    }
    Block block;
    if (indented) {
      block.entries =
          ParseEntries(Lines(lines.begin() + i, lines.begin() + end));
    } else {
      block.text = Join(lines, i, end);
    }
    page->description.push_back(block);
    i = end;
  }
}

}  // namespace

HelpPage ParseHelp(const std::string& text) {
  Lines lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  HelpPage page;
  size_t i = 0;
  const size_t usage = sizeof kUsage - 1;
  for (; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const bool goesOn = i > 0 && Indent(line) > 0 && Indent(line) < line.size();
    if (!StartsWith(line, kUsage) && !goesOn) break;
    page.synopsis.push_back(
        line.substr(goesOn ? std::min(usage, Indent(line)) : usage));
  }
  bool inExamples = false;
  while (i < lines.size()) {
    if (lines[i].empty()) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < lines.size() && !lines[end].empty()) ++end;
    const Lines paragraph(lines.begin() + i, lines.begin() + end);
    if (paragraph[0] == "Options:") {
      const Lines items(paragraph.begin() + 1, paragraph.end());
      page.options = ParseEntries(items);
    } else if (paragraph[0] == "Commands:") {
      page.commands =
          ParseEntries(Lines(paragraph.begin() + 1, paragraph.end()));
    } else if (paragraph[0] == "Examples:" || inExamples) {
      inExamples = true;
      ParseExamples(paragraph, paragraph[0] == "Examples:" ? 1 : 0,
                    &page.examples);
    } else {
      ParseParagraph(paragraph, &page);
    }
    i = end;
  }
  return page;
}

}  // namespace pkgtool_doc
