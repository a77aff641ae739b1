// The Program Manager command texts, exactly as they are sent.
#include "install/progman.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Commands(const ProgmanItems& items) {
  std::vector<std::string> texts;
  char block[kCommandBlockSize];
  for (int n = 1; n <= ProgmanCommandCount(items); ++n) {
    EXPECT_TRUE(ComposeProgmanCommand(n, items, block)) << n;
    texts.push_back(block);
  }
  return texts;
}

struct CommandCase {
  const char* label;
  ProgmanItems items;
  std::vector<std::string> commands;
};

void PrintTo(const CommandCase& c, std::ostream* out) { *out << c.label; }

class ProgmanCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(ProgmanCommands, ComposeExactly) {
  EXPECT_EQ(Commands(GetParam().items), GetParam().commands);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProgmanCommands,
    ::testing::Values(
        CommandCase{
            "with an uninstaller",
            {"c:\\games\\quest\\", "QUEST.EXE", "Quest", "uninstal.exe"},
            {"[CreateGroup(Games)]", "[ReplaceItem(Quest)]",
             "[AddItem(c:\\games\\quest\\QUEST.EXE,Quest,,,,,"
             "c:\\games\\quest)]",
             "[ReplaceItem(Uninstall Quest)]",
             "[AddItem(c:\\games\\quest\\uninstal.exe,Uninstall "
             "Quest,,,,,c:\\games\\quest)]"}},
        CommandCase{"without an uninstaller",
                    {"c:\\games\\quest\\", "QUEST.EXE", "Quest", ""},
                    {"[CreateGroup(Games)]", "[ReplaceItem(Quest)]",
                     "[AddItem(c:\\games\\quest\\QUEST.EXE,Quest,,,,,"
                     "c:\\games\\quest)]"}},
        CommandCase{"drive root",
                    {"c:\\", "QUEST.EXE", "Quest", "unins1.exe"},
                    {"[CreateGroup(Games)]", "[ReplaceItem(Quest)]",
                     "[AddItem(c:\\QUEST.EXE,Quest,,,,,c:)]",
                     "[ReplaceItem(Uninstall Quest)]",
                     "[AddItem(c:\\unins1.exe,Uninstall Quest,,,,,c:)]"}},
        CommandCase{"title with a comma, a parenthesis and a percent sign",
                    {"d:\\q\\", "Q.EXE", "Q, (the %s) 100%", "uninstal.exe"},
                    {"[CreateGroup(Games)]", "[ReplaceItem(Q, (the %s) 100%)]",
                     "[AddItem(d:\\q\\Q.EXE,Q, (the %s) 100%,,,,,d:\\q)]",
                     "[ReplaceItem(Uninstall Q, (the %s) 100%)]",
                     "[AddItem(d:\\q\\uninstal.exe,Uninstall Q, (the %s) "
                     "100%,,,,,d:\\q)]"}}));

TEST(ProgmanCommandBlock, LongestPartsFitAndTheStringAreaIsSeparate) {
  // A 258-character directory holding a program of the same length (the
  // directory and the name are each at most 259) and a 79-character title.
  std::string directory = "c:\\" + std::string(254, 'd') + "\\";
  std::string program(259, 'p');
  std::string title(79, 't');
  ProgmanItems items = {directory.c_str(), program.c_str(), title.c_str(),
                        "unins999.exe"};
  char block[kCommandBlockSize];
  // Command 3 would need 9 + 258 + 259 + 1 + 79 + 5 + 257 + 2 = 870 bytes.
  EXPECT_FALSE(ComposeProgmanCommand(3, items, block));
  EXPECT_STREQ(block, "");
  // The uninstaller's command fits, with "Uninstall %s" in the string area.
  ASSERT_TRUE(ComposeProgmanCommand(5, items, block));
  EXPECT_LT(strlen(block), kCommandStringOffset);
  EXPECT_STREQ(block + kCommandStringOffset, "Uninstall %s");
  EXPECT_EQ(std::string(block),
            "[AddItem(" + directory + "unins999.exe,Uninstall " + title +
                ",,,,," + directory.substr(0, directory.size() - 1) + ")]");
}

TEST(ProgmanCommandBlock, NumbersOutsideTheSequenceComposeNothing) {
  ProgmanItems items = {"c:\\q\\", "Q.EXE", "Q", ""};
  char block[kCommandBlockSize];
  EXPECT_FALSE(ComposeProgmanCommand(0, items, block));
  EXPECT_FALSE(ComposeProgmanCommand(4, items, block));  // no uninstaller
  EXPECT_FALSE(ComposeProgmanCommand(6, items, block));
  EXPECT_STREQ(block, "");
}

// The uninstaller deletes the group only when Program Manager's reply to a
// request for it reads as empty; any other reply keeps it.
TEST(ProgmanGroupReply, OnlyAnItemCountOfZeroReadsEmpty) {
  struct Reply {
    const char* text;
    bool empty;
  };
  for (const Reply& reply :
       {Reply{"\"Games\",C:\\WINDOWS\\GAMES.GRP,0\r\n", true},
        Reply{"\"Games, old\",C:\\W\\G.GRP,0,1,0", true},
        Reply{"\"Games\",C:\\W\\G.GRP,2\r\n\"Quest\",...\r\n", false},
        Reply{"\"Games\",C:\\W\\G.GRP,10", false},
        Reply{"\"Games\",C:\\W\\G.GRP,0x", false},
        Reply{"\"Games\",C:\\W\\G.GRP,", false},
        Reply{"Games,C:\\W\\G.GRP,0", false}, Reply{"", false}}) {
    EXPECT_EQ(GroupReplyIsEmpty(reply.text), reply.empty) << reply.text;
  }
}

}  // namespace
