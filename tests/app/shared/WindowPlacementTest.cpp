#include <gtest/gtest.h>

#include "app/shared/WindowPlacement.h"
#include "support/TempDirectory.h"

namespace {

using Rect = std::optional<PixelRect>;
using Widths = std::vector<int>;

TEST(WindowPlacementTest, WhatIsSavedIsLoadedAgain) {
  TempDirectory dir;
  const std::string path = dir.File("window.ini");
  for (const WindowPlacement& saved :
       {WindowPlacement{PixelRect{-1500, 20, 1200, 700}, true, {260, 150, 100, 131}},
        WindowPlacement{PixelRect{0, 0, 1, 1}, false, {}}, WindowPlacement{std::nullopt, false, {7}}}) {
    ASSERT_TRUE(saved.Save(path));
    const WindowPlacement loaded = WindowPlacement::Load(path);
    EXPECT_EQ(saved.frame, loaded.frame);
    EXPECT_EQ(saved.maximized, loaded.maximized);
    EXPECT_EQ(saved.columns, loaded.columns);
  }
  // Not the cache's settings file.
  EXPECT_FALSE(FileExists(dir.File("cache.ini")));
  EXPECT_FALSE(WindowPlacement{}.Save(dir.File("no/such/dir/window.ini")));
}

// A damaged value costs only itself.
TEST(WindowPlacementTest, ValuesThatDoNotReadAreLeftOutOneByOne) {
  struct Case {
    const char* content;
    Rect frame;
    bool maximized;
    Widths columns;
  };
  const Case cases[] = {
      {"[window]\r\nleft=10\r\ntop=-20\r\nwidth=900\r\nheight=400\r\nmaximized=1\r\ncolumns=1,2\r\n",
       PixelRect{10, -20, 900, 400}, true, {1, 2}},
      {"[window]\nleft=10\ntop=20\nwidth=0\nheight=400\ncolumns=200,,100\n", std::nullopt, false, {}},
      {"[window]\nleft=1e3\ntop=20\nwidth=900\nheight=400\ncolumns=200,150,100,100\n", std::nullopt, false,
       {200, 150, 100, 100}},
      {"[window]\nleft=10\ntop=20\nwidth=900\nheight=99999999999\nmaximized=yes\ncolumns=-5\n", std::nullopt, false,
       {}},
      {"[window]\nleft= 10\ntop=20\nwidth=900\nheight=400\ncolumns=300,\n", std::nullopt, false, {}},
      {"[other]\nleft=10\ntop=20\nwidth=900\nheight=400\n", std::nullopt, false, {}},
      {"garbage without sections or equals signs\n", std::nullopt, false, {}},
      {"", std::nullopt, false, {}},
  };
  TempDirectory dir;
  const std::string path = dir.File("window.ini");
  for (const Case& c : cases) {
    WriteWholeFile(path, c.content);
    const WindowPlacement loaded = WindowPlacement::Load(path);
    EXPECT_EQ(c.frame, loaded.frame) << c.content;
    EXPECT_EQ(c.maximized, loaded.maximized) << c.content;
    EXPECT_EQ(c.columns, loaded.columns) << c.content;
  }
  const WindowPlacement missing = WindowPlacement::Load(dir.File("missing.ini"));
  EXPECT_FALSE(missing.frame.has_value());
  EXPECT_TRUE(missing.columns.empty());
}

TEST(WindowPlacementTest, APositionCountsOnlyWithItsTopStripOnAScreen) {
  const std::vector<PixelRect> screens = {{0, 0, 1920, 1080}, {-1280, 100, 1280, 1024}};
  struct Case {
    PixelRect frame;
    bool shown;
  };
  const Case cases[] = {
      {{100, 100, 1000, 300}, true},
      {{-1200, 200, 1000, 300}, true},    // on the second screen
      {{1900, 10, 1000, 300}, false},     // 20 pixels of it: too little to grab
      {{1872, 10, 1000, 300}, true},      // 48 pixels
      {{100, 1070, 1000, 300}, false},    // its strip below the bottom edge
      {{100, -10, 1000, 300}, false},     // its strip above the top edge
      {{-1280, 50, 1000, 300}, false},    // above the second screen, left of the first
      {{-5000, -5000, 1000, 300}, false},
      {{30, 30, 20, 10}, true},           // smaller than a strip, wholly on a screen
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.shown, WindowPlacement::IsOnScreen(c.frame, screens)) << c.frame.left << "," << c.frame.top;
  }
  EXPECT_FALSE(WindowPlacement::IsOnScreen({0, 0, 100, 100}, {}));
}

}  // namespace
