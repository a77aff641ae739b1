// pkgtool extract: writes every record that has a stream into a directory,
// through the installer's own volume reader, decoder and output writer.
#include <unistd.h>

#include "checksums.h"
#include "commands.h"
#include "host_files.h"
#include "interrupt.h"
#include "media.h"
#include "platform/host/host_control.h"
#include "stream/lzhuf.h"
#include "stream_session.h"
#include "target_name.h"

namespace pkgtool {
namespace {

// Drive letter that stands for the destination directory.
constexpr char kDestDrive = 'X';

// The output writer's platform write, to the open target file, moving the
// bar as the output grows.
struct FileSink {
  plat::HFile file;
  ProgressBar* bar;
  uint64_t base;  // bytes of the records before this one
  uint64_t written = 0;
};

long WriteToFile(void* context, const uint8_t* bytes, long count) {
  auto* sink = static_cast<FileSink*>(context);
  long n = plat::lwrite(sink->file, bytes, count);
  if (n > 0) {
    sink->written += static_cast<uint64_t>(n);
    sink->bar->Update(sink->base + sink->written);
  }
  return n;
}

// Creates the directories of components[0 .. n-2] below the destination
// drive; returns the DOS path of the file, or "" with *error.
std::string PrepareTarget(const std::vector<std::string>& components,
                          std::string* error) {
  std::string dos = std::string(1, kDestDrive) + ":";
  for (size_t i = 0; i < components.size(); ++i) {
    dos += "\\" + components[i];
    if (i + 1 == components.size()) break;
    std::string host = host::HostPath(dos);
    if (IsDirectory(host)) continue;
    if (!plat::CreateDirectory(dos.c_str())) {
      *error = "cannot create the directory " + host;
      return std::string();
    }
  }
  return dos;
}

// What every record of one extraction shares: the media's volumes and their
// checks, the stream session, the cleanup of the file being written and
// the bar.
struct Extraction {
  const Console& console;
  const std::string& path;  // the descriptor, as given
  const VolumeSet& volumes;
  const ChecksumCheck& checksums;
  StreamSession& session;
  CleanupOnSignal& cleanup;
  ProgressBar& bar;
  uint64_t base = 0;  // bytes of the records decoded so far, by sizeKb
};

// Why the record's stream cannot be read from these media: its chunks'
// problems, then the first volume it uses that failed its checksum; empty
// when it can be.
std::vector<std::string> RecordFaults(const MediaRecord& record,
                                      const VolumeSet& volumes,
                                      const ChecksumCheck& checksums) {
  std::vector<std::string> faults = ChunkProblems(record, volumes);
  for (const ChunkEntry& chunk : record.chunks) {
    if (checksums.Failed(chunk.disk)) {
      faults.push_back("its volume of disk " + std::to_string(chunk.disk) +
                       " fails its SHA-256 check; nothing written");
      break;
    }
  }
  return faults;
}

// What is wrong with a decoded file, in order: the stream's failure, its
// length against its size prefix and against sizeKb, the close (closed
// false) of host; "" when the file is complete.
std::string DecodeFault(const StreamSession::Outcome& outcome,
                        const MediaRecord& record, bool closed,
                        const std::string& host) {
  std::string fault;
  if (outcome.result != kResultOk) {
    fault = outcome.problems.empty()
                ? "the stream ends inside its 4-byte size prefix"
                : outcome.problems.front();
    for (size_t i = 1; i < outcome.problems.size(); ++i) {
      fault += "; " + outcome.problems[i];
    }
  } else if (outcome.produced != outcome.statedSize) {
    fault = "the stream yields " + std::to_string(outcome.produced) +
            " bytes, its size prefix says " +
            std::to_string(outcome.statedSize);
  } else if (!SizeMatchesKb(outcome.produced, record.sizeKb)) {
    fault = SizeKbProblem(outcome.produced, record);
  } else if (!closed) {
    fault = host + ": write error: " + SystemError();
  }
  return fault;
}

// Extracts one record that has a stream below the destination drive: true
// with *produced when its file is complete; false, with the reason printed
// and no file of it left, otherwise.
bool ExtractRecord(Extraction* run, const MediaRecord& record,
                   uint64_t* produced) {
  const Console& console = run->console;
  std::string label = run->path + ": " + RecordLabel(record) + ": ";
  run->bar.SetLabel(record.name);
  std::vector<std::string> components;
  std::string why;
  if (!ExtractionComponents(record.name, &components, &why)) {
    run->bar.Finish();
    PrintError(console, label + "refused: " + why + "; nothing written");
    return false;
  }
  std::vector<std::string> faults =
      RecordFaults(record, run->volumes, run->checksums);
  if (!faults.empty()) {
    run->bar.Finish();
    for (const std::string& fault : faults) PrintError(console, label + fault);
    return false;
  }
  std::string error;
  std::string dos = PrepareTarget(components, &error);
  std::string host = dos.empty() ? std::string() : host::HostPath(dos);
  if (!dos.empty()) run->cleanup.AddFile(host);
  plat::HFile file =
      dos.empty() ? plat::kFileError : plat::lcreat(dos.c_str(), 0);
  if (file == plat::kFileError) {
    run->bar.Finish();
    PrintError(console, label + (dos.empty() ? error
                                             : "cannot create " + host + ": " +
                                                   SystemError()));
    return false;
  }
  FileSink sink{file, &run->bar, run->base};
  StreamSession::Outcome outcome =
      run->session.Decode(record, WriteToFile, &sink, host);
  bool closed = plat::lclose(file) != plat::kFileError;
  run->base += uint64_t{record.sizeKb} * 1024;
  std::string fault = DecodeFault(outcome, record, closed, host);
  if (!fault.empty()) {
    run->bar.Finish();
    ::unlink(host.c_str());
    run->cleanup.Clear();
    PrintError(console, label + fault + " (" + host + " removed)");
    return false;
  }
  run->cleanup.Clear();
  *produced = outcome.produced;
  return true;
}

// The bytes the bar counts to: the sizeKb of every record with a stream.
uint64_t StreamedBytes(const Media& media) {
  uint64_t total = 0;
  for (const MediaRecord& record : media.records) {
    if (!record.chunks.empty()) total += uint64_t{record.sizeKb} * 1024;
  }
  return total;
}

int RunExtract(const Args& args, const Console& console) {
  if (args.positional.size() != 1) {
    return UsageError(console, kExtractCommand, "expected one DESCRIPTOR");
  }
  if (!args.Has("dest") || args.Value("dest").empty()) {
    return UsageError(console, kExtractCommand,
                      "the destination is missing (-d DEST)");
  }
  const std::string& path = args.positional[0];
  const std::string dest = args.Value("dest");
  Media media;
  std::string error;
  if (!LoadMedia(path, &media, &error)) {
    PrintError(console, error);
    return kExitFailure;
  }
  const VolumeSet volumes =
      ScanVolumes(console, path, args.Values("disk"), media.VolumeName());
  // Damaged media are not extracted: a descriptor or list that fails its
  // check stops everything, a volume that fails stops the records on it.
  const ChecksumCheck checksums = CheckChecksums(media, volumes);
  for (const std::string& problem : checksums.problems) {
    PrintError(console, path + ": " + problem);
  }
  if (checksums.mediaFailed) {
    std::fprintf(console.out, "%s: nothing extracted\n", path.c_str());
    return kExitFailure;
  }
  if (!MakeDirectories(dest)) {
    PrintError(console, dest + ": cannot create: " + SystemError());
    return kExitFailure;
  }
  host::MapDrive(kDestDrive, dest);

  StreamSession session(media, volumes);
  if (!session.Ready()) {
    PrintError(console, "not enough memory for the stream buffers");
    return kExitFailure;
  }
  // A file being written is removed when SIGINT or SIGTERM ends pkgtool.
  CleanupOnSignal cleanup;
  ProgressBar bar(console, StreamedBytes(media));
  Extraction run{console, path, volumes, checksums, session, cleanup, bar};
  unsigned written = 0, failed = 0;
  uint64_t bytes = 0;
  for (const MediaRecord& record : media.records) {
    if (record.chunks.empty()) continue;
    uint64_t produced = 0;
    if (ExtractRecord(&run, record, &produced)) {
      ++written;
      bytes += produced;
    } else {
      ++failed;
    }
  }
  bar.Finish();
  std::fprintf(console.out, "%s: %u file%s extracted into %s (%llu bytes)",
               path.c_str(), written, written == 1 ? "" : "s", dest.c_str(),
               static_cast<unsigned long long>(bytes));
  if (failed > 0) std::fprintf(console.out, ", %u failed", failed);
  std::fprintf(console.out, "\n");
  return failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace

const Command kExtractCommand = {
    "extract",
    "write every file of a medium into a directory",
    "Usage: pkgtool extract DESCRIPTOR -d DEST [--disk DIR]...\n"
    "\n"
    "Writes every record that has a stream into DEST, decoded by the\n"
    "installer's own volume reader, decoder and output writer. A relative\n"
    "name goes below DEST; a name that begins with a backslash or a drive\n"
    "letter goes below DEST with the drive removed; backslashes become\n"
    "directories (an existing one is found without regard to case). A name\n"
    "with a '..' component is refused and nothing of it is written. A file\n"
    "whose stream fails, or whose size does not match its record's sizeKb,\n"
    "is removed, as is the file being written when SIGINT or SIGTERM ends\n"
    "pkgtool. When SHA256SUMS lies beside the descriptor, nothing is\n"
    "extracted if the descriptor fails it, and no file from a volume that\n"
    "fails it. Volumes are looked for in the descriptor's directory and in\n"
    "every --disk directory, in any order.\n"
    "\n"
    "Options:\n"
    "  -d, --dest DEST  the directory to write into (created when missing)\n"
    "  --disk DIR       another directory holding a disk's volume\n"
    "                   (repeatable)\n"
    "  -q, --quiet      no progress bar\n",
    {{"dest", 'd', true}, {"disk", 0, true}},
    RunExtract,
};

}  // namespace pkgtool
