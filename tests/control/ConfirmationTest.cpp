#include "control/Confirmation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "control/DetailLikeness.h"
#include "control/PictureCheck.h"
#include "control/PictureDetail.h"
#include "control/WhiteFrame.h"
#include "imaging/DecodedImage.h"
#include "imaging/ImageCacheDirectX.h"
#include "imaging/ImageWriter.h"
#include "search/CacheTable.h"

namespace {

// A made-up drawing: coloured discs and bars on white, placed by `seed`.
struct Pixels {
  int width, height;
  std::vector<std::uint32_t> argb;
  std::uint32_t& At(int x, int y) { return argb[static_cast<std::size_t>(y) * width + x]; }
};

Pixels Drawing(unsigned seed, int width = 160, int height = 120) {
  Pixels p{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height, 0xFFFFFFFFu)};
  std::mt19937 rng(seed);
  for (int shape = 0; shape < 7; ++shape) {
    const double cx = rng() % width, cy = rng() % height, r = 8 + rng() % 20;
    const std::uint32_t colour = 0xFF000000u | (rng() & 0xFFFFFFu);
    const bool disc = rng() % 2;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const bool inside = disc ? std::hypot(x - cx, y - cy) < r : std::abs(x - cx) < 2 * r && std::abs(y - cy) < r / 3;
        if (inside) p.At(x, y) = colour;
      }
    }
  }
  return p;
}

// Rows of the same L-shaped mark: the thirds of the picture and of its
// mirror image have the same colours, so the 3 x 3 grid cannot tell them
// apart, but the marks point the other way.
Pixels Marks(int width = 180, int height = 120) {
  Pixels p{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height, 0xFFFFFFFFu)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int mx = x % 30, my = y % 30;
      if ((mx >= 5 && mx < 10 && my >= 5 && my < 25) || (my >= 20 && my < 25 && mx >= 5 && mx < 22)) {
        p.At(x, y) = 0xFF203080u;
      }
    }
  }
  return p;
}

using Edit = std::function<Pixels(Pixels)>;

Pixels Crop(Pixels p, double keep) {  // from the top left, as an 8 % crop
  Pixels out{static_cast<int>(p.width * keep), static_cast<int>(p.height * keep), {}};
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) out.argb.push_back(p.At(x, y));
  }
  return out;
}

Pixels Doubled(Pixels p) {
  Pixels out{2 * p.width, 2 * p.height, {}};
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) out.argb.push_back(p.At(x / 2, y / 2));
  }
  return out;
}

Pixels Border(Pixels p, int side) {
  Pixels out{p.width + 2 * side, p.height + 2 * side, {}};
  out.argb.assign(static_cast<std::size_t>(out.width) * out.height, 0xFFFFFFFFu);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) out.At(x + side, y + side) = p.At(x, y);
  }
  return out;
}

Pixels Mirror(Pixels p) {
  Pixels out = p;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) out.At(x, y) = p.At(p.width - 1 - x, y);
  }
  return out;
}

// Turned by `degrees` on a white canvas that holds the whole turned picture.
Pixels Turned(Pixels p, double degrees) {
  const double a = degrees * 3.14159265358979 / 180, c = std::cos(a), s = std::sin(a);
  Pixels out{static_cast<int>(p.width * c + p.height * s) + 1, static_cast<int>(p.width * s + p.height * c) + 1, {}};
  out.argb.assign(static_cast<std::size_t>(out.width) * out.height, 0xFFFFFFFFu);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      const double dx = x - out.width / 2.0, dy = y - out.height / 2.0;
      const int sx = static_cast<int>(std::floor(c * dx + s * dy + p.width / 2.0));
      const int sy = static_cast<int>(std::floor(-s * dx + c * dy + p.height / 2.0));
      if (sx >= 0 && sx < p.width && sy >= 0 && sy < p.height) out.At(x, y) = p.At(sx, sy);
    }
  }
  return out;
}

