// pkgtool list: the header of a descriptor and a row per record, with each
// file's exact size read from its stream's size prefix, as a table that
// fits the terminal or as JSON.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdlib>

#include "cli/commands.h"
#include "common/codepage.h"
#include "install/run.h"
#include "manifest/manifest.h"
#include "read/media.h"
#include "read/media_sources.h"
#include "read/selection.h"
#include "read/stream_sizes.h"

namespace pkgtool {
namespace {

// What a row of the listing says of one record.
struct Row {
  const MediaRecord* record = nullptr;
  bool sizeKnown = false;  // the size prefix was read
  uint32_t size = 0;
  uint64_t stored = 0;          // the sum of its chunks' lengths
  std::vector<uint16_t> disks;  // those its chunks lie on, ascending
};

std::vector<uint16_t> DisksOf(const MediaRecord& record) {
  std::vector<uint16_t> disks;
  for (const ChunkEntry& chunk : record.chunks) disks.push_back(chunk.disk);
  std::sort(disks.begin(), disks.end());
  disks.erase(std::unique(disks.begin(), disks.end()), disks.end());
  return disks;
}

// Ascending disk numbers as "1", "2-3", "1,3" or "1-3,5"; "-" for none.
std::string DiskRanges(const std::vector<uint16_t>& disks) {
  if (disks.empty()) return "-";
  std::string text;
  for (size_t i = 0; i < disks.size();) {
    size_t last = i;
    while (last + 1 < disks.size() && disks[last + 1] == disks[last] + 1) {
      ++last;
    }
    if (!text.empty()) text += ",";
    text += std::to_string(disks[i]);
    if (last > i) text += "-" + std::to_string(disks[last]);
    i = last + 1;
  }
  return text;
}

std::string ChunkText(const std::vector<ChunkEntry>& chunks) {
  if (chunks.empty()) return "-";
  std::string text;
  for (const ChunkEntry& chunk : chunks) {
    if (!text.empty()) text += " ";
    text += std::to_string(chunk.disk) + ":" + std::to_string(chunk.offset) +
            "+" + std::to_string(chunk.length);
  }
  return text;
}

std::vector<Row> ChosenRows(const Media& media, const VolumeSet& volumes,
                            Selection* selection) {
  std::vector<Row> rows;
  for (const MediaRecord& record : media.records) {
    if (!selection->Chooses(record.utf8Name)) continue;
    Row row;
    row.record = &record;
    row.sizeKnown = ReadStreamSize(record, volumes, &row.size);
    for (const ChunkEntry& chunk : record.chunks) row.stored += chunk.length;
    row.disks = DisksOf(record);
    rows.push_back(std::move(row));
  }
  return rows;
}

// The columns the table must fit in: the terminal's width when out is a
// terminal, else COLUMNS when set; 0 when no width applies.
size_t OutputWidth(std::FILE* out) {
  int fd = fileno(out);
  winsize size{};
  if (fd >= 0 && isatty(fd) == 1 && ioctl(fd, TIOCGWINSZ, &size) == 0 &&
      size.ws_col > 0) {
    return size.ws_col;
  }
  const char* columns = std::getenv("COLUMNS");
  if (columns == nullptr) return 0;
  char* end = nullptr;
  unsigned long value = std::strtoul(columns, &end, 10);
  return end != columns && *end == '\0' ? value : 0;
}

bool StartsCharacter(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

// The name as the table shows it: control characters as '?' and, when it
// has more than limit characters (limit > 0), its middle replaced by "...",
// keeping more of the end, where the file's own name is.
std::string ShownName(const std::string& name, size_t limit) {
  std::string shown = name;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  std::vector<size_t> starts;  // of each character
  for (size_t i = 0; i < shown.size(); ++i) {
    if (StartsCharacter(shown[i])) starts.push_back(i);
  }
  // The width is kept whatever room is left (down to "a...b": a row
  // cannot be narrower than the other columns anyway).
  constexpr size_t kShortest = 5;
  if (limit != 0 && limit < kShortest) limit = kShortest;
  if (limit == 0 || starts.size() <= limit) return shown;
  size_t head = (limit - 3) / 2;
  size_t tail = limit - 3 - head;
  return shown.substr(0, starts[head]) + "..." +
         shown.substr(starts[starts.size() - tail]);
}

void PrintHeader(std::FILE* out, const Media& media, const VolumeSet& volumes) {
  std::fprintf(out, "Kind:          %s\n",
               media.controlPanel ? "controlpanel" : "game");
  std::fprintf(out, "Program file:  %s\n", media.utf8ProgramFile.c_str());
  std::fprintf(out, "Title:         %s\n", media.utf8Title.c_str());
  std::fprintf(out, "Records:       %u\n", media.recordCount);
  std::fprintf(out, "RequiredKb:    %" PRIu32 "\n", media.requiredKb);
  std::fprintf(out, "Data volume:   %s\n",
               DecodeText(media.VolumeName(), media.codepage).c_str());
  std::vector<uint16_t> found, missing;
  for (const MediaRecord& record : media.records) {
    for (uint16_t disk : DisksOf(record)) {
      (volumes.Find(disk) != nullptr ? found : missing).push_back(disk);
    }
  }
  for (std::vector<uint16_t>* disks : {&found, &missing}) {
    std::sort(disks->begin(), disks->end());
    disks->erase(std::unique(disks->begin(), disks->end()), disks->end());
  }
  unsigned count = 0;
  if (!found.empty()) count = found.back();
  if (!missing.empty()) count = std::max<unsigned>(count, missing.back());
  std::fprintf(out, "Disks:         %u", count);
  if (count > 0) {
    std::fprintf(out, " (volumes found: %s",
                 found.empty() ? "none" : DiskRanges(found).c_str());
    if (!missing.empty()) {
      std::fprintf(out, "; missing: %s", DiskRanges(missing).c_str());
    }
    std::fprintf(out, ")");
  }
  std::fprintf(out, "\n");
}

constexpr size_t kFixedColumns = 6;
constexpr std::array<const char*, kFixedColumns> kTitles = {
    "#", "Size", "Stored", "Disks", "Flags", "Version"};
constexpr std::array<bool, kFixedColumns> kRightAligned = {true,  true,  true,
                                                           false, false, false};

std::array<std::string, kFixedColumns> Cells(const Row& row) {
  const MediaRecord& record = *row.record;
  std::string size = record.chunks.empty() ? "-"
                     : row.sizeKnown       ? std::to_string(row.size)
                                           : "?";
  return {
      std::to_string(record.number),
      size,
      std::to_string(row.stored),
      DiskRanges(row.disks),
      FlagWords(record.flags),
      record.shared ? FormatVersion(record.versionMs, record.versionLs) : "-"};
}

void PrintLine(std::FILE* out,
               const std::array<std::string, kFixedColumns>& cells,
               const std::array<size_t, kFixedColumns>& widths,
               const std::string& name) {
  for (size_t i = 0; i < kFixedColumns; ++i) {
    std::fprintf(out, kRightAligned[i] ? "%*s  " : "%-*s  ",
                 static_cast<int>(widths[i]), cells[i].c_str());
  }
  std::fprintf(out, "%s\n", name.c_str());
}

void PrintTable(std::FILE* out, const std::vector<Row>& rows, size_t width,
                bool chunks) {
  std::vector<std::array<std::string, kFixedColumns>> cells;
  std::array<size_t, kFixedColumns> widths{};
  std::array<std::string, kFixedColumns> titles;
  for (size_t i = 0; i < kFixedColumns; ++i) {
    titles[i] = kTitles[i];
    widths[i] = titles[i].size();
  }
  for (const Row& row : rows) {
    cells.push_back(Cells(row));
    for (size_t i = 0; i < kFixedColumns; ++i) {
      widths[i] = std::max(widths[i], cells.back()[i].size());
    }
  }
  size_t fixed = 0;
  for (size_t w : widths) fixed += w + 2;
  // With a width, the name gets what the other columns leave of it.
  size_t limit = width == 0 ? 0 : width > fixed ? width - fixed : 1;
  std::fprintf(out, "\n");
  PrintLine(out, titles, widths, "Name");
  for (size_t i = 0; i < rows.size(); ++i) {
    PrintLine(out, cells[i], widths,
              ShownName(rows[i].record->utf8Name, limit));
    if (chunks) {
      std::fprintf(out, "%*schunks %s\n", static_cast<int>(widths[0] + 2), "",
                   ChunkText(rows[i].record->chunks).c_str());
    }
  }
}

void PrintTotals(std::FILE* out, const std::vector<Row>& rows) {
  uint64_t bytes = 0, stored = 0;
  size_t unknown = 0;
  for (const Row& row : rows) {
    stored += row.stored;
    if (row.sizeKnown) {
      bytes += row.size;
    } else if (!row.record->chunks.empty()) {
      ++unknown;
    }
  }
  std::fprintf(out, "\nTotal: %zu file%s, %" PRIu64 " bytes", rows.size(),
               rows.size() == 1 ? "" : "s", bytes);
  if (unknown > 0) std::fprintf(out, " and %zu of unknown size", unknown);
  std::fprintf(out, ", %" PRIu64 " stored", stored);
  if (unknown == 0 && bytes > 0) {
    std::fprintf(
        out, " (%.1f%%)",
        100.0 * static_cast<double>(stored) / static_cast<double>(bytes));
  }
  std::fprintf(out, "\n");
}

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      json += escape;
    } else {
      json += c;
    }
  }
  return json + "\"";
}

