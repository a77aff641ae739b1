// The uninstaller's decisions on a host tree: which files go and which
// stay, which directories go, the Program Manager commands, the boxes and
// the exit codes of its two parts; and its command line.
#include "uninstall/uninstall.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_dde.h"
#include "test_support.h"
#include "uninstall/command_line.h"

namespace {

// A file of the package: its name in the list, its flags, and where the
// installation put it (below the root; "" when it did not).
struct Placed {
  std::string name;
  uint16_t flags;
  std::string at;
};

class UninstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::MapDrive('C', root_.path());
    host::ResetDde();
  }
  void TearDown() override { ReleaseUninstallList(); }

  std::string OnC(const std::string& relative) const {
    return root_.path() + "/" + relative;
  }
  bool There(const std::string& relative) const {
    return FileExistsOnHost(OnC(relative));
  }

  // The state an installation leaves: every file where it was put, and the
  // list as program's name with ".bin" (program below the root).
  void Install(const std::string& program, const std::vector<Placed>& files,
               const std::string& magic = "GAME") {
    std::vector<RecordSpec> records;
    for (const Placed& file : files) {
      RecordSpec record;
      record.name = file.name;
      record.flags = file.flags;
      records.push_back(record);
      if (!file.at.empty()) WriteFile(OnC(file.at), file.name);
    }
    WriteFile(OnC(program.substr(0, program.rfind('.')) + ".bin"),
              MakeDescriptor(magic, "QUEST.EXE", "Quest", records));
  }

  // Both parts, the finishing one only when the first hands over.
  int BothParts(const char* program, int* firstCode = nullptr) {
    bool finish = false;
    const int first = RunUninstall(program, &finish);
    if (firstCode != nullptr) *firstCode = first;
    ReleaseUninstallList();
    return finish ? FinishUninstall(program) : first;
  }

  TempDir root_;
};

std::vector<Placed> QuestFiles() {
  return {{"QUEST.EXE", 0, "GAMES/QUEST/QUEST.EXE"},
          {"DATA\\LEVEL1.DAT", 0, "GAMES/QUEST/DATA/LEVEL1.DAT"},
          {"DATA\\MAPS\\DEEP.DAT", 0, "GAMES/QUEST/DATA/MAPS/DEEP.DAT"},
          {"\\WINDOWS\\QUEST.INI", 0, "WINDOWS/QUEST.INI"},
          {"Z:\\SYS\\QUEST.DRV", 0, "SYS/QUEST.DRV"},
          {"QUESTGFX.DLL", kFlagsShared, "WINDOWS/SYSTEM/QUESTGFX.DLL"},
          {"\\WINDOWS\\TARNY.INI", 0, "WINDOWS/tarny.ini"},
          {"README.TXT", kFlagNoInstall, ""},
          {"uninstal.exe", 0, "GAMES/QUEST/uninstal.exe"}};
}

TEST_F(UninstallTest, RemovesWhatTheInstallationPlacedAndNothingElse) {
  Install("GAMES/QUEST/uninstal.exe", QuestFiles());
  // The user's: a saved game, a directory of them, a README of his own.
  for (const char* mine :
       {"GAMES/QUEST/SAVE1.SAV", "GAMES/QUEST/SAVES/SLOT1.SAV",
        "GAMES/QUEST/README.TXT"}) {
    WriteFile(OnC(mine), "mine");
  }
  host::AnswerGroupRequests("\"Games\",C:\\WINDOWS\\GAMES.GRP,0\r\n");
  host::QueueAnswer(plat::kIdYes);
  host::QueueAnswer(plat::kIdOk);
  int first = -1;
  EXPECT_EQ(BothParts("C:\\GAMES\\QUEST\\uninstal.exe", &first),
            kUninstallAddedKept);
  EXPECT_EQ(first, kUninstallAddedKept);

  for (const char* gone :
       {"GAMES/QUEST/QUEST.EXE", "GAMES/QUEST/DATA", "WINDOWS/QUEST.INI",
        "SYS/QUEST.DRV", "GAMES/QUEST/uninstal.exe",
        "GAMES/QUEST/uninstal.bin"}) {
    EXPECT_FALSE(There(gone)) << gone;
  }
  for (const char* kept :
       {"WINDOWS/SYSTEM/QUESTGFX.DLL", "WINDOWS/tarny.ini", "SYS",
        "GAMES/QUEST/SAVE1.SAV", "GAMES/QUEST/SAVES/SLOT1.SAV",
        "GAMES/QUEST/README.TXT"}) {
    EXPECT_TRUE(There(kept)) << kept;
  }
  ASSERT_EQ(host::Boxes().size(), 2u);
  EXPECT_EQ(host::Boxes()[0].caption, "Quest");
  EXPECT_EQ(host::Boxes()[0].text,
            "Do you want to completely remove Quest and all of its "
            "components?");
  EXPECT_EQ(host::Boxes()[0].type, plat::kMbYesNo | plat::kMbIconQuestion);
  EXPECT_EQ(host::Boxes()[1].text,
            "Quest was removed from your computer, except the files you "
            "added.\n\nThey remain in C:\\GAMES\\QUEST.\n\nShared files were "
            "kept, as other programs may use them.");
  const std::vector<std::string> commands = {
      "[ShowGroup(Games,1)]", "[DeleteItem(Quest)]",
      "[DeleteItem(Uninstall Quest)]", "[DeleteGroup(Games)]"};
  EXPECT_EQ(host::DdeCommands(), commands);
}