// A white patch over a fifth of the width near the bottom right, as a
// watermark.
Pixels Watermarked(Pixels p) {
  for (int y = p.height * 85 / 100; y < p.height * 92 / 100; ++y) {
    for (int x = p.width * 70 / 100; x < p.width * 90 / 100; ++x) p.At(x, y) = 0xFFF0F0F0u;
  }
  return p;
}

Pixels PerChannel(Pixels p, const std::function<int(int r, int g, int b, int c)>& f) {
  for (std::uint32_t& v : p.argb) {
    const int r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
    std::uint32_t out = 0xFF000000u;
    for (int c = 0; c < 3; ++c) out |= static_cast<std::uint32_t>(std::clamp(f(r, g, b, c), 0, 255)) << (16 - 8 * c);
    v = out;
  }
  return p;
}

PictureDetail Detail(const Pixels& p) { return PictureDetail::FromPixels(p.argb.data(), p.width, p.height); }

// Written as a PNG file of its own (RGBA, so transparent parts stay so).
std::string WrittenPng(const Pixels& p, const std::string& name) {
  DecodedImage image;
  image.Allocate(p.width, p.height, false);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const std::uint32_t v = p.argb[static_cast<std::size_t>(y) * p.width + x];
      std::uint8_t* out = image.Row8(y) + x * 4;
      for (int c = 0; c < 4; ++c) out[c] = static_cast<std::uint8_t>(v >> (c < 3 ? 16 - 8 * c : 24));
    }
  }
  std::string png;
  const std::string path = testing::TempDir() + name;
  EXPECT_TRUE(ImageWriter::EncodePng(image, &png, {ImageWriter::PngColour::kRgba}));
  EXPECT_TRUE(WriteBytesToFile(path, png));
  return path;
}

