// Making media from a manifest; see builder.h.
#include "builder.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/result.h"
#include "base/text.h"
#include "checksums.h"
#include "host_files.h"
#include "interrupt.h"
#include "media.h"
#include "platform/host/pe_version.h"
#include "stream/encoder.h"
#include "target_name.h"

namespace pkgtool {
namespace {

constexpr uint64_t kMaxStreamInput = 0xFFFFFFFFu;
constexpr char kTempName[] = ".pkgtool-streams.tmp";

std::string Num(uint64_t value) { return std::to_string(value); }

std::string At(const Manifest& manifest, const ManifestFile& file) {
  return manifest.path + ":" + Num(file.line) + ": ";
}

std::string DiskDir(const std::string& outputDir, unsigned disk) {
  return JoinPath(outputDir, "disk" + Num(disk));
}

// Removes a file when the holder goes, unless released.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  ~TempFile() { ::unlink(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

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

struct EncodeContext {
  std::FILE* in;
  std::FILE* out;
  ProgressBar* bar;
  uint64_t* done;
};

long ReadSource(void* context, uint8_t* buffer, size_t count) {
  auto* encode = static_cast<EncodeContext*>(context);
  size_t n = std::fread(buffer, 1, count, encode->in);
  if (n == 0 && std::ferror(encode->in)) return -1;
  *encode->done += n;
  encode->bar->Update(*encode->done);
  return static_cast<long>(n);
}

bool WriteTemp(void* context, const uint8_t* bytes, size_t count) {
  auto* encode = static_cast<EncodeContext*>(context);
  return std::fwrite(bytes, 1, count, encode->out) == count;
}

// Encodes every file that has a stream into temp, one stream after the
// other; stores each stream's length (0 for noInstall files).
bool EncodeAll(const Manifest& manifest, const std::vector<PreparedFile>& files,
               std::FILE* temp, const std::string& tempPath,
               const Console& console, std::vector<uint64_t>* lengths,
               std::vector<std::string>* errors) {
  uint64_t total = 0;
  for (const PreparedFile& file : files) {
    if (!file.file.noInstall) total += file.size;
  }
  ProgressBar bar(console, total);
  uint64_t done = 0;
  lengths->assign(files.size(), 0);
  for (size_t i = 0; i < files.size(); ++i) {
    const PreparedFile& file = files[i];
    if (file.file.noInstall) continue;
    bar.SetLabel(file.file.target);
    FileCloser in(std::fopen(file.file.sourcePath.c_str(), "rb"));
    if (in.get() == nullptr) {
      errors->push_back(At(manifest, file.file) + file.file.sourcePath +
                        ": cannot open: " + SystemError());
      return false;
    }
    EncodeContext context{in.get(), temp, &bar, &done};
    EncodeIo io{ReadSource, &context, WriteTemp, &context};
    uint64_t streamSize = 0;
    EncodeResult result =
        EncodeStream(io, static_cast<uint32_t>(file.size), &streamSize);
    if (result == EncodeResult::kWriteFailed) {
      errors->push_back(tempPath + ": write error: " + SystemError());
      return false;
    }
    if (result != EncodeResult::kOk) {
      errors->push_back(At(manifest, file.file) + file.file.sourcePath +
                        (result == EncodeResult::kInputShort
                             ? ": ended before its " + Num(file.size) +
                                   " bytes (did it change during the build?)"
                             : ": read error"));
      return false;
    }
    (*lengths)[i] = streamSize;
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

// Writes the volumes, staged: the streams of temp, in order, cut into the
// planned chunks. *volumes gets each volume's final path, by disk.
bool WriteVolumes(const std::string& outputDir, const std::string& volumeName,
                  const MediaPlan& plan, std::FILE* temp, Staging* staging,
                  std::vector<std::pair<unsigned, std::string>>* volumes,
                  std::vector<std::string>* errors) {
  if (std::fseek(temp, 0, SEEK_SET) != 0) {
    errors->push_back("cannot rewind the temporary stream file");
    return false;
  }
  std::FILE* volume = nullptr;
  std::string volumePath;
  unsigned disk = 0;
  auto closeVolume = [&]() {
    bool ok = volume == nullptr || std::fclose(volume) == 0;
    volume = nullptr;
    if (!ok) errors->push_back(volumePath + ": write error: " + SystemError());
    return ok;
  };
  for (const RecordPlan& record : plan.records) {
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

// The descriptors that OUTDIR's disk 1 holds (*.bin files that load).
std::vector<Media> EarlierDescriptors(const std::string& disk1) {
  std::vector<Media> found;
  for (const std::string& name : ListDirectory(disk1)) {
    std::string path = JoinPath(disk1, name);
    Media media;
    std::string error;
    if (name.size() > 4 &&
        strcasecmp(name.c_str() + name.size() - 4, ".bin") == 0 &&
        IsRegularFile(path) && LoadMedia(path, &media, &error)) {
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
  const std::string disk1 = DiskDir(outputDir, 1);
  for (const Media& media : earlier) {
    if (staging.Temporary(media.path).empty()) remove(media.path);
    for (const MediaRecord& record : media.records) {
      std::string copy = PlainCopyPath(record.name);
      if (record.noInstall && !copy.empty() &&
          staging.Temporary(JoinPath(disk1, copy)).empty() &&
          IsRegularFile(JoinPath(disk1, copy))) {
        remove(JoinPath(disk1, copy));
      }
    }
  }
}

// The names of the files disk 1 carries beside the noInstall copies, and
// the installer's size (0 without one).
struct Disk1Files {
  std::string descriptorName;
  std::string volumeName;
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
                   file.file.target.c_str(),
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
  if (!VolumeNameFor(manifest.programFile, &disk1->volumeName, &error)) {
    errors->push_back(manifest.path + ": " + error);
    return false;
  }
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
      disk1Names.push_back({PlainCopyPath(file.file.target),
                            "the noInstall file " + file.file.target});
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
  for (const Media& media : EarlierDescriptors(DiskDir(options.outputDir, 1))) {
    if (strcasecmp(media.programFile.c_str(), manifest.programFile.c_str()) ==
        0) {
      earlier->push_back(media);
    } else if (options.force) {
      PrintError(console, "note: " + media.path + " (" + media.programFile +
                              ") belongs to another product; --force: "
                              "its files are left beside the new media");
    } else {
      errors->push_back(media.path + " holds the media of another product (" +
                        media.programFile + ", \"" + media.title +
                        "\"), not of " + manifest.programFile +
                        "; give --force to build into " + options.outputDir +
                        " all the same");
      return false;
    }
  }
  return true;
}

// Encodes the streams into temp, the temporary file opened at tempPath
// (nullptr when it could not be), and flushes it; *lengths as EncodeAll's.
bool EncodeStreams(const Manifest& manifest,
                   const std::vector<PreparedFile>& files, std::FILE* temp,
                   const std::string& tempPath, const Console& console,
                   std::vector<uint64_t>* lengths,
                   std::vector<std::string>* errors) {
  if (temp == nullptr) {
    errors->push_back(tempPath + ": cannot create: " + SystemError());
    return false;
  }
  if (!EncodeAll(manifest, files, temp, tempPath, console, lengths, errors)) {
    return false;
  }
  if (std::fflush(temp) != 0) {
    errors->push_back(tempPath + ": write error: " + SystemError());
    return false;
  }
  return true;
}

// Lays out the media and checks the record table it wrote; false with
// *errors when there is no layout or the table does not validate.
bool PlanCheckedMedia(const Manifest& manifest,
                      const std::vector<PreparedFile>& files,
                      const std::vector<uint64_t>& lengths,
                      uint64_t installerSize, MediaPlan* plan,
                      std::vector<std::string>* errors) {
  std::string error;
  if (!PlanMedia(manifest, files, lengths, installerSize, plan, &error)) {
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
    std::string copy = JoinPath(disk1, PlainCopyPath(file.file.target));
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

// Writes every file of the media under its temporary name: the disks'
// directories, the volumes from temp (closed once they are written) and
// disk 1's own files.
bool StageMedia(const BuildOptions& options,
                const std::vector<PreparedFile>& files,
                const Disk1Files& disk1Files, const MediaPlan& plan,
                FileCloser* temp, Staging* staging,
                std::vector<std::string>* errors) {
  for (unsigned disk = 1; disk <= DiskCount(plan); ++disk) {
    if (!staging->MakeDirectories(DiskDir(options.outputDir, disk))) {
      errors->push_back(DiskDir(options.outputDir, disk) +
                        ": cannot create: " + SystemError());
      return false;
    }
  }
  std::vector<std::pair<unsigned, std::string>> volumes;
  if (!WriteVolumes(options.outputDir, disk1Files.volumeName, plan, temp->get(),
                    staging, &volumes, errors)) {
    return false;
  }
  temp->Close();
  return StageDisk1Files(options, files, disk1Files, plan.descriptor, volumes,
                         staging, errors);
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

// Prints on console.out what each disk holds and a line of totals.
void PrintSummary(const Manifest& manifest, const BuildOptions& options,
                  const std::vector<PreparedFile>& files,
                  const Disk1Files& disk1Files, const MediaPlan& plan,
                  const Console& console) {
  const unsigned diskCount = DiskCount(plan);
  for (unsigned disk = 1; disk <= diskCount; ++disk) {
    std::fprintf(console.out, "%s:", DiskDir(options.outputDir, disk).c_str());
    if (disk == 1) {
      std::fprintf(console.out, " %s (%zu bytes), %s",
                   disk1Files.descriptorName.c_str(), plan.descriptor.size(),
                   kChecksumListName);
      if (!disk1Files.installerName.empty()) {
        std::fprintf(console.out, ", %s (%llu bytes)",
                     disk1Files.installerName.c_str(),
                     static_cast<unsigned long long>(disk1Files.installerSize));
      }
      for (const PreparedFile& file : files) {
        if (file.file.noInstall) {
          std::fprintf(console.out, ", %s",
                       PlainCopyPath(file.file.target).c_str());
        }
      }
    }
    uint64_t volumeSize = plan.disks.volumeSizes[disk - 1];
    if (volumeSize > 0) {
      std::fprintf(console.out, "%s %s (%llu bytes)", disk == 1 ? "," : "",
                   disk1Files.volumeName.c_str(),
                   static_cast<unsigned long long>(volumeSize));
    }
    std::fprintf(console.out, "\n");
  }
  std::fprintf(console.out, "%zu files on %u disk%s of %llu bytes\n",
               files.size(), diskCount, diskCount == 1 ? "" : "s",
               static_cast<unsigned long long>(manifest.diskSize));
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
    if (!IsRegularFile(source)) {
      errors->push_back(At(manifest, file) + source + ": " +
                        (IsDirectory(source) ? std::string("is a directory")
                                             : SystemError()));
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

bool PlanMedia(const Manifest& manifest, const std::vector<PreparedFile>& files,
               const std::vector<uint64_t>& streamLengths,
               uint64_t installerSize, MediaPlan* plan, std::string* error) {
  plan->records.clear();
  std::vector<size_t> streamOwners;  // record index of each stream
  std::vector<uint64_t> lengths;
  uint64_t plainBytes = 0;
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
    if (file.file.noInstall) {
      plainBytes += file.size;
    } else {
      streamOwners.push_back(i);
      lengths.push_back(streamLengths[i]);
      record.chunks.push_back(ChunkEntry{1, 2, 1});  // one chunk, for now
    }
    descriptorGuess += RecordLength(record);
    plan->records.push_back(record);
  }
  uint64_t installerBytes = std::max(manifest.installerReserve, installerSize);

  for (int attempt = 0; attempt < 1000; ++attempt) {
    uint64_t reserve = installerBytes + plainBytes + descriptorGuess;
    if (reserve > manifest.diskSize) {
      *error = "disk 1 (" + Num(manifest.diskSize) +
               " bytes) cannot hold the installer (" + Num(installerBytes) +
               "), the descriptor (" + Num(descriptorGuess) +
               ") and the noInstall files (" + Num(plainBytes) + ")";
      return false;
    }
    if (!PlanDisks(manifest.diskSize, reserve, lengths, &plan->disks, error)) {
      return false;
    }
    for (size_t s = 0; s < streamOwners.size(); ++s) {
      plan->records[streamOwners[s]].chunks = plan->disks.chunks[s];
    }
    if (!SerializeDescriptor(manifest.kind == PackageKind::kControlPanel,
                             manifest.programFile, manifest.title,
                             plan->records, &plan->descriptor, error)) {
      return false;
    }
    if (plan->descriptor.size() <= descriptorGuess) {
      plan->disk1Reserve = reserve;
      return true;
    }
    descriptorGuess = plan->descriptor.size();
  }
  *error = "internal: the layout of disk 1 does not settle";
  return false;
}

bool BuildMedia(const Manifest& manifest, const BuildOptions& options,
                const Console& console, std::vector<std::string>* errors) {
  // The files, checked, and the names disk 1 gives them; the media already
  // in OUTDIR.
  std::vector<PreparedFile> files;
  if (!PrepareFiles(manifest, &files, errors)) return false;
  NoteClampedSizes(manifest, files, console);
  Disk1Files disk1Files;
  if (!NameDisk1Files(manifest, options, &disk1Files, errors)) return false;
  CheckDisk1Names(manifest, files, disk1Files, errors);
  if (!errors->empty()) return false;
  std::vector<Media> earlier;
  if (!FindEarlierMedia(manifest, options, console, &earlier, errors)) {
    return false;
  }

  // The streams, encoded into a temporary file: their lengths decide the
  // layout. From here on everything written is staged.
  Staging staging;
  if (!staging.MakeDirectories(options.outputDir)) {
    errors->push_back(options.outputDir + ": cannot create: " + SystemError());
    return false;
  }
  TempFile temp(JoinPath(options.outputDir, kTempName));
  staging.AddScratch(temp.path());
  FileCloser tempFile(std::fopen(temp.path().c_str(), "w+b"));
  std::vector<uint64_t> lengths;
  if (!EncodeStreams(manifest, files, tempFile.get(), temp.path(), console,
                     &lengths, errors)) {
    return false;
  }

  // The disks laid out and the descriptor checked.
  MediaPlan plan;
  if (!PlanCheckedMedia(manifest, files, lengths, disk1Files.installerSize,
                        &plan, errors)) {
    return false;
  }

  // Every file written under its temporary name, then all put in place.
  if (!StageMedia(options, files, disk1Files, plan, &tempFile, &staging,
                  errors)) {
    return false;
  }
  if (!CommitMedia(options, disk1Files.volumeName, plan, earlier, console,
                   &staging, errors)) {
    return false;
  }
  PrintSummary(manifest, options, files, disk1Files, plan, console);
  return true;
}

}  // namespace pkgtool