std::string JsonFlags(uint16_t flags) {
  std::vector<std::string> words;
  if (flags & kFlagNoInstall) words.push_back("\"noInstall\"");
  if (flags & kFlagsShared) words.push_back("\"shared\"");
  unsigned other =
      flags & ~static_cast<unsigned>(kFlagNoInstall | kFlagsShared);
  for (unsigned bit = 1; bit <= 0x8000; bit <<= 1) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "\"0x%x\"", bit);
    if (other & bit) words.push_back(hex);
  }
  std::string json = "[";
  for (size_t i = 0; i < words.size(); ++i) {
    json += (i > 0 ? ", " : "") + words[i];
  }
  return json + "]";
}

void PrintJson(std::FILE* out, const std::vector<Row>& rows) {
  std::fprintf(out, "[");
  for (size_t i = 0; i < rows.size(); ++i) {
    const MediaRecord& record = *rows[i].record;
    std::string disks, chunks;
    for (uint16_t disk : rows[i].disks) {
      disks += (disks.empty() ? "" : ", ") + std::to_string(disk);
    }
    for (const ChunkEntry& chunk : record.chunks) {
      chunks += std::string(chunks.empty() ? "" : ", ") +
                "{\"disk\": " + std::to_string(chunk.disk) +
                ", \"offset\": " + std::to_string(chunk.offset) +
                ", \"length\": " + std::to_string(chunk.length) + "}";
    }
    std::string size =
        rows[i].sizeKnown ? std::to_string(rows[i].size) : "null";
    std::string version =
        record.shared
            ? JsonString(FormatVersion(record.versionMs, record.versionLs))
            : "null";
    std::fprintf(out,
                 "%s\n  {\"number\": %u, \"name\": %s, \"size\": %s, "
                 "\"stored\": %" PRIu64
                 ", \"disks\": [%s], \"flags\": %s, \"version\": %s, "
                 "\"sizeKb\": %u, \"chunks\": [%s]}",
                 i > 0 ? "," : "", record.number,
                 JsonString(record.utf8Name).c_str(), size.c_str(),
                 rows[i].stored, disks.c_str(), JsonFlags(record.flags).c_str(),
                 version.c_str(), record.sizeKb, chunks.c_str());
  }
  std::fprintf(out, "%s]\n", rows.empty() ? "" : "\n");
}