// The picture inside a white frame, from the framed file's pixels, against
// the signature the program gives the picture itself; and when there is no
// frame worth undoing.
TEST(WhiteFrameTest, ThePictureInsideAFrameHasItsOwnSignature) {
  const auto onGround = [](Pixels p) {  // a drawing whose ground is not white: its edges show the frame
    for (std::uint32_t& v : p.argb) v = v == 0xFFFFFFFFu ? 0xFF70A0C0u : v;
    return p;
  };
  const auto transparent = [](Pixels p) {
    for (std::uint32_t& v : p.argb) v = v == 0xFFFFFFFFu ? 0x00000000u : v;
    return p;
  };
  const struct {
    const char* name;
    Pixels original;
    int frame;
    std::size_t views;  // all of the frame and three quarters, each unless too narrow or too wide
    bool transparent = false;
    bool whole = true;  // the first view takes off the whole frame
    bool wide = false;  // wider than the frames a likeness tries: only the picture unframed is confirmed
  } cases[] = {
      {"20 px round 160 x 120", onGround(Drawing(1)), 20, 2},
      {"20 px round 600 x 400, brought down", onGround(Drawing(2, 600, 400)), 20, 2},
      {"15 px round 600 x 400: three quarters is too narrow", onGround(Drawing(2, 600, 400)), 15, 1},
      {"40 px round 150 x 300", onGround(Drawing(3, 150, 300)), 40, 2},
      {"40 px round 240 x 80", onGround(Drawing(8, 240, 80)), 40, 2, false, true, true},
      {"a transparent frame", onGround(Drawing(4)), 20, 2, true},
      {"no frame", onGround(Drawing(5)), 0, 0},
      {"3 px round 200 x 200: a margin, no frame", onGround(Drawing(6, 200, 200)), 3, 0},
      {"a small figure on a page: three quarters of it", onGround(Drawing(7, 60, 40)), 60, 1, false, false},
  };
  for (const auto& c : cases) {
    const Pixels framed = c.transparent ? transparent(Border(c.original, c.frame)) : Border(c.original, c.frame);
    const WhiteFrame::Margins m =
        WhiteFrame::Find(framed.argb.data(), framed.width, framed.height, framed.width, framed.height);
    for (double side : {m.top, m.bottom, m.left, m.right}) EXPECT_EQ(side, c.frame) << c.name;
    const std::string path = WrittenPng(framed, "framed.png");
    const auto views = WhiteFrame::FromFile(path);
    ASSERT_EQ(views.size(), c.views) << c.name;
    // The same from the rows of the signature's own decode, which the copy leaves as it was.
    WhiteFrame::Reader reader;
    ImageCacheDirectX teed, alone;
    ASSERT_TRUE(teed.LoadImage(path, nullptr, &reader.Rows()) && alone.LoadImage(path, nullptr)) << c.name;
    EXPECT_EQ(reader.Unframed(), views) << c.name;
    EXPECT_EQ(teed.colours, alone.colours) << c.name;
    // A query read from its file keeps the picture unframed, which confirmation compares too.
    PictureDetail query;
    std::string why;
    ASSERT_TRUE(PictureDetail::FromFile(path, &query, &why)) << why;
    EXPECT_EQ(query.Unframed() != nullptr, c.views > 0 && c.whole) << c.name;
    if (c.views > 0 && c.whole) {
      const PictureDetail stored = Detail(c.original);
      EXPECT_GE(Confirmation::Likeness(query, stored, Comparison::kReframed), Confirmation::kConfirmAt) << c.name;
      if (c.wide) {
        EXPECT_LT(Confirmation::Likeness(Detail(framed), stored, Comparison::kReframed), Confirmation::kConfirmAt);
      }
    }
    if (views.empty() || !c.whole) continue;
    ImageCache::Colours own{};
    std::string reason;
    ASSERT_TRUE(ReadSignature(WrittenPng(c.original, "original.png"), &own, &reason)) << reason;
    int difference = 0;
    for (int v = 0; v < 27; ++v) difference += std::abs(own[v] - views[0][v]);
    // Within half a level a value.
    EXPECT_LE(difference, 14) << c.name << testing::PrintToString(views[0]) << testing::PrintToString(own);
  }
}

