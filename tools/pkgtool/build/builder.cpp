// Making media from a manifest; see builder.h.
#include "build/builder.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "base/result.h"
#include "base/text.h"
#include "common/codepage.h"
#include "common/floppy.h"
#include "common/host_files.h"
#include "common/interrupt.h"
#include "install/run.h"
#include "manifest/target_name.h"
#include "platform/host/pe_version.h"
#include "read/checksums.h"
#include "read/media.h"
#include "stream/encoder.h"

namespace pkgtool {
namespace {

constexpr uint64_t kMaxStreamInput = 0xFFFFFFFFu;
constexpr char kTempName[] = ".pkgtool-streams.tmp";

std::string Num(uint64_t value) { return std::to_string(value); }

// What a file of size bytes takes of a disk: whole clusters on a floppy
// format, its bytes otherwise.
uint64_t Takes(const Manifest& manifest, uint64_t size) {
  return manifest.diskFormat != nullptr
             ? ClusterRounded(*manifest.diskFormat, size)
             : size;
}

// The size SHA256SUMS has for a descriptor name and the disks that carry a
// volume.
uint64_t ChecksumListBytes(const std::string& descriptorName,
                           const std::string& volumeName,
                           const DiskPlan& disks) {
  const std::string hex(64, '0');
  uint64_t size = ChecksumLine(hex, descriptorName).size();
  for (size_t disk = 1; disk <= disks.volumeSizes.size(); ++disk) {
    if (disks.volumeSizes[disk - 1] > 0) {
      size += ChecksumLine(hex, ListedVolumeName(static_cast<unsigned>(disk),
                                                 volumeName))
                  .size();
    }
  }
  return size;
}

// The room a disk has for files.
uint64_t DiskRoom(const Manifest& manifest) {
  return manifest.diskFormat != nullptr ? manifest.diskFormat->DataBytes()
                                        : manifest.diskSize;
}

std::string At(const Manifest& manifest, const ManifestFile& file) {
  return manifest.path + ":" + Num(file.line) + ": ";
}

std::string DiskDir(const std::string& outputDir, unsigned disk) {
  return JoinPath(outputDir, "disk" + Num(disk));
}

// Everything a build writes goes to a temporary name beside its final one
// and is put in place by Commit, all at the end. Until then a failure or
// SIGINT/SIGTERM removes the temporaries and the directories the build
// created, so OUTDIR holds exactly what it held.
class Staging {
 public:
  Staging() = default;
  ~Staging() {
    if (!committed_) cleanup_.RemoveAll();
  }
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // Like MakeDirectories, remembering the directories it creates.
  bool MakeDirectories(const std::string& path) {
    if (path.empty() || IsDirectory(path)) return true;
    std::string parent = DirName(path);
    if (parent != path && !MakeDirectories(parent)) return false;
    CleanupOnSignal::Hold hold;
    if (::mkdir(path.c_str(), 0755) != 0) {
      return errno == EEXIST && IsDirectory(path);
    }
    cleanup_.AddDirectory(path);
    return true;
  }

  // A file removed when the build ends, whatever way.
  void AddScratch(const std::string& path) { cleanup_.AddFile(path); }

  // Where to write what is to become finalPath.
  std::string Stage(const std::string& finalPath) {
    std::string dir = DirName(finalPath);
    std::string stem = ".pkgtool-" + Num(entries_.size() + 1);
    Entry entry{finalPath, JoinPath(dir, stem + ".new"),
                JoinPath(dir, stem + ".old")};
    cleanup_.AddFile(entry.temp);
    entries_.push_back(entry);
    return entry.temp;
  }

  // message with every temporary name replaced by its final one.
  std::string Named(std::string message) const {
    for (const Entry& entry : entries_) {
      for (size_t at = message.find(entry.temp); at != std::string::npos;
           at = message.find(entry.temp, at + entry.final.size())) {
        message.replace(at, entry.temp.size(), entry.final);
      }
    }
    return message;
  }

  // The temporary of a staged file; "" when it is not staged.
  std::string Temporary(const std::string& finalPath) const {
    for (const Entry& entry : entries_) {
      if (entry.final == finalPath) return entry.temp;
    }
    return std::string();
  }

  // Renames every temporary to its final name, with the signals held back.
  // An earlier file is first moved aside, so that when a rename fails the
  // ones done are undone and the earlier files come back.
  bool Commit(std::string* error) {
    CleanupOnSignal::Hold hold;
    for (const Entry& entry : entries_) {
      if (IsDirectory(entry.final)) {
        *error = entry.final + ": is a directory, not replaced";
        return false;
      }
    }
    std::vector<bool> earlier(entries_.size(), false);
    size_t done = 0;
    for (; done < entries_.size(); ++done) {
      const Entry& entry = entries_[done];
      struct stat info;
      earlier[done] = ::lstat(entry.final.c_str(), &info) == 0;
      if (earlier[done] &&
          std::rename(entry.final.c_str(), entry.aside.c_str()) != 0) {
        break;
      }
      if (std::rename(entry.temp.c_str(), entry.final.c_str()) != 0) {
        int failure = errno;
        if (earlier[done]) {
          std::rename(entry.aside.c_str(), entry.final.c_str());
        }
        errno = failure;
        break;
      }
    }
    if (done < entries_.size()) {
      *error = entries_[done].final +
               ": cannot be put in place: " + SystemError() +
               "; the earlier files are kept";
      for (size_t i = done; i-- > 0;) {
        const Entry& entry = entries_[i];
        if (earlier[i]) {
          std::rename(entry.aside.c_str(), entry.final.c_str());
        } else {
          ::unlink(entry.final.c_str());
        }
      }
      return false;
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (earlier[i]) ::unlink(entries_[i].aside.c_str());
    }
    committed_ = true;
    cleanup_.Clear();
    return true;
  }

