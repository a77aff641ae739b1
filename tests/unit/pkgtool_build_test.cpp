// pkgtool build: what lands on which disk, byte-identical output for the
// same inputs, the installer and its descriptor's name, versions read from
// a file's version resource, source faults named by manifest line, the
// checksum list, and a build that fails or is cut short changing nothing.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <map>
#include <random>

#include "common/floppy.h"
#include "common/host_files.h"
#include "pkgtool_testing.h"
#include "read/checksums.h"
#include "read/media.h"

namespace pkgtool {
namespace {

using pkgtool_testing::IsDir;
using pkgtool_testing::IsImage;
using pkgtool_testing::Listing;
using pkgtool_testing::MakePeImage;
using pkgtool_testing::RunTool;
using pkgtool_testing::SampleBytes;
using pkgtool_testing::SizeOf;
using pkgtool_testing::WriteManifest;

// A manifest over four files whose streams need at least three disks of 4K.
std::string ThreeDiskManifest(const TempDir& dir) {
  WriteFile(dir.Make("src/game.exe"), SampleBytes(9000, 1));
  WriteFile(dir.Make("src/data/level.dat"), SampleBytes(30000, 2));
  WriteFile(dir.Make("src/gfx.dll"), MakePeImage(0x00020003, 0x00040005));
  WriteFile(dir.Make("src/readme.txt"), std::string("Read me.\n"));
  return WriteManifest(dir,
                       "[package]\n"
                       "programFile = GAME.EXE\n"
                       "title = Game\n"
                       "diskSize = 4K\n"
                       "[files]\n"
                       "GAME.EXE = src/game.exe\n"
                       "DATA\\LEVEL.DAT = src/data/level.dat\n"
                       "GFX.DLL = src/gfx.dll, shared\n"
                       "README.TXT = src/readme.txt, noInstall\n");
}

std::vector<std::string> FilesBelow(const std::string& root,
                                    const std::string& relative = "") {
  std::vector<std::string> files;
  std::string dir = relative.empty() ? root : root + "/" + relative;
  for (const std::string& name : Listing(dir)) {
    std::string path = relative.empty() ? name : relative + "/" + name;
    if (IsDir(root + "/" + path)) {
      for (const std::string& inner : FilesBelow(root, path)) {
        files.push_back(inner);
      }
    } else {
      files.push_back(path);
    }
  }
  return files;
}

TEST(PkgtoolBuild, WritesDescriptorPlainFilesAndOneVolumePerDisk) {
  TempDir dir;
  std::string manifest = ThreeDiskManifest(dir);
  pkgtool_testing::ToolRun run =
      RunTool({"build", manifest, "-o", dir.path() + "/out"});
  ASSERT_EQ(run.code, 0) << run.err;
  std::vector<std::string> expected = {"disk1/GAME.dat", "disk1/README.TXT",
                                       "disk1/SETUP.bin", "disk1/SHA256SUMS"};
  int disks = 1;
  while (IsDir(dir.path() + "/out/disk" + std::to_string(disks + 1))) {
    ++disks;
    expected.push_back("disk" + std::to_string(disks) + "/GAME.dat");
  }
  ASSERT_GE(disks, 3);
  EXPECT_EQ(FilesBelow(dir.path() + "/out"), expected);
  // Every file written on a disk: the descriptor, the noInstall copy and
  // the volumes, named from disk1/ as sha256sum -c reads them.
  std::string list;
  for (const std::string& name :
       {std::string("SETUP.bin"), std::string("README.TXT"),
        std::string("GAME.dat"), std::string("../disk2/GAME.dat")}) {
    std::string hex, error;
    ASSERT_TRUE(FileSha256(dir.path() + "/out/disk1/" + name, &hex, &error));
    list += hex + "  " + name + "\n";
  }
  Bytes written = ReadFile(dir.path() + "/out/disk1/SHA256SUMS");
  EXPECT_EQ(std::string(written.begin(), written.end()).substr(0, list.size()),
            list);
  for (int disk = 1; disk <= disks; ++disk) {
    std::string volume =
        dir.path() + "/out/disk" + std::to_string(disk) + "/GAME.dat";
    Bytes bytes = ReadFile(volume);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(ReadU16(bytes.data()), disk);
    EXPECT_LE(
        bytes.size() +
            (disk == 1
                 ? ReadFile(dir.path() + "/out/disk1/SETUP.bin").size() + 9
                 : 0),
        4096u);
  }
  EXPECT_EQ(ReadFile(dir.path() + "/out/disk1/README.TXT"),
            ReadFile(dir.path() + "/src/readme.txt"));

  Media media;
  std::string error;
  ASSERT_TRUE(LoadMedia(dir.path() + "/out/disk1/SETUP.bin", &media, &error))
      << error;
  EXPECT_FALSE(media.controlPanel);
  EXPECT_EQ(media.programFile, "GAME.EXE");
  ASSERT_EQ(media.records.size(), 4u);
  EXPECT_EQ(media.records[0].sizeKb, 9);  // 9000 bytes, rounded up
  EXPECT_EQ(media.records[1].name, "DATA\\LEVEL.DAT");
  EXPECT_GT(media.records[1].chunks.size(), 1u);  // it spans disks
  EXPECT_TRUE(media.records[2].shared);
  EXPECT_EQ(media.records[2].versionMs, 0x00020003u);  // from the resource
  EXPECT_EQ(media.records[2].versionLs, 0x00040005u);
  EXPECT_TRUE(media.records[3].noInstall);
  EXPECT_TRUE(media.records[3].chunks.empty());
}

TEST(PkgtoolBuild, TheSameInputsGiveByteIdenticalMediaWhateverTheJobs) {
  TempDir dir;
  std::string manifest = ThreeDiskManifest(dir);
  ASSERT_EQ(RunTool({"build", manifest, "-o", dir.path() + "/a", "-j1"}).code,
            0);
  ASSERT_EQ(RunTool({"build", manifest, "-o", dir.path() + "/b", "-j3"}).code,
            0);
  EXPECT_EQ(Listing(dir.path() + "/b"),
            (std::vector<std::string>{"disk1", "disk2", "disk3"}));
  // Optimal parsing: other streams, smaller, read back alike.
  ASSERT_EQ(
      RunTool({"build", manifest, "-o", dir.path() + "/best", "--best"}).code,
      0);
  EXPECT_EQ(RunTool({"verify", dir.path() + "/best/disk1"}).code, 0);
  uint64_t lazy = 0, best = 0;
  for (const char* disk : {"/disk1/", "/disk2/", "/disk3/"}) {
    const std::string volume = std::string(disk) + "GAME.dat";
    lazy += ReadFile(dir.path() + "/a" + volume).size();
    if (FileExistsOnHost(dir.path() + "/best" + volume)) {
      best += ReadFile(dir.path() + "/best" + volume).size();
    }
  }
  EXPECT_LT(best, lazy);
  std::vector<std::string> files = FilesBelow(dir.path() + "/a");
  ASSERT_EQ(files, FilesBelow(dir.path() + "/b"));
  for (const std::string& file : files) {
    EXPECT_EQ(ReadFile(dir.path() + "/a/" + file),
              ReadFile(dir.path() + "/b/" + file))
        << file;
  }
}

TEST(PkgtoolBuild, NamesTheDescriptorAfterTheInstallerAndCopiesIt) {
  TempDir dir;
  std::string manifest = ThreeDiskManifest(dir);
  Bytes installer = SampleBytes(1500, 7);
  WriteFile(dir.Make("bin/Install.EXE"), installer);
  pkgtool_testing::ToolRun run =
      RunTool({"build", manifest, "-o", dir.path() + "/out", "--installer",
               dir.path() + "/bin/Install.EXE"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.path() + "/out/disk1/Install.EXE"), installer);
  EXPECT_TRUE(FileExistsOnHost(dir.path() + "/out/disk1/Install.bin"));
  EXPECT_FALSE(FileExistsOnHost(dir.path() + "/out/disk1/SETUP.bin"));
  // The installer takes its room on disk 1, and so does the list.
  uint64_t used = 0;
  for (const char* name :
       {"Install.EXE", "Install.bin", "README.TXT", "GAME.dat", "SHA256SUMS"}) {
    uint64_t size = 0;
    ASSERT_TRUE(SizeOf(dir.path() + "/out/disk1/" + name, &size));
    used += size;
  }
  EXPECT_LE(used, 4096u);
  EXPECT_GT(used, 4096u - 64);
  // SHA256SUMS lists the installer and the noInstall copy too: a change of
  // either is found.
  std::vector<std::string> verify = {"verify", dir.path() + "/out/disk1"};
  for (int disk = 2; IsDir(dir.path() + "/out/disk" + std::to_string(disk));
       ++disk) {
    verify.insert(verify.end(),
                  {"--disk", dir.path() + "/out/disk" + std::to_string(disk)});
  }
  EXPECT_EQ(RunTool(verify).code, 0);
  for (const char* name : {"Install.EXE", "README.TXT"}) {
    const std::string path = dir.path() + "/out/disk1/" + name;
    Bytes original = ReadFile(path);
    Bytes changed = original;
    changed[changed.size() / 2] ^= 4;
    WriteFile(path, changed);
    run = RunTool(verify);
    EXPECT_EQ(run.code, 1) << name;
    EXPECT_NE(run.err.find(path + ": SHA-256 differs from "), std::string::npos)
        << run.err;
    // extract writes no damaged plain copy.
    if (std::string(name) == "README.TXT") {
      std::vector<std::string> extract = verify;
      extract[0] = "extract";
      extract.insert(extract.end(), {"-d", dir.path() + "/dest"});
      run = RunTool(extract);
      EXPECT_EQ(run.code, 1);
      EXPECT_FALSE(FileExistsOnHost(dir.path() + "/dest/README.TXT"));
      EXPECT_TRUE(FileExistsOnHost(dir.path() + "/dest/GAME.EXE"));
    }
    WriteFile(path, original);
  }
}

TEST(PkgtoolBuild, RemovesWhatAnEarlierBuildLeftAndTheNewOneDoesNotWrite) {
  TempDir dir;
  std::string manifest = ThreeDiskManifest(dir);
  WriteFile(dir.Make("bin/Install.EXE"), SampleBytes(100, 7));
  ASSERT_EQ(RunTool({"build", manifest, "-o", dir.path() + "/out",
                     "--installer", dir.path() + "/bin/Install.EXE"})
                .code,
            0);
  ASSERT_TRUE(FileExistsOnHost(dir.path() + "/out/disk3/GAME.dat"));
  WriteFile(dir.path() + "/src/data/level.dat", SampleBytes(100, 2));
  WriteFile(dir.path() + "/src/game.exe", SampleBytes(100, 1));
  pkgtool_testing::ToolRun run =
      RunTool({"build", manifest, "-o", dir.path() + "/out"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_FALSE(FileExistsOnHost(dir.path() + "/out/disk2/GAME.dat"));
  EXPECT_FALSE(IsDir(dir.path() + "/out/disk3"));
  // The earlier descriptor, named after the installer, would load.
  EXPECT_FALSE(FileExistsOnHost(dir.path() + "/out/disk1/Install.bin"));
  EXPECT_TRUE(FileExistsOnHost(dir.path() + "/out/disk1/SETUP.bin"));
  EXPECT_NE(run.err.find("removed"), std::string::npos);
}

// Every file below root with its bytes, and every directory (as "dir/").
std::map<std::string, Bytes> Snapshot(const std::string& root,
                                      const std::string& relative = "") {
  std::map<std::string, Bytes> entries;
  for (const std::string& name :
       Listing(relative.empty() ? root : root + "/" + relative)) {
    std::string path = relative.empty() ? name : relative + "/" + name;
    if (IsDir(root + "/" + path)) {
      entries[path + "/"] = Bytes();
      std::map<std::string, Bytes> inner = Snapshot(root, path);
      entries.insert(inner.begin(), inner.end());
    } else {
      entries[path] = ReadFile(root + "/" + path);
    }
  }
  return entries;
}

TEST(PkgtoolBuild, RefusesTheMediaOfAnotherProductUnlessForced) {
  TempDir dir;
  WriteFile(dir.Make("a.exe"), SampleBytes(500, 3));
  std::string other = WriteManifest(
      dir,
      "[package]\nprogramFile = OTHER.EXE\ntitle = Other\n[files]\n"
      "OTHER.EXE = a.exe\n",
      "other.manifest");
  std::string out = dir.path() + "/out";
  ASSERT_EQ(RunTool({"build", other, "-o", out}).code, 0);
  Bytes descriptor = ReadFile(out + "/disk1/SETUP.bin");
  pkgtool_testing::ToolRun run =
      RunTool({"build", ThreeDiskManifest(dir), "-o", out});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(out + "/disk1/SETUP.bin holds the media of another "
                               "product (OTHER.EXE, \"Other\"), not of "
                               "GAME.EXE; give --force"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(ReadFile(out + "/disk1/SETUP.bin"), descriptor);
  EXPECT_FALSE(FileExistsOnHost(out + "/disk1/GAME.dat"));
  // --force leaves every file of the other product as it is: a descriptor
  // of the same name is refused, another name builds beside it, and its
  // images and its lines of SHA256SUMS stay.
  ASSERT_EQ(
      RunTool({"build", other, "-o", out, "--disk-format", "360K", "--images"})
          .code,
      0);
  const std::map<std::string, Bytes> before = Snapshot(out);
  run = RunTool({"build", ThreeDiskManifest(dir), "-o", out, "--force"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(out + "/disk1/SETUP.bin belongs to the media of "
                               "OTHER.EXE, which --force leaves as they are, "
                               "and the new media would overwrite it; give an "
                               "installer of another name"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Snapshot(out), before);
  WriteFile(dir.Make("bin/INSTALL.EXE"), SampleBytes(100, 7));
  run = RunTool({"build", ThreeDiskManifest(dir), "-o", out, "--force",
                 "--installer", dir.path() + "/bin/INSTALL.EXE"});
  EXPECT_EQ(run.code, 0) << run.err;
  for (const auto& file : before) {
    if (file.first != "disk1/SHA256SUMS" && file.first.back() != '/') {
      EXPECT_EQ(ReadFile(out + "/" + file.first), file.second) << file.first;
    }
  }
  EXPECT_EQ(RunTool({"verify", out + "/disk1/SETUP.bin"}).code, 0);
  EXPECT_EQ(RunTool({"verify", out + "/disk1/INSTALL.bin"}).code, 0);
  const Bytes sumBytes = ReadFile(out + "/disk1/SHA256SUMS");
  const std::string sums(sumBytes.begin(), sumBytes.end());
  for (const char* name : {"  SETUP.bin\n", "  OTHER.dat\n", "  INSTALL.bin\n",
                           "  GAME.dat\n", "  ../disk3/GAME.dat\n"}) {
    EXPECT_NE(sums.find(name), std::string::npos) << name << sums;
  }
  // Its disk images are not overwritten either.
  run = RunTool({"build", ThreeDiskManifest(dir), "-o", out, "--force",
                 "--installer", dir.path() + "/bin/INSTALL.EXE",
                 "--disk-format", "360K", "--images"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(out + "/disk1.img belongs to the media of OTHER.EXE"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(ReadFile(out + "/disk1.img"), before.at("disk1.img"));
}

TEST(PkgtoolBuild, AFailedOrInterruptedBuildLeavesTheOutputAsItWas) {
  TempDir dir;
  std::string manifest = ThreeDiskManifest(dir);
  const std::string out = dir.path() + "/out";
  ASSERT_EQ(RunTool({"build", manifest, "-o", out}).code, 0);
  WriteFile(dir.path() + "/src/game.exe", SampleBytes(9000, 99));
  const std::vector<std::string> build = {"build", manifest, "-o", out, "-j1"};
  struct Case {
    const char* what;
    void (*prepare)();
    int signal;  // 0: ends with exit code 1
  };
  const Case cases[] = {
      {"the disk fills up while the streams are written",
       [] {
         std::signal(SIGXFSZ, SIG_IGN);
         rlimit limit{5000, 5000};
         setrlimit(RLIMIT_FSIZE, &limit);
       },
       0},
      {"SIGTERM", nullptr, SIGTERM},
      {"SIGINT", nullptr, SIGINT},
  };
  for (const Case& c : cases) {
    std::map<std::string, Bytes> before = Snapshot(out);
    int status = pkgtool_testing::RunToolInChild(
        build, c.prepare, c.signal != 0 ? "DATA\\LEVEL.DAT" : "", c.signal);
    if (c.signal != 0) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal)
          << c.what;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << c.what;
    }
    EXPECT_EQ(Snapshot(out), before) << c.what;
  }

  // A rename that fails half-way: disk 3's volume cannot be moved aside.
  for (int i = 1; i <= 20; ++i) {
    WriteFile(dir.Make("out/disk3/.pkgtool-" + std::to_string(i) + ".old/x"),
              std::string("x"));
  }
  std::map<std::string, Bytes> before = Snapshot(out);
  pkgtool_testing::ToolRun run = RunTool(build);
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(out + "/disk3/GAME.dat: cannot be put in place"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Snapshot(out), before);
  // Found once everything is written: a directory where the list goes.
  ASSERT_EQ(::unlink((out + "/disk1/SHA256SUMS").c_str()), 0);
  WriteFile(dir.Make("out/disk1/SHA256SUMS/x"), std::string("x"));
  before = Snapshot(out);
  run = RunTool(build);
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(out + "/disk1/SHA256SUMS: is a directory"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Snapshot(out), before);
  // A new OUTDIR goes again.
  // One encoding job: the bar names each file in turn, as the signal's
  // trigger expects (two would take turns as the scheduler has them).
  int status = pkgtool_testing::RunToolInChild(
      {"build", manifest, "-o", dir.path() + "/new/out", "-j1"}, nullptr,
      "DATA\\LEVEL.DAT", SIGINT);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_FALSE(IsDir(dir.path() + "/new"));
}

TEST(PkgtoolBuild, ReportsEveryFaultOfLinesAndSourcesInOneRunInLineOrder) {
  TempDir dir;
  WriteFile(dir.Make("plain.dll"), SampleBytes(500, 3));
  const std::string sources =
      "A.EXE = missing.exe\n"
      "B.DLL = plain.dll, shared\n"
      "C.DAT = .\n"
      "D.DAT = /dev/null\n";
  std::string manifest = WriteManifest(dir,
                                       "[package]\n"
                                       "programFile = A.EXE\n"
                                       "title = A\n"
                                       "[files]\n" +
                                           sources);
  const std::string at = manifest + ":";
  const std::string expected =
      "pkgtool: " + at + "5: " + dir.path() +
      "/missing.exe: No such file or directory\n"
      "pkgtool: " +
      at + "6: " + dir.path() +
      "/plain.dll has no version resource (it is not a Windows executable or "
      "DLL that carries one); give version=a.b.c.d\n"
      "pkgtool: " +
      at + "7: " + dir.path() +
      "/.: is a directory (end the target with '\\' to take the files below "
      "it)\n"
      "pkgtool: " +
      at + "8: /dev/null: is not a regular file (a device, pipe or socket)\n";
  pkgtool_testing::ToolRun run =
      RunTool({"build", manifest, "-o", dir.path() + "/out"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, expected);
  EXPECT_FALSE(IsDir(dir.path() + "/out"));
  // With faults of the lines themselves (and a byte order mark), the
  // sources' faults come in the same run, each in the place of its line.
  WriteManifest(dir,
                "\xEF\xBB\xBF[package]\r\n"
                "programFile = A.EXE\n"
                "title = A\n"
                "[files]\n" +
                    sources +
                    "E?.DAT = plain.dll\n"
                    "F.DAT = gone.dat, hidden\n");
  run = RunTool({"build", manifest, "--dry-run"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, expected + "pkgtool: " + at +
                         "9: target \"E?.DAT\": the name contains '?'\n"
                         "pkgtool: " +
                         at +
                         "10: unknown flag \"hidden\" (shared, noInstall, "
                         "version=a.b.c.d)\n"
                         "pkgtool: " +
                         at + "10: " + dir.path() +
                         "/gone.dat: No such file or directory\n");
}

TEST(PkgtoolBuild, RefusesTwoThingsOfTheSameNameOnDisk1) {
  TempDir dir;
  WriteFile(dir.Make("a.exe"), SampleBytes(500, 3));
  std::string manifest = WriteManifest(dir,
                                       "[package]\n"
                                       "programFile = A.EXE\n"
                                       "title = A\n"
                                       "[files]\n"
                                       "A.EXE = a.exe\n"
                                       "setup.BIN = a.exe, noInstall\n");
  pkgtool_testing::ToolRun run =
      RunTool({"build", manifest, "-o", dir.path() + "/out"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("the descriptor and the noInstall file setup.BIN "
                         "would both be disk1/setup.BIN"),
            std::string::npos)
      << run.err;
}

TEST(PkgtoolBuild, DryRunPrintsTheLayoutOfTheBuildAndWritesNothing) {
  TempDir dir;
  std::string manifest = ThreeDiskManifest(dir);
  const std::string out = dir.path() + "/out";
  pkgtool_testing::ToolRun dry =
      RunTool({"build", manifest, "--dry-run", "-o", out});
  ASSERT_EQ(dry.code, 0) << dry.err;
  EXPECT_FALSE(IsDir(out));
  const std::string files =
      "GAME.EXE\t" + dir.path() + "/src/game.exe\t-\tdisk 1\n" +
      "DATA\\LEVEL.DAT\t" + dir.path() + "/src/data/level.dat\t-\tdisks 1-3\n" +
      "GFX.DLL\t" + dir.path() +
      "/src/gfx.dll\tshared,version=2.3.4.5\tdisk 1\n" + "README.TXT\t" +
      dir.path() + "/src/readme.txt\tnoInstall\tdisk 1, " + "plain copy\n";
  EXPECT_NE(dry.out.find(out + "/disk3: GAME.dat "), std::string::npos);
  // The disks as the build itself reports them once written.
  pkgtool_testing::ToolRun built = RunTool({"build", manifest, "-o", out});
  ASSERT_EQ(built.code, 0) << built.err;
  EXPECT_EQ(dry.out, files + built.out);

  // Where the build fails, the dry run fails alike, both writing nothing:
  // disk 1 cannot hold the installer, the images' tools are missing, OUTDIR
  // cannot be made.
  WriteFile(dir.Make("big.exe"), SampleBytes(5000, 9));
  WriteFile(dir.Make("file"), std::string("x"));
  ASSERT_EQ(::mkdir(dir.Make("nothing").c_str(), 0755), 0);
  struct Case {
    std::vector<std::string> options;
    std::string path;  // PATH while it runs
    std::string fault;
  };
  const std::string path = std::getenv("PATH");
  const Case cases[] = {
      {{"-o", dir.path() + "/small", "--installer", dir.path() + "/big.exe"},
       path,
       ": the installer does not fit on a disk (4096 bytes for files)"},
      {{"-o", dir.path() + "/small", "--disk-format", "360K", "--images"},
       dir.path() + "/nothing",
       "pkgtool: --images: mformat not found: install mtools (apt-get "
       "install mtools)\n"},
      {{"-o", dir.path() + "/file/small"},
       path,
       "pkgtool: " + dir.path() + "/file/small: cannot create: " + dir.path() +
           "/file is not a directory\n"}};
  for (const Case& one : cases) {
    for (bool dryRun : {true, false}) {
      std::vector<std::string> args = {"build", manifest};
      args.insert(args.end(), one.options.begin(), one.options.end());
      if (dryRun) args.push_back("--dry-run");
      ::setenv("PATH", one.path.c_str(), 1);
      pkgtool_testing::ToolRun run = RunTool(args);
      ::setenv("PATH", path.c_str(), 1);
      EXPECT_EQ(run.code, 1);
      EXPECT_NE(run.err.find(one.fault), std::string::npos)
          << args[3] << dryRun << run.err;
      EXPECT_FALSE(IsDir(dir.path() + "/small"));
    }
  }
  // When the tools fail, the message names the image once.
  for (const char* tool : {"mformat", "mmd", "mcopy"}) {
    WriteFile(dir.Make(std::string("failing/") + tool),
              std::string("#!/bin/sh\necho broken >&2\nexit 3\n"));
    ASSERT_EQ(::chmod(dir.Make(std::string("failing/") + tool).c_str(), 0755),
              0);
  }
  ::setenv("PATH", (dir.path() + "/failing:" + path).c_str(), 1);
  pkgtool_testing::ToolRun run =
      RunTool({"build", manifest, "-o", dir.path() + "/small", "--disk-format",
               "360K", "--images"});
  ::setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pkgtool: " + dir.path() +
                         "/small/disk1.img: mformat failed (exit status 3): "
                         "broken\n");
  EXPECT_FALSE(IsDir(dir.path() + "/small"));
}

TEST(PkgtoolBuild, WarnsOfAProgramFileNotInstalledAndAnInstallerOverItsRoom) {
  TempDir dir;
  WriteFile(dir.Make("a.exe"), SampleBytes(500, 3));
  WriteFile(dir.Make("setup.exe"), SampleBytes(3000, 4));
  auto build = [&](const std::string& file) {
    std::string manifest =
        WriteManifest(dir,
                      "[package]\nprogramFile = A.EXE\ntitle = A\n"
                      "installerReserve = 1K\n[files]\n" +
                          file + "\n");
    return RunTool({"build", manifest, "-o", dir.path() + "/out", "--installer",
                    dir.path() + "/setup.exe"});
  };
  pkgtool_testing::ToolRun run = build("A.EXE = a.exe, noInstall");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.err.find("pkgtool: warning: " + dir.path() +
                         "/test.manifest:2: programFile A.EXE is not among "
                         "the installed files (no target of that name "
                         "without noInstall): Program Manager's item would "
                         "point at nothing\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("pkgtool: warning: the installer setup.exe is 3000 "
                         "bytes, 1976 more than installerReserve (1024 "
                         "bytes): disk 1's layout grows to make room for "
                         "it\n"),
            std::string::npos)
      << run.err;
  // The program, in any case, is installed.
  run = build("a.exe = a.exe");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err.find("programFile"), std::string::npos) << run.err;
  // Without a disk size one disk takes everything: no "of" a capacity.
  EXPECT_NE(run.out.find(" bytes in all\n1 file on 1 disk of any size (no "
                         "diskSize given); "),
            std::string::npos)
      << run.out;
  // Under c:\windows\a\ (13 bytes) a name of 246 bytes fits the
  // installer's 259, one of 247 does not.
  const std::string fits = std::string(242, 'F') + ".DAT";
  const std::string over = std::string(243, 'L') + ".DAT";
  run = build("A.EXE = a.exe\n" + fits + " = a.exe\n" + over + " = a.exe");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err.find(fits), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("pkgtool: warning: " + dir.path() +
                         "/test.manifest:8: " + over +
                         ": its path under c:\\windows\\a\\ is 260 bytes long, "
                         "more than the 259 the installer's paths hold: it "
                         "cannot install the file there (shorten the name, or "
                         "the destination to at most 12 bytes)\n"),
            std::string::npos)
      << run.err;
}

TEST(PkgtoolBuild, StoresNamesInTheCodePageAndWritesHostFilesInUtf8) {
  TempDir dir;
  WriteFile(dir.Make("a.exe"), SampleBytes(500, 3));
  WriteFile(dir.Make("r.txt"), std::string("Lisez-moi.\n"));
  std::string manifest = WriteManifest(dir,
                                       "[package]\n"
                                       "programFile = CAF\xC3\x89.EXE\n"
                                       "title = Caf\xC3\xA9\n"
                                       "[files]\n"
                                       "CAF\xC3\x89.EXE = a.exe\n"
                                       "LISEZ\\CAF\xC3\x89.TXT = r.txt, "
                                       "noInstall\n");
  pkgtool_testing::ToolRun run =
      RunTool({"build", manifest, "-o", dir.path() + "/out"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(FileExistsOnHost(dir.path() + "/out/disk1/CAF\xC3\x89.dat"));
  EXPECT_TRUE(
      FileExistsOnHost(dir.path() + "/out/disk1/LISEZ/CAF\xC3\x89.TXT"));
  Media media;
  std::string error;
  ASSERT_TRUE(LoadMedia(dir.path() + "/out/disk1/SETUP.bin", &media, &error))
      << error;
  EXPECT_EQ(media.programFile, "CAF\xC9.EXE");
  EXPECT_EQ(media.title, "Caf\xE9");
  ASSERT_EQ(media.records.size(), 2u);
  EXPECT_EQ(media.records[0].name, "CAF\xC9.EXE");
  EXPECT_EQ(media.records[1].name, "LISEZ\\CAF\xC9.TXT");
  // Read back, the names are UTF-8 again: in files extracted or installed
  // (below a destination typed in UTF-8) and on the terminal.
  run =
      RunTool({"extract", dir.path() + "/out/disk1", "-d", dir.path() + "/x"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.path() + "/x/CAF\xC3\x89.EXE"),
            ReadFile(dir.path() + "/a.exe"));
  EXPECT_TRUE(FileExistsOnHost(dir.path() + "/x/LISEZ/CAF\xC3\x89.TXT"));
  run = RunTool({"install", dir.path() + "/out/disk1/setup.bin", "--root",
                 dir.path() + "/c", "--to", "C:\\CAF\xC3\x89", "--yes", "-q"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.path() + "/c/CAF\xC3\x89/CAF\xC3\x89.EXE"),
            ReadFile(dir.path() + "/a.exe"));
  EXPECT_NE(run.out.find("Caf\xC3\xA9 installed into C:\\CAF\xC3\x89\\"),
            std::string::npos)
      << run.out;
}

TEST(PkgtoolBuild, ADirectorySourcePacksATreeOfHundredsOfFilesExtractedAlike) {
  TempDir dir;
  for (int i = 0; i < 300; ++i) {
    WriteFile(dir.Make("tree/d" + std::to_string(i % 7) + "/s" +
                       std::to_string(i % 3) + "/f" + std::to_string(i)),
              SampleBytes(static_cast<size_t>(i * 37 % 3000), i));
  }
  WriteFile(dir.Make("a.exe"), SampleBytes(500, 3));
  std::string manifest = WriteManifest(dir,
                                       "[package]\nprogramFile = A.EXE\n"
                                       "title = A\ndiskSize = 64K\n"
                                       "[files]\nA.EXE = a.exe\n"
                                       "DATA\\ = tree\n");
  const std::string out = dir.path() + "/out";
  pkgtool_testing::ToolRun run = RunTool({"build", manifest, "-o", out});
  ASSERT_EQ(run.code, 0) << run.err;
  run = RunTool({"extract", out + "/disk1/SETUP.bin", "-d", dir.path() + "/x"});
  ASSERT_EQ(run.code, 0) << run.err;
  std::vector<std::string> files = FilesBelow(dir.path() + "/tree");
  ASSERT_EQ(files.size(), 300u);
  EXPECT_EQ(FilesBelow(dir.path() + "/x/DATA"), files);
  for (const std::string& file : files) {
    EXPECT_EQ(ReadFile(dir.path() + "/x/DATA/" + file),
              ReadFile(dir.path() + "/tree/" + file))
        << file;
  }
}

TEST(PkgtoolBuild, ControlPanelPackagesCarryTheMagic) {
  TempDir dir;
  WriteFile(dir.Make("x.cpl"), SampleBytes(100, 4));
  std::string manifest = WriteManifest(dir,
                                       "[package]\nprogramFile = X.CPL\n"
                                       "title = X\nkind = controlpanel\n"
                                       "[files]\nX.CPL = x.cpl\n");
  ASSERT_EQ(RunTool({"build", manifest, "-o", dir.path() + "/out"}).code, 0);
  Bytes descriptor = ReadFile(dir.path() + "/out/disk1/SETUP.bin");
  ASSERT_GE(descriptor.size(), 4u);
  EXPECT_EQ(std::string(descriptor.begin(), descriptor.begin() + 4), "INSV");
  EXPECT_TRUE(FileExistsOnHost(dir.path() + "/out/disk1/X.dat"));
}

}  // namespace
}  // namespace pkgtool

namespace pkgtool {
namespace {

// Random bytes, which do not compress: size bytes of stream.
Bytes Noise(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes data(size);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
  return data;
}

TEST(PkgtoolBuild, FloppyFormatsHoldEachDiskInClustersAndImagesCarryThem) {
  std::string output, error;
  if (!RunMtools({"mformat", "--version"}, &output, &error)) {
    GTEST_SKIP() << "mtools is not installed";
  }
  TempDir dir;
  WriteFile(dir.Make("src/setup.exe"), Noise(100000, 1));
  WriteFile(dir.Make("src/game.exe"), Noise(500000, 2));
  WriteFile(dir.Make("src/docs/read.me"), std::string("Read me.\n"));
  WriteFile(dir.Make("src/gfx.dll"), MakePeImage(0x00020003, 0x00040005));
  std::string manifest = WriteManifest(dir,
                                       "[package]\n"
                                       "programFile = GAME.EXE\n"
                                       "title = Game of Life\n"
                                       "diskFormat = 360K\n"
                                       "installerReserve = 100000\n"
                                       "[files]\n"
                                       "GAME.EXE = src/game.exe\n"
                                       "DOCS\\READ.ME = src/docs/read.me, "
                                       "noInstall\n"
                                       "GFX.DLL = src/gfx.dll, shared\n");
  const std::string out = dir.path() + "/out";
  pkgtool_testing::ToolRun run =
      RunTool({"build", manifest, "-o", out, "--installer",
               dir.path() + "/src/setup.exe", "--images"});
  ASSERT_EQ(run.code, 0) << run.err;
  const FloppyFormat& format = *FindFloppyFormat("360K");
  unsigned disks = 0;
  for (; IsDir(out + "/disk" + std::to_string(disks + 1)); ++disks) {
    const std::string disk = out + "/disk" + std::to_string(disks + 1);
    // Each disk's files, in whole clusters (a cluster for each directory),
    // fit a real floppy, and its image holds exactly them.
    uint64_t clusters = 0;
    for (const std::string& file : FilesBelow(disk)) {
      uint64_t size = 0;
      ASSERT_TRUE(SizeOf(disk + "/" + file, &size));
      clusters += ClusterRounded(format, size);
    }
    clusters += IsDir(disk + "/DOCS") ? format.ClusterBytes() : 0;
    EXPECT_LE(clusters, format.DataBytes()) << disk;
    const std::string image = disk + ".img";
    EXPECT_EQ(ReadFile(image).size(), format.ImageBytes());
    const std::string copied = dir.path() + "/copied" + std::to_string(disks);
    ASSERT_TRUE(MakeDirectories(copied));
    ASSERT_TRUE(UnpackFloppyImage(image, copied, &error)) << error;
    EXPECT_EQ(FilesBelow(copied), FilesBelow(disk));
    for (const std::string& file : FilesBelow(disk)) {
      EXPECT_EQ(ReadFile(copied + "/" + file), ReadFile(disk + "/" + file));
    }
  }
  EXPECT_GE(disks, 2u);
  // The images alone are media: verified and extracted by themselves.
  const std::string images = dir.path() + "/images";
  ASSERT_TRUE(MakeDirectories(images));
  for (unsigned disk = 1; disk <= disks; ++disk) {
    const std::string name = "/disk" + std::to_string(disk) + ".img";
    WriteFile(images + name, ReadFile(out + name));
  }
  run = RunTool({"verify", images + "/disk1.img"});
  EXPECT_EQ(run.code, 0) << run.err;
  run = RunTool({"extract", images + "/disk1.img", "-d", dir.path() + "/x"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.path() + "/x/GAME.EXE"),
            ReadFile(dir.path() + "/src/game.exe"));
  // A build without images removes those of the earlier one.
  run = RunTool({"build", manifest, "-o", out, "--installer",
                 dir.path() + "/src/setup.exe"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_FALSE(FileExistsOnHost(out + "/disk1.img"));
}

TEST(PkgtoolBuild, TakesTheSetupExeShippedWherePkgtoolLiesUnlessToldOtherwise) {
  TempDir dir;
  const std::string manifest = ThreeDiskManifest(dir);
  const std::string out = dir.path() + "/out";
  // pkgtool's program, and where its setup.exe lies.
  const std::vector<std::pair<std::string, std::string>> places = {
      {"beside/pkgtool", "beside/setup.exe"},
      {"usr/bin/pkgtool", "usr/share/pkgtool/setup.exe"},
      {"build/host/bin/pkgtool", "build/win32/bin/setup.exe"}};
  for (size_t i = 0; i < places.size(); ++i) {
    const Bytes installer = SampleBytes(1000 + i, 8);
    WriteFile(dir.Make(places[i].second), installer);
    // The program's directory is there; the program itself need not be.
    pkgtool_testing::ToolRun run =
        RunTool({"build", manifest, "-o", out}, dir.Make(places[i].first));
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(ReadFile(out + "/disk1/setup.exe"), installer) << i;
    EXPECT_NE(run.err.find("installer: " + dir.path() + "/" + places[i].second +
                           ", shipped with pkgtool\n"),
              std::string::npos)
        << run.err;
    ASSERT_EQ(std::remove(dir.Make(places[i].second).c_str()), 0);
  }
  // None there says so; --no-installer takes none of one that is there.
  WriteFile(dir.Make("usr/share/pkgtool/setup.exe"), SampleBytes(900, 9));
  const std::string self = dir.Make("usr/bin/pkgtool");
  for (const char* no : {"--no-installer", "-q"}) {
    if (no[1] == 'q')
      std::remove(dir.Make("usr/share/pkgtool/setup.exe").c_str());
    const std::string other = out + no;
    pkgtool_testing::ToolRun run =
        RunTool({"build", manifest, "-o", other, no}, self);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(Listing(other + "/disk1"),
              (std::vector<std::string>{"GAME.dat", "README.TXT", "SETUP.bin",
                                        "SHA256SUMS"}));
    EXPECT_EQ(run.err, no[1] == 'q'
                           ? "pkgtool: installer: none (no --installer, "
                             "none shipped with pkgtool)\n"
                           : "");
  }
}

}  // namespace
}  // namespace pkgtool