TEST(ConfirmationTest, LikenessTellsEditedCopiesFromLookAlikes) {
  const Pixels original = Drawing(1);
  struct Case {
    const char* name;
    Pixels query;
    Comparison comparison;
    bool same;
  };
  const Case cases[] = {
      {"same", original, Comparison::kSame, true},
      {"twice the size", Doubled(original), Comparison::kSame, true},
      {"8 % crop", Crop(original, 0.92), Comparison::kReframed, true},
      {"border on white", Border(original, 12), Comparison::kReframed, true},
      {"mirrored", Mirror(original), Comparison::kMirrored, true},
      {"brighter, more contrast",
       PerChannel(original, [](int r, int g, int b, int c) { return (((c == 0 ? r : c == 1 ? g : b) - 128) * 11) / 10 + 148; }),
       Comparison::kTone, true},
      {"grayscale", PerChannel(original, [](int r, int g, int b, int) { return (30 * r + 59 * g + 11 * b) / 100; }),
       Comparison::kGrayscale, true},
      {"look-alike", Drawing(2), Comparison::kSame, false},
      {"another look-alike", Drawing(3), Comparison::kReframed, false},
      {"mirrored, compared unturned", Mirror(original), Comparison::kSame, false},
      {"turned 2 degrees", Turned(original, 2), Comparison::kReframed, true},
      {"turned -3 degrees", Turned(original, -3), Comparison::kSame, true},
      {"watermark", Watermarked(original), Comparison::kSame, true},
  };
  const PictureDetail stored = Detail(original);
  for (const Case& c : cases) {
    const double likeness = Confirmation::Likeness(Detail(c.query), stored, c.comparison);
    if (c.same) {
      EXPECT_GE(likeness, Confirmation::kConfirmAt) << c.name;
    } else {
      EXPECT_LT(likeness, Confirmation::kSimilarAt) << c.name;
    }
  }
  // A dark picture whose only detail is too fine for the coarse grid (every
  // coarse sample alike) still has a frame to be found.
  Pixels dark{192, 128, {}};
  for (int y = 0; y < dark.height; ++y) {
    for (int x = 0; x < dark.width; ++x) dark.argb.push_back((x / 6 + y / 4) % 2 != 0 ? 0xFF301048u : 0xFF100420u);
  }
  EXPECT_GE(Confirmation::Likeness(Detail(dark), Detail(dark), Comparison::kSame), Confirmation::kConfirmAt);
  // A light watermark on a dark texture: pushing it off the stored picture
  // by a stretched frame must not beat leaving it out.
  Pixels soil{320, 240, std::vector<std::uint32_t>(320 * 240, 0xFF502010u)};
  std::mt19937 rng(6);
  for (int spot = 0; spot < 400; ++spot) {
    const int cx = rng() % 320, cy = rng() % 240, r = 2 + rng() % 5;
    for (int y = std::max(0, cy - r); y < std::min(240, cy + r); ++y) {
      for (int x = std::max(0, cx - r); x < std::min(320, cx + r); ++x) soil.At(x, y) = 0xFF000000u | (0x603018u + (rng() % 0x20) * 0x10101u);
    }
  }
  EXPECT_GE(Confirmation::Likeness(Detail(Watermarked(soil)), Detail(soil), Comparison::kSame), Confirmation::kConfirmAt);
  // Alike at 3 x 3 in both orientations: the mirror image is tried though
  // the search found the picture unturned.
  EXPECT_GE(Confirmation::Likeness(Detail(Mirror(Marks())), Detail(Marks()), Comparison::kSame),
            Confirmation::kConfirmAt);
}

TEST(ConfirmationTest, JudgeKeepsConfirmsOrDowngradesByLikeness) {
  using Outcome = Verdict::Outcome;
  using State = Confirmation::State;
  const Confirmation::Thresholds t{0.95, 0.8, 0.6};
  struct Case {
    Outcome before;
    double entry, other;  // likeness of the verdict's entry (row 0) and of another candidate (row 1)
    State state;
    Outcome after;
    std::size_t row;
  };
  const double flat = DetailLikeness::kCannotTell;
  const Case cases[] = {
      {Outcome::kPosted, 0.97, 0.1, State::kConfirmed, Outcome::kPosted, 0},
      {Outcome::kPosted, 0.85, 0.1, State::kUnchanged, Outcome::kPosted, 0},
      {Outcome::kPosted, 0.7, 0.1, State::kDowngraded, Outcome::kSimilar, 0},
      {Outcome::kPosted, 0.3, 0.1, State::kDowngraded, Outcome::kNew, 0},
      // A picture unlike the entry's (negative likeness) is compared all the same.
      {Outcome::kPosted, -0.6, -0.2, State::kDowngraded, Outcome::kNew, 0},
      {Outcome::kPosted, 0.3, 0.99, State::kConfirmed, Outcome::kPosted, 1},
      {Outcome::kSimilar, 0.7, 0.1, State::kUnchanged, Outcome::kSimilar, 0},
      {Outcome::kSimilar, 0.5, 0.1, State::kDowngraded, Outcome::kNew, 0},
      {Outcome::kNew, 0.5, 0.96, State::kConfirmed, Outcome::kPosted, 1},
      {Outcome::kPosted, flat, flat, State::kUnchanged, Outcome::kPosted, 0},
  };
  for (const Case& c : cases) {
    Verdict::Decision d;
    d.outcome = c.before;
    d.hasEntry = true;
    d.entry = {0, 50};
    const std::vector<Confirmation::Compared> compared = {{{{0, 50}, Comparison::kSame}, true, c.entry},
                                                          {{{1, 90}, Comparison::kTone}, true, c.other}};
    const Confirmation::Result r = Confirmation::Judge(d, compared, t);
    EXPECT_EQ(r.state, c.state) << c.entry << " " << c.other;
    EXPECT_EQ(r.decision.outcome, c.after) << c.entry << " " << c.other;
    EXPECT_EQ(r.decision.entry.row, c.row) << c.entry << " " << c.other;
  }
}