// D goes once empty, but never a drive root, the Windows or the system
// directory (a Control Panel package lives in the Windows directory), and
// nothing above it; no box with /quiet; and a group that Program Manager
// says still holds an item stays.
TEST_F(UninstallTest, ProductDirectoryGoesOnlyWhenEmptyAndMayGo) {
  struct Case {
    const char* directory;  // below the root, "" for the root itself
    const char* magic;
    const char* program;
    bool gone;
  };
  // Another game's item stays in the group.
  host::AnswerGroupRequests("\"Games\",C:\\WINDOWS\\GAMES.GRP,1\r\n");
  // The drive root first, while nothing else lies in it.
  for (const Case& c :
       {Case{"", "GAME", "uninstal.exe", false},
        Case{"GAMES/QUEST/", "GAME", "uninstal.exe", true},
        Case{"WINDOWS/", "INSV", "QUESTCFG.exe", false},
        Case{"WINDOWS/SYSTEM/", "GAME", "uninstal.exe", false}}) {
    const std::string d = c.directory;
    Install(
        d + c.program,
        {{"QUEST.EXE", 0, d + "QUEST.EXE"}, {"uninstal.exe", 0, d + c.program}},
        c.magic);
    std::string dos = "C:\\" + d + c.program;
    for (char& ch : dos) ch = ch == '/' ? '\\' : ch;
    ::Uninstall.Quiet = true;
    EXPECT_EQ(BothParts(dos.c_str()), kUninstallDone) << dos;
    ReleaseUninstallList();
    EXPECT_FALSE(There(d + "QUEST.EXE")) << dos;
    EXPECT_FALSE(There(d + c.program)) << dos;
    EXPECT_NE(FileExistsOnHost(OnC(d)), c.gone) << dos;
  }
  EXPECT_TRUE(There("GAMES"));
  EXPECT_TRUE(host::Boxes().empty());
  for (const std::string& command : host::DdeCommands()) {
    // The group was not empty.
    EXPECT_NE(command, "[DeleteGroup(Games)]");
  }
}

// A file that cannot be removed (read-only here) asks Abort, Retry or
// Ignore: Retry tries again, Ignore keeps it (and the outcome is 2), Abort
// stops at once and leaves the uninstaller for another run; /quiet asks
// nothing and keeps it.
TEST_F(UninstallTest, FileThatCannotGoAsksAbortRetryIgnore) {
  const std::vector<Placed> files = {{"A.DAT", 0, "Q/A.DAT"},
                                     {"B.DAT", 0, "Q/B.DAT"},
                                     {"C.DAT", 0, "Q/C.DAT"},
                                     {"D.DAT", 0, "Q/D.DAT"},
                                     {"uninstal.exe", 0, "Q/uninstal.exe"}};
  Install("Q/uninstal.exe", files);
  for (const char* name : {"Q/A.DAT", "Q/B.DAT", "Q/C.DAT"}) {
    chmod(OnC(name).c_str(), 0444);
  }
  host::SetResponder([this](const host::Box& box) {
    if (box.type == (plat::kMbYesNo | plat::kMbIconQuestion)) {
      return plat::kIdYes;
    }
    if (box.text == "C:\\Q\\A.DAT: Uninstall cannot remove this file.") {
      chmod(OnC("Q/A.DAT").c_str(), 0644);
      return plat::kIdRetry;
    }
    return box.text.compare(0, 8, "C:\\Q\\B.D") == 0 ? plat::kIdIgnore
                                                     : plat::kIdAbort;
  });
  bool finish = true;
  EXPECT_EQ(RunUninstall("C:\\Q\\uninstal.exe", &finish), kUninstallKept);
  EXPECT_FALSE(finish);
  EXPECT_FALSE(There("Q/A.DAT"));
  for (const char* kept : {"Q/B.DAT", "Q/C.DAT", "Q/D.DAT", "Q/uninstal.bin"}) {
    EXPECT_TRUE(There(kept)) << kept;
  }
  ASSERT_EQ(host::Boxes().size(), 4u);
  EXPECT_EQ(host::Boxes()[1].type,
            plat::kMbAbortRetryIgnore | plat::kMbIconExclamation);
  EXPECT_EQ(host::Boxes()[1].caption, "Quest");

  // Quiet: Ignore without a box; the rest goes, and the first part tells
  // that a file stayed (the finishing part only removes the uninstaller).
  host::SetResponder(nullptr);
  ReleaseUninstallList();
  ::Uninstall.Quiet = true;
  EXPECT_EQ(RunUninstall("C:\\Q\\uninstal.exe", &finish), kUninstallKept);
  EXPECT_TRUE(finish);
  ReleaseUninstallList();
  EXPECT_EQ(FinishUninstall("C:\\Q\\uninstal.exe"), kUninstallDone);
  EXPECT_EQ(host::Boxes().size(), 4u);
  EXPECT_TRUE(There("Q/B.DAT"));
  EXPECT_FALSE(There("Q/D.DAT"));
  EXPECT_FALSE(There("Q/uninstal.exe"));
}

