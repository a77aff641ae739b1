// The background window's gradient and placement: the row colours, the
// runs of equal colour that painting fills with one brush each, and where
// MainWindow goes on the screen.
#include "app/background.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<GradientBand> Bands(int height, int top, int bottom) {
  std::vector<GradientBand> bands(kMaxGradientBands);
  bands.resize(GradientBands(height, top, bottom, bands.data(), bands.size()));
  return bands;
}

TEST(GradientBlue, HundredRowsFollowTheIntegerRule) {
  const int expected[] = {255, 253, 250, 248, 245, 243, 240};
  for (int y = 0; y < 7; ++y) {
    EXPECT_EQ(GradientBlue(y, 100), expected[y]) << "row " << y;
  }
  EXPECT_EQ(GradientBlue(50, 100), 128);
  EXPECT_EQ(GradientBlue(99, 100), 3);
}

TEST(GradientBlue, TopIsPureBlueAndNoRowInsideIsBlack) {
  for (int height : {1, 2, 3, 255, 256, 1000, 10000000}) {
    EXPECT_EQ(GradientBlue(0, height), 255) << height;
    EXPECT_GE(GradientBlue(height - 1, height), 1) << height;
  }
  // A single row, and the last of a tall window (255 y overflows an int).
  EXPECT_EQ(GradientBlue(9999999, 10000000), 1);
}

TEST(GradientBlue, RowsOutsideTheClientAreaHaveNoColour) {
  EXPECT_EQ(GradientBlue(-1, 100), 0);
  EXPECT_EQ(GradientBlue(100, 100), 0);
  EXPECT_EQ(GradientBlue(0, 0), 0);
  EXPECT_EQ(GradientBlue(0, -5), 0);
}

class GradientBandsForHeight : public testing::TestWithParam<int> {};

// Over the whole client area the bands tile every row once, in order, each
// band in the colour of every row it covers, a new band only where the
// colour changes, and never more bands than there are shades.
TEST_P(GradientBandsForHeight, TileTheClientAreaWithOneBandPerShade) {
  const int height = GetParam();
  const std::vector<GradientBand> bands = Bands(height, 0, height);
  ASSERT_FALSE(bands.empty());
  EXPECT_LE(bands.size(), kMaxGradientBands);
  EXPECT_EQ(bands.front().first, 0);
  EXPECT_EQ(bands.back().last, height - 1);
  for (size_t i = 0; i < bands.size(); ++i) {
    const GradientBand& band = bands[i];
    ASSERT_LE(band.first, band.last);
    EXPECT_EQ(band.blue, GradientBlue(band.first, height));
    EXPECT_EQ(band.blue, GradientBlue(band.last, height));
    if (i > 0) {
      EXPECT_EQ(band.first, bands[i - 1].last + 1);
      EXPECT_LT(band.blue, bands[i - 1].blue);
    }
  }
}

// Whatever part is repainted, its bands are the full painting's bands cut
// to that part: a partial repaint matches a full one.
TEST_P(GradientBandsForHeight, PartialRepaintMatchesFullPainting) {
  const int height = GetParam();
  const std::vector<GradientBand> full = Bands(height, 0, height);
  const int ranges[][2] = {{0, 1},
                           {height / 3, height / 2 + 1},
                           {height - 1, height},
                           {height / 7, height},
                           {-20, height + 20}};
  for (const auto& range : ranges) {
    const int top = range[0] < 0 ? 0 : range[0];
    const int bottom = range[1] > height ? height : range[1];
    std::vector<GradientBand> expected;
    for (const GradientBand& band : full) {
      if (band.last < top || band.first >= bottom) continue;
      expected.push_back(GradientBand{
          band.first < top ? top : band.first,
          band.last >= bottom ? bottom - 1 : band.last, band.blue});
    }
    const std::vector<GradientBand> partial = Bands(height, range[0], range[1]);
    ASSERT_EQ(partial.size(), expected.size())
        << "rows " << range[0] << ".." << range[1];
    for (size_t i = 0; i < partial.size(); ++i) {
      EXPECT_EQ(partial[i].first, expected[i].first);
      EXPECT_EQ(partial[i].last, expected[i].last);
      EXPECT_EQ(partial[i].blue, expected[i].blue);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Heights, GradientBandsForHeight,
                         testing::Values(1, 2, 100, 255, 256, 257, 576, 1000,
                                         4096, 10000000));

TEST(GradientBands, ThousandRowsRepeatEachShadeOnAboutFourRows) {
  const std::vector<GradientBand> bands = Bands(1000, 0, 1000);
  EXPECT_EQ(bands.size(), 255u);  // shades 255 down to 1
  for (const GradientBand& band : bands) {
    const int rows = band.last - band.first + 1;
    EXPECT_GE(rows, 3);
    EXPECT_LE(rows, 5);
  }
}

TEST(GradientBands, NothingToPaintGivesNoBand) {
  GradientBand band{7, 7, 7};
  EXPECT_EQ(GradientBands(0, 0, 10, &band, 1), 0u);  // no client area
  EXPECT_EQ(GradientBands(-3, 0, 10, &band, 1), 0u);
  EXPECT_EQ(GradientBands(100, 40, 40, &band, 1), 0u);  // empty update
  EXPECT_EQ(GradientBands(100, 60, 40, &band, 1), 0u);
  EXPECT_EQ(GradientBands(100, 100, 140, &band, 1), 0u);  // below the area
  EXPECT_EQ(GradientBands(100, 0, 10, &band, 0), 0u);     // no room
  EXPECT_EQ(band.first, 7);                               // untouched
}

TEST(GradientBands, NeverWritesPastTheCallersArray) {
  GradientBand bands[4];
  GradientBand guard{-1, -1, 99};
  bands[3] = guard;
  EXPECT_EQ(GradientBands(100, 0, 100, bands, 3), 3u);
  EXPECT_EQ(bands[3].blue, 99);
  EXPECT_EQ(bands[2].blue, 250);
}

TEST(PlaceMainWindow, CoversTheMiddleThreeQuartersOfTheScreen) {
  const MainWindowPlacement p = PlaceMainWindow(1024, 768, 19);
  EXPECT_EQ(p.left, 128);
  EXPECT_EQ(p.top, 96);
  EXPECT_EQ(p.width, 768);
  EXPECT_EQ(p.height, 576);
  EXPECT_EQ(p.centreX, 384);
  EXPECT_EQ(p.centreY, 288 - 19);
}

TEST(PlaceMainWindow, MultipliesBeforeDividing) {
  // 3 * 1023 / 4 is 767; three times a quarter would lose two pixels.
  const MainWindowPlacement p = PlaceMainWindow(1023, 767, 0);
  EXPECT_EQ(p.left, 127);
  EXPECT_EQ(p.top, 95);
  EXPECT_EQ(p.width, 767);
  EXPECT_EQ(p.height, 575);
  EXPECT_EQ(p.centreX, 383);
  EXPECT_EQ(p.centreY, 287);
}

}  // namespace
