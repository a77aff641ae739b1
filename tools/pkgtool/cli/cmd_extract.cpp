// pkgtool extract: writes the files of a medium into a directory (or their
// bytes to standard output), through the installer's own volume reader,
// decoder and output writer.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "cli/commands.h"
#include "cli/extract_output.h"
#include "common/host_files.h"
#include "common/interrupt.h"
#include "manifest/target_name.h"
#include "platform/host/host_control.h"
#include "read/checksums.h"
#include "read/damage.h"
#include "read/media.h"
#include "read/media_sources.h"
#include "read/selection.h"
#include "read/stream_session.h"
#include "stream/lzhuf.h"

namespace pkgtool {
namespace {

// What the command line asks for.
struct ExtractOptions {
  std::string dest;
  bool toStdout = false;
  bool verbose = false;  // a line per file written
  bool force = false;
  bool skipExisting = false;
  bool salvage = false;  // write what a damaged stream decodes to
  unsigned codepage = 1252;
  std::vector<std::string> patterns;
};

int ReadOptions(const Args& args, const Console& console,
                ExtractOptions* options) {
  if (args.positional.empty()) {
    return UsageError(console, kExtractCommand, "expected a DESCRIPTOR");
  }
  options->patterns.assign(args.positional.begin() + 1, args.positional.end());
  options->toStdout = args.Has("stdout");
  options->force = args.Has("force");
  options->skipExisting = args.Has("skip-existing");
  options->verbose = args.Has("verbose");
  options->salvage = args.Has("salvage");
  options->dest = args.Value("dest");
  if (options->dest == "-") {
    return UsageError(console, kExtractCommand,
                      "-d takes a directory; -p (--stdout) writes the files' "
                      "bytes to standard output");
  }
  if (options->toStdout && args.Has("dest")) {
    return UsageError(console, kExtractCommand,
                      "-p (--stdout) and -d DEST exclude each other");
  }
  if (!options->toStdout && options->dest.empty()) options->dest = ".";
  if (options->force && options->skipExisting) {
    return UsageError(console, kExtractCommand,
                      "--force and --skip-existing exclude each other");
  }
  int status = kExitOk;
  CodePageOption(args, console, kExtractCommand, &options->codepage, &status);
  return status;
}

// One extraction: the media, what was asked, the stream session, the
// cleanup of the file being written, the bar and the tallies.
struct Extraction {
  const Console& console;
  const ExtractOptions& options;
  const std::string& path;  // the descriptor, as given
  const VolumeSet& volumes;
  const ChecksumCheck& checksums;
  DamageReport& damage;  // what damaged media cost, by cause
  StreamSession& session;
  CleanupOnSignal& cleanup;
  ProgressBar& bar;
  std::string plainDir;  // disk 1's directory: the noInstall files' copies
  uint64_t base = 0;     // bytes of the records decoded so far, by sizeKb
  unsigned written = 0, failed = 0, kept = 0, salvaged = 0;
  uint64_t bytes = 0;
  // Per-file failures of one cause (the strerror of a create, say) are
  // printed once and then counted.
  std::map<std::string, unsigned> repeated;

