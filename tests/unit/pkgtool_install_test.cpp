// End to end on the host: media made by `pkgtool build` across two disks,
// installed by `pkgtool install`, compared file by file; then a second
// installation of the same product and one of another product into the
// same place.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/result.h"
#include "cli/commands.h"
#include "install_fixture.h"
#include "platform/host/string_table.h"
#include "test_support.h"

namespace {

struct SourceFile {
  std::string target;  // name in the package
  std::string source;  // below the manifest's directory
  std::string flags;
  Bytes content;
  std::string installedAt;  // below the root; "" when never installed
};

// Runs pkgtool with its report and errors caught.
int Pkgtool(const std::vector<std::string>& args, std::string* out) {
  pkgtool::Console console;
  console.out = std::tmpfile();
  console.err = std::tmpfile();
  console.progress = false;
  int code = pkgtool::RunPkgtool(args, console);
  std::string text;
  for (std::FILE* file : {console.out, console.err}) {
    std::rewind(file);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      text.append(buffer, n);
    }
    std::fclose(file);
  }
  if (out != nullptr) *out = text;
  return code;
}

class PkgtoolInstall : public ::testing::Test {
 protected:
  // Builds a product's media from files under work_/name with a disk size
  // that spreads them over two disks; returns the descriptor's path.
  std::string Build(const std::string& name, const std::string& programFile,
                    const std::vector<SourceFile>& files) {
    std::string dir = work_.path() + "/" + name;
    std::string manifest = "[package]\nprogramFile = " + programFile +
                           "\ntitle = " + name +
                           "\nkind = game\ndiskSize = 64K\n\n[files]\n";
    for (const SourceFile& file : files) {
      WriteFile(dir + "/" + file.source, file.content);
      manifest += file.target + " = " + file.source +
                  (file.flags.empty() ? "" : ", " + file.flags) + "\n";
    }
    WriteFile(dir + "/product.ini", manifest);
    std::string report;
    EXPECT_EQ(
        Pkgtool({"build", dir + "/product.ini", "-o", dir + "/media"}, &report),
        0)
        << report;
    return dir + "/media/disk1/SETUP.bin";
  }

  int Install(const std::string& descriptor, std::string* report) {
    std::string media = descriptor.substr(0, descriptor.rfind("/disk1/"));
    std::vector<std::string> args = {
        "install", descriptor,         "--root", root_.path(),
        "--to",    "C:\\GAMES\\QUEST", "--yes",  "--quiet"};
    for (int disk = 2; FileExistsOnHost(media + "/disk" + std::to_string(disk));
         ++disk) {
      args.push_back("--disk");
      args.push_back(media + "/disk" + std::to_string(disk));
    }
    return Pkgtool(args, report);
  }

  std::string OnC(const std::string& relative) const {
    return root_.path() + "/" + relative;
  }

  // Every file that is installed lies where it belongs, byte for byte.
  void ExpectInstalled(const std::vector<SourceFile>& files) const {
    for (const SourceFile& file : files) {
      if (file.installedAt.empty()) continue;
      EXPECT_EQ(ReadFile(OnC(file.installedAt)), file.content)
          << file.installedAt;
    }
  }

  TempDir work_;
  TempDir root_;
};

std::vector<SourceFile> QuestFiles() {
  return {
      {"QUEST.EXE", "bin/quest.exe", "", SampleBytes(90000, 1),
       "GAMES/QUEST/QUEST.EXE"},
      {"DATA\\LEVEL1.DAT", "data/level1.dat", "", SampleBytes(150000, 2),
       "GAMES/QUEST/DATA/LEVEL1.DAT"},
      {"DATA\\MAPS\\DEEP.DAT", "data/deep.dat", "", SampleBytes(3000, 3),
       "GAMES/QUEST/DATA/MAPS/DEEP.DAT"},
      {"uninstal.exe", "bin/uninstal.exe", "", SampleBytes(7000, 4),
       "GAMES/QUEST/uninstal.exe"},
      {"QUESTGFX.DLL", "bin/questgfx.dll", "shared, version=1.2.3.4",
       SampleBytes(20000, 5), "WINDOWS/SYSTEM/QUESTGFX.DLL"},
      {"README.TXT", "README.TXT", "noInstall", SampleBytes(500, 6), ""},
  };
}

