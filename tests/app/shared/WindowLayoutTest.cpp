#include <gtest/gtest.h>

#include "app/shared/WindowLayout.h"

namespace {

using L = WindowLayout;

// A help text of `glyphs` characters `glyphWidth` pixels wide, wrapped at
// the width into lines `lineHeight` pixels high.
L::HelpHeight Wrapped(int glyphs, int glyphWidth, int lineHeight) {
  return [=](int width) {
    const int perLine = std::max(1, width / glyphWidth);
    return (glyphs + perLine - 1) / perLine * lineHeight;
  };
}

struct Font {
  int baseWidth;
  int baseHeight;
  int helpGlyphs;  // many glyphs: the help text needs more than its template box
};
const Font kFonts[] = {{7, 15, 60}, {6, 13, 150}, {8, 17, 200}, {5, 16, 40}};

TEST(WindowLayoutTest, TheDefaultSizeIsTheTemplateAndSmallerSizesAreLaidOutAsIt) {
  for (const Font& f : kFonts) {
    const DialogUnitScale u(f.baseWidth, f.baseHeight);
    const L::HelpHeight help = Wrapped(f.helpGlyphs, 12, 15);
    const L layout(u, 24, help);
    const int helpWidth = u.X(435) - u.X(7);
    const int extra = std::max(0, help(helpWidth) - (u.Y(189) - u.Y(173)));
    EXPECT_EQ((PixelSize{u.X(577), u.Y(196) + extra}), layout.DefaultSize()) << f.baseWidth;
    PixelRect helpRect = u.Rect(7, 173, 428, 16);
    helpRect.height += extra;
    const L::Rects expected = {
        u.Rect(7, 7, 300, 165),    u.Rect(307, 7, 38, 14),   u.Rect(345, 7, 37, 14),
        u.Rect(382, 7, 19, 14),    u.Rect(401, 7, 15, 14),   u.Rect(416, 7, 19, 14),
        u.Rect(307, 26, 128, 16),  u.Rect(307, 43, 128, 128), u.Rect(7, 171, 1, 1),
        helpRect,                  u.Rect(442, 30, 128, 12), u.Rect(442, 43, 128, 128),
        {u.X(442), u.Y(174), 24, 24}, {u.X(442) + 23 + u.X(3), u.Y(174), u.X(570) - u.X(442) - 23 - u.X(3), 24},
        {},  // no queue
    };
    for (const PixelSize size : {layout.DefaultSize(), PixelSize{0, 0}, PixelSize{300, layout.DefaultSize().height}}) {
      const L::Rects rects = layout.Arrange(size);
      for (int c = 0; c < L::kControlCount; ++c) {
        EXPECT_EQ(expected[c], rects[c]) << "font " << f.baseWidth << "x" << f.baseHeight << " control " << c
                                         << " size " << size.width << "x" << size.height;
      }
    }
  }
}

TEST(WindowLayoutTest, LargerTheListAndTheSquareBoxesGrowAndNothingOverlapsOrLeaves) {
  struct Grow {
    int extraWidth;
    int extraHeight;
    bool square;  // both boxes have grown past their template sizes
  };
  const Grow grows[] = {{1, 1, false},   {90, 0, false},  {0, 200, false},  {600, 700, true},
                        {1200, 60, true}, {300, 2000, true}, {2000, 2000, true}};
  for (const Font& f : kFonts) {
    const DialogUnitScale u(f.baseWidth, f.baseHeight);
    const L layout(u, 24, Wrapped(f.helpGlyphs, 12, 15));
    const PixelSize base = layout.DefaultSize();
    const L::Rects small = layout.Arrange(base);
    for (const Grow& g : grows) {
      for (const bool strip : {false, true}) {
        const PixelSize size{base.width + g.extraWidth, base.height + g.extraHeight};
        const L::Rects r = layout.Arrange(size, strip);
        const std::string where = "font " + std::to_string(f.baseWidth) + "x" + std::to_string(f.baseHeight) +
                                  " size " + std::to_string(size.width) + "x" + std::to_string(size.height) +
                                  (strip ? " strip" : "");
        // The queue's strip stands between the list and the preview, as high
        // as the list and as wide as it needs, taking the list's width; the
        // other controls keep their places.
        if (strip) {
          const L::Rects without = layout.Arrange(size);
          for (int c = 0; c < L::kQueueStrip; ++c) {
            if (c == L::kList) continue;
            EXPECT_EQ(without[c], r[c]) << where << " control " << c;
          }
          EXPECT_EQ(r[L::kList].top, r[L::kQueueStrip].top) << where;
          EXPECT_EQ(r[L::kList].height, r[L::kQueueStrip].height) << where;
          EXPECT_LT(r[L::kList].Right(), r[L::kQueueStrip].left) << where;
          EXPECT_LT(r[L::kQueueStrip].Right(), r[L::kPreview].left) << where;
          EXPECT_EQ(layout.Arrange(base, true)[L::kQueueStrip].width, r[L::kQueueStrip].width) << where;
          EXPECT_GT(r[L::kQueueStrip].width, 2 * f.baseWidth * 4) << where;
        } else {
          EXPECT_EQ(PixelRect{}, r[L::kQueueStrip]) << where;
        }
        const int stripShare = strip ? r[L::kPreview].left - r[L::kList].Right() : 0;
        // The list takes the height the help text leaves, and width.
        EXPECT_GE(r[L::kList].height, small[L::kList].height + g.extraHeight) << where;
        EXPECT_GE(r[L::kList].width + stripShare, small[L::kList].width) << where;
        EXPECT_EQ(r[L::kList].width + stripShare + r[L::kPreview].width + r[L::kSitePicture].width,
                  small[L::kList].width + small[L::kPreview].width + small[L::kSitePicture].width + g.extraWidth)
            << where;
        // The boxes grow together, never shrink, and are square once grown.
        EXPECT_EQ(r[L::kPreview].height, r[L::kSitePicture].height) << where;
        EXPECT_EQ(r[L::kPreview].top, r[L::kSitePicture].top) << where;
        EXPECT_GE(r[L::kPreview].width, small[L::kPreview].width) << where;
        EXPECT_GE(r[L::kPreview].height, small[L::kPreview].height) << where;
        if (g.square) {
          EXPECT_GT(r[L::kPreview].width, small[L::kPreview].width) << where;
          EXPECT_EQ(r[L::kPreview].width, r[L::kPreview].height) << where;
          EXPECT_EQ(r[L::kSitePicture].width, r[L::kSitePicture].height) << where;
        }
        // The site picture beside the preview; the right margin as before.
        EXPECT_EQ(small[L::kSitePicture].left - small[L::kPreview].Right(),
                  r[L::kSitePicture].left - r[L::kPreview].Right()) << where;
        EXPECT_EQ(base.width - small[L::kSitePicture].Right(), size.width - r[L::kSitePicture].Right()) << where;
        // Buttons and status line keep their size and their order, above the preview.
        for (int c : {L::kSecretButton, L::kUpdateButton, L::kAbortButton, L::kOpenButton, L::kExitButton, L::kStatus}) {
          EXPECT_EQ(small[c].width, r[c].width) << where << " control " << c;
          EXPECT_EQ(small[c].height, r[c].height) << where << " control " << c;
          EXPECT_EQ(small[c].left - small[L::kPreview].left, r[c].left - r[L::kPreview].left) << where << " " << c;
          EXPECT_LE(r[c].Bottom(), r[L::kPreview].top) << where << " control " << c;
        }
        // The help text spans the list and the preview and holds its text.
        EXPECT_EQ(r[L::kList].left, r[L::kHelp].left) << where;
        EXPECT_EQ(r[L::kPreview].Right(), r[L::kHelp].Right()) << where;
        EXPECT_GE(r[L::kHelp].height, Wrapped(f.helpGlyphs, 12, 15)(r[L::kHelp].width)) << where;
        // Inside the client area, and no two shown controls overlap.
        for (int a = 0; a < L::kControlCount; ++a) {
          EXPECT_GE(r[a].left, 0) << where << " " << a;
          EXPECT_GE(r[a].top, 0) << where << " " << a;
          EXPECT_LE(r[a].Right(), size.width) << where << " " << a;
          EXPECT_LE(r[a].Bottom(), size.height) << where << " " << a;
          for (int b = a + 1; b < L::kControlCount; ++b) {
            if (a == L::kHidden || b == L::kHidden || (!strip && b == L::kQueueStrip)) continue;
            EXPECT_FALSE(r[a].Intersects(r[b])) << where << " controls " << a << " and " << b;
          }
        }
      }
    }
  }
}

}  // namespace