  void Fail(const std::string& message, const std::string& cause = "") {
    bar.Finish();
    ++failed;
    if (!cause.empty() && repeated[cause]++ > 0) return;
    PrintError(console, message);
  }
};

// The plain copy of a noInstall record on disk 1, its name's components
// found without regard to case; *copy is "" when there is none. False with
// *error when a directory on the way cannot be looked at.
bool PlainCopy(const Extraction& run, const MediaRecord& record,
               std::string* copy, std::string* error) {
  std::vector<std::string> components;
  std::string why, found;
  copy->clear();
  if (!ExtractionComponents(record.utf8Name, &components, &why)) return true;
  std::string path = run.plainDir;
  for (const std::string& component : components) {
    PathKind kind = PathKind::kNone;
    if (!LookAt(path, &kind, error)) return false;
    if (kind != PathKind::kDirectory) return true;
    if (!FindNoCase(path, component, &found, error)) return false;
    if (found.empty()) return true;
    path = JoinPath(path, found);
  }
  if (IsRegularFile(path, error)) *copy = path;
  return error->empty();
}

// The record's bytes through write, as the output writer passes them on:
// its stream decoded, or a noInstall record's plain copy read.
StreamSession::Outcome Produce(Extraction* run, const MediaRecord& record,
                               OutputWriteHook write, void* context,
                               const std::string& target) {
  if (!record.chunks.empty()) {
    return run->session.Decode(record, write, context, target);
  }
  StreamSession::Outcome outcome;
  std::string copy, error;
  if (!PlainCopy(*run, record, &copy, &error)) {
    outcome.result = kResultReadError;
    outcome.problems.push_back(error);
    return outcome;
  }
  FileCloser in(copy.empty() ? nullptr : std::fopen(copy.c_str(), "rb"));
  if (in.get() == nullptr && !copy.empty()) {
    outcome.result = kResultMissing;
    outcome.problems.push_back(copy + ": cannot open: " + SystemError());
    return outcome;
  }
  if (in.get() == nullptr) {
    outcome.result = kResultMissing;
    outcome.problems.push_back(
        "a noInstall file, whose plain copy is not on disk 1 (" +
        run->plainDir + ")");
    return outcome;
  }
  uint8_t buffer[64 * 1024];
  for (;;) {
    const size_t n = std::fread(buffer, 1, sizeof buffer, in.get());
    if (n == 0) break;
    if (write(context, buffer, static_cast<long>(n)) != static_cast<long>(n)) {
      outcome.result = kResultWriteError;
      outcome.problems.push_back(target + ": write error: " + SystemError());
      return outcome;
    }
    outcome.produced += n;
  }
  if (std::ferror(in.get())) {
    outcome.result = kResultReadError;
    outcome.problems.push_back(copy + ": read error: " + SystemError());
  }
  outcome.statedSize = static_cast<uint32_t>(outcome.produced);
  return outcome;
}

// What an existing file at the record's place means: 0 none (or a file the
// stream cannot be compared with), 1 the same bytes, 2 other content (or
// no regular file).
int ExistingState(Extraction* run, const MediaRecord& record,
                  const std::string& host) {
  struct stat info;
  if (host.empty() || lstat(host.c_str(), &info) != 0) return 0;
  if (!S_ISREG(info.st_mode)) return 2;
  std::FILE* existing = std::fopen(host.c_str(), "rb");
  if (existing == nullptr) return 2;
  Comparison compare{existing};
  StreamSession::Outcome outcome =
      Produce(run, record, CompareWithFile, &compare, host);
  const bool longer = std::fgetc(existing) != EOF;
  std::fclose(existing);
  if (!StreamFault(outcome).empty()) return 0;
  return compare.differs || longer ? 2 : 1;
}

// Decodes the record into a file beside its place that takes the place
// only when complete: an existing file is never lost to a failure.
void WriteRecord(Extraction* run, const MediaRecord& record,
                 const std::string& dos, const std::string& host,
                 const std::string& label) {
  const std::string part = host + kPartSuffix;
  run->cleanup.AddFile(part);
  plat::HFile file = plat::lcreat((dos + kPartSuffix).c_str(), 0);
  if (file == plat::kFileError) {
    const std::string cause = ": " + SystemError();
    run->cleanup.Clear();
    run->Fail(label + "cannot create " + part + cause, cause);
    return;
  }
  Sink sink;
  sink.file = file;
  sink.bar = &run->bar;
  sink.base = run->base;
  StreamSession::Outcome outcome =
      Produce(run, record, WriteToSink, &sink, host);
  std::string fault = StreamFault(outcome);
  const bool damaged = !fault.empty() && !record.chunks.empty();
  const bool keep = damaged && run->options.salvage;
  if (!record.chunks.empty()) {
    run->damage.Decoded(
        record, damaged && !keep ? fault + " (nothing written)" : fault);
  }
  if (plat::lclose(file) == plat::kFileError && fault.empty()) {
    fault = host + ": write error: " + SystemError();
  }
  // --salvage keeps what a damaged stream decodes to, under its name.
  if (keep && sink.written == outcome.produced &&
      std::rename(part.c_str(), host.c_str()) == 0) {
    run->cleanup.Clear();
    ++run->salvaged;
    return PrintError(run->console, label +
                                        "damaged, written as far as it "
                                        "decodes: " +
                                        host);
  }
  if (fault.empty() && std::rename(part.c_str(), host.c_str()) != 0) {
    fault = "cannot put it in place as " + host + ": " + SystemError();
  }
  if (!fault.empty()) {
    ::unlink(part.c_str());
    run->cleanup.Clear();
    if (!damaged) run->Fail(label + fault + " (nothing written)");
    return;
  }
  run->cleanup.Clear();
  ++run->written;
  run->bytes += outcome.produced;
  for (const ChunkEntry& chunk : record.chunks) {
    if (!run->checksums.Failed(chunk.disk)) continue;
    // Only --salvage reads it: its stream is sound, but its bytes are
    // not known to be.
    PrintError(run->console, label + "written whole, but disk " +
                                 std::to_string(chunk.disk) +
                                 " fails its SHA-256 check");
    break;
  }
  if (run->options.verbose) {
    run->bar.Finish();
    std::fprintf(run->console.out, "%s\n", host.c_str());
  }
}

// Writes the record's bytes to standard output.
void StreamRecord(Extraction* run, const MediaRecord& record,
                  const std::string& label) {
  Sink sink;
  sink.stream = run->console.out;
  sink.bar = &run->bar;
  sink.base = run->base;
  StreamSession::Outcome outcome =
      Produce(run, record, WriteToSink, &sink, "standard output");
  // What stdio kept back must reach standard output too.
  const bool flushed = std::fflush(run->console.out) == 0;
  const int flushError = errno;
  std::string fault = StreamFault(outcome);
  if (fault.empty() && !flushed) {
    fault = "standard output: write error: " +
            std::string(std::strerror(flushError));
  }
  if (!record.chunks.empty()) run->damage.Decoded(record, fault);
  if (!fault.empty()) {
    if (record.chunks.empty()) run->Fail(label + fault);
    return;
  }
  ++run->written;
  run->bytes += outcome.produced;
  if (run->options.verbose) PrintError(run->console, record.utf8Name);
}

// Extracts one chosen record, unless it is kept (skip is true).
void ExtractRecord(Extraction* run, const MediaRecord& record, bool skip) {
  std::string label = run->path + ": " + RecordLabel(record) + ": ";
  run->bar.SetLabel(record.utf8Name);
  const bool salvage = run->options.salvage;
  if (!NeedsMissingDisk(record, run->volumes) &&
      run->damage.CountUnreadable(record) && !salvage) {
    return;  // its volume failed its checksum
  }
  std::vector<std::string> faults = salvage
                                        ? std::vector<std::string>()
                                        : ChunkProblems(record, run->volumes);
  std::string copy, copyError;
  if (record.chunks.empty() && !PlainCopy(*run, record, &copy, &copyError)) {
    faults.push_back(copyError);
  }
  if (!copy.empty() && run->checksums.FileFailed(copy)) {
    faults.push_back("its plain copy " + copy +
                     " fails its SHA-256 check; nothing written");
  }
  if (!faults.empty()) {
    for (const std::string& fault : faults) run->Fail(label + fault);
    return;
  }
  if (run->options.toStdout) {
    StreamRecord(run, record, label);
  } else if (skip) {
    ++run->kept;
  } else {
    std::vector<std::string> components;
    std::string dos, why, error;
    std::string host = TargetPath(record, &dos, &components, &why);
    if (host.empty()) {
      run->Fail(label + "refused: " + why + "; nothing written");
    } else if (!PrepareDirectories(components, &error)) {
      run->Fail(label + error, error.substr(error.rfind(": ")));
    } else {
      WriteRecord(run, record, dos, host, label);
    }
  }
  run->base += uint64_t{record.sizeKb} * 1024;
}

// Which of the chosen records keep the files already in their places:
// identical ones, and with --skip-existing every existing one. Lists the
// files with other content and returns false when there are any and
// nothing may be overwritten.
bool CheckExisting(Extraction* run,
                   const std::vector<const MediaRecord*>& chosen,
                   std::vector<bool>* skip) {
  skip->assign(chosen.size(), false);
  if (run->options.toStdout || run->options.force) return true;
  std::vector<std::string> differing;
  for (size_t i = 0; i < chosen.size(); ++i) {
    std::vector<std::string> components;
    std::string dos, why;
    std::string host = TargetPath(*chosen[i], &dos, &components, &why);
    struct stat info;
    if (host.empty() || lstat(host.c_str(), &info) != 0) continue;
    if (run->options.skipExisting) {
      (*skip)[i] = true;
      continue;
    }
    const int state = ExistingState(run, *chosen[i], host);
    if (state == 1) (*skip)[i] = true;
    if (state == 2) differing.push_back(host);
  }
  for (const std::string& host : differing) {
    PrintError(run->console, host + ": exists with other content");
  }
  if (differing.empty()) return true;
  PrintError(run->console,
             std::to_string(differing.size()) + " existing file" +
                 (differing.size() == 1 ? "" : "s") +
                 " would be overwritten; nothing written (--force "
                 "overwrites, --skip-existing keeps them)");
  return false;
}

// The records the patterns choose, with a stream on disks that are there;
// the patterns that match nothing are printed and make it fail.
bool ChooseRecords(const Media& media, const ExtractOptions& options,
                   const VolumeSet& volumes, DamageReport* damage,
                   const Console& console,
                   std::vector<const MediaRecord*>* chosen,
                   unsigned* unreachable) {
  Selection selection(options.patterns);
  *unreachable = 0;
  for (const MediaRecord& record : media.records) {
    // A noInstall record has its bytes in a plain copy on disk 1; any
    // other record without a stream has none to give.
    if (!selection.Chooses(record.utf8Name) ||
        (record.chunks.empty() && !record.noInstall)) {
      continue;
    }
    const bool missing = NeedsMissingDisk(record, volumes);
    if (missing) {
      damage->CountUnreadable(record);
      ++*unreachable;
    }
    // --salvage decodes what the disks at hand hold of it.
    if (!missing || (options.salvage &&
                     volumes.Find(record.chunks.front().disk) != nullptr)) {
      chosen->push_back(&record);
    }
  }
  for (const std::string& pattern : selection.Unmatched()) {
    PrintError(console, "pattern \"" + pattern + "\" matches no file");
  }
  return selection.Unmatched().empty();
}

// The bytes the bar counts to: the sizeKb of every chosen record.
uint64_t StreamedBytes(const std::vector<const MediaRecord*>& chosen) {
  uint64_t total = 0;
  for (const MediaRecord* record : chosen)
    total += uint64_t{record->sizeKb} * 1024;
  return total;
}

// The closing line: on stdout, or on stderr when stdout carries the files.
void Summarize(const Extraction& run, unsigned unreachable) {
  const ExtractOptions& options = run.options;
  std::FILE* out = options.toStdout ? run.console.err : run.console.out;
  if (options.toStdout) std::fprintf(out, "pkgtool: ");
  std::fprintf(out, "%s: %u file%s %s (%llu bytes)", run.path.c_str(),
               run.written, run.written == 1 ? "" : "s",
               options.toStdout ? "written to standard output"
                                : ("extracted into " + options.dest).c_str(),
               static_cast<unsigned long long>(run.bytes));
  if (run.kept > 0) std::fprintf(out, ", %u already there", run.kept);
  if (run.failed > 0) std::fprintf(out, ", %u failed", run.failed);
  if (run.salvaged > 0) std::fprintf(out, ", %u in part", run.salvaged);
  if (unreachable > 0) {
    std::fprintf(out, ", %u on missing disks", unreachable);
  }
  std::fprintf(out, "\n");
  for (const auto& cause : run.repeated) {
    if (cause.second > 1) {
      PrintError(run.console, std::to_string(cause.second - 1) +
                                  " more files not written for the same "
                                  "reason" +
                                  cause.first);
    }
  }
}

int RunExtract(const Args& args, const Console& console) {
  // -l is list and -t verify, for hands used to cabextract.
  if (args.Has("list")) return kListCommand.run(args, console);
  if (args.Has("test")) return kVerifyCommand.run(args, console);
  ExtractOptions options;
  int status = ReadOptions(args, console, &options);
  if (status != kExitOk) return status;
  // A directory or a floppy image stands for the descriptor in it.
  const std::string& path = args.positional[0];  // as messages name it
  MediaSources sources;
  Media media;
  if (!sources.Open(console, path, options.codepage, &media))
    return kExitFailure;
  const VolumeSet volumes = sources.Scan(console, media, args.Values("disk"));
  // Damaged media are not extracted: a descriptor or list that fails its
  // check stops everything, a volume that fails stops the records on it.
  const ChecksumCheck checksums = CheckChecksums(media, volumes);
  DamageReport damage(media, volumes, checksums, path + ": ");
  std::vector<const MediaRecord*> chosen;
  unsigned unreachable = 0;
  if (!ChooseRecords(media, options, volumes, &damage, console, &chosen,
                     &unreachable)) {
    return kExitFailure;
  }
  PrintErrors(console, damage.OtherChecksumProblems());
  if (checksums.mediaFailed) {
    PrintError(console, path + ": nothing extracted");
    return kExitFailure;
  }
  if (!options.toStdout) {
    if (!MakeDirectories(options.dest) ||
        ::access(options.dest.c_str(), W_OK | X_OK) != 0) {
      PrintError(console,
                 options.dest + ": cannot write there: " + SystemError());
      return kExitFailure;
    }
    host::MapDrive(kDestDrive, options.dest);
  }
  StreamSession session(media, volumes);
  session.KeepDamagedOutput(options.salvage);
  if (!session.Ready()) {
    PrintError(console, "not enough memory for the stream buffers");
    return kExitFailure;
  }
  // A file being written is removed when SIGINT or SIGTERM ends pkgtool.
  CleanupOnSignal cleanup;
  ProgressBar bar(console, StreamedBytes(chosen));
  Extraction run{console, options, path,    volumes, checksums,
                 damage,  session, cleanup, bar,     DirName(media.path),
                 0,       0,       0,       0,       0,
                 0,       {}};
  std::vector<bool> skip;
  if (!CheckExisting(&run, chosen, &skip)) return kExitFailure;
  for (size_t i = 0; i < chosen.size(); ++i) {
    ExtractRecord(&run, *chosen[i], skip[i]);
  }
  bar.Finish();
  PrintErrors(console, damage.Lines(args.Has("verbose")));
  run.failed += damage.Costs() - unreachable;
  Summarize(run, unreachable);
  return run.failed == 0 && unreachable == 0 ? kExitOk : kExitFailure;
}

}  // namespace

const Command kExtractCommand = {
    "extract",
    "write the files of a medium into a directory, or to standard output",
    "Usage: pkgtool extract DESCRIPTOR [PATTERN]... [-d DEST] [-v]\n"
    "       pkgtool extract DESCRIPTOR [PATTERN]... -p\n"
    "       pkgtool extract -l|-t DESCRIPTOR\n"
    "\n"
    "DESCRIPTOR is disk 1's descriptor (SETUP.bin, found in any case), the\n"
    "directory that holds it or its floppy image (disk1.img).\n"
    "\n"
    "Writes every file of the medium (or those the PATTERNs choose) into\n"
    "DEST, the current directory unless -d names one, decoded by the\n"
    "installer's own volume reader, decoder and output writer; a noInstall\n"
    "file, which has no stream, is copied from its plain copy on disk 1. A\n"
    "PATTERN is matched against the name as 'pkgtool list' shows it,\n"
    "without regard to case (as build compares names: 'data/café.txt'\n"
    "finds DATA\\CAFÉ.TXT), '/' standing for '\\': '*' (which also crosses\n"
    "'\\'), '?' and '[...]' as in the shell; quote it. A PATTERN that\n"
    "matches nothing is an error. Names go below DEST without their drive\n"
    "or leading backslash, backslashes become directories (an existing one\n"
    "found in any case); a name with a '..' component is refused. Names go\n"
    "from code page 1252 (or --codepage) to UTF-8.\n"
    "\n"
    "Nothing is overwritten by surprise: when a file exists at a target with\n"
    "other content, nothing is written and those files are listed, unless\n"
    "--force (overwrite them) or --skip-existing (keep every existing file)\n"
    "is given; a file with the same content is left as it is. Each file is\n"
    "decoded beside its place and takes it only when complete: a damaged\n"
    "stream (one that fails, yields another size than it states or does not\n"
    "end exactly at its chunks' end) leaves nothing behind and loses no\n"
    "file, also when SIGINT or SIGTERM ends pkgtool. With --salvage it is\n"
    "written as far as it decodes, under its own name, and listed as\n"
    "damaged (the exit status still says so), and so is a file that needs a\n"
    "missing disk or a volume that fails its checksum. A record's sizeKb is\n"
    "never a reason to refuse a file. The other disks are looked for as\n"
    "'pkgtool list' looks for them. When SHA256SUMS lies beside the\n"
    "descriptor, nothing is extracted if the descriptor fails it, and no\n"
    "file from a volume that fails it (but with --salvage).\n"
    "\n"
    "Options:\n"
    "  -d, --dest DEST      write into DEST (created when missing)\n"
    "  -p, --stdout         write the files' bytes to standard output\n"
    "  -v, --verbose        name each file on its own line once written, and\n"
    "                       each file a missing or damaged volume costs\n"
    "  -f, --force          overwrite existing files with other content\n"
    "  -k, --skip-existing  keep every existing file\n"
    "  --salvage            write damaged files in part (see above)\n"
    "  -l, --list           list the files instead, as 'pkgtool list'\n"
    "  -t, --test           test the media instead, as 'pkgtool verify'\n"
    "  --disk DIR           another disk: its directory or image (repeatable)\n"
    "  --codepage N         the code page of the names (default 1252)\n"
    "  -q, --quiet          no progress bar\n"
    "\n"
    "Exit status: 0 every chosen file extracted, 1 a failure (or a disk\n"
    "missing), 2 usage error; with -l or -t, those of list or verify.\n"
    "\n"
    "Examples:\n"
    "  Every file of the media into the current directory, one line each:\n"
    "    pkgtool extract quest/disk1 -v\n",
    {{"dest", 'd', true},
     {"stdout", 'p', false},
     {"force", 'f', false},
     {"skip-existing", 'k', false},
     {"salvage", 0, false},
     {"list", 'l', false},
     {"test", 't', false},
     {"disk", 0, true},
     {"codepage", 0, true},
     {"verbose", 'v', false}},
    RunExtract,
};

}  // namespace pkgtool