// The endings: the closing box and the outcome tell whether files the user
// added keep D (naming it), while another product's files in D do not
// count as the user's. With /quiet the first part removes the list too
// and tells the outcome, leaving only the uninstaller and D to its second.
TEST_F(UninstallTest, EndingsTellWhatStaysAndQuietLeavesOnlyTheUninstaller) {
  struct Case {
    const char* left;  // besides the product, in D ("" none)
    bool quiet;
    int outcome;
    const char* text;  // of the closing box ("" with quiet)
  };
  const std::string kAdded =
      "Quest was removed from your computer, except the files you "
      "added.\n\nThey remain in C:\\Q.";
  for (const Case& c :
       {Case{"", false, kUninstallDone,
             "Quest was successfully removed from your computer."},
        Case{"SAVES/SLOT1.SAV", false, kUninstallAddedKept, kAdded.c_str()},
        Case{"unins1.bin", false, kUninstallDone,
             "Quest was successfully removed from your computer."},
        Case{"", true, kUninstallDone, ""},
        Case{"SAVE1.SAV", true, kUninstallAddedKept, ""}}) {
    const size_t before = host::Boxes().size();
    Install("Q/uninstal.exe", {{"A.DAT", 0, "Q/A.DAT"},
                               {"DATA\\B.DAT", 0, "Q/DATA/B.DAT"},
                               {"uninstal.exe", 0, "Q/uninstal.exe"}});
    if (c.left[0] != '\0') WriteFile(OnC(std::string("Q/") + c.left), "x");
    ::Uninstall.Quiet = c.quiet;
    if (!c.quiet) {
      host::QueueAnswer(plat::kIdYes);
      host::QueueAnswer(plat::kIdOk);
    }
    bool finish = false;
    const int first = RunUninstall("C:\\Q\\uninstal.exe", &finish);
    ReleaseUninstallList();
    ASSERT_TRUE(finish) << c.left;
    EXPECT_EQ(first, c.outcome) << c.left;
    if (c.quiet) {
      // Before the second part: only the uninstaller is left of ours.
      EXPECT_FALSE(There("Q/uninstal.bin")) << c.left;
      EXPECT_FALSE(There("Q/DATA")) << c.left;
      EXPECT_TRUE(There("Q/uninstal.exe")) << c.left;
      EXPECT_EQ(FinishUninstall("C:\\Q\\uninstal.exe"), kUninstallDone);
      EXPECT_EQ(host::Boxes().size(), before) << c.left;
    } else {
      EXPECT_EQ(FinishUninstall("C:\\Q\\uninstal.exe"), c.outcome) << c.left;
      ASSERT_EQ(host::Boxes().size(), before + 2) << c.left;
      EXPECT_EQ(host::Boxes().back().text, c.text);
      EXPECT_EQ(host::Boxes().back().type,
                plat::kMbOk | plat::kMbIconInformation);
    }
    ReleaseUninstallList();
    EXPECT_FALSE(There("Q/uninstal.exe")) << c.left;
    EXPECT_EQ(There("Q"), c.left[0] != '\0') << c.left;
    std::filesystem::remove_all(OnC("Q"));
  }
}