TEST_F(PkgtoolInstall, TwoDiskProductInstallsByteForByte) {
  const std::vector<SourceFile> files = QuestFiles();
  const std::string descriptor = Build("Quest", "QUEST.EXE", files);
  ASSERT_TRUE(FileExistsOnHost(work_.path() + "/Quest/media/disk2/QUEST.dat"));
  ASSERT_FALSE(FileExistsOnHost(work_.path() + "/Quest/media/disk3"));

  std::string report;
  ASSERT_EQ(Install(descriptor, &report), 0) << report;
  ExpectInstalled(files);
  // The shared file, listed last, lies where the run reads it first: each
  // disk is asked for once, and disk 1 again for the descriptor copy.
  std::string prompts;
  for (size_t at = report.find("setup: Insert disk "); at != std::string::npos;
       at = report.find("setup: Insert disk ", at + 1)) {
    prompts +=
        report.substr(at + 19, report.find(' ', at + 19) - at - 19) + " ";
  }
  EXPECT_EQ(prompts, "2 1 ") << report;
  // list shows the same order: its disks never go down along it.
  std::string listed;
  ASSERT_EQ(Pkgtool({"list", descriptor, "--json", "--reading-order"}, &listed),
            0);
  int last = 0;
  for (size_t at = listed.find("\"disk\": "); at != std::string::npos;
       at = listed.find("\"disk\": ", at + 1)) {
    const int disk = std::atoi(listed.c_str() + at + 8);
    EXPECT_GE(disk, last) << listed;
    last = disk;
  }
  EXPECT_EQ(last, 2);
  EXPECT_FALSE(FileExistsOnHost(OnC("GAMES/QUEST/README.TXT")));
  EXPECT_EQ(ReadFile(OnC("GAMES/QUEST/uninstal.bin")), ReadFile(descriptor));
  EXPECT_EQ(ReadFile(OnC("WINDOWS/tarny.ini")),
            Bytes({'[', 's', 'e', 't', 'u', 'p', ']', '\r', '\n', 'g', 'r', 'm',
                   'f', '=', '3', '5', '\r', '\n'}));
  for (const char* command :
       {"[CreateGroup(Games)]", "[ReplaceItem(Quest)]",
        "[AddItem(C:\\GAMES\\QUEST\\QUEST.EXE,Quest,,,,,C:\\GAMES\\QUEST)]",
        "[ReplaceItem(Uninstall Quest)]",
        "[AddItem(C:\\GAMES\\QUEST\\uninstal.exe,Uninstall "
        "Quest,,,,,C:\\GAMES\\QUEST)]"}) {
    EXPECT_NE(report.find(command), std::string::npos) << command;
  }

  // The same product again: its uninstaller keeps its name.
  ASSERT_EQ(Install(descriptor, &report), 0) << report;
  EXPECT_FALSE(FileExistsOnHost(OnC("GAMES/QUEST/unins1.exe")));
  EXPECT_EQ(ReadFile(OnC("GAMES/QUEST/uninstal.bin")), ReadFile(descriptor));

  // Another product into the same place names its own.
  std::vector<SourceFile> other = {
      {"OTHER.EXE", "other.exe", "", SampleBytes(4000, 7),
       "GAMES/QUEST/OTHER.EXE"},
      {"uninstal.exe", "uninstal.exe", "", SampleBytes(5000, 8),
       "GAMES/QUEST/unins1.exe"}};
  const std::string otherDescriptor = Build("Other", "OTHER.EXE", other);
  ASSERT_EQ(Install(otherDescriptor, &report), 0) << report;
  EXPECT_EQ(ReadFile(OnC("GAMES/QUEST/unins1.exe")), other[1].content);
  EXPECT_EQ(ReadFile(OnC("GAMES/QUEST/unins1.bin")), ReadFile(otherDescriptor));
  EXPECT_EQ(ReadFile(OnC("GAMES/QUEST/uninstal.exe")), files[3].content);
  EXPECT_NE(report.find("[AddItem(C:\\GAMES\\QUEST\\unins1.exe,Uninstall "
                        "Other,,,,,C:\\GAMES\\QUEST)]"),
            std::string::npos)
      << report;
}

// A disk prompt is known by the reader's state, not by its wording: with
// the prompt's string changed, the later disk is still found.
TEST_F(PkgtoolInstall, AnswersDiskPromptsWhateverTheirWording) {
  const std::vector<SourceFile> files = QuestFiles();
  const std::string descriptor = Build("Quest", "QUEST.EXE", files);
  struct Reworded {
    Reworded() {
      OverrideStringTableText(kStrInsertDisk,
                              "Legen Sie Diskette %d in Laufwerk %s ein.");
    }
    ~Reworded() { OverrideStringTableText(kStrInsertDisk, nullptr); }
  } reworded;
  // A prompt taken for another box would be answered OK with the wrong
  // disk in the drive, again and again: the opens run out instead.
  host::InjectFault(host::Fault::kOpen, 1000, 1 << 30);

  std::string report;
  ASSERT_EQ(Install(descriptor, &report), 0) << report;
  ExpectInstalled(files);
}

