// pkgtool-manifest(5) from MANIFEST.md; see manifest_page.h.
#include "doc/manifest_page.h"

#include <vector>

#include "doc/roff.h"

namespace pkgtool_doc {
namespace {

using Lines = std::vector<std::string>;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Inline Markdown: `code` and **bold** in bold, the rest running text.
std::string Inline(const std::string& text) {
  std::string out, plain;
  auto flush = [&]() {
    out += RoffText(plain);
    plain.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const bool code = text[i] == '`';
    const bool bold = text.compare(i, 2, "**") == 0;
    const std::string mark = code ? "`" : "**";
    const size_t end =
        code || bold ? text.find(mark, i + mark.size()) : std::string::npos;
    if (end == std::string::npos) {
      plain += text[i];
      continue;
    }
    flush();
    const std::string inner =
        text.substr(i + mark.size(), end - i - mark.size());
    out += "\\fB" + (code ? RoffLiteral(inner) : Inline(inner)) + "\\fR";
    i = end + mark.size() - 1;
  }
  flush();
  // A leading dot or quote only matters at the start of the line.
  return out;
}

// The cells of a table row, split at the bars outside `code`.
Lines Cells(const std::string& row) {
  Lines cells;
  std::string cell;
  bool code = false;
  for (size_t i = 1; i < row.size(); ++i) {
    if (row[i] == '`') code = !code;
    if (row[i] == '|' && !code) {
      cells.push_back(Trim(cell));
      cell.clear();
    } else {
      cell += row[i];
    }
  }
  return cells;
}

// A table through tbl: a bold header row, every cell a text block.
void Table(const Lines& rows, std::string* out) {
  const size_t columns = Cells(rows[0]).size();
  std::string header, body;
  for (size_t c = 0; c < columns; ++c) {
    header += c ? " lb" : "lb";
    body += c + 1 == columns ? " lx" : (c ? " l" : "l");
  }
  *out += ".PP\n.TS\nallbox tab(\t);\n" + header + "\n" + body + ".\n";
  for (size_t r = 0; r < rows.size(); ++r) {
    if (r == 1) continue;  // the |---| line
    const Lines cells = Cells(rows[r]);
    for (size_t c = 0; c < columns; ++c) {
      *out += (c ? "\t" : "") + std::string("T{\n") +
              Inline(c < cells.size() ? cells[c] : "") + "\nT}";
    }
    *out += "\n";
  }
  *out += ".TE\n";
}

// The block that starts at lines[*i]: a heading, fenced code, a table, a
// list item or a paragraph; *i moves past it.
void Block(const Lines& lines, size_t* i, std::string* out) {
  const std::string& line = lines[*i];
  size_t end = *i + 1;
  if (StartsWith(line, "## ") || StartsWith(line, "### ")) {
    const bool sub = StartsWith(line, "### ");
    *out +=
        (sub ? ".SS \"" : ".SH \"") + Inline(line.substr(sub ? 4 : 3)) + "\"\n";
  } else if (StartsWith(line, "```")) {
    while (end < lines.size() && !StartsWith(lines[end], "```")) ++end;
    *out += ".PP\n.RS 4\n.nf\n";
    for (size_t k = *i + 1; k < end; ++k) *out += RoffLiteral(lines[k]) + "\n";
    *out += ".fi\n.RE\n";
    ++end;
  } else if (StartsWith(line, "|")) {
    while (end < lines.size() && StartsWith(lines[end], "|")) ++end;
    Table(Lines(lines.begin() + *i, lines.begin() + end), out);
  } else {
    const bool item = StartsWith(line, "- ");
    std::string text = Trim(item ? line.substr(2) : line);
    while (end < lines.size() && !Trim(lines[end]).empty() &&
           !StartsWith(lines[end], "- ") && !StartsWith(lines[end], "#") &&
           !StartsWith(lines[end], "```") && !StartsWith(lines[end], "|")) {
      text += " " + Trim(lines[end++]);
    }
    *out += (item ? ".IP \\(bu 2\n" : ".PP\n") + Inline(text) + "\n";
  }
  *i = end;
}

}  // namespace

std::string ManifestPage(const std::string& markdown,
                         const std::string& version) {
  Lines lines;
  for (size_t at = 0; at < markdown.size();) {
    size_t end = markdown.find('\n', at);
    if (end == std::string::npos) end = markdown.size();
    lines.push_back(markdown.substr(at, end - at));
    at = end + 1;
  }
  std::string out =
      "'\\\" t\n"
      ".\\\" pkgtool-manifest(5), made by pkgtool_doc from MANIFEST.md.\n"
      ".TH PKGTOOL\\-MANIFEST 5 \"\" \"pkgtool " +
      version +
      "\" \"File Formats\"\n.nh\n.ad l\n"
      ".SH NAME\n"
      "pkgtool\\-manifest \\- the package manifest that pkgtool build makes "
      "media from\n"
      ".SH DESCRIPTION\n";
  size_t i = 0;
  while (i < lines.size()) {
    if (Trim(lines[i]).empty() || StartsWith(lines[i], "# ")) {
      ++i;  // the title is the NAME above
    } else {
      Block(lines, &i, &out);
    }
  }
  out += ".SH SEE ALSO\n.BR pkgtool (1)\n";
  return out;
}

}  // namespace pkgtool_doc
