#pragma once

#include <cstdint>
#include <vector>

#include "imaging/ImageCache.h"

// The reframed comparison: a stored signature against a query whose picture
// was cropped a little, framed by a border of one colour or turned by a few
// degrees on a background of one colour.
//
// A signature's cells are (very nearly) the averages of the picture's thirds,
// so a small change of the picture's frame is a linear map of the stored
// cells: each cell of the edited picture averages parts of the original
// cells, and its remaining share is the frame's colour. The maps of a fixed
// family of edits (borders of 1.5-12 % per side, those beyond 5 % counting
// one and a half times, crops keeping 93-97 % of a
// side centred or 92 % from either edge, turns of 1.5 and 3 degrees) are
// sampled once; the difference of a stored row is the smallest, over the
// family, of the plain difference between the query and the mapped row, the
// frame colour fitted per channel (least squares, held to 0..255).
class Reframing {
 public:
  struct Entry {
    std::uint8_t cell;    // the edited picture's cell
    std::uint8_t source;  // the stored cell it takes a share of
    float share;
  };
  struct Model {
    std::vector<Entry> entries;
    float frame[9] = {};  // each cell's share of the frame colour
    float frameNorm = 0;  // the sum of the squared shares (0: no frame)
    float cost = 1;       // its differences count this many times
  };

  // The family, made on first use (thread-safe); read-only afterwards.
  static const std::vector<Model>& Models();

  // The signature the picture would have without a frame of `colour` (one
  // value for every channel) whose width is `border` of the original's side
  // on every side: the frame's map undone, held to 0..255. What a search
  // looks for to find the framed picture's original among the rows.
  static ImageCache::Colours Unframed(const ImageCache::Colours& query, double border, int colour);

  // Whether the query could show a picture framed by `colour` at least
  // `border` of the original's side wide: every cell holds at least the
  // frame's share of that colour (and no more than the rest can add).
  static bool CouldBeFramed(const ImageCache::Colours& query, double border, int colour);

  // The reframed difference on the plain scale, rounded to the nearest integer.
  static std::int64_t Difference(const ImageCache::Colours& stored, const ImageCache::Colours& query);
};