// Over an earlier installation: whatever the run could not complete stays
// as it was, the files it did complete are whole, and nothing temporary is
// left behind.
TEST_F(PkgtoolInstall, MissingLaterDiskCancelsWithFailure) {
  const std::vector<SourceFile> files = QuestFiles();
  const std::string descriptor = Build("Quest", "QUEST.EXE", files);
  const Bytes old = {'o', 'l', 'd'};
  for (const SourceFile& file : files) {
    if (!file.installedAt.empty()) WriteFile(OnC(file.installedAt), old);
  }
  // Disk 2 lies nowhere beside disk 1.
  const std::string media = work_.path() + "/Quest/media";
  ASSERT_EQ(
      std::rename((media + "/disk2").c_str(), (work_.path() + "/away").c_str()),
      0);
  std::string report;
  EXPECT_EQ(Pkgtool({"install", descriptor, "--root", root_.path(), "--to",
                     "C:\\GAMES\\QUEST", "--yes", "--quiet"},
                    &report),
            1);
  EXPECT_NE(report.find("Insert disk 2 in drive A.\n"), std::string::npos)
      << report;
  EXPECT_NE(report.find(": installation failed: missing disk 2; give its "
                        "directory with --disk\n"),
            std::string::npos)
      << report;
  EXPECT_FALSE(FileExistsOnHost(OnC("WINDOWS/tarny.ini")));
  int kept = 0;
  for (const SourceFile& file : files) {
    if (file.installedAt.empty()) continue;
    const Bytes now = ReadFile(OnC(file.installedAt));
    EXPECT_TRUE(now == old || now == file.content) << file.installedAt;
    kept += now == old ? 1 : 0;
  }
  EXPECT_GT(kept, 0);
  for (const char* dir :
       {"GAMES/QUEST", "GAMES/QUEST/DATA", "WINDOWS/SYSTEM"}) {
    EXPECT_FALSE(FileExistsOnHost(OnC(std::string(dir) + "/SETUP$$$.TMP")));
  }
}

// Two products in one directory, taken out one after the other by
// `pkgtool uninstall`: the first leaves the other's files and uninstaller
// alone; afterwards the tree holds only the shared file, the settings and
// the user's saved game, which stays (a complete removal, status 0: the
// file is the user's, not the installation's).
TEST_F(PkgtoolInstall, UninstallTakesEachProductOutAgain) {
  const std::vector<SourceFile> files = QuestFiles();
  ASSERT_EQ(Install(Build("Quest", "QUEST.EXE", files), nullptr), 0);
  const std::vector<SourceFile> other = {
      {"OTHER.EXE", "other.exe", "", SampleBytes(4000, 7),
       "GAMES/QUEST/OTHER.EXE"},
      {"uninstal.exe", "uninstal.exe", "", SampleBytes(5000, 8),
       "GAMES/QUEST/unins1.exe"}};
  ASSERT_EQ(Install(Build("Other", "OTHER.EXE", other), nullptr), 0);
  WriteFile(OnC("GAMES/QUEST/SAVE1.SAV"), "saved");

  // --quiet only keeps quiet: without --yes (and nobody at a terminal) the
  // question is answered No. A file that has to stay has a status of its
  // own, 3.
  std::string report;
  EXPECT_EQ(Pkgtool({"uninstall", OnC("GAMES/QUEST/unins1.bin"), "--root",
                     root_.path(), "--quiet"},
                    &report),
            1)
      << report;
  EXPECT_TRUE(FileExistsOnHost(OnC("GAMES/QUEST/OTHER.EXE")));
  ASSERT_EQ(::unlink(OnC("GAMES/QUEST/OTHER.EXE").c_str()), 0);
  WriteFile(OnC("GAMES/QUEST/OTHER.EXE/IN.USE"), "a directory now");
  EXPECT_EQ(Pkgtool({"uninstall", OnC("GAMES/QUEST/unins1.bin"), "--root",
                     root_.path(), "--yes", "-q"},
                    &report),
            3)
      << report;
  EXPECT_NE(report.find("kept     C:\\GAMES\\QUEST\\OTHER.EXE (could not be "
                        "removed)\n"),
            std::string::npos)
      << report;
  std::filesystem::remove_all(OnC("GAMES/QUEST/OTHER.EXE"));
  EXPECT_NE(report.find("  [DeleteItem(Uninstall Other)]\n"), std::string::npos)
      << report;
  EXPECT_FALSE(FileExistsOnHost(OnC("GAMES/QUEST/unins1.exe")));
  ExpectInstalled(files);

  EXPECT_EQ(Pkgtool({"uninstall", OnC("GAMES/QUEST/uninstal.bin"), "--root",
                     root_.path(), "--yes"},
                    &report),
            0)
      << report;
  EXPECT_NE(report.find("kept     C:\\GAMES\\QUEST\\ (not empty)\n"),
            std::string::npos)
      << report;
  std::vector<std::string> left;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(root_.path())) {
    if (entry.is_regular_file()) {
      left.push_back(entry.path().string().substr(root_.path().size() + 1));
    }
  }
  std::sort(left.begin(), left.end());
  const std::vector<std::string> expected = {"GAMES/QUEST/SAVE1.SAV",
                                             "WINDOWS/SYSTEM/QUESTGFX.DLL",
                                             "WINDOWS/tarny.ini"};
  EXPECT_EQ(left, expected) << report;
}

