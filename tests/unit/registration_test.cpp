// Registration with Program Manager: the commands sent, their order, one
// DDE instance around them, and MainWindow brought back after the group
// and the product's item.
#include "install/registration.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "install/placement.h"
#include "package/descriptor.h"
#include "platform/host/host_control.h"
#include "platform/host/host_dde.h"
#include "ui/destination.h"
#include "ui/ui_state.h"

namespace {

char mainToken;

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::ResetDde();
    ResetPlacement();
    ResetDestination();
    MainWindow = &mainToken;
    strcpy(Package.Header.programFile, "QUEST.EXE");
    strcpy(Package.Header.productTitle, "Quest");
    strcpy(InstallDirectory, "c:\\games\\quest\\");
  }
};

TEST_F(RegistrationTest, FiveCommandsWithAnUninstaller) {
  strcpy(Placement.UninstallerName, "unins2.exe");
  RegisterWithProgramManager();
  const std::vector<std::string> expected = {
      "[CreateGroup(Games)]", "[ReplaceItem(Quest)]",
      "[AddItem(c:\\games\\quest\\QUEST.EXE,Quest,,,,,c:\\games\\quest)]",
      "[ReplaceItem(Uninstall Quest)]",
      "[AddItem(c:\\games\\quest\\unins2.exe,Uninstall Quest,,,,,"
      "c:\\games\\quest)]"};
  EXPECT_EQ(host::DdeCommands(), expected);

  // One instance around all of them; MainWindow comes back after the
  // group and after the product's item, not after the uninstaller's.
  std::vector<std::string> order;
  for (const host::DdeEvent& event : host::DdeEvents()) {
    switch (event.kind) {
      case host::DdeEvent::kInitialize:
        order.push_back("init");
        break;
      case host::DdeEvent::kCommand:
        order.push_back("cmd");
        break;
      case host::DdeEvent::kRequest:
        order.push_back("request");
        break;
      case host::DdeEvent::kActivate:
        EXPECT_EQ(event.window, MainWindow);
        order.push_back("activate");
        break;
      case host::DdeEvent::kUninitialize:
        order.push_back("uninit");
        break;
    }
  }
  const std::vector<std::string> expectedOrder = {"init", "cmd", "activate",
                                                  "cmd",  "cmd", "activate",
                                                  "cmd",  "cmd", "uninit"};
  EXPECT_EQ(order, expectedOrder);
}

TEST_F(RegistrationTest, ThreeCommandsWithoutAnUninstaller) {
  RegisterWithProgramManager();
  EXPECT_EQ(host::DdeCommands().size(), 3u);
}

// The trailing backslash goes from the whole command text, so a drive root
// reads as "c:" in the item's working directory.
TEST_F(RegistrationTest, DriveRootGivesDriveAndColon) {
  strcpy(InstallDirectory, "c:\\");
  RegisterWithProgramManager();
  ASSERT_EQ(host::DdeCommands().size(), 3u);
  EXPECT_EQ(host::DdeCommands()[2], "[AddItem(c:\\QUEST.EXE,Quest,,,,,c:)]");
}

// A command that Program Manager refuses (ReplaceItem of an item that does
// not exist) changes nothing: the rest are still sent.
TEST_F(RegistrationTest, RefusedCommandsDoNotStopTheOthers) {
  strcpy(Placement.UninstallerName, "uninstal.exe");
  host::RefuseDdeCommands();
  RegisterWithProgramManager();
  EXPECT_EQ(host::DdeCommands().size(), 5u);
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(RegistrationTest, NoInstanceNoCommands) {
  host::FailDdeInitialize();
  RegisterWithProgramManager();
  ASSERT_EQ(host::DdeEvents().size(), 1u);
  EXPECT_EQ(host::DdeEvents()[0].kind, host::DdeEvent::kInitialize);
}

TEST_F(RegistrationTest, NoCommandBlockEndsTheInstanceQuietly) {
  host::InjectFault(host::Fault::kAlloc);
  RegisterWithProgramManager();
  ASSERT_EQ(host::DdeEvents().size(), 2u);
  EXPECT_EQ(host::DdeEvents()[1].kind, host::DdeEvent::kUninitialize);
}

}  // namespace