// A photograph-like picture: a light rising from left to right under soft
// patches, lighter and darker, placed by `seed`.
Pixels Landscape(unsigned seed) {
  Pixels p{200, 150, {}};
  std::vector<double> light(static_cast<std::size_t>(p.width) * p.height);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) light[static_cast<std::size_t>(y) * p.width + x] = 40 + 200.0 * x / p.width;
  }
  std::mt19937 rng(seed);
  for (int patch = 0; patch < 40; ++patch) {
    const double cx = rng() % p.width, cy = rng() % p.height, r = 6 + rng() % 14, by = int(rng() % 121) - 60.0;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        if (std::hypot(x - cx, y - cy) < r) light[static_cast<std::size_t>(y) * p.width + x] += by;
      }
    }
  }
  for (double l : light) {
    std::uint32_t v = 0xFF000000u;
    for (int c = 0; c < 3; ++c) v |= static_cast<std::uint32_t>(std::clamp(l - 15 * c, 0.0, 255.0)) << (16 - 8 * c);
    p.argb.push_back(v);
  }
  return p;
}

// Brighter or darker so that a fifth of the picture turns white or black:
// the copy's clipped places follow no straight line from the stored ones.
TEST(ConfirmationTest, ClippedTonesStillMatchTheirPicture) {
  const Pixels original = Landscape(1);
  const auto shifted = [](const Pixels& p, int by) {
    return PerChannel(p, [by](int r, int g, int b, int c) { return (c == 0 ? r : c == 1 ? g : b) + by; });
  };
  const auto stretched = [](const Pixels& p, double by) {
    return PerChannel(p, [by](int r, int g, int b, int c) {
      return static_cast<int>(((c == 0 ? r : c == 1 ? g : b) - 128) * by + 128);
    });
  };
  const struct {
    const char* name;
    Pixels query;
    bool same;
  } cases[] = {
      {"brighter by 90", shifted(original, 90), true},
      {"darker by 90", shifted(original, -90), true},
      {"contrast x 1.8", stretched(original, 1.8), true},
      {"a look-alike, brighter", shifted(Landscape(2), 90), false},
      {"a look-alike", Landscape(3), false},
  };
  const PictureDetail stored = Detail(original);
  for (const auto& c : cases) {
    const double likeness = Confirmation::Likeness(Detail(c.query), stored, Comparison::kTone);
    if (c.same) {
      EXPECT_GE(likeness, Confirmation::kConfirmAt) << c.name;
    } else {
      EXPECT_LT(likeness, Confirmation::kSimilarAt) << c.name;
    }
  }
}

// Two flat pictures cannot be told apart, even framed; a flat one and one
// with detail can, either way round.
TEST(ConfirmationTest, FlatPicturesCannotBeToldApartButFromDetailedOnes) {
  const Pixels sky = PerChannel(Drawing(1), [](int, int, int, int c) { return 90 + 20 * c; });
  const Pixels bluer = PerChannel(Drawing(1), [](int, int, int, int c) { return 95 + 20 * c; });
  // Faint marks on white with a red disc at the left edge, whose middle
  // half holds none of the disc, while the middle of its crop holds a rim.
  Pixels logo{200, 80, std::vector<std::uint32_t>(200 * 80)};
  for (int y = 0; y < logo.height; ++y) {
    for (int x = 0; x < logo.width; ++x) {
      logo.At(x, y) = std::hypot(x - 20, y - 40) < 28 ? 0xFFA01020u : (x / 7 + y / 5) % 2 ? 0xFFFAFAFAu : 0xFFFFFFFFu;
    }
  }
  const struct {
    Pixels query, stored;
    double likeness;
  } cases[] = {
      {bluer, sky, DetailLikeness::kCannotTell},
      {Border(bluer, 30), sky, DetailLikeness::kCannotTell},
      {Drawing(1), sky, DetailLikeness::kUnlike},
      {sky, Drawing(1), DetailLikeness::kUnlike},
      {Crop(logo, 0.92), logo, 1},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const double likeness =
        Confirmation::Likeness(Detail(cases[i].query), Detail(cases[i].stored), Comparison::kSame);
    if (cases[i].likeness == 1) {
      EXPECT_GE(likeness, Confirmation::kConfirmAt) << i;
    } else {
      EXPECT_EQ(likeness, cases[i].likeness) << i;
    }
  }
}