int RunList(const Args& args, const Console& console) {
  if (args.positional.empty()) {
    return UsageError(console, kListCommand, "expected a DESCRIPTOR");
  }
  unsigned codepage = kDefaultCodePage;
  int exitCode = kExitOk;
  if (!CodePageOption(args, console, kListCommand, &codepage, &exitCode)) {
    return exitCode;
  }
  // A directory or a floppy image stands for the descriptor in it.
  const std::string& path = args.positional[0];  // as messages name it
  MediaSources sources;
  Media media;
  if (!sources.Open(console, path, codepage, &media)) return kExitFailure;
  const VolumeSet volumes = sources.Scan(console, media, args.Values("disk"));
  for (const std::string& line : MissingDisks(media, volumes)) {
    PrintError(console, line);
  }
  Selection selection(std::vector<std::string>(args.positional.begin() + 1,
                                               args.positional.end()));
  std::vector<Row> rows = ChosenRows(media, volumes, &selection);
  if (args.Has("reading-order")) {
    // Pass 1, pass 2, then what neither reads, each in table order.
    auto rank = [](const Row& row) {
      const int pass = ReadingPass(row.record->flags, row.record->name.c_str());
      return pass == 0 ? 3 : pass;
    };
    std::stable_sort(
        rows.begin(), rows.end(),
        [&rank](const Row& a, const Row& b) { return rank(a) < rank(b); });
  }
  if (args.Has("json")) {
    PrintJson(console.out, rows);
  } else {
    PrintHeader(console.out, media, volumes);
    PrintTable(console.out, rows, OutputWidth(console.out), args.Has("chunks"));
    PrintTotals(console.out, rows);
  }
  // A sizeKb that another tool rounded otherwise is worth a note: it is
  // what the installer's space check adds up, and nothing more.
  for (const Row& row : rows) {
    if (row.sizeKnown && !SizeMatchesKb(row.size, row.record->sizeKb)) {
      PrintError(console, SizeKbNote(path, "its size prefix states", row.size,
                                     *row.record));
    }
  }
  std::vector<std::string> unmatched = selection.Unmatched();
  for (const std::string& pattern : unmatched) {
    PrintError(console, "pattern \"" + pattern + "\" matches no file");
  }
  return unmatched.empty() ? kExitOk : kExitFailure;
}

}  // namespace