 private:
  struct Entry {
    std::string final;
    std::string temp;
    std::string aside;  // the earlier file while the commit runs
  };
  CleanupOnSignal cleanup_;
  std::vector<Entry> entries_;
  bool committed_ = false;
};

// The streams of a build, encoded: each lies in the temporary file of the
// worker that encoded it. Without files (a dry run) they are only measured.
// The files are removed when the store goes.
struct StreamStore {
  struct Span {
    size_t file = 0;  // the worker's
    uint64_t offset = 0;
    uint64_t length = 0;  // 0 for a file without a stream
  };
  std::vector<std::string> paths;
  std::vector<std::FILE*> files;
  std::vector<Span> spans;  // one per manifest file

  StreamStore() = default;
  StreamStore(const StreamStore&) = delete;
  StreamStore& operator=(const StreamStore&) = delete;
  ~StreamStore() { Close(); }
  void Close() {
    for (std::FILE* file : files) std::fclose(file);
    files.clear();
    for (const std::string& path : paths) ::unlink(path.c_str());
    paths.clear();
  }
  std::vector<uint64_t> Lengths() const {
    std::vector<uint64_t> lengths;
    for (const Span& span : spans) lengths.push_back(span.length);
    return lengths;
  }
};

// What the workers share: the bar and the bytes read so far, under a lock.
struct EncodeProgress {
  std::mutex lock;
  ProgressBar* bar;
  uint64_t done = 0;
};

struct EncodeContext {
  std::FILE* in;
  std::FILE* out;  // the worker's temporary file, or null: only measured
  EncodeProgress* progress;
};

long ReadSource(void* context, uint8_t* buffer, size_t count) {
  auto* encode = static_cast<EncodeContext*>(context);
  size_t n = std::fread(buffer, 1, count, encode->in);
  if (n == 0 && std::ferror(encode->in)) return -1;
  std::lock_guard<std::mutex> hold(encode->progress->lock);
  encode->progress->done += n;
  encode->progress->bar->Update(encode->progress->done);
  return static_cast<long>(n);
}

bool WriteTemp(void* context, const uint8_t* bytes, size_t count) {
  auto* encode = static_cast<EncodeContext*>(context);
  return encode->out == nullptr ||
         std::fwrite(bytes, 1, count, encode->out) == count;
}

// Encodes one file's stream at the end of out (null: only measured) and
// records where it lies; "" or what went wrong.
std::string EncodeOne(const Manifest& manifest, const PreparedFile& file,
                      std::FILE* out, const std::string& outPath,
                      EncodeProgress* progress, StreamStore::Span* span) {
  FileCloser in(std::fopen(file.file.sourcePath.c_str(), "rb"));
  if (in.get() == nullptr) {
    return At(manifest, file.file) + file.file.sourcePath +
           ": cannot open: " + SystemError();
  }
  if (out != nullptr) span->offset = static_cast<uint64_t>(std::ftell(out));
  {
    std::lock_guard<std::mutex> hold(progress->lock);
    progress->bar->SetLabel(file.file.utf8Target);
  }
  EncodeContext context{in.get(), out, progress};
  EncodeIo io{ReadSource, &context, WriteTemp, &context};
  uint64_t streamSize = 0;
  const EncodeResult result =
      EncodeStream(io, static_cast<uint32_t>(file.size), &streamSize,
                   manifest.best ? MatchParse::kBest : MatchParse::kLazy);
  span->length = streamSize;
  switch (result) {
    case EncodeResult::kOk:
      return std::string();
    case EncodeResult::kWriteFailed:
      return outPath + ": write error: " + SystemError();
    case EncodeResult::kNoMemory:
      return "not enough memory to encode " + file.file.utf8Target;
    case EncodeResult::kInputShort:
      return At(manifest, file.file) + file.file.sourcePath +
             ": ended before its " + Num(file.size) +
             " bytes (did it change during the build?)";
    case EncodeResult::kReadFailed:
      break;
  }
  return At(manifest, file.file) + file.file.sourcePath + ": read error";
}

// Encodes every file that has a stream, jobs of them at a time, each
// worker into its own temporary file in dir (none when dir is "": a dry
// run measures only); the store gets where each stream lies. The streams
// do not depend on the number of workers, so neither do the media. The
// files are staging's scratch: a signal removes them.
bool EncodeAll(const Manifest& manifest, const std::vector<PreparedFile>& files,
               const std::string& dir, unsigned jobs, const Console& console,
               Staging* staging, StreamStore* store,
               std::vector<std::string>* errors) {
  uint64_t total = 0;
  for (const PreparedFile& file : files) {
    if (!file.file.noInstall) total += file.size;
  }
  ProgressBar bar(console, total);
  EncodeProgress progress;
  progress.bar = &bar;
  store->spans.assign(files.size(), StreamStore::Span());
  jobs = std::max(
      1u, std::min<unsigned>(jobs, static_cast<unsigned>(files.size())));
  for (unsigned worker = 0; !dir.empty() && worker < jobs; ++worker) {
    const std::string path =
        JoinPath(dir, std::string(kTempName) + "." + Num(worker + 1));
    store->paths.push_back(path);
    staging->AddScratch(path);
    store->files.push_back(std::fopen(path.c_str(), "w+b"));
    if (store->files.back() == nullptr) {
      store->files.pop_back();
      errors->push_back(path + ": cannot create: " + SystemError());
      return false;
    }
  }
  // The workers take the files in turn; the first failure in manifest
  // order is the one reported.
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::vector<std::string> faults(files.size());
  auto work = [&](unsigned worker) {
    std::FILE* out = dir.empty() ? nullptr : store->files[worker];
    const std::string outPath = dir.empty() ? "" : store->paths[worker];
    for (size_t i = next++; i < files.size() && !failed; i = next++) {
      if (files[i].file.noInstall) continue;
      store->spans[i].file = worker;
      faults[i] = EncodeOne(manifest, files[i], out, outPath, &progress,
                            &store->spans[i]);
      if (!faults[i].empty()) failed = true;
    }
    if (out != nullptr && std::fflush(out) != 0 && !failed) {
      faults[0] = outPath + ": write error: " + SystemError();
      failed = true;
    }
  };
  std::vector<std::thread> workers;
  for (unsigned worker = 1; worker < jobs; ++worker) {
    workers.emplace_back(work, worker);
  }
  work(0);
  for (std::thread& worker : workers) worker.join();
  for (const std::string& fault : faults) {
    if (!fault.empty()) {
      errors->push_back(fault);
      return false;
    }
  }
  return true;
}

// Copies length bytes from in to out.
bool CopyBytes(std::FILE* in, std::FILE* out, uint64_t length) {
  static char block[64 * 1024];
  while (length > 0) {
    size_t n =
        length < sizeof block ? static_cast<size_t>(length) : sizeof block;
    if (std::fread(block, 1, n, in) != n) return false;
    if (std::fwrite(block, 1, n, out) != n) return false;
    length -= n;
  }
  return true;
}

// Writes the volumes, staged: the streams of the store, in the plan's
// stream order, cut into the planned chunks. *volumes gets each volume's
// final path, by disk.
bool WriteVolumes(const std::string& outputDir, const std::string& volumeName,
                  const MediaPlan& plan, const StreamStore& store,
                  Staging* staging,
                  std::vector<std::pair<unsigned, std::string>>* volumes,
                  std::vector<std::string>* errors) {
  std::FILE* volume = nullptr;
  std::string volumePath;
  unsigned disk = 0;
  auto closeVolume = [&]() {
    bool ok = volume == nullptr || std::fclose(volume) == 0;
    volume = nullptr;
    if (!ok) errors->push_back(volumePath + ": write error: " + SystemError());
    return ok;
  };
  for (size_t owner : plan.streamOrder) {
    const RecordPlan& record = plan.records[owner];
    std::FILE* temp = store.files[store.spans[owner].file];
    if (std::fseek(temp, static_cast<long>(store.spans[owner].offset),
                   SEEK_SET) != 0) {
      errors->push_back("cannot seek in the temporary stream file");
      closeVolume();
      return false;
    }
    for (const ChunkEntry& chunk : record.chunks) {
      if (chunk.disk != disk) {
        if (!closeVolume()) return false;
        disk = chunk.disk;
        volumePath = JoinPath(DiskDir(outputDir, disk), volumeName);
        volumes->push_back({disk, volumePath});
        volume = std::fopen(staging->Stage(volumePath).c_str(), "wb");
        const uint8_t header[2] = {static_cast<uint8_t>(disk),
                                   static_cast<uint8_t>(disk >> 8)};
        if (volume == nullptr || std::fwrite(header, 1, 2, volume) != 2) {
          errors->push_back(volumePath + ": cannot create: " + SystemError());
          closeVolume();
          return false;
        }
      }
      long position = std::ftell(volume);
      if (position != static_cast<long>(chunk.offset)) {
        errors->push_back("internal: " + volumePath + " is at " +
                          Num(static_cast<uint64_t>(position)) +
                          " where a chunk of " + record.name + " starts at " +
                          Num(chunk.offset));
        closeVolume();
        return false;
      }
      if (!CopyBytes(temp, volume, chunk.length)) {
        errors->push_back(volumePath + ": write error: " + SystemError());
        closeVolume();
        return false;
      }
    }
  }
  return closeVolume();
}

// Stages SHA256SUMS on disk 1: the descriptor and every volume, as staged.
bool WriteChecksumList(
    const std::string& disk1, const std::string& descriptorPath,
    const std::string& volumeName,
    const std::vector<std::pair<unsigned, std::string>>& volumes,
    Staging* staging, std::string* error) {
  std::vector<std::pair<std::string, std::string>> files = {
      {descriptorPath, BaseName(descriptorPath)}};
  for (const auto& volume : volumes) {
    files.push_back(
        {volume.second, ListedVolumeName(volume.first, volumeName)});
  }
  std::string list;
  for (const auto& file : files) {
    std::string hex;
    if (!FileSha256(staging->Temporary(file.first), &hex, error)) {
      *error = staging->Named(*error);
      return false;
    }
    list += ChecksumLine(hex, file.second);
  }
  std::string listPath = JoinPath(disk1, kChecksumListName);
  if (!WriteWholeFile(staging->Stage(listPath), list.data(), list.size(),
                      error)) {
    *error = staging->Named(*error);
    return false;
  }
  return true;
}

// The descriptors that OUTDIR's disk 1 holds (*.bin files that load), read
// in codepage.
std::vector<Media> EarlierDescriptors(const std::string& disk1,
                                      unsigned codepage) {
  std::vector<Media> found;
  for (const std::string& name : ListDirectory(disk1)) {
    std::string path = JoinPath(disk1, name);
    Media media;
    std::string error;
    if (name.size() > 4 &&
        strcasecmp(name.c_str() + name.size() - 4, ".bin") == 0 &&
        IsRegularFile(path) && LoadMedia(path, &media, &error, codepage)) {
      found.push_back(media);
    }
  }
  return found;
}

// Once the new media are in place: what an earlier build of the same
// product left that the new media do not have would be taken for part of
// them. Removes the volumes of disks the new media do not write (and the
// directories of disks past the last, when that empties them), the earlier
// descriptors of another name and the noInstall copies they list.
void RemoveEarlierFiles(const std::string& outputDir,
                        const std::string& volumeName, const MediaPlan& plan,
                        const std::vector<Media>& earlier,
                        const Staging& staging, const Console& console) {
  auto remove = [&](const std::string& path) {
    if (::unlink(path.c_str()) == 0) {
      PrintError(console, "note: removed " + path + " from an earlier build");
    }
  };
  const unsigned diskCount =
      static_cast<unsigned>(plan.disks.volumeSizes.size());
  for (unsigned disk = 1;; ++disk) {
    std::string dir = DiskDir(outputDir, disk);
    if (disk > diskCount && !IsDirectory(dir)) break;
    if (disk <= diskCount && plan.disks.volumeSizes[disk - 1] > 0) continue;
    std::string stale = FindNoCase(dir, volumeName);
    if (!stale.empty()) remove(JoinPath(dir, stale));
    if (disk > diskCount) ::rmdir(dir.c_str());
  }
  // Disk images this build does not write (of disks it no longer has, or
  // all of them when it writes none).
  for (unsigned disk = 1;; ++disk) {
    const std::string image = JoinPath(outputDir, "disk" + Num(disk) + ".img");
    if (disk > diskCount && !IsRegularFile(image)) break;
    if (staging.Temporary(image).empty() && IsFloppyImage(image)) {
      remove(image);
    }
  }
  const std::string disk1 = DiskDir(outputDir, 1);
  for (const Media& media : earlier) {
    if (staging.Temporary(media.path).empty()) remove(media.path);
    for (const MediaRecord& record : media.records) {
      std::string copy = PlainCopyPath(record.utf8Name);
      if (record.noInstall && !copy.empty() &&
          staging.Temporary(JoinPath(disk1, copy)).empty() &&
          IsRegularFile(JoinPath(disk1, copy))) {
        remove(JoinPath(disk1, copy));
      }
    }
  }
}

// The names of the files disk 1 carries beside the noInstall copies, and
// the installer's size (0 without one). Host names are UTF-8.
struct Disk1Files {
  std::string descriptorName;
  std::string volumeName;     // programFile's volume name, in UTF-8
  std::string installerName;  // "" when no installer is given
  uint64_t installerSize = 0;
};

// Notes on console.err every file whose size its record's sizeKb cannot
// hold.
void NoteClampedSizes(const Manifest& manifest,
                      const std::vector<PreparedFile>& files,
                      const Console& console) {
  for (const PreparedFile& file : files) {
    if (SizeKb(file.size) != (file.size + 1023) / 1024) {
      std::fprintf(console.err,
                   "pkgtool: note: %s:%d: %s is %llu bytes; its record says "
                   "65535 Kb, the most it can hold, so the space the "
                   "installer asks for is too small\n",
                   manifest.path.c_str(), file.file.line,
                   file.file.utf8Target.c_str(),
                   static_cast<unsigned long long>(file.size));
    }
  }
}

// Names the descriptor, the data volume and the installer on disk 1 and
// finds the installer's size; false with *errors when one cannot be had.
bool NameDisk1Files(const Manifest& manifest, const BuildOptions& options,
                    Disk1Files* disk1, std::vector<std::string>* errors) {
  disk1->descriptorName = DescriptorFileName(options.installerPath);
  std::string error;
  // The installer derives it from the code page's bytes; Linux shows it
  // in UTF-8.
  std::string volumeBytes;
  if (!VolumeNameFor(manifest.programFile, &volumeBytes, &error)) {
    errors->push_back(manifest.path + ": " + error);
    return false;
  }
  disk1->volumeName = DecodeText(volumeBytes, manifest.codepage);
  if (!options.installerPath.empty()) {
    disk1->installerName = BaseName(options.installerPath);
    if (!FileSize(options.installerPath, &disk1->installerSize)) {
      errors->push_back(options.installerPath +
                        ": cannot read the installer: " + SystemError());
      return false;
    }
  }
  return true;
}

// Appends to *errors every two files of disk 1 that would have the same
// name, whatever its case: everything disk 1 carries needs its own.
void CheckDisk1Names(const Manifest& manifest,
                     const std::vector<PreparedFile>& files,
                     const Disk1Files& disk1,
                     std::vector<std::string>* errors) {
  std::vector<std::pair<std::string, std::string>> disk1Names = {
      {disk1.descriptorName, "the descriptor"},
      {disk1.volumeName, "the data volume"},
      {kChecksumListName, "the checksum list"}};
  if (!disk1.installerName.empty()) {
    disk1Names.push_back({disk1.installerName, "the installer"});
  }
  for (const PreparedFile& file : files) {
    if (file.file.noInstall) {
      disk1Names.push_back({PlainCopyPath(file.file.utf8Target),
                            "the noInstall file " + file.file.utf8Target});
    }
  }
  for (size_t i = 0; i < disk1Names.size(); ++i) {
    for (size_t j = i + 1; j < disk1Names.size(); ++j) {
      if (strcasecmp(disk1Names[i].first.c_str(),
                     disk1Names[j].first.c_str()) == 0) {
        errors->push_back(manifest.path + ": " + disk1Names[i].second +
                          " and " + disk1Names[j].second +
                          " would both be disk1/" + disk1Names[j].first);
      }
    }
  }
}

// Sorts the media already in OUTDIR: this product's go to *earlier, to be
// replaced; another product's stop the build (false) unless forced.
bool FindEarlierMedia(const Manifest& manifest, const BuildOptions& options,
                      const Console& console, std::vector<Media>* earlier,
                      std::vector<std::string>* errors) {
  for (const Media& media :
       EarlierDescriptors(DiskDir(options.outputDir, 1), manifest.codepage)) {
    if (strcasecmp(media.programFile.c_str(), manifest.programFile.c_str()) ==
        0) {
      earlier->push_back(media);
    } else if (options.force) {
      PrintError(console, "note: " + media.path + " (" + media.utf8ProgramFile +
                              ") belongs to another product; --force: "
                              "its files are left beside the new media");
    } else {
      errors->push_back(media.path + " holds the media of another product (" +
                        media.utf8ProgramFile + ", \"" + media.utf8Title +
                        "\"), not of " + manifest.utf8ProgramFile +
                        "; give --force to build into " + options.outputDir +
                        " all the same");
      return false;
    }
  }
  return true;
}

// Lays out the media and checks the record table it wrote; false with
// *errors when there is no layout or the table does not validate.
bool PlanCheckedMedia(const Manifest& manifest,
                      const std::vector<PreparedFile>& files,
                      const std::vector<uint64_t>& lengths,
                      const Disk1Files& disk1, MediaPlan* plan,
                      std::vector<std::string>* errors) {
  std::string error;
  if (!PlanMedia(manifest, files, lengths, disk1.installerSize, plan, &error,
                 disk1.descriptorName)) {
    errors->push_back(manifest.path + ": " + error);
    return false;
  }
  const std::vector<uint8_t>& descriptor = plan->descriptor;
  if (!ValidateRecordTable(descriptor.data() + kHeaderSize,
                           descriptor.size() - kHeaderSize,
                           static_cast<unsigned>(files.size()))) {
    errors->push_back("internal: the record table written fails validation");
    return false;
  }
  return true;
}

// The number of disks of a plan.
unsigned DiskCount(const MediaPlan& plan) {
  return static_cast<unsigned>(plan.disks.volumeSizes.size());
}

// Stages disk 1's own files: the plain copies of the noInstall files, the
// installer, the descriptor and, last, the checksum list over the volumes.
bool StageDisk1Files(
    const BuildOptions& options, const std::vector<PreparedFile>& files,
    const Disk1Files& disk1Files, const std::vector<uint8_t>& descriptor,
    const std::vector<std::pair<unsigned, std::string>>& volumes,
    Staging* staging, std::vector<std::string>* errors) {
  const std::string disk1 = DiskDir(options.outputDir, 1);
  std::string error;
  for (const PreparedFile& file : files) {
    if (!file.file.noInstall) continue;
    std::string copy = JoinPath(disk1, PlainCopyPath(file.file.utf8Target));
    if (!staging->MakeDirectories(DirName(copy))) {
      errors->push_back(DirName(copy) + ": cannot create: " + SystemError());
      return false;
    }
    if (!CopyFileBytes(file.file.sourcePath, staging->Stage(copy), &error)) {
      errors->push_back(staging->Named(error));
      return false;
    }
  }
  const std::string descriptorPath = JoinPath(disk1, disk1Files.descriptorName);
  if ((!disk1Files.installerName.empty() &&
       !CopyFileBytes(options.installerPath,
                      staging->Stage(JoinPath(disk1, disk1Files.installerName)),
                      &error)) ||
      !WriteWholeFile(staging->Stage(descriptorPath), descriptor.data(),
                      descriptor.size(), &error) ||
      !WriteChecksumList(disk1, descriptorPath, disk1Files.volumeName, volumes,
                         staging, &error)) {
    errors->push_back(staging->Named(error));
    return false;
  }
  return true;
}

// Stages OUTDIR/diskN.img for every disk: a floppy of the manifest's
// format holding exactly that disk's files, labelled with the title and
// the disk number.
bool StageImages(const Manifest& manifest, const BuildOptions& options,
                 const std::vector<PreparedFile>& files,
                 const Disk1Files& disk1Files,
                 const std::vector<std::pair<unsigned, std::string>>& volumes,
                 unsigned diskCount, Staging* staging,
                 std::vector<std::string>* errors) {
  const std::string disk1 = DiskDir(options.outputDir, 1);
  for (unsigned disk = 1; disk <= diskCount; ++disk) {
    // (name on the floppy, the staged file)
    std::vector<std::pair<std::string, std::string>> content;
    auto add = [&](const std::string& name, const std::string& finalPath) {
      content.push_back({name, staging->Temporary(finalPath)});
    };
    if (disk == 1) {
      if (!disk1Files.installerName.empty()) {
        add(disk1Files.installerName,
            JoinPath(disk1, disk1Files.installerName));
      }
      add(disk1Files.descriptorName,
          JoinPath(disk1, disk1Files.descriptorName));
      add(kChecksumListName, JoinPath(disk1, kChecksumListName));
      for (const PreparedFile& file : files) {
        if (!file.file.noInstall) continue;
        const std::string copy = PlainCopyPath(file.file.utf8Target);
        add(copy, JoinPath(disk1, copy));
      }
    }
    for (const auto& volume : volumes) {
      if (volume.first == disk) add(disk1Files.volumeName, volume.second);
    }
    const std::string image =
        JoinPath(options.outputDir, "disk" + Num(disk) + ".img");
    std::string error;
    if (!WriteFloppyImage(*manifest.diskFormat,
                          VolumeLabel(manifest.utf8Title, disk), content,
                          staging->Stage(image), &error)) {
      errors->push_back(image + ": " + staging->Named(error));
      return false;
    }
  }
  return true;
}

// Writes every file of the media under its temporary name: the disks'
// directories, the volumes from the store (closed once they are written),
// disk 1's own files and, when asked for, the disk images.
bool StageMedia(const Manifest& manifest, const BuildOptions& options,
                const std::vector<PreparedFile>& files,
                const Disk1Files& disk1Files, const MediaPlan& plan,
                StreamStore* store, Staging* staging,
                std::vector<std::string>* errors) {
  for (unsigned disk = 1; disk <= DiskCount(plan); ++disk) {
    if (!staging->MakeDirectories(DiskDir(options.outputDir, disk))) {
      errors->push_back(DiskDir(options.outputDir, disk) +
                        ": cannot create: " + SystemError());
      return false;
    }
  }
  std::vector<std::pair<unsigned, std::string>> volumes;
  if (!WriteVolumes(options.outputDir, disk1Files.volumeName, plan, *store,
                    staging, &volumes, errors)) {
    return false;
  }
  store->Close();
  return StageDisk1Files(options, files, disk1Files, plan.descriptor, volumes,
                         staging, errors) &&
         (!options.images ||
          StageImages(manifest, options, files, disk1Files, volumes,
                      DiskCount(plan), staging, errors));
}

// Puts the staged media in place, then removes what an earlier build of the
// product left that they do not have; false with *errors when the commit
// fails (the earlier files are then kept).
bool CommitMedia(const BuildOptions& options, const std::string& volumeName,
                 const MediaPlan& plan, const std::vector<Media>& earlier,
                 const Console& console, Staging* staging,
                 std::vector<std::string>* errors) {
  // A signal waits until the earlier build's leftovers are gone too.
  CleanupOnSignal::Hold hold;
  std::string error;
  if (!staging->Commit(&error)) {
    errors->push_back(error);
    return false;
  }
  RemoveEarlierFiles(options.outputDir, volumeName, plan, earlier, *staging,
                     console);
  return true;
}

std::string ByteCount(uint64_t count) { return Num(count) + " bytes"; }

// The bytes disk 1 keeps for the installer: its size or the manifest's
// reserve, whichever is larger.
uint64_t InstallerRoom(const Manifest& manifest, const Disk1Files& disk1) {
  return std::max(manifest.installerReserve, disk1.installerSize);
}

// What disk 1 carries beside its volume, for the layout report; adds the
// bytes that count against diskSize to *used.
std::string Disk1Items(const Manifest& manifest,
                       const std::vector<PreparedFile>& files,
                       const Disk1Files& disk1, const MediaPlan& plan,
                       uint64_t* used) {
  std::string items;
  auto add = [&](const std::string& item) {
    items += items.empty() ? item : ", " + item;
  };
  if (!disk1.installerName.empty()) {
    add(disk1.installerName + " " + ByteCount(disk1.installerSize) +
        (manifest.installerReserve > disk1.installerSize
             ? " (room kept: " + ByteCount(manifest.installerReserve) + ")"
             : ""));
  } else if (manifest.installerReserve > 0) {
    add("room for the installer " + ByteCount(manifest.installerReserve));
  }
  add(disk1.descriptorName + " " + ByteCount(plan.descriptor.size()));
  *used = Takes(manifest, InstallerRoom(manifest, disk1)) +
          Takes(manifest, plan.descriptor.size());
  for (const PreparedFile& file : files) {
    if (!file.file.noInstall) continue;
    add(PlainCopyPath(file.file.utf8Target) + " " + ByteCount(file.size));
    *used += Takes(manifest, file.size);
  }
  const uint64_t checksums =
      ChecksumListBytes(disk1.descriptorName, disk1.volumeName, plan.disks);
  add(std::string(kChecksumListName) + " " + ByteCount(checksums));
  *used += Takes(manifest, checksums);
  return items;
}

// Prints on console.out what each disk holds, how full it is and a line of
// totals; the disks are named as under label (OUTDIR, or "" for none).
void PrintLayout(const Manifest& manifest, const std::string& label,
                 const std::vector<PreparedFile>& files,
                 const Disk1Files& disk1, const MediaPlan& plan,
                 const Console& console) {
  const unsigned diskCount = DiskCount(plan);
  for (unsigned disk = 1; disk <= diskCount; ++disk) {
    uint64_t used = 0;
    std::string items;
    if (disk == 1) items = Disk1Items(manifest, files, disk1, plan, &used);
    uint64_t volumeSize = plan.disks.volumeSizes[disk - 1];
    if (volumeSize > 0) {
      std::string volume = disk1.volumeName + " " + ByteCount(volumeSize);
      items = items.empty() ? volume : volume + ", " + items;
      used += Takes(manifest, volumeSize);
    }
    std::fprintf(console.out, "%s: %s; %s of %s\n",
                 label.empty() ? ("disk" + Num(disk)).c_str()
                               : DiskDir(label, disk).c_str(),
                 items.c_str(), Num(used).c_str(),
                 ByteCount(DiskRoom(manifest)).c_str());
  }
  std::string installer =
      !disk1.installerName.empty() ? "disk 1 holds the installer and the "
                                     "descriptor"
      : manifest.installerReserve > 0
          ? "disk 1 keeps " + ByteCount(manifest.installerReserve) +
                " for the installer and holds the descriptor"
          : "disk 1 holds the descriptor and keeps no room for an installer";
  const std::string capacity =
      manifest.diskFormat != nullptr
          ? std::string(manifest.diskFormat->name) + " floppies (" +
                ByteCount(DiskRoom(manifest)) + " for files, in clusters of " +
                Num(manifest.diskFormat->ClusterBytes()) + ")"
          : ByteCount(manifest.diskSize);
  std::fprintf(console.out, "%zu files on %u disk%s of %s; %s\n", files.size(),
               diskCount, diskCount == 1 ? "" : "s", capacity.c_str(),
               installer.c_str());
}

// "disk 2", "disks 1-3", "-" (no stream) for the record of a file.
std::string DisksOf(const RecordPlan& record) {
  if (record.flags & kFlagNoInstall) return "disk 1, plain copy";
  if (record.chunks.empty()) return "-";
  unsigned first = record.chunks.front().disk;
  unsigned last = record.chunks.back().disk;
  return first == last ? "disk " + Num(first)
                       : "disks " + Num(first) + "-" + Num(last);
}

// A file's flags for the dry run's list: "shared,version=...",
// "noInstall" or "-".
std::string FlagText(const PreparedFile& file) {
  std::string text;
  if (file.file.shared) {
    text = "shared,version=" + FormatVersion(file.versionMs, file.versionLs);
  }
  if (file.file.noInstall) text += text.empty() ? "noInstall" : ",noInstall";
  return text.empty() ? "-" : text;
}

// Warns on console.err about what builds but is likely a mistake: a
// programFile the package does not install, and an installer larger than
// the room the manifest keeps for it.
void WarnAboutPackage(const Manifest& manifest,
                      const std::vector<PreparedFile>& files,
                      const Disk1Files& disk1, const Console& console) {
  const std::u32string program =
      NameKey(DecodeText(manifest.programFile, manifest.codepage));
  bool installed = false;
  for (const PreparedFile& file : files) {
    installed =
        installed ||
        (!file.file.noInstall &&
         NameKey(DecodeText(file.file.target, manifest.codepage)) == program);
  }
  if (!installed) {
    PrintError(console,
               "warning: " + manifest.path + ":" +
                   Num(manifest.programFileLine) + ": programFile " +
                   manifest.utf8ProgramFile +
                   " is not among the installed files (no target of that "
                   "name without noInstall): " +
                   (manifest.kind == PackageKind::kGame
                        ? "Program Manager's item would point at nothing"
                        : "the package would not install its own program"));
  }
  if (disk1.installerSize > manifest.installerReserve) {
    PrintError(console,
               "warning: the installer " + disk1.installerName + " is " +
                   ByteCount(disk1.installerSize) + ", " +
                   Num(disk1.installerSize - manifest.installerReserve) +
                   " more than installerReserve (" +
                   ByteCount(manifest.installerReserve) +
                   "): disk 1's layout grows to make room for it");
  }
}

// What a build works from once everything is checked: the files, the names
// disk 1 gives them, and the media of the product already in OUTDIR.
struct BuildInputs {
  std::vector<PreparedFile> files;
  Disk1Files disk1;
  std::vector<Media> earlier;
};

bool PrepareBuild(const Manifest& manifest, const BuildOptions& options,
                  const Console& console, BuildInputs* inputs,
                  std::vector<std::string>* errors) {
  if (!PrepareFiles(manifest, &inputs->files, errors)) return false;
  NoteClampedSizes(manifest, inputs->files, console);
  if (!NameDisk1Files(manifest, options, &inputs->disk1, errors)) return false;
  CheckDisk1Names(manifest, inputs->files, inputs->disk1, errors);
  if (!errors->empty()) return false;
  WarnAboutPackage(manifest, inputs->files, inputs->disk1, console);
  return options.outputDir.empty() ||
         FindEarlierMedia(manifest, options, console, &inputs->earlier, errors);
}

// The dry run: the streams measured and laid out as a build would, the
// layout printed, nothing written.
bool DryRun(const Manifest& manifest, const BuildOptions& options,
            const BuildInputs& inputs, const Console& console,
            std::vector<std::string>* errors) {
  StreamStore store;
  MediaPlan plan;
  if (!EncodeAll(manifest, inputs.files, "", options.jobs, console, nullptr,
                 &store, errors) ||
      !PlanCheckedMedia(manifest, inputs.files, store.Lengths(), inputs.disk1,
                        &plan, errors)) {
    return false;
  }
  for (size_t i = 0; i < inputs.files.size(); ++i) {
    const PreparedFile& file = inputs.files[i];
    std::fprintf(console.out, "%s\t%s\t%s\t%s\n", file.file.utf8Target.c_str(),
                 file.file.sourcePath.c_str(), FlagText(file).c_str(),
                 DisksOf(plan.records[i]).c_str());
  }
  PrintLayout(manifest, options.outputDir, inputs.files, inputs.disk1, plan,
              console);
  return true;
}

}  // namespace

uint16_t SizeKb(uint64_t size) {
  uint64_t kb = (size + 1023) / 1024;
  return static_cast<uint16_t>(kb > 0xFFFF ? 0xFFFF : kb);
}

std::string DescriptorFileName(const std::string& installerPath) {
  if (installerPath.empty()) return "SETUP.bin";
  char name[kPathSize];
  CopyText(name, sizeof name, BaseName(installerPath).c_str());
  ReplaceExtension(name, ".bin");
  return name;
}

std::string PlainCopyPath(const std::string& target) {
  std::vector<std::string> components;
  std::string why;
  if (!ExtractionComponents(target, &components, &why)) return std::string();
  std::string path;
  for (const std::string& component : components) {
    path = path.empty() ? component : path + "/" + component;
  }
  return path;
}

bool PrepareFiles(const Manifest& manifest, std::vector<PreparedFile>* files,
                  std::vector<std::string>* errors) {
  size_t before = errors->size();
  files->clear();
  for (const ManifestFile& file : manifest.files) {
    PreparedFile prepared;
    prepared.file = file;
    const std::string& source = file.sourcePath;
    struct stat info;
    const bool found = stat(source.c_str(), &info) == 0;
    if (!found || !S_ISREG(info.st_mode)) {
      errors->push_back(At(manifest, file) + source + ": " +
                        (!found ? SystemError()
                         : S_ISDIR(info.st_mode)
                             ? std::string("is a directory (end the "
                                           "target with '\\' to take "
                                           "the files below it)")
                             : std::string("is not a regular file (a "
                                           "device, pipe or socket)")));
      continue;
    }
    if (::access(source.c_str(), R_OK) != 0) {
      errors->push_back(At(manifest, file) + source + ": " + SystemError());
      continue;
    }
    FileSize(source, &prepared.size);
    if (prepared.size > kMaxStreamInput) {
      errors->push_back(
          At(manifest, file) + source + ": " + Num(prepared.size) +
          " bytes; a file may hold at most " + Num(kMaxStreamInput));
      continue;
    }
    if (file.shared) {
      if (file.hasVersion) {
        prepared.versionMs = file.versionMs;
        prepared.versionLs = file.versionLs;
      } else if (!host::ReadFileVersion(source, &prepared.versionMs,
                                        &prepared.versionLs)) {
        errors->push_back(At(manifest, file) + source +
                          " has no version resource (it is not a Windows "
                          "executable or DLL that carries one); give "
                          "version=a.b.c.d");
        continue;
      }
    }
    files->push_back(prepared);
  }
  return errors->size() == before;
}

std::vector<size_t> ReadingOrder(const std::vector<RecordPlan>& records) {
  std::vector<size_t> order;
  for (int pass : {1, 2, 0}) {
    for (size_t i = 0; i < records.size(); ++i) {
      const RecordPlan& record = records[i];
      if ((record.flags & kFlagNoInstall) == 0 &&
          ReadingPass(record.flags, record.name.c_str()) == pass) {
        order.push_back(i);
      }
    }
  }
  return order;
}

namespace {

// What disk 1 keeps besides its volume, as a floppy would take it: the
// installer's room, the noInstall copies (a cluster for each directory they
// need), the descriptor and the checksum list. *entries counts the root
// directory's entries, the volume's among them. "" when one file alone
// cannot fit an empty disk, else the file.
std::string Disk1Needs(const Manifest& manifest,
                       const std::vector<PreparedFile>& files,
                       uint64_t installerBytes, uint64_t descriptorBytes,
                       uint64_t checksumBytes, uint64_t* reserve,
                       unsigned* entries, const std::string& descriptorName,
                       const std::string& volumeName) {
  std::string tooLarge;
  const uint64_t room = DiskRoom(manifest);
  auto add = [&](const std::string& name, uint64_t size) {
    *reserve += Takes(manifest, size);
    if (Takes(manifest, size) > room && tooLarge.empty()) tooLarge = name;
  };
  *reserve = 0;
  add("the installer", installerBytes);
  add(descriptorName, descriptorBytes);
  add(kChecksumListName, checksumBytes);
  std::vector<std::string> roots = {descriptorName, kChecksumListName,
                                    volumeName};
  std::vector<std::string> directories;
  for (const PreparedFile& file : files) {
    if (!file.file.noInstall) continue;
    const std::string copy = PlainCopyPath(file.file.utf8Target);
    add(copy, file.size);
    for (size_t slash = copy.find('/'); slash != std::string::npos;
         slash = copy.find('/', slash + 1)) {
      const std::string directory = copy.substr(0, slash);
      if (std::find(directories.begin(), directories.end(), directory) ==
          directories.end()) {
        directories.push_back(directory);
        *reserve += Takes(manifest, 1);
      }
    }
    const std::string root = copy.substr(0, copy.find('/'));
    if (std::find(roots.begin(), roots.end(), root) == roots.end()) {
      roots.push_back(root);
    }
  }
  // The volume label takes an entry; the installer is named as the
  // descriptor is, with another extension.
  *entries = 1 + DirectoryEntries(descriptorName);
  for (const std::string& root : roots) *entries += DirectoryEntries(root);
  return tooLarge;
}

}  // namespace

bool PlanMedia(const Manifest& manifest, const std::vector<PreparedFile>& files,
               const std::vector<uint64_t>& streamLengths,
               uint64_t installerSize, MediaPlan* plan, std::string* error,
               const std::string& descriptorName) {
  plan->records.clear();
  std::vector<size_t> streamOwners;  // record index of each stream
  std::vector<uint64_t> lengths;
  uint64_t descriptorGuess = kHeaderSize;
  for (size_t i = 0; i < files.size(); ++i) {
    const PreparedFile& file = files[i];
    RecordPlan record;
    record.name = file.file.target;
    record.flags =
        static_cast<uint16_t>((file.file.noInstall ? kFlagNoInstall : 0) |
                              (file.file.shared ? 2 : 0));
    record.sizeKb = SizeKb(file.size);
    record.versionMs = file.versionMs;
    record.versionLs = file.versionLs;
    if (!file.file.noInstall) {
      record.chunks.push_back(ChunkEntry{1, 2, 1});  // one chunk, for now
    }
    descriptorGuess += RecordLength(record);
    plan->records.push_back(record);
  }
  // The streams go on the disks in the order the installer reads them, so
  // that it asks for each disk once; the table keeps the manifest's order.
  plan->streamOrder = ReadingOrder(plan->records);
  for (size_t owner : plan->streamOrder) {
    streamOwners.push_back(owner);
    lengths.push_back(streamLengths[owner]);
  }
  const uint64_t installerBytes =
      std::max(manifest.installerReserve, installerSize);
  std::string volumeName, why;
  VolumeNameFor(manifest.programFile, &volumeName, &why);
  volumeName = DecodeText(volumeName, manifest.codepage);
  const uint64_t room = DiskRoom(manifest);
  uint64_t checksumGuess = ChecksumListBytes(descriptorName, volumeName, {});

  for (int attempt = 0; attempt < 1000; ++attempt) {
    uint64_t reserve = 0;
    unsigned entries = 0;
    std::string tooLarge = Disk1Needs(manifest, files, installerBytes,
                                      descriptorGuess, checksumGuess, &reserve,
                                      &entries, descriptorName, volumeName);
    const std::string disk =
        manifest.diskFormat != nullptr
            ? std::string("a ") + manifest.diskFormat->name + " floppy"
            : "a disk";
    if (!tooLarge.empty()) {
      *error = tooLarge + " does not fit on " + disk + " (" + Num(room) +
               " bytes for files)";
      return false;
    }
    if (reserve > room) {
      *error =
          "disk 1 (" + Num(room) + " bytes) cannot hold the installer (" +
          Num(installerBytes) + "), the descriptor (" + Num(descriptorGuess) +
          "), the checksum list and the noInstall files (" + Num(reserve) +
          " bytes in all" +
          (manifest.diskFormat != nullptr ? ", in whole clusters" : "") + ")";
      return false;
    }
    if (manifest.diskFormat != nullptr &&
        entries > manifest.diskFormat->rootEntries) {
      *error = "disk 1's root directory would need " + Num(entries) +
               " entries; " + disk + " has " +
               Num(manifest.diskFormat->rootEntries);
      return false;
    }
    if (!PlanDisks(room, reserve, lengths, &plan->disks, error)) return false;
    for (size_t s = 0; s < streamOwners.size(); ++s) {
      plan->records[streamOwners[s]].chunks = plan->disks.chunks[s];
    }
    if (!SerializeDescriptor(manifest.kind == PackageKind::kControlPanel,
                             manifest.programFile, manifest.title,
                             plan->records, &plan->descriptor, error)) {
      return false;
    }
    const uint64_t checksums =
        ChecksumListBytes(descriptorName, volumeName, plan->disks);
    if (plan->descriptor.size() <= descriptorGuess &&
        checksums <= checksumGuess) {
      plan->disk1Reserve = reserve;
      return true;
    }
    descriptorGuess =
        std::max<uint64_t>(descriptorGuess, plan->descriptor.size());
    checksumGuess = std::max(checksumGuess, checksums);
  }
  *error = "internal: the layout of disk 1 does not settle";
  return false;
}

bool BuildMedia(const Manifest& manifest, const BuildOptions& options,
                const Console& console, std::vector<std::string>* errors) {
  // The files, checked, and the names disk 1 gives them; the media already
  // in OUTDIR.
  BuildInputs inputs;
  if (!PrepareBuild(manifest, options, console, &inputs, errors)) return false;
  if (options.dryRun) return DryRun(manifest, options, inputs, console, errors);

  // The streams, encoded into the workers' temporary files: their lengths
  // decide the layout. From here on everything written is staged.
  Staging staging;
  if (!staging.MakeDirectories(options.outputDir)) {
    errors->push_back(options.outputDir + ": cannot create: " + SystemError());
    return false;
  }
  StreamStore store;
  if (!EncodeAll(manifest, inputs.files, options.outputDir, options.jobs,
                 console, &staging, &store, errors)) {
    return false;
  }

  // The disks laid out and the descriptor checked.
  MediaPlan plan;
  if (!PlanCheckedMedia(manifest, inputs.files, store.Lengths(), inputs.disk1,
                        &plan, errors)) {
    return false;
  }

  // Every file written under its temporary name, then all put in place.
  if (!StageMedia(manifest, options, inputs.files, inputs.disk1, plan, &store,
                  &staging, errors) ||
      !CommitMedia(options, inputs.disk1.volumeName, plan, inputs.earlier,
                   console, &staging, errors)) {
    return false;
  }
  PrintLayout(manifest, options.outputDir, inputs.files, inputs.disk1, plan,
              console);
  return true;
}

}  // namespace pkgtool
