// Making the media of a package from its manifest (pkgtool build).
//
//   OUTDIR/disk1/  the descriptor (SETUP.bin, or named after the installer),
//                  the installer when one is given, plain copies of the
//                  noInstall files, and the volume of disk 1
//   OUTDIR/diskN/  the volume of disk N
//
// Every volume is named after programFile with ".dat" and starts with its
// 2-byte disk number. The files with a stream are encoded, several at a
// time (-j), into the workers' temporary files in OUTDIR, then laid out
// (disk_layout.h) in the order the installer reads them and copied into
// the volumes, so memory stays small whatever the sizes.
// noInstall files get no stream: the installer never installs them, so they
// travel as plain files on disk 1 (a README the user reads from the disk)
// and their records only name them. The output depends on nothing but the
// manifest and the files: no time stamps, no directory order. Names inside
// the descriptor are bytes of the manifest's code page; the files written
// on Linux (volumes, noInstall copies) get their UTF-8 names.
//
// A build is all or nothing: every file is written under a temporary name
// and renamed at the end; a failure, SIGINT or SIGTERM before that leaves
// OUTDIR as it was. disk1/SHA256SUMS lists the descriptor's and the
// volumes' SHA-256 (checksums.h). Media of another product in OUTDIR are
// refused unless forced; what an earlier build of the same product left and
// the new one does not write is removed once the new media are in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "build/descriptor_writer.h"
#include "build/disk_layout.h"
#include "common/console.h"
#include "manifest/manifest.h"

namespace pkgtool {

struct BuildOptions {
  std::string outputDir;      // "" only for a dry run
  std::string installerPath;  // "" when no installer is given
  bool force = false;         // build over the media of another product
  bool dryRun = false;        // lay out and report, write nothing
  bool images = false;        // also OUTDIR/diskN.img (needs a diskFormat)
  unsigned jobs = 1;          // files encoded at the same time
};

// A manifest file checked against the host: its size and the version to
// record.
struct PreparedFile {
  ManifestFile file;
  uint64_t size = 0;
  uint32_t versionMs = 0;
  uint32_t versionLs = 0;
};

// Checks every source (a readable regular file of at most 4294967295
// bytes) and finds each shared file's version: the manifest's, or the one
// in the file's own version resource. Problems are appended to *errors as
// "manifest:line: ..." (and their lines to *lines when given); true when
// there was none.
bool PrepareFiles(const Manifest& manifest, std::vector<PreparedFile>* files,
                  std::vector<std::string>* errors,
                  std::vector<int>* lines = nullptr);

// For a manifest whose lines have faults (*errors, their lines in *lines,
// as LoadManifest gives them): adds the faults of the sources its file
// lines name, each among the faults of the lines in the order of its line,
// so that a manifest's faults are all reported in one run.
void AddSourceErrors(const Manifest& manifest, std::vector<std::string>* errors,
                     std::vector<int>* lines);

// sizeKb of a file: its size in kilobytes rounded up, at most 65535.
uint16_t SizeKb(uint64_t size);

// The layout of the media once the streams' lengths are known: the records
// (in manifest order, chunks filled in), the disks, and the descriptor.
struct MediaPlan {
  std::vector<RecordPlan> records;
  // The records whose streams the disks carry, in the order they are laid
  // out: the order the installer reads them (ReadingOrder).
  std::vector<size_t> streamOrder;
  DiskPlan disks;
  std::vector<uint8_t> descriptor;
  uint64_t disk1Reserve = 0;  // bytes of disk 1 kept from its volume
};

// The records with a stream in the order the installer's run reads them:
// pass 1's shared files, pass 2's ordinary files, in table order each, then
// the one shared file the run never writes.
std::vector<size_t> ReadingOrder(const std::vector<RecordPlan>& records);

// Lays out the media. streamLengths has one entry per file, in order
// (ignored for noInstall files, which have no stream); the streams go on
// the disks in ReadingOrder. Disk 1 keeps room for max(installerReserve,
// installerSize), the descriptor (named descriptorName), the checksum list
// (which lists the installer, named installerName when given, and the
// noInstall copies too) and the plain noInstall files; with a diskFormat every
// file takes whole clusters of that floppy and disk 1's root directory must
// hold their entries. The descriptor's and the list's sizes depend on the
// layout, so the plan is repeated with the reserve grown until both fit. False
// with *error when disk 1 cannot hold what it must carry, a file of disk 1 does
// not fit even an empty disk, or the descriptor cannot be written.
bool PlanMedia(const Manifest& manifest, const std::vector<PreparedFile>& files,
               const std::vector<uint64_t>& streamLengths,
               uint64_t installerSize, MediaPlan* plan, std::string* error,
               const std::string& descriptorName = "SETUP.bin",
               const std::string& installerName = "");

// Builds the media of manifest into options.outputDir. Problems are
// appended to *errors; true when the media are complete. What each disk
// holds goes to console.out, warnings (a programFile the package does not
// install, an installer larger than installerReserve) to console.err. A dry
// run goes through the same steps up to the layout (the streams encoded
// and measured, not kept), prints each file's line (target, source, flags,
// disks) and the disks, and writes nothing: it fails exactly where a build
// would before writing.
bool BuildMedia(const Manifest& manifest, const BuildOptions& options,
                const Console& console, std::vector<std::string>* errors);

// The name of the descriptor: "SETUP.bin", or the installer's file name
// with ".bin" in place of its extension.
std::string DescriptorFileName(const std::string& installerPath);

// Where a noInstall file's plain copy lies, relative to disk1/ ("/"
// separated), for its target name in UTF-8; "" when the name leaves no
// place (cannot happen for a checked name).
std::string PlainCopyPath(const std::string& target);

}  // namespace pkgtool
