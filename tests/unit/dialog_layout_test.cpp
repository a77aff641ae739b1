// Where dialogs are placed on MainWindow, and the texts the dialog
// helpers put into controls.
#include "ui/dialog_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "package/descriptor.h"
#include "ui/dialog_text.h"

namespace {

struct PlacementCase {
  const char* name;
  DialogPoint centre;
  int mainWidth, mainHeight, dialogWidth, dialogHeight;
  DialogPoint expected;
};

class CentredDialogPositionTest
    : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(CentredDialogPositionTest, PlacesTheDialogInsideMainWindow) {
  const PlacementCase& c = GetParam();
  const DialogPoint at = CentredDialogPosition(
      c.centre, c.mainWidth, c.mainHeight, c.dialogWidth, c.dialogHeight);
  EXPECT_EQ(at.x, c.expected.x);
  EXPECT_EQ(at.y, c.expected.y);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CentredDialogPositionTest,
    ::testing::Values(
        PlacementCase{"CentredWhereThereIsRoom",
                      {400, 300},
                      800,
                      600,
                      200,
                      100,
                      {300, 250}},
        // Halves truncate: a 201-pixel dialog reaches 100 to the left.
        PlacementCase{
            "OddSizeTruncates", {400, 300}, 800, 600, 201, 101, {300, 250}},
        PlacementCase{"WiderAndTallerThanMainWindowLandsAtZero",
                      {400, 300},
                      800,
                      600,
                      900,
                      700,
                      {0, 0}},
        // The right and bottom edges end at MainWindow's outer size.
        PlacementCase{"NearBottomRightCornerStopsAtOuterSize",
                      {790, 590},
                      800,
                      600,
                      200,
                      100,
                      {600, 500}},
        PlacementCase{"NearTopLeftCornerStopsAtZero",
                      {10, 10},
                      800,
                      600,
                      200,
                      100,
                      {0, 0}},
        PlacementCase{"CentreOutsideMainWindowStaysInside",
                      {-500, 2000},
                      800,
                      600,
                      200,
                      100,
                      {0, 500}},
        PlacementCase{
            "ExactFitIsAtZero", {400, 300}, 200, 100, 200, 100, {0, 0}}),
    [](const ::testing::TestParamInfo<PlacementCase>& p) {
      return std::string(p.param.name);
    });

TEST(RectangleCentreTest, HalvesTruncateTowardsZero) {
  const DialogPoint a = RectangleCentre(10, 20, 211, 121);
  EXPECT_EQ(a.x, 110);
  EXPECT_EQ(a.y, 70);
  // A rectangle dragged partly off the left of the screen.
  const DialogPoint b = RectangleCentre(-301, -9, 0, 6);
  EXPECT_EQ(b.x, -150);
  EXPECT_EQ(b.y, -1);
}

// A dialog closed at some place and the next one opened: the next one is
// centred where the first was.
TEST(RectangleCentreTest, NextDialogIsCentredWhereTheLastWasLeft) {
  const DialogPoint centre = RectangleCentre(240, 160, 440, 260);
  const DialogPoint at = CentredDialogPosition(centre, 800, 600, 300, 150);
  EXPECT_EQ(at.x + 150, centre.x);
  EXPECT_EQ(at.y + 75, centre.y);
}

void SetTitle(const std::string& title) {
  memset(Package.Header.productTitle, 0, kProductTitleSize);
  memcpy(Package.Header.productTitle, title.data(),
         title.size() < kProductTitleSize ? title.size() : kProductTitleSize);
}

TEST(FormatWithTitleTest, TitleTakesThePlaceOfTheFirstPlaceholder) {
  SetTitle("Quest");
  char out[kItemTextSize];
  FormatWithTitle(out, sizeof out, "Setup %s");
  EXPECT_STREQ(out, "Setup Quest");
  FormatWithTitle(out, sizeof out, "100% of %s, not %s");
  EXPECT_STREQ(out, "100% of Quest, not %s");
  FormatWithTitle(out, sizeof out, "no placeholder");
  EXPECT_STREQ(out, "no placeholder");
}

// A title that fills its whole 80-byte field without a terminator is taken
// as its first 79 characters, and a text is cut at its buffer.
TEST(FormatWithTitleTest, BoundedByFieldAndBuffer) {
  SetTitle(std::string(80, 'T'));
  char out[kItemTextSize];
  FormatWithTitle(out, sizeof out, "[%s]");
  EXPECT_EQ(std::string(out), "[" + std::string(79, 'T') + "]");
  char small[8];
  FormatWithTitle(small, sizeof small, "Setup %s");
  EXPECT_STREQ(small, "Setup T");
}

TEST(FormatKbTest, AllDigitsAndUnit) {
  char out[kKbTextSize];
  FormatKb(out, sizeof out, 0);
  EXPECT_STREQ(out, "0 Kb");
  FormatKb(out, sizeof out, 0xFFFFFFFFu);
  EXPECT_STREQ(out, "4294967295 Kb");
}

}  // namespace