// A path longer than the installer's paths hold fails as the installer
// fails ("write error!"), and pkgtool names the length as the cause.
TEST_F(PkgtoolInstall, APathTooLongForTheInstallerIsNamedAsTheCause) {
  const std::string name = std::string(236, 'L') + ".DAT";
  const std::string descriptor =
      Build("Long", "A.EXE",
            {{"A.EXE", "a.exe", "", SampleBytes(100, 1), ""},
             {name, "long.dat", "", SampleBytes(100, 2), ""}});
  std::string report;
  for (const char* to : {"C:\\GAMES\\STARPLT", "C:\\GAMES\\STARPLT\\VERY"}) {
    const int code = Pkgtool({"install", descriptor, "--root", root_.path(),
                              "--to", to, "--yes", "--quiet"},
                             &report);
    if (std::string(to).size() + 1 + name.size() <= 259) {
      EXPECT_EQ(code, 0) << report;
      continue;
    }
    EXPECT_EQ(code, 1);
    EXPECT_NE(report.find("write error!"), std::string::npos) << report;
    EXPECT_NE(
        report.find(": installation failed: C:\\GAMES\\STARPLT\\VERY\\" + name +
                    ": the path is 262 bytes long, more than the 259 "
                    "the installer's paths hold (a shorter destination "
                    "leaves room)\n"),
        std::string::npos)
        << report;
  }
}

TEST_F(PkgtoolInstall, DestinationsTheDialogWouldRefuseAreUsageErrors) {
  const std::string descriptor = Build("Quest", "QUEST.EXE", QuestFiles());
  for (const char* to : {"GAMES", "C:", "c:games", "\\GAMES\\QUEST"}) {
    std::string report;
    EXPECT_EQ(Pkgtool({"install", descriptor, "--root", root_.path(), "--to",
                       to, "--yes"},
                      &report),
              2)
        << to;
  }
  EXPECT_EQ(Pkgtool({"install", descriptor, "--to", "C:\\Q"}, nullptr), 2);
}

}  // namespace

// A platform call that fails gives the installer's text its cause, and one
// cause for many files is one line and a count.
TEST_F(PkgtoolInstall, FailuresNameTheirCauseOnce) {
  const std::vector<SourceFile> files = QuestFiles();
  const std::string descriptor = Build("Quest", "QUEST.EXE", files);
  host::InjectFault(host::Fault::kWrite, 1, 1 << 30);
  std::string report;
  EXPECT_EQ(Install(descriptor, &report), 1);
  host::ClearFaults();
  EXPECT_NE(report.find("QUESTGFX.DLL: write error! (Input/output error) -> "
                        "Retry\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("installation failed: QUESTGFX.DLL: "),
            std::string::npos)
      << report;

  // Every file write protected: answered Ignore, each alike.
  for (const SourceFile& file : files) {
    if (file.installedAt.empty()) continue;
    WriteFile(OnC(file.installedAt), Bytes{'o', 'l', 'd'});
    ASSERT_EQ(chmod(OnC(file.installedAt).c_str(), 0444), 0);
  }
  EXPECT_EQ(Install(descriptor, &report), 3);
  EXPECT_NE(report.find(": installed, 4 files kept as they were"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("because it is write protected. (Permission denied) "
                        "-> Ignore\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("setup: ... and 3 more files for the same cause "
                        "(Permission denied -> Ignore)\n"),
            std::string::npos)
      << report;
}