// Nothing is removed without a sound list or against the answer No; the box
// names the list.
TEST_F(UninstallTest, NoListOrTheAnswerNoRemovesNothing) {
  Install("Q/uninstal.exe",
          {{"A.DAT", 0, "Q/A.DAT"}, {"uninstal.exe", 0, "Q/uninstal.exe"}});
  host::QueueAnswer(plat::kIdNo);
  EXPECT_EQ(BothParts("C:\\Q\\uninstal.exe"), kUninstallNothing);
  ReleaseUninstallList();

  Bytes list = ReadFile(OnC("Q/uninstal.bin"));
  list.resize(list.size() - 3);  // the last record ends outside the table
  WriteFile(OnC("Q/unins1.bin"), list);
  WriteFile(OnC("Q/unins1.exe"), "another");
  host::QueueAnswer(plat::kIdOk);
  EXPECT_EQ(BothParts("C:\\Q\\unins1.exe"), kUninstallNothing);
  ReleaseUninstallList();

  host::QueueAnswer(plat::kIdOk);
  EXPECT_EQ(BothParts("C:\\Q\\unins2.exe"), kUninstallNothing);

  for (const char* kept : {"Q/A.DAT", "Q/uninstal.exe", "Q/uninstal.bin",
                           "Q/unins1.exe", "Q/unins1.bin"}) {
    EXPECT_TRUE(There(kept)) << kept;
  }
  ASSERT_EQ(host::Boxes().size(), 3u);
  EXPECT_EQ(host::Boxes()[1].caption, "Uninstall");
  EXPECT_EQ(host::Boxes()[1].text, "C:\\Q\\unins1.bin is damaged!");
  EXPECT_EQ(host::Boxes()[2].text, "C:\\Q\\unins2.bin is missing!");
  EXPECT_TRUE(host::DdeCommands().empty());
}

TEST(UninstallArguments, FinishingCopyReadsWhatTheFirstPartWrote) {
  char line[3 * kPathSize];
  ASSERT_TRUE(ComposeFinishCommandLine("C:\\TEMP\\uns1.tmp",
                                       "C:\\My Games\\Q\\unins1.exe", 1234,
                                       true, line, sizeof line));
  EXPECT_STREQ(line,
               "\"C:\\TEMP\\uns1.tmp\" /finish \"C:\\My Games\\Q\\unins1.exe\" "
               "1234 /quiet");
  UninstallArguments read;
  ASSERT_TRUE(ParseUninstallArguments(strchr(line + 1, '"') + 1, &read));
  EXPECT_TRUE(read.finish && read.quiet);
  EXPECT_STREQ(read.original, "C:\\My Games\\Q\\unins1.exe");
  EXPECT_EQ(read.handle, 1234u);

  ASSERT_TRUE(ParseUninstallArguments("  /QUIET ", &read));
  EXPECT_TRUE(read.quiet && !read.finish);
  // Other uninstallers' quiet switches, in any case.
  for (const char* quiet : {"/S", "/s", "/SILENT", "/VerySilent"}) {
    ASSERT_TRUE(ParseUninstallArguments(quiet, &read)) << quiet;
    EXPECT_TRUE(read.quiet) << quiet;
    EXPECT_STREQ(read.unknown, "");
  }
  // An unknown switch is named; a quiet switch anywhere still counts.
  EXPECT_FALSE(ParseUninstallArguments("-quiet", &read));
  EXPECT_STREQ(read.unknown, "-quiet");
  EXPECT_FALSE(read.quiet);
  EXPECT_FALSE(ParseUninstallArguments("/x /S", &read));
  EXPECT_STREQ(read.unknown, "/x");
  EXPECT_TRUE(read.quiet);
  ASSERT_TRUE(ParseUninstallArguments("", &read));
  EXPECT_FALSE(read.quiet || read.finish);
  const std::string tooLong = "/finish \"C:\\" + std::string(260, 'x') + "\" 1";
  for (const std::string& refused :
       {std::string("/x"), std::string("/finish \"C:\\Q\\U.EXE\""),
        std::string("/finish \"C:\\Q\\U.EXE 1"),
        std::string("/finish C:\\Q\\U.EXE -1"), tooLong}) {
    EXPECT_FALSE(ParseUninstallArguments(refused.c_str(), &read)) << refused;
    EXPECT_FALSE(read.finish);
    EXPECT_NE(read.unknown[0], '\0') << refused;
  }
}

// One lock per uninstaller, whatever the letter case of its path.
TEST(UninstallArguments, LockNameFollowsThePathWithoutRegardToCase) {
  char a[32], b[32], c[32];
  ComposeUninstallLockName("C:\\GAMES\\QUEST\\uninstal.exe", a, sizeof a);
  ComposeUninstallLockName("c:\\games\\quest\\UNINSTAL.EXE", b, sizeof b);
  ComposeUninstallLockName("C:\\GAMES\\QUEST\\unins1.exe", c, sizeof c);
  EXPECT_STREQ(a, b);
  EXPECT_STRNE(a, c);
  EXPECT_EQ(strchr(a, '\\'), nullptr);
}

}  // namespace