const Command kListCommand = {
    "list",
    "show a descriptor's header and its files with their sizes",
    "Usage: pkgtool list DESCRIPTOR [PATTERN...] [--disk DIR]... [--json]\n"
    "                    [--chunks] [--reading-order] [--codepage N]\n"
    "\n"
    "DESCRIPTOR is disk 1's descriptor (SETUP.bin, found in any case), the\n"
    "directory that holds it or its floppy image (disk1.img).\n"
    "\n"
    "Shows the package header (kind, program file, title, record count,\n"
    "RequiredKb as the installer computes it: the table's length in whole\n"
    "kilobytes plus every record's size, the data volume's name and the\n"
    "disks whose volumes were found), a row per record and the totals\n"
    "(files, bytes, bytes stored and how much of the size that is).\n"
    "The columns:\n"
    "  #        the record's number in the descriptor\n"
    "  Size     the file's exact size in bytes, as its stream's size prefix\n"
    "           states it; \"-\" for a record without a stream, \"?\" when "
    "the\n"
    "           volume holding the prefix is missing or too short\n"
    "  Stored   the bytes its chunks take in the volumes\n"
    "  Disks    the disks its chunks lie on (\"1\", \"2-3\", \"1,3\")\n"
    "  Flags    shared, noInstall or ordinary, and any other bits set\n"
    "  Version  a shared file's version; \"-\" for the others\n"
    "  Name     the target name; shortened in the middle with \"...\" to fit\n"
    "           the terminal's width (COLUMNS when the output is no\n"
    "           terminal; without either, names are never cut)\n"
    "\n"
    "PATTERNs choose the records shown: shell-style ('*', '?', '[...]'),\n"
    "compared with the target name without regard to case (as build\n"
    "compares names, beyond ASCII too), '/' standing for '\\', '*' crossing\n"
    "'\\'. Volumes are looked for in the descriptor's directory, in every\n"
    "--disk directory and then in the directories beside the descriptor's;\n"
    "each disk missing is reported on stderr, and so is, as a note, a\n"
    "file whose size does not fit its record's sizeKb (the installer only\n"
    "adds sizeKb up for its space check).\n"
    "\n"
    "Options:\n"
    "  --disk DIR     another disk: its directory, its image, or a\n"
    "                 directory of images (repeatable)\n"
    "  --json         print only a JSON array of the chosen records, each\n"
    "                 with number, name, size (null when not read), stored,\n"
    "                 disks, flags, version (null unless shared), sizeKb and\n"
    "                 chunks ({disk, offset, length})\n"
    "  --chunks       show each record's chunks as disk:offset+length on a\n"
    "                 line below its row\n"
    "  --reading-order\n"
    "                 the rows in the order the installer reads the\n"
    "                 streams (shared files, then ordinary ones, then what\n"
    "                 it never reads) instead of the descriptor's\n"
    "  --codepage N   the Windows code page of the descriptor's names and\n"
    "                 title (default 1252)\n"
    "  -q, --quiet    no progress bar\n"
    "\n"
    "Exit status: 0 when the descriptor was read, even with disks missing;\n"
    "1 when it cannot be read or a PATTERN matches no record;\n"
    "2 usage error.\n"
    "\n"
    "Examples:\n"
    "  The files of the media in the order the installer reads them:\n"
    "    pkgtool list quest/disk1 --reading-order\n",
    {{"disk", 0, true},
     {"json", 0, false},
     {"chunks", 0, false},
     {"reading-order", 0, false},
     {"codepage", 0, true}},
    RunList,
};

}  // namespace pkgtool