TEST(ConfirmationTest, TheVerdictIsConfirmedDowngradedOrLeftWhenTheSiteIsAway) {
  CacheTable table;
  table.Append("100", "posted", "a", {});
  table.Append("200", "other", "b", {});
  const std::vector<PictureDetail> site = {Detail(Drawing(1)), Detail(Drawing(2))};
  MatchResult match;
  match.closest[static_cast<int>(Comparison::kSame)] = {{0, 40}, {1, 150}};
  Verdict::Decision posted;
  posted.outcome = Verdict::Outcome::kPosted;
  posted.hasEntry = true;
  posted.entry = {0, 40};
  Verdict::Decision fresh = posted;
  fresh.outcome = Verdict::Outcome::kNew;
  using State = Confirmation::State;
  using Outcome = Verdict::Outcome;
  struct Case {
    const char* name;
    unsigned query;  // the drawing's seed
    Verdict::Decision decision;
    bool reachable;
    State state;
    Outcome outcome;
    std::size_t row;
  };
  const Case cases[] = {
      {"the entry's own picture", 1, posted, true, State::kConfirmed, Outcome::kPosted, 0},
      {"a look-alike of the entry", 9, posted, true, State::kDowngraded, Outcome::kNew, 0},
      {"the second candidate's picture", 2, posted, true, State::kConfirmed, Outcome::kPosted, 1},
      {"new, yet a candidate agrees", 1, fresh, true, State::kConfirmed, Outcome::kPosted, 0},
      {"new, nothing agrees", 9, fresh, true, State::kUnchanged, Outcome::kNew, 0},
      {"the site away", 1, posted, false, State::kUnreachable, Outcome::kPosted, 0},
  };
  for (const Case& c : cases) {
    int asked = 0;
    const Confirmation::Source source = [&](const std::string& id) {
      ++asked;
      Confirmation::StoredPicture stored;
      stored.ok = c.reachable;
      if (c.reachable) stored.detail = site[id == "100" ? 0 : 1];
      return stored;
    };
    const Confirmation::Result result =
        Confirmation::Run(Detail(Drawing(c.query)), match, c.decision, table, source);
    EXPECT_EQ(result.state, c.state) << c.name;
    EXPECT_EQ(result.decision.outcome, c.outcome) << c.name;
    EXPECT_EQ(result.decision.entry.row, c.row) << c.name;
    // A confirmation by the first candidate asks no further.
    if (c.state == State::kConfirmed && c.row == 0) {
      EXPECT_EQ(asked, 1) << c.name;
    }
  }
  // Stopped before the first candidate: nothing asked, nothing changed.
  const std::atomic<bool> stopped{false};
  int asked = 0;
  const Confirmation::Result result = Confirmation::Run(
      Detail(Drawing(1)), match, posted, table,
      [&](const std::string&) {
        ++asked;
        return Confirmation::StoredPicture{};
      },
      &stopped);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(result.state, State::kNotNeeded);
  EXPECT_EQ(result.decision.outcome, Outcome::kPosted);
}

}  // namespace
