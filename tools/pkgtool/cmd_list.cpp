// pkgtool list: the header of a descriptor and a row per record.
#include <cinttypes>

#include "commands.h"
#include "manifest.h"
#include "media.h"

namespace pkgtool {
namespace {

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

int RunList(const Args& args, const Console& console) {
  if (args.positional.size() != 1) {
    return UsageError(console, kListCommand, "expected one DESCRIPTOR");
  }
  Media media;
  std::string error;
  if (!LoadMedia(args.positional[0], &media, &error)) {
    PrintError(console, error);
    return kExitFailure;
  }
  std::FILE* out = console.out;
  std::fprintf(out, "Kind:          %s\n",
               media.controlPanel ? "controlpanel" : "game");
  std::fprintf(out, "Program file:  %s\n", media.programFile.c_str());
  std::fprintf(out, "Title:         %s\n", media.title.c_str());
  std::fprintf(out, "Records:       %u\n", media.recordCount);
  std::fprintf(out, "RequiredKb:    %" PRIu32 "\n", media.requiredKb);
  std::fprintf(out, "Data volume:   %s\n", media.VolumeName().c_str());

  size_t nameWidth = 4;
  for (const MediaRecord& record : media.records) {
    if (record.name.size() > nameWidth) nameWidth = record.name.size();
  }
  const int width = static_cast<int>(nameWidth);
  std::fprintf(out, "\n%5s  %-17s %6s  %-*s  %-15s  %s\n", "#", "Flags", "Kb",
               width, "Name", "Version", "Chunks (disk:offset+length)");
  for (const MediaRecord& record : media.records) {
    std::string version =
        record.shared ? FormatVersion(record.versionMs, record.versionLs) : "-";
    std::fprintf(out, "%5u  %-17s %6u  %-*s  %-15s  %s\n", record.number,
                 FlagWords(record.flags).c_str(), record.sizeKb, width,
                 record.name.c_str(), version.c_str(),
                 ChunkText(record.chunks).c_str());
  }
  return kExitOk;
}

}  // namespace

const Command kListCommand = {
    "list",
    "show a descriptor's header and its records",
    "Usage: pkgtool list DESCRIPTOR\n"
    "\n"
    "Shows the package header (kind, program file, title, record count and\n"
    "RequiredKb as the installer computes it: the table's length in whole\n"
    "kilobytes plus every record's size) and one row per record: its flags,\n"
    "size in Kb, target name, version (shared files) and chunks as\n"
    "disk:offset+length.\n",
    {},
    RunList,
};

}  // namespace pkgtool
