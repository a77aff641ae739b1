// pkgtool verify: decodes every stream of a medium without writing and
// checks that each chunk lies inside its volume, each stream yields exactly
// its stated size and uses exactly its chunks, and that the files match
// the SHA-256 list beside the descriptor; the verdict says which of these
// it could check. A sizeKb the size does not fit is only a note.
#include "cli/commands.h"
#include "common/codepage.h"
#include "read/checksums.h"
#include "read/damage.h"
#include "read/media.h"
#include "read/media_sources.h"
#include "read/stream_session.h"
#include "stream/lzhuf.h"

namespace pkgtool {
namespace {

// The output writer's sink: counts and forgets, and moves the bar.
struct DiscardSink {
  ProgressBar* bar;
  uint64_t base;  // progress units of the records before this one
};

long Discard(void* context, const uint8_t* /*bytes*/, long count) {
  auto* sink = static_cast<DiscardSink*>(context);
  uint64_t within =
      Decoder.size == 0 ? 0 : uint64_t{Decoder.count} * 1000 / Decoder.size;
  sink->bar->Update(sink->base + (within > 1000 ? 1000 : within));
  return count;
}

// The closing line: the tally of problems (status 1), or what was checked
// and what could not be (status 0).
int Verdict(const Console& console, const std::string& path, size_t records,
            const ChecksumCheck& checksums, size_t causes, unsigned unchecked,
            unsigned streams, uint64_t decoded) {
  if (causes > 0) {
    std::string tally = path + ": " + std::to_string(causes) + " problem" +
                        (causes == 1 ? "" : "s");
    if (unchecked > 0) {
      tally += "; " + std::to_string(unchecked) + " record" +
               (unchecked == 1 ? "" : "s") + " on missing disks not checked";
    }
    PrintError(console, tally);
    return kExitFailure;
  }
  // What was checked, and what could not be.
  std::string contents =
      checksums.listPath.empty()
          ? "disk 1 has no " + std::string(kChecksumListName) +
                ", so contents were not compared (a changed bit that leaves "
                "every stream's parse as it was, such as one of the six "
                "position bits a match stores as they are, goes unseen)"
          : "every file matched " + std::string(kChecksumListName);
  std::fprintf(console.out,
               "%s: OK: %zu records, %u streams decoded, %llu bytes; every "
               "stream ended at its chunks' end; %s\n",
               path.c_str(), records, streams,
               static_cast<unsigned long long>(decoded), contents.c_str());
  return kExitOk;
}

int RunVerify(const Args& args, const Console& console) {
  if (args.positional.size() != 1) {
    return UsageError(console, kVerifyCommand, "expected one DESCRIPTOR");
  }
  unsigned codepage = kDefaultCodePage;
  int status = kExitOk;
  if (!CodePageOption(args, console, kVerifyCommand, &codepage, &status)) {
    return status;
  }
  // A directory or a floppy image stands for the descriptor in it.
  const std::string& path = args.positional[0];  // as messages name it
  MediaSources sources;
  Media media;
  if (!sources.Open(console, path, codepage, &media)) return kExitFailure;
  // What the scan notes is no fault of the media; a disk it leaves
  // without a volume shows in the chunks of the records that need it.
  const VolumeSet volumes = sources.Scan(console, media, args.Values("disk"));
  ChecksumCheck checksums = CheckChecksums(media, volumes);
  // A missing volume, or one that fails its checksum, is one problem, not
  // one per record on it; so is a volume whose every stream is damaged.
  const std::string prefix = path + ": ";
  DamageReport damage(media, volumes, checksums, prefix);
  std::vector<std::string> problems;  // every other record's, whole lines
  // What is worth knowing but no damage: a sizeKb another tool rounded.
  std::vector<std::string> notes;
  unsigned unchecked = 0;

  StreamSession session(media, volumes);
  if (!session.Ready()) {
    PrintError(console, "not enough memory for the stream buffers");
    return kExitFailure;
  }
  ProgressBar bar(console, uint64_t{1000} * media.records.size());
  unsigned streams = 0;
  uint64_t decoded = 0;
  for (const MediaRecord& record : media.records) {
    bar.SetLabel(record.utf8Name);
    bar.Update(uint64_t{1000} * (record.number - 1));
    std::string label = prefix + RecordLabel(record) + ": ";
    if (record.chunks.empty()) {
      if (!record.noInstall) {
        problems.push_back(label +
                           "has no stream, but the installer would install "
                           "it (it is not noInstall)");
      }
      continue;
    }
    if (damage.CountUnreadable(record)) {
      unchecked += NeedsMissingDisk(record, volumes) ? 1 : 0;
      continue;
    }
    std::vector<std::string> faults = ChunkProblems(record, volumes);
    if (!faults.empty()) {
      for (const std::string& fault : faults) problems.push_back(label + fault);
      continue;
    }
    DiscardSink sink{&bar, uint64_t{1000} * (record.number - 1)};
    StreamSession::Outcome outcome =
        session.Decode(record, Discard, &sink, "(verify)");
    ++streams;
    decoded += outcome.produced;
    const std::string fault = StreamFault(outcome);
    damage.Decoded(record, fault);
    if (fault.empty() && !SizeMatchesKb(outcome.produced, record.sizeKb)) {
      notes.push_back(
          SizeKbNote(path, "the stream yields", outcome.produced, record));
    }
  }
  bar.Finish();
  PrintErrors(console, notes);
  std::vector<std::string> lines = damage.OtherChecksumProblems();
  const size_t causes = lines.size() + damage.Causes() + problems.size();
  for (const std::string& line : damage.Lines(args.Has("verbose"))) {
    lines.push_back(line);
  }
  lines.insert(lines.end(), problems.begin(), problems.end());
  PrintErrors(console, lines);
  return Verdict(console, path, media.records.size(), checksums, causes,
                 unchecked, streams, decoded);
}

}  // namespace

const Command kVerifyCommand = {
    "verify",
    "decode every stream of a medium and check it, writing nothing",
    "Usage: pkgtool verify DESCRIPTOR [--disk DIR]... [--codepage N]\n"
    "\n"
    "DESCRIPTOR is disk 1's descriptor (SETUP.bin, found in any case), the\n"
    "directory that holds it or its floppy image (disk1.img).\n"
    "\n"
    "Decodes every record's stream through the installer's own volume\n"
    "reader and decoder, writing nothing, and checks that each chunk lies\n"
    "inside its volume, each stream yields exactly the size its prefix\n"
    "states and uses exactly its chunks: its last bit used lies in the last\n"
    "byte of its last chunk (every encoder ends a stream there; a stream\n"
    "that ends earlier or needs more is damaged, or a volume is from\n"
    "another build). When SHA256SUMS lies beside the descriptor (pkgtool\n"
    "build writes it), every file it lists must match it. The verdict says\n"
    "which: \"every file matched SHA256SUMS\", or that disk 1 has none, so\n"
    "contents were not compared: a changed bit that leaves every stream's\n"
    "parse as it was (one of the six position bits a match stores as they\n"
    "are) then goes unseen. A stream whose size does not fit its record's\n"
    "sizeKb is a note, not a problem: the installer only adds sizeKb up.\n"
    "\n"
    "The volumes are looked for beside the descriptor, in every --disk\n"
    "directory and in the directories beside the descriptor's own (disk1/,\n"
    "disk2/, ... or any names): a volume's disk number says which disk it\n"
    "is. Each problem is a line on standard error: a volume that is\n"
    "missing, fails its checksum or none of whose streams decodes soundly\n"
    "while others do (damaged, or from another build) is one line that\n"
    "says how many records it costs. The verdict when all hold is a line on\n"
    "standard output; both verdicts are exit status 0.\n"
    "\n"
    "Options:\n"
    "  --disk DIR    another disk: its directory, its image, or a directory\n"
    "                of images (repeatable)\n"
    "  --codepage N  the code page of the names (default 1252)\n"
    "  -v, --verbose also list each record that a missing or damaged volume\n"
    "                costs, below the volume's line\n"
    "  -q, --quiet   no progress bar\n"
    "\n"
    "Exit status: 0 every check holds, 1 a problem, 2 usage error.\n"
    "\n"
    "Examples:\n"
    "  Check media kept as floppy images, disk1.img beside disk2.img:\n"
    "    pkgtool verify media/disk1.img\n",
    {{"disk", 0, true}, {"codepage", 0, true}, {"verbose", 'v', false}},
    RunVerify,
};

}  // namespace pkgtool
