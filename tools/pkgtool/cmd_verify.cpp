// pkgtool verify: decodes every stream of a medium without writing and
// checks that each chunk lies inside its volume, each stream yields exactly
// its stated size and that size fits the record's sizeKb, and that the
// descriptor and volumes match the SHA-256 list beside the descriptor.
#include "checksums.h"
#include "commands.h"
#include "media.h"
#include "stream/lzhuf.h"
#include "stream_session.h"

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

int RunVerify(const Args& args, const Console& console) {
  if (args.positional.size() != 1) {
    return UsageError(console, kVerifyCommand, "expected one DESCRIPTOR");
  }
  const std::string& path = args.positional[0];
  Media media;
  std::string error;
  if (!LoadMedia(path, &media, &error)) {
    PrintError(console, error);
    return kExitFailure;
  }
  // What the scan notes is no fault of the media; a disk it leaves
  // without a volume shows in the chunks of the records that need it.
  const VolumeSet volumes =
      ScanVolumes(console, path, args.Values("disk"), media.VolumeName());
  ChecksumCheck checksums = CheckChecksums(media, volumes);
  std::vector<std::string> problems = checksums.problems;

  StreamSession session(media, volumes);
  if (!session.Ready()) {
    PrintError(console, "not enough memory for the stream buffers");
    return kExitFailure;
  }
  ProgressBar bar(console, uint64_t{1000} * media.records.size());
  unsigned streams = 0;
  uint64_t decoded = 0;
  for (const MediaRecord& record : media.records) {
    bar.SetLabel(record.name);
    bar.Update(uint64_t{1000} * (record.number - 1));
    std::string label = RecordLabel(record) + ": ";
    if (record.chunks.empty()) {
      if (!record.noInstall) {
        problems.push_back(label +
                           "has no stream, but the installer would install "
                           "it (it is not noInstall)");
      }
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
    if (outcome.result != kResultOk) {
      if (outcome.problems.empty()) {
        problems.push_back(label +
                           "the stream ends inside its 4-byte size prefix");
      }
      for (const std::string& problem : outcome.problems) {
        problems.push_back(label + problem);
      }
    } else if (outcome.produced != outcome.statedSize) {
      problems.push_back(
          label + "the stream yields " + std::to_string(outcome.produced) +
          " bytes, its size prefix says " + std::to_string(outcome.statedSize));
    } else if (!SizeMatchesKb(outcome.produced, record.sizeKb)) {
      problems.push_back(label + SizeKbProblem(outcome.produced, record));
    }
  }
  bar.Finish();
  for (const std::string& problem : problems) {
    std::fprintf(console.out, "%s: %s\n", path.c_str(), problem.c_str());
  }
  if (!problems.empty()) {
    std::fprintf(console.out, "%s: %zu problem%s\n", path.c_str(),
                 problems.size(), problems.size() == 1 ? "" : "s");
    return kExitFailure;
  }
  std::fprintf(console.out,
               "%s: OK: %zu records, %u streams decoded, %llu bytes\n",
               path.c_str(), media.records.size(), streams,
               static_cast<unsigned long long>(decoded));
  return kExitOk;
}

}  // namespace

const Command kVerifyCommand = {
    "verify",
    "decode every stream of a medium and check it, writing nothing",
    "Usage: pkgtool verify DESCRIPTOR [--disk DIR]...\n"
    "\n"
    "Decodes every record's stream through the installer's own volume\n"
    "reader and decoder, writing nothing, and checks that each chunk lies\n"
    "inside its volume, each stream yields exactly the size its prefix\n"
    "states and that size matches the record's sizeKb. When SHA256SUMS lies\n"
    "beside the descriptor (pkgtool build writes it), the descriptor and\n"
    "every volume read must match it. Volumes are looked for in the "
    "descriptor's directory and in\n"
    "every --disk directory, in any order: a volume's disk number says which\n"
    "disk it is. Prints a line per problem; exits 0 only when all hold.\n"
    "\n"
    "Options:\n"
    "  --disk DIR   another directory holding a disk's volume (repeatable)\n"
    "  -q, --quiet  no progress bar\n",
    {{"disk", 0, true}},
    RunVerify,
};

}  // namespace pkgtool
